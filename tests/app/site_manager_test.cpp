// The site manager: its tree model under Qt's model checker, and the dialog
// driven the way a user drives it, with scripted answers to its questions.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <deque>
#include <memory>
#include <ostream>

#include "app/site_manager_form.h"
#include "app/site_tree_model.h"
#include "core/qxscramble.h"
#include "gui_support.h"
#include "markup/qxlang.h"
#include "profiles/ftp_profile_tree.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

using qvtf::ftp_profile;
using Mode = QAbstractItemModelTester::FailureReportingMode;

const qvtf::qxlang& language()
{
    return shipped_language();
}

QString phrase(int n)
{
    return QString::fromUtf8(language().text(n).data(), static_cast<qsizetype>(language().text(n).size()));
}

ftp_profile* add(qvtf::ftp_profile_tree& tree, ftp_profile* parent, int32_t kind, const char* label)
{
    ftp_profile* p = ftp_profile::make(kind);
    p->label = qvtf::qxval(label);
    tree.tree.append_child(p, parent);
    return p;
}

// Sites: group "Work" { site "alpha" { bookmark "docs" }, site "beta" }, group "Home" { group "Sub" }
struct sample_tree {
    qvtf::ftp_profile_tree tree;
    ftp_profile *work, *alpha, *docs, *beta, *home, *sub;
    sample_tree()
    {
        tree.reset(language());
        work = add(tree, tree.top(), qvtf::profile_group, "Work");
        alpha = add(tree, work, qvtf::profile_site, "alpha");
        alpha->host = qvtf::qxval("alpha.example.org");
        alpha->user_name = qvtf::qxval("ann");
        alpha->password = qvtf::qxval("secret");
        docs = add(tree, alpha, qvtf::profile_bookmark, "docs");
        docs->directory = qvtf::qxval("/docs");
        beta = add(tree, work, qvtf::profile_site, "beta");
        home = add(tree, tree.top(), qvtf::profile_group, "Home");
        sub = add(tree, home, qvtf::profile_group, "Sub");
    }
};

std::string labels_under(const ftp_profile* parent)
{
    std::string out;
    for (const ftp_profile* n = parent->first_child; n; n = n->next)
        out += std::string(n->label.view()) + (n->first_child ? "{" + labels_under(n) + "}" : "") + ",";
    return out;
}

TEST(SiteTreeModel, ChecksOutAndMovesOnlyWhereTheRulesAllow)
{
    gui_application();
    sample_tree s;
    site_tree_model model(s.tree);
    QAbstractItemModelTester tester(&model, Mode::Fatal);
    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex top = model.index(0, 0);
    EXPECT_EQ(model.data(top).toString(), phrase(200));
    EXPECT_EQ(model.rowCount(top), 2);
    EXPECT_EQ(model.node_at(model.index(0, 0, model.index(0, 0, model.index(0, 0, top)))), s.docs);

    // Images: kind minus one, a group open when expanded or selected.
    EXPECT_EQ(model.index_of(s.work).data(site_tree_model::image_role).toInt(), 0);
    EXPECT_EQ(model.index_of(s.alpha).data(site_tree_model::image_role).toInt(), 1);
    EXPECT_EQ(model.index_of(s.docs).data(site_tree_model::image_role).toInt(), 2);
    model.set_expanded(s.work, true);
    EXPECT_EQ(model.index_of(s.work).data(site_tree_model::image_role).toInt(), 4);
    model.set_expanded(s.work, false);
    model.set_selected(s.home);
    EXPECT_EQ(model.index_of(s.home).data(site_tree_model::image_role).toInt(), 4);
    model.set_selected(s.alpha);
    EXPECT_EQ(model.index_of(s.home).data(site_tree_model::image_role).toInt(), 0);

    auto drop = [&](ftp_profile* a, ftp_profile* b) {
        std::unique_ptr<QMimeData> mime(model.mimeData({model.index_of(a)}));
        return model.dropMimeData(mime.get(), Qt::MoveAction, -1, -1, model.index_of(b));
    };
    struct move_case {
        const char* what;
        ftp_profile* a;
        ftp_profile* b;
        bool moves;
        std::string after;  // labels under the top group afterwards
    };
    const move_case cases[] = {
        {"site onto site", s.beta, s.alpha, false, "Work{alpha{docs,},beta,},Home{Sub,},"},
        {"site onto its own group", s.beta, s.work, false, "Work{alpha{docs,},beta,},Home{Sub,},"},
        {"site onto a bookmark", s.beta, s.docs, false, "Work{alpha{docs,},beta,},Home{Sub,},"},
        {"group into its own subgroup", s.home, s.sub, false, "Work{alpha{docs,},beta,},Home{Sub,},"},
        {"group onto a site", s.sub, s.alpha, false, "Work{alpha{docs,},beta,},Home{Sub,},"},
        {"bookmark onto a group", s.docs, s.home, false, "Work{alpha{docs,},beta,},Home{Sub,},"},
        {"site onto another group", s.beta, s.home, true, "Work{alpha{docs,},},Home{beta,Sub,},"},
        {"bookmark onto another site", s.docs, s.beta, true, "Work{alpha,},Home{beta{docs,},Sub,},"},
        {"group into another group", s.work, s.sub, true, "Home{beta{docs,},Sub{Work{alpha,},},},"},
    };
    for (const move_case& c : cases) {
        EXPECT_EQ(drop(c.a, c.b), c.moves) << c.what;
        EXPECT_EQ(labels_under(s.tree.top()), c.after) << c.what;
    }
    // Only drops onto a node, and only this model's own drags.
    site_tree_model other(s.tree);
    std::unique_ptr<QMimeData> foreign(other.mimeData({other.index_of(s.alpha)}));
    EXPECT_FALSE(model.canDropMimeData(foreign.get(), Qt::MoveAction, -1, -1, model.index_of(s.home)));
    std::unique_ptr<QMimeData> own(model.mimeData({model.index_of(s.alpha)}));
    EXPECT_FALSE(model.canDropMimeData(own.get(), Qt::MoveAction, 0, 0, model.index_of(s.home)));
    EXPECT_FALSE(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsDragEnabled));

    ftp_profile* fresh = ftp_profile::make(qvtf::profile_site);
    model.add_node(fresh, nullptr, s.beta);
    EXPECT_EQ(s.beta->next, fresh);
    model.remove_node(s.home);
    EXPECT_EQ(labels_under(s.tree.top()), "");
}

// Scripted answers for the dialog's message boxes; every box is recorded.
struct boxes {
    std::deque<QMessageBox::StandardButton> answers;
    QStringList texts;
    void attach(TSiteManagerForm& form)
    {
        form.message_box = [this](QMessageBox::Icon, const QString&, const QString& text,
                                  QMessageBox::StandardButtons) {
            texts << text;
            if (answers.empty())
                return QMessageBox::Ok;
            const auto a = answers.front();
            answers.pop_front();
            return a;
        };
    }
    QString last() const { return texts.isEmpty() ? QString() : texts.last(); }
};

void set_text(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    QTest::keyClicks(edit, text.isEmpty() ? QString() : text);
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
}

TEST(SiteManager, EditsSavesConnectsAndDeletesAsTheUserDoes)
{
    gui_application();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const qvtf::qxval path(dir.filePath("site_profiles.xml").toStdString());
    qvtf::qxval key;
    ASSERT_TRUE(qvtf::make_installation_key(key));

    sample_tree s;
    TSiteManagerForm form(s.tree, &language(), nullptr);
    form.set_profile_path(path);
    form.set_key(key);
    boxes box;
    box.attach(form);
    std::vector<ftp_profile*> connected;
    form.on_connect = [&](ftp_profile* p) { connected.push_back(p); };
    auto* eLabel = child<QLineEdit>(form, "eLabel");
    auto* eHost = child<QLineEdit>(form, "eHost");
    auto* ePort = child<QLineEdit>(form, "ePort");
    auto* eUser = child<QLineEdit>(form, "eUser");
    auto* ePassword = child<QLineEdit>(form, "ePassword");
    auto* eDirectory = child<QLineEdit>(form, "eDirectory");
    auto* cbAnonymous = child<QCheckBox>(form, "cbAnonymous");
    auto* miNewBookmark = child<QAction>(form, "miNewBookmark");
    auto* miNewGroup = child<QAction>(form, "miNewGroup");
    auto* miDelete = child<QAction>(form, "miDelete");
    auto* pages = child<QTabWidget>(form, "pages");
    QAbstractItemModelTester tester(&form.model(), Mode::Fatal);

    // Opening with a new site: it goes into the top group, its label follows
    // the host until the label itself is typed into.
    ASSERT_TRUE(form.prepare_to_open(true));
    form.show();
    ftp_profile* site = form.current();
    ASSERT_TRUE(site && site->is_site());
    EXPECT_EQ(site->parent, s.tree.top());
    EXPECT_EQ(eLabel->text(), phrase(218));
    EXPECT_EQ(form.focusWidget(), eHost);
    EXPECT_EQ(form.status_text(), phrase(226));
    QTest::keyClicks(eHost, "ftp.example.net");
    EXPECT_EQ(eLabel->text(), "ftp.example.net");
    QTest::keyClicks(eLabel, " (mine)");
    QTest::keyClicks(eHost, "x");
    EXPECT_EQ(eLabel->text(), "ftp.example.net (mine)");
    EXPECT_TRUE(form.modified());

    // Connect checks, one field at a time; anonymous needs no user or password.
    struct check {
        const char* host;
        const char* port;
        const char* user;
        const char* password;
        bool anonymous;
        int refusal;  // phrase, 0 when it connects
    };
    const check checks[] = {
        {"", "21", "u", "p", false, 240},          {"h.example", "0", "u", "p", false, 241},
        {"h.example", "-5", "u", "p", false, 241}, {"h.example", "21", "", "p", false, 242},
        {"h.example", "21", "u", "", false, 479},  {"h.example", "2121", "", "", true, 0},
        {"h.example", "21", "u", "p", false, 0},
    };
    // Fields reach the site only inside the guard the window gives (the queue's lock).
    std::string guarded_host;
    form.shared_write = [&](const std::function<void()>& write) {
        write();
        guarded_host = site->host.str();
    };
    for (const check& c : checks) {
        SCOPED_TRACE(std::string(c.host) + ":" + c.port + " " + c.user + "/" + c.password);
        if (!form.isVisible()) {
            ASSERT_TRUE(form.prepare_to_open(false));
            form.show();
        }
        ASSERT_EQ(form.current(), site);
        if (cbAnonymous->isChecked() != c.anonymous)
            QTest::mouseClick(cbAnonymous, Qt::LeftButton, {}, QPoint(4, cbAnonymous->height() / 2));
        ASSERT_EQ(cbAnonymous->isChecked(), c.anonymous);
        EXPECT_EQ(eUser->isEnabled(), !c.anonymous);
        set_text(eHost, c.host);
        set_text(ePort, c.port);
        if (!c.anonymous) {
            set_text(eUser, c.user);
            set_text(ePassword, c.password);
        }
        box.texts.clear();
        box.answers = {QMessageBox::No};  // do not save before connecting
        const std::size_t before = connected.size();
        form.connect_current();
        if (c.refusal) {
            EXPECT_EQ(box.last(), phrase(c.refusal));
            EXPECT_TRUE(form.isVisible());
            EXPECT_EQ(connected.size(), before);
        } else {
            EXPECT_FALSE(form.isVisible());
            ASSERT_EQ(connected.size(), before + 1);
            EXPECT_EQ(connected.back(), site);
            EXPECT_EQ(site->host.view(), c.host);
            EXPECT_EQ(guarded_host, c.host);
            if (c.anonymous) {
                EXPECT_EQ(site->user_name.view(), language().text(235));
                EXPECT_EQ(site->password.view(), language().text(236));
            }
        }
    }
    EXPECT_EQ(site->host_port, 21);

    // A host typed with its port fills both fields, on leaving the field or
    // on the way to the site; a bare IPv6 address stays as it is.
    const std::array<std::array<const char*, 3>, 4> typed = {{
        {"[::1]:2121", "::1", "2121"},
        {"ftp.example.net:990", "ftp.example.net", "990"},
        {"fe80::1", "fe80::1", "21"},
        {"[::1]x", "[::1]x", "21"},
    }};
    for (const auto& [text, host, port] : typed) {
        set_text(ePort, "21");
        set_text(eHost, text);
        emit eHost->editingFinished();
        EXPECT_EQ(eHost->text(), host) << text;
        EXPECT_EQ(ePort->text(), port) << text;
    }
    // Connecting without leaving the field; then back to the site as it was.
    for (const auto& [text, host, port] : {typed[0], std::array<const char*, 3>{"h.example", "h.example", "21"}}) {
        ASSERT_TRUE(form.prepare_to_open(false));
        form.show();
        set_text(ePort, "21");
        set_text(eHost, text);
        box.answers = {QMessageBox::No};
        form.connect_current();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(site->host.view(), host);
        EXPECT_EQ(site->host_port, std::atoi(port));
    }

    // Leaving the port field rewrites it as the number it reads as.
    set_text(ePort, "abc");
    emit ePort->editingFinished();
    EXPECT_EQ(ePort->text(), "0");
    set_text(ePort, "21");

    // Tab goes down the fields in reading order.
    {
        QStringList chain;
        const QStringList wanted = {
            "eLabel",    "eHost",          "ePort",      "cbAnonymous",     "eUser",
            "ePassword", "cbSavePassword", "eDirectory", "eLocalDirectory", "sbBrowseLocalDirectory"};
        QWidget* w = eLabel;
        for (int i = 0; i < 40 && chain.size() < wanted.size(); ++i, w = w->nextInFocusChain())
            if (wanted.contains(w->objectName()))
                chain << w->objectName();
        EXPECT_EQ(chain, wanted);
    }

    // Save writes the file; a reload reads the same tree.
    ASSERT_TRUE(form.prepare_to_open(false));
    form.show();
    ASSERT_EQ(form.current(), site);
    set_text(eDirectory, "/pub/www");
    pages->setCurrentIndex(1);
    set_text(child<QLineEdit>(form, "eList"), "-la");
    child<QCheckBox>(form, "cbDetectTimeDiff")->setChecked(false);
    ASSERT_TRUE(form.save_current());
    EXPECT_EQ(form.status_text(), phrase(227));
    EXPECT_FALSE(form.modified());
    {
        qvtf::ftp_profile_tree again;
        ASSERT_EQ(again.load(path, key, language()), qvtf::profile_ok);
        const auto a = s.tree.entries();
        const auto b = again.entries();
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i)
            EXPECT_EQ(a[i].path, b[i].path);
        ftp_profile* loaded = again.find("ftp.example.net (mine)");
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->host.view(), "h.example");
        EXPECT_EQ(loaded->password.view(), "p");
        EXPECT_EQ(loaded->directory.view(), "/pub/www");
        EXPECT_EQ(loaded->list_params.view(), "-la");
        EXPECT_EQ(loaded->time_difference_state, qvtf::time_difference_switched_off);
    }

    // Pictures of both pages for a person to look at.
    if (const QString shots = qEnvironmentVariable("QVTF_SHOT_DIR"); !shots.isEmpty()) {
        form.tree_view().expandAll();
        pages->setCurrentIndex(0);
        form.grab().save(shots + "/site_manager_basic.png");
        pages->setCurrentIndex(1);
        form.grab().save(shots + "/site_manager_advanced.png");
        pages->setCurrentIndex(0);
    }

    // Undo puts the stored fields back.
    set_text(eHost, "elsewhere.example");
    form.undo_current();
    EXPECT_EQ(eHost->text(), "h.example");
    EXPECT_FALSE(form.modified());
    EXPECT_EQ(form.status_text(), phrase(228));

    // Pending edits: Yes stays on the node, No lets the selection go.
    set_text(eHost, "pending.example");
    box.texts.clear();
    box.answers = {QMessageBox::Yes};
    form.select_node(s.beta);
    EXPECT_EQ(box.last(), phrase(231));
    EXPECT_EQ(form.current(), site);
    EXPECT_EQ(form.model().node_at(form.tree_view().currentIndex()), site);
    box.answers = {QMessageBox::Yes};
    form.new_item(qvtf::profile_group);
    EXPECT_EQ(form.current(), site);
    box.answers = {QMessageBox::No};
    EXPECT_TRUE(form.select_node(s.beta));
    EXPECT_FALSE(form.modified());
    EXPECT_EQ(site->host.view(), "h.example");

    // Bookmarks: not under a group; from a bookmark a sibling bookmark whose
    // label follows its folder, with the site's data greyed.
    form.select_node(s.work);
    EXPECT_FALSE(miNewBookmark->isEnabled());
    EXPECT_EQ(form.status_text(), phrase(225));
    EXPECT_FALSE(pages->isTabVisible(1));
    if (const QString shots = qEnvironmentVariable("QVTF_SHOT_DIR"); !shots.isEmpty())
        form.grab().save(shots + "/site_manager_group.png");
    form.select_node(s.docs);
    EXPECT_TRUE(miNewBookmark->isEnabled());
    EXPECT_EQ(eHost->text(), "alpha.example.org");
    EXPECT_FALSE(eHost->isEnabled());
    if (const QString shots = qEnvironmentVariable("QVTF_SHOT_DIR"); !shots.isEmpty())
        form.grab().save(shots + "/site_manager_bookmark.png");
    form.new_item(qvtf::profile_bookmark);
    ftp_profile* mark = form.current();
    ASSERT_TRUE(mark && mark->is_bookmark());
    EXPECT_EQ(s.docs->next, mark);
    EXPECT_EQ(form.focusWidget(), eDirectory);
    QTest::keyClicks(eDirectory, "/img");
    EXPECT_EQ(eLabel->text(), "/img");
    EXPECT_FALSE(eUser->isEnabled());
    ASSERT_TRUE(form.save_current());

    // The clock-difference box: cleared switches measuring off; checked
    // keeps a measurement of this session, else asks for one.
    {
        auto* detect = child<QCheckBox>(form, "cbDetectTimeDiff");
        form.select_node(s.alpha);
        struct state_case {
            int32_t before;
            bool checked;
            int32_t after;
        };
        for (const state_case c :
             {state_case{1, true, 1}, state_case{4, true, 0}, state_case{1, false, 4}, state_case{0, true, 0}}) {
            s.alpha->time_difference_state = c.before;
            form.undo_current();
            detect->setChecked(c.checked);
            ASSERT_TRUE(form.save_current());
            EXPECT_EQ(s.alpha->time_difference_state, c.after) << c.before << " " << c.checked;
        }
    }

    // Enter on a site in the tree connects to it.
    form.select_node(s.alpha);
    box.answers.clear();
    QTest::keyClick(&form.tree_view(), Qt::Key_Return);
    ASSERT_FALSE(connected.empty());
    EXPECT_EQ(connected.back(), s.alpha);
    EXPECT_FALSE(form.isVisible());
    ASSERT_TRUE(form.prepare_to_open(false));
    form.show();
    EXPECT_EQ(form.current(), s.alpha);
    // So does a double-click on it.
    {
        QTreeView& view = form.tree_view();
        const QRect rect = view.visualRect(form.model().index_of(s.beta));
        ASSERT_FALSE(rect.isEmpty());
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, rect.center());
        EXPECT_EQ(form.current(), s.beta);
        set_text(eHost, "b.example");
        set_text(eUser, "bob");
        set_text(ePassword, "pw");
        box.answers = {QMessageBox::No};
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, rect.center());
        ASSERT_FALSE(connected.empty());
        EXPECT_EQ(connected.back(), s.beta);
        EXPECT_FALSE(form.isVisible());
        ASSERT_TRUE(form.prepare_to_open(false));
        form.show();
        EXPECT_EQ(form.current(), s.beta);
        form.select_node(s.alpha);
    }

    // A new group from a site goes right after it.
    form.select_node(s.beta);
    form.new_item(qvtf::profile_group);
    ftp_profile* group = form.current();
    ASSERT_TRUE(group && group->is_group());
    EXPECT_EQ(s.beta->next, group);
    EXPECT_EQ(form.focusWidget(), eLabel);

    // Deleting: No keeps it; Yes selects the next sibling, else the previous,
    // else the parent. The top group can't be deleted.
    box.answers = {QMessageBox::No};
    form.delete_current();
    EXPECT_EQ(form.current(), group);
    box.answers = {QMessageBox::Yes};
    form.select_node(s.docs);
    QTest::keyClick(&form.tree_view(), Qt::Key_Delete);
    EXPECT_EQ(form.current(), mark);
    box.answers = {QMessageBox::Yes};
    form.delete_current();
    EXPECT_EQ(form.current(), s.alpha);
    form.in_use = [&](const ftp_profile* p) { return p == s.sub; };
    form.select_node(s.home);
    box.answers = {QMessageBox::Yes};
    form.delete_current();
    EXPECT_EQ(form.current(), s.home);
    EXPECT_EQ(box.last(), phrase(205));
    form.select_node(s.sub);
    box.answers = {QMessageBox::Yes};
    form.delete_current();
    EXPECT_EQ(form.current(), s.sub);
    EXPECT_EQ(box.last(), phrase(205));
    form.in_use = nullptr;
    box.answers = {QMessageBox::Yes};
    form.delete_current();
    EXPECT_EQ(form.current(), s.home);
    EXPECT_EQ(labels_under(s.home), "");
    form.select_node(s.tree.top());
    EXPECT_FALSE(miDelete->isEnabled());
    EXPECT_TRUE(miNewGroup->isEnabled());
    EXPECT_FALSE(eLabel->isEnabled());

    // Closing with pending edits asks; Yes keeps the dialog open.
    form.select_node(s.beta);
    set_text(eHost, "unsaved.example");
    box.answers = {QMessageBox::Yes};
    form.reject();
    EXPECT_TRUE(form.isVisible());
    box.answers = {QMessageBox::No};
    form.reject();
    EXPECT_FALSE(form.isVisible());
}

}  // namespace
