#include "app/file_props_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/prompts_messages.h"
#include "app/qt_text.h"
#include "browse/listing_parser.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "core/qxfile_node.h"
#include "markup/qxlang.h"
#include "settings/global_ftp_settings.h"

namespace file_props {

unsigned masked(unsigned value, bool special_enabled)
{
    return special_enabled ? value : value & ~special_bits;
}

unsigned read_octal(std::string_view text, unsigned previous, bool special_enabled)
{
    unsigned octal = 0;
    for (char c : text)
        if (c >= '0' && c <= '7')
            octal = ((octal << 3) + unsigned(c - '0')) & 0xFFFFFFu;  // only the low bits matter
    return masked((previous & ~permission_bits) | (octal & permission_bits), special_enabled);
}

std::string octal_text(unsigned value, bool special_enabled)
{
    const int digits = special_enabled ? 4 : 3;
    std::string text(std::size_t(digits), '0');
    for (int i = digits - 1; i >= 0; --i) {
        text[std::size_t(i)] = char('0' + (value & 7u));
        value >>= 3;
    }
    return text;
}

std::string symbolic_text(unsigned value, bool is_folder)
{
    return qvtf::format_permissions(value, is_folder).str();
}

bool applies(bool multiple, bool recursive, bool changed, unsigned value, unsigned original)
{
    return multiple || recursive || (changed && value != original);
}

bool recursion_offered(const std::vector<qvtf::qxfile_node*>& nodes)
{
    for (const qvtf::qxfile_node* n : nodes)
        if (n && (n->is_folder || (n->is_link() && !n->link_node)))
            return true;
    return false;
}

qvtf::chmod_plan plan_of(unsigned value, bool recursive, int targets, std::optional<unsigned> file_value)
{
    unsigned file_bits = value;
    if (recursive)
        file_bits = file_value ? *file_value : qvtf::chmod_plan::default_file_bits(value);
    return {value, file_bits, targets};
}

}  // namespace file_props

namespace {

constexpr int phrase_error = 12;
constexpr int phrase_ok = 13;
constexpr int phrase_cancel = 47;
constexpr int phrase_chmod_title = 72;
constexpr int phrase_recursive = 81;
constexpr int phrase_read = 82, phrase_write = 83, phrase_execute = 84;
constexpr int phrase_sticky = 85, phrase_setgid = 86, phrase_setuid = 87;
constexpr int phrase_numeric = 88, phrase_octal = 89;
constexpr int phrase_unix_box = 91, phrase_owner = 92;  // 93 group, 94 others
constexpr int phrase_title = 95;
constexpr int phrase_entries_selected = 96;
constexpr int phrase_files_only = 434, phrase_files_and_folders = 435, phrase_folders_only = 495;
constexpr int phrase_apply_to = 960, phrase_files_get = 961;

// The bits the form edits, plus the link marker the symbolic text needs.
constexpr unsigned node_bits = file_props::permission_bits | qvtf::ATTR_LINK;

std::vector<qvtf::qxfile_node*> all_nodes(const file_props_request& r)
{
    std::vector<qvtf::qxfile_node*> nodes;
    if (r.first)
        nodes.push_back(r.first);
    nodes.insert(nodes.end(), r.others.begin(), r.others.end());
    return nodes;
}

file_props_request request_for(std::vector<qvtf::qxfile_node*>& nodes)
{
    file_props_request r;
    r.first = nodes.front();
    r.others.assign(nodes.begin() + 1, nodes.end());
    r.value = r.first->attributes & node_bits;
    return r;
}

}  // namespace

TFilePropsForm::TFilePropsForm(const qvtf::global_ftp_settings& settings, const qvtf::qxlang* language, QWidget* parent)
    : QDialog(parent), settings_(settings), language_(language)
{
    setObjectName("TFilePropsForm");
    setWindowTitle(phrase(phrase_title));
    show_error = [this](const QString& text) {
        stack_message(this, QMessageBox::Critical, phrase(phrase_error), text);
    };

    auto* layout = new QVBoxLayout(this);

    auto* top_panel = new QWidget(this);
    top_panel->setObjectName("TopPanel");
    auto* top_layout = new QHBoxLayout(top_panel);
    top_layout->setContentsMargins(0, 0, 0, 0);
    multi_file_label_ = new QLabel(top_panel);
    multi_file_label_->setObjectName("MultiFileLabel");
    multi_file_label_->setTextFormat(Qt::PlainText);
    multi_file_label_->setWordWrap(true);
    top_layout->addWidget(multi_file_label_);
    layout->addWidget(top_panel);

    auto* ua_panel = new QGroupBox(phrase(phrase_unix_box), this);
    ua_panel->setObjectName("uaPanel");
    ua_panel_ = ua_panel;
    auto* ua_layout = new QVBoxLayout(ua_panel);
    auto* groups = new QHBoxLayout;
    static const char* const group_names[] = {"uaOwnerGB", "uaGroupGB", "uaOtherGB"};
    static const char* const box_prefix[] = {"uaOwner", "uaGroup", "uaOther"};
    static const char* const box_kind[] = {"Read", "Write", "Exe"};
    const int kind_phrase[] = {phrase_read, phrase_write, phrase_execute};
    for (int g = 0; g < 3; ++g) {
        auto* gb = new QGroupBox(phrase(phrase_owner + g), ua_panel);
        gb->setObjectName(group_names[g]);
        auto* gl = new QVBoxLayout(gb);
        for (int k = 0; k < 3; ++k) {
            auto* box = new QCheckBox(phrase(kind_phrase[k]), gb);
            box->setObjectName(QString(box_prefix[g]) + box_kind[k]);
            // Owner read is 0x100, other execute 0x001.
            boxes_[std::size_t((2 - g) * 3 + (2 - k))] = box;
            gl->addWidget(box);
        }
        groups->addWidget(gb);
    }
    ua_layout->addLayout(groups);

    auto* special = new QHBoxLayout;
    const struct {
        const char* name;
        int phrase_number;
        int bit;
    } special_boxes[] = {
        {"uaOwnerExeBit", phrase_setuid, 11}, {"uaGroupExeBit", phrase_setgid, 10}, {"uaStickyBit", phrase_sticky, 9}};
    for (const auto& s : special_boxes) {
        auto* box = new QCheckBox(phrase(s.phrase_number), ua_panel);
        box->setObjectName(s.name);
        boxes_[std::size_t(s.bit)] = box;
        special->addWidget(box);
    }
    special->addStretch();
    ua_layout->addLayout(special);

    auto* numeric = new QHBoxLayout;
    auto* label2 = new QLabel(phrase(phrase_numeric), ua_panel);
    label2->setObjectName("uaLabel2");
    ua_edit_ = new QLineEdit(ua_panel);
    ua_edit_->setObjectName("uaEdit");
    ua_edit_->setMaximumWidth(ua_edit_->fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
    label2->setBuddy(ua_edit_);
    auto* label3 = new QLabel(phrase(phrase_octal), ua_panel);
    label3->setObjectName("uaLabel3");
    ua_label_text_ = new QLabel(ua_panel);
    ua_label_text_->setObjectName("uaLabelText");
    QFont mono = ua_label_text_->font();
    mono.setFamily(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::Monospace);
    ua_label_text_->setFont(mono);
    numeric->addWidget(label2);
    numeric->addWidget(ua_edit_);
    numeric->addWidget(label3);
    numeric->addStretch();
    numeric->addWidget(ua_label_text_);
    ua_layout->addLayout(numeric);
    layout->addWidget(ua_panel);

    recursive_panel_ = new QWidget(this);
    recursive_panel_->setObjectName("RecursivePanel");
    auto* rec_layout = new QHBoxLayout(recursive_panel_);
    rec_layout->setContentsMargins(0, 0, 0, 0);
    recursive_box_ = new QCheckBox(phrase(phrase_recursive), recursive_panel_);
    recursive_box_->setObjectName("RecursiveCheckBox");
    auto* rec_rows = new QVBoxLayout;
    rec_rows->addWidget(recursive_box_);
    auto* targets_row = new QHBoxLayout;
    auto* targets_label = new QLabel(phrase(phrase_apply_to), recursive_panel_);
    targets_label->setObjectName("ApplyToLabel");
    targets_box_ = new QComboBox(recursive_panel_);
    targets_box_->setObjectName("ApplyToCombo");
    // In chmod_targets order.
    targets_box_->addItems({phrase(phrase_files_and_folders), phrase(phrase_files_only), phrase(phrase_folders_only)});
    targets_label->setBuddy(targets_box_);
    targets_row->addWidget(targets_label);
    targets_row->addWidget(targets_box_);
    targets_row->addStretch();
    rec_rows->addLayout(targets_row);
    file_value_panel_ = new QWidget(recursive_panel_);
    file_value_panel_->setObjectName("FileValuePanel");
    auto* file_row = new QHBoxLayout(file_value_panel_);
    file_row->setContentsMargins(0, 0, 0, 0);
    auto* file_label = new QLabel(phrase(phrase_files_get), file_value_panel_);
    file_value_edit_ = new QLineEdit(file_value_panel_);
    file_value_edit_->setObjectName("FileValueEdit");
    file_value_edit_->setMaximumWidth(ua_edit_->maximumWidth());
    file_label->setBuddy(file_value_edit_);
    file_value_text_ = new QLabel(file_value_panel_);
    file_value_text_->setObjectName("FileValueText");
    file_value_text_->setFont(mono);
    file_row->addWidget(file_label);
    file_row->addWidget(file_value_edit_);
    file_row->addStretch();
    file_row->addWidget(file_value_text_);
    rec_rows->addWidget(file_value_panel_);
    rec_layout->addLayout(rec_rows);
    layout->addWidget(recursive_panel_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    ok_button_ = new QPushButton(phrase(phrase_ok), this);
    ok_button_->setObjectName("OKButton");
    ok_button_->setDefault(true);  // Enter presses OK; Escape rejects
    cancel_button_ = new QPushButton(phrase(phrase_cancel), this);
    cancel_button_->setObjectName("CancelButton");
    buttons->addWidget(ok_button_);
    buttons->addWidget(cancel_button_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (QCheckBox* box : boxes_)
        connect(box, &QCheckBox::clicked, this, &TFilePropsForm::box_clicked);
    connect(ua_edit_, &QLineEdit::textEdited, this, &TFilePropsForm::numeric_edited);
    connect(file_value_edit_, &QLineEdit::textEdited, this, &TFilePropsForm::file_value_edited);
    connect(recursive_box_, &QCheckBox::toggled, this, [this] { refresh(false); });
    connect(targets_box_, &QComboBox::currentIndexChanged, this, [this] { refresh(false); });
    connect(ok_button_, &QPushButton::clicked, this, &TFilePropsForm::accept);
    connect(cancel_button_, &QPushButton::clicked, this, &TFilePropsForm::reject);

    // Keyboard order follows the reading order: owner, group, others, special bits.
    QWidget* order[] = {boxes_[8], boxes_[7],      boxes_[6],    boxes_[5],        boxes_[4],  boxes_[3],
                        boxes_[2], boxes_[1],      boxes_[0],    boxes_[11],       boxes_[10], boxes_[9],
                        ua_edit_,  recursive_box_, targets_box_, file_value_edit_, ok_button_, cancel_button_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

QString TFilePropsForm::phrase(int number) const
{
    return language_ ? to_qt(language_->text(number)) : QString();
}

bool TFilePropsForm::special_enabled() const
{
    return special_;
}

bool TFilePropsForm::recursive_offered() const
{
    return !recursive_panel_->isHidden();
}

void TFilePropsForm::prepare(const file_props_request& request)
{
    request_ = request;
    pending_.reset();
    special_ = settings_.owner_exe_bit_enabled;
    for (int bit = 9; bit < 12; ++bit)
        boxes_[std::size_t(bit)]->setEnabled(special_);
    ua_edit_->setMaxLength(special_ ? 4 : 3);

    const std::vector<qvtf::qxfile_node*> nodes = all_nodes(request_);
    recursive_panel_->setVisible(file_props::recursion_offered(nodes));
    {
        const QSignalBlocker hold_box(recursive_box_), hold_targets(targets_box_);
        recursive_box_->setChecked(false);
        targets_box_->setCurrentIndex(qvtf::chmod_all);
    }
    file_value_.reset();
    file_value_edit_->setMaxLength(special_ ? 4 : 3);
    if (!request_.others.empty())
        multi_file_label_->setText(QString::number(nodes.size()) + phrase(phrase_entries_selected));
    else
        multi_file_label_->setText(request_.first ? to_qt(request_.first->name) : QString());

    value_ = request_.value;
    refresh(true);
    changed_ = false;
    ok_button_->setFocus();
}

int TFilePropsForm::exec_request(const file_props_request& request)
{
    prepare(request);
    in_exec_ = true;
    const int result = exec();
    in_exec_ = false;
    run_pending();
    return result;
}

void TFilePropsForm::refresh(bool numeric_too)
{
    for (std::size_t bit = 0; bit < boxes_.size(); ++bit) {
        const QSignalBlocker hold(boxes_[bit]);
        boxes_[bit]->setChecked((value_ >> bit) & 1u);
    }
    if (numeric_too)
        ua_edit_->setText(QString::fromStdString(file_props::octal_text(value_, special_)));
    const bool folder = request_.first && request_.first->is_folder;
    ua_label_text_->setText(QString::fromStdString(file_props::symbolic_text(value_, folder)));
    // The files' own value matters only where a recursive change reaches files.
    const unsigned files = plan().file_bits;
    file_value_panel_->setEnabled(recursive_checked() && targets_box_->currentIndex() != qvtf::chmod_folders_only);
    if (!file_value_ || numeric_too)
        file_value_edit_->setText(QString::fromStdString(file_props::octal_text(files, special_)));
    file_value_text_->setText(QString::fromStdString(file_props::symbolic_text(files, false)));
}

bool TFilePropsForm::recursive_checked() const
{
    return recursive_offered() && recursive_box_->isChecked();
}

qvtf::chmod_plan TFilePropsForm::plan() const
{
    const int targets = recursive_offered() ? targets_box_->currentIndex() : int(qvtf::chmod_all);
    return file_props::plan_of(value_ & file_props::permission_bits, recursive_checked(), targets, file_value_);
}

void TFilePropsForm::file_value_edited(const QString& text)
{
    file_value_ = file_props::read_octal(text.toStdString(), 0, special_) & file_props::permission_bits;
    refresh(false);
}

void TFilePropsForm::box_clicked()
{
    changed_ = true;
    unsigned bits = 0;
    for (std::size_t bit = 0; bit < boxes_.size(); ++bit)
        if (boxes_[bit]->isChecked())
            bits |= 1u << bit;
    value_ = file_props::masked((value_ & ~file_props::permission_bits) | bits, special_);
    refresh(true);
}

void TFilePropsForm::numeric_edited(const QString& text)
{
    changed_ = true;
    value_ = file_props::read_octal(text.toStdString(), value_, special_);
    refresh(false);
}

void TFilePropsForm::accept()
{
    const bool multiple = !request_.others.empty();
    const bool recursive = recursive_checked();
    pending_.reset();
    if (request_.apply && file_props::applies(multiple, recursive, changed_, value_, request_.value))
        pending_ = pending_apply{plan(), recursive};
    QDialog::accept();
    // Inside exec the pane's work starts once the form is gone.
    if (!in_exec_)
        run_pending();
}

void TFilePropsForm::run_pending()
{
    if (!pending_)
        return;
    const pending_apply p = *pending_;
    pending_.reset();
    request_.apply(p.plan, p.recursive);
}

int TFilePropsForm::exec_for(qvtf::qx_ftp_file_lister& pane, std::vector<qvtf::qxfile_node*> nodes)
{
    if (nodes.empty())
        return Rejected;
    if (pane.properties_allowed() != 0) {
        show_error(to_qt(pane.last_error()));
        return Rejected;
    }
    file_props_request r = request_for(nodes);
    r.apply = [&pane, nodes](const qvtf::chmod_plan& plan, bool recursive) {
        pane.change_permissions_async(plan, recursive, nodes);
    };
    return exec_request(r);
}

int TFilePropsForm::exec_for(qvtf::qx_local_file_lister& pane, std::vector<qvtf::qxfile_node*> nodes)
{
    if (nodes.empty())
        return Rejected;
    file_props_request r = request_for(nodes);
    r.apply = [&pane, nodes](const qvtf::chmod_plan& plan, bool recursive) {
        pane.run_async(
            [&pane, nodes, plan, recursive] {
                const int code = pane.change_permissions(nodes, plan, recursive);
                // The entries show their new bits, or the real ones after a failure.
                const int relisted = pane.refresh_node(pane.current_folder());
                return code ? code : relisted;
            },
            phrase_chmod_title);
    };
    return exec_request(r);
}
