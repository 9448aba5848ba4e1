#include "app/pane_comparison.h"

#include <QAction>
#include <filesystem>

#include "app/file_list_model.h"
#include "browse/qx_file_lister.h"
#include "core/qxfile_tree.h"
#include "markup/qxlang.h"

using qvtf::compare_mark;

namespace {

std::vector<qvtf::compare_entry> entries_of(qvtf::qx_file_lister& lister)
{
    std::vector<qvtf::compare_entry> out;
    qvtf::qxfile_tree::reader hold(lister.tree());
    for (int32_t row = 0; row < lister.row_count(); ++row) {
        const qvtf::qxfile_node* n = lister.row_node(row);
        if (!n)
            continue;
        out.push_back({n->name.str(), n->is_folder != 0, n->size_known(), n->size(), n->modified});
    }
    return out;
}

QString swatch(compare_mark mark)
{
    const QColor c = pane_comparison::colour(mark);
    return QString("<span style=\"background-color: rgba(%1,%2,%3,%4)\">&nbsp;&nbsp;&nbsp;&nbsp;</span> ")
        .arg(c.red())
        .arg(c.green())
        .arg(c.blue())
        .arg(c.alphaF());
}

}  // namespace

pane_comparison::pane_comparison(file_list_model& local, file_list_model& remote, const qvtf::qxlang* language,
                                 QObject* parent)
    : QObject(parent), language_(language), models_{&local, &remote}
{
    compare_ = new QAction(phrase(1327), this);
    compare_->setObjectName("bCompareFolders");
    compare_->setCheckable(true);
    QString legend = "<b>" + phrase(1327) + "</b><br>";
    const int names[] = {1328, 1329, 1330, 1331, 1332};
    for (const compare_mark mark : {compare_mark::only_here, compare_mark::newer, compare_mark::older,
                                    compare_mark::different_size, compare_mark::same})
        legend += swatch(mark) + phrase(names[static_cast<int>(mark)]) + "<br>";
    compare_->setToolTip(legend);
    step_ = new QAction(phrase(1333), this);
    step_->setObjectName("bBrowseInStep");
    step_->setCheckable(true);
    step_->setToolTip(phrase(1334));
    connect(compare_, &QAction::toggled, this, &pane_comparison::set_comparing);
    connect(step_, &QAction::toggled, this, &pane_comparison::set_in_step);
    for (int side = 0; side < 2; ++side) {
        connect(models_[side], &file_list_model::rows_reloaded, this, [this, side] {
            folder_listed(side);
            recompute();
        });
        models_[side]->row_background = [this, side](const qvtf::qxfile_node& node) -> QVariant {
            if (!compare_->isChecked())
                return {};
            const auto found = marks_[side].find(node.name.str());
            return found == marks_[side].end() ? QVariant() : QVariant(colour(found->second));
        };
    }
}

QString pane_comparison::phrase(int number) const
{
    const char* text = language_ ? language_->phrase(number) : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

QColor pane_comparison::colour(compare_mark mark)
{
    switch (mark) {
    case compare_mark::only_here: return QColor(60, 120, 255, 90);
    case compare_mark::newer: return QColor(40, 190, 60, 90);
    case compare_mark::older: return QColor(255, 170, 0, 90);
    case compare_mark::different_size: return QColor(230, 40, 40, 90);
    case compare_mark::same: return QColor(128, 128, 128, 50);
    }
    return {};
}

compare_mark pane_comparison::mark_of(int side, const std::string& name) const
{
    const auto found = marks_[side].find(name);
    return found == marks_[side].end() ? compare_mark::only_here : found->second;
}

void pane_comparison::set_comparing(bool)
{
    recompute();
}

void pane_comparison::recompute()
{
    for (auto& m : marks_)
        m.clear();
    if (compare_->isChecked() && models_[0]->lister() && models_[1]->lister()) {
        const std::array<std::vector<qvtf::compare_entry>, 2> entries{entries_of(*models_[0]->lister()),
                                                                      entries_of(*models_[1]->lister())};
        for (int side = 0; side < 2; ++side) {
            const std::vector<compare_mark> marks = qvtf::compare_side(entries[side], entries[1 - side]);
            for (size_t i = 0; i < marks.size(); ++i)
                marks_[side][entries[side][i].name] = marks[i];
        }
    }
    for (file_list_model* model : models_)
        if (model->rowCount() > 0)
            emit model->dataChanged(model->index(0, 0), model->index(model->rowCount() - 1, model->columnCount() - 1),
                                    {Qt::BackgroundRole});
}

void pane_comparison::set_in_step(bool on)
{
    for (int side = 0; side < 2; ++side) {
        qvtf::qx_file_lister* lister = models_[side]->lister();
        base_[side] = seen_[side] = on && lister ? lister->current_path().str() : std::string();
        sent_[side].clear();
    }
}

void pane_comparison::folder_listed(int side)
{
    qvtf::qx_file_lister* mine = models_[side]->lister();
    qvtf::qx_file_lister* other = models_[1 - side]->lister();
    if (!step_->isChecked() || !mine || !other)
        return;
    const std::string now = mine->current_path().str();
    if (now == seen_[side])
        return;
    seen_[side] = now;
    if (now == sent_[side]) {
        sent_[side].clear();
        return;
    }
    const std::optional<std::string> target = qvtf::in_step_path(base_[side], base_[1 - side], now);
    if (!target || *target == seen_[1 - side])
        return;
    // The other pane's listing of the target's parent, where it has one
    // (its current folder or one above it), tells whether the folder is
    // there; a local folder is looked for on the disk. Otherwise the pane
    // finds out itself.
    const size_t cut = target->rfind('/');
    const std::string parent = cut == 0 ? "/" : target->substr(0, cut);
    const std::string name = target->substr(cut + 1);
    bool exists = true;
    bool known = false;
    {
        qvtf::qxfile_tree::reader hold(other->tree());
        const qvtf::qxfile_node* folder = other->current_folder();
        std::string path = seen_[1 - side];
        while (folder && path != parent && path.size() > parent.size()) {
            folder = folder->parent;
            const size_t up = path.rfind('/');
            path = up == 0 || up == std::string::npos ? "/" : path.substr(0, up);
        }
        if (folder && path == parent && !folder->needs_listing) {
            known = true;
            exists = false;
            for (const qvtf::qxfile_node* n = folder->first_child; n; n = n->next)
                exists = exists || (n->is_folder && n->name.view() == name);
        }
    }
    if (!known && side == 1) {
        std::error_code error;
        exists = std::filesystem::is_directory(*target, error);
    }
    if (!exists) {
        if (say)
            say(phrase(1335).arg(QString::fromStdString(*target)));
        return;
    }
    sent_[1 - side] = *target;
    other->run_async([other, path = *target] { return other->change_folder(qvtf::qxval(path), false); });
}
