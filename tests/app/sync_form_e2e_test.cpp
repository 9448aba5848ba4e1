// The wizard and the remote folder picker against a real server: folders
// picked over the browser connection, a synchronisation set up through
// the pages, its plan confirmed and run through a real transfer queue.
// QVTF_SHOTS=folder saves a picture of every window on the way.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "app/remote_folder_picker.h"
#include "app/sync_form.h"
#include "app/sync_form_run.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "gui_support.h"
#include "markup/qxlang.h"
#include "queue/ftp_queue_process_manager.h"
#include "queue/lister_queue_panes.h"
#include "support/ftp_servers.h"
#include "support/process.h"
#include "support/queue_finished.h"

namespace {

namespace fs = std::filesystem;
using namespace qvtf;

const qxlang& english()
{
    static qxlang* lang = [] {
        auto* l = new qxlang;
        qxval error;
        l->load_plain(qxval(std::string(QVTF_SOURCE_DIR) + "/data/phrases/en.xml"), error);
        return l;
    }();
    return *lang;
}

void shot(QWidget* w, const char* name)
{
    const QByteArray folder = qgetenv("QVTF_SHOTS");
    if (folder.isEmpty())
        return;
    fs::create_directories(folder.toStdString());
    w->grab().save(QString::fromUtf8(folder) + "/" + name + ".png");
}

void click_later(QPushButton* b)
{
    QTimer::singleShot(0, b, [b] { b->click(); });
}

// Runs steps against the modal window on top, one after another, from a
// timer while the code under test sits in its exec loops. A step returns
// true when it has done its part. Past the time limit every modal window
// is closed so the test ends.
class modal_driver {
public:
    using step = std::function<bool(QWidget*)>;
    explicit modal_driver(std::vector<step> steps) : steps_(std::move(steps))
    {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        timer_.start(30);
    }
    bool all_done() const { return next_ >= steps_.size(); }
    bool timed_out() const { return timed_out_; }
    size_t steps_done() const { return next_; }

private:
    void tick()
    {
        QWidget* top = QApplication::activeModalWidget();
        if (clock_.elapsed() > 60000) {
            timed_out_ = true;
            if (top)
                QTimer::singleShot(0, top, [top] { top->close(); });
            return;
        }
        if (all_done() || !top)
            return;
        if (steps_[next_](top))
            ++next_;
    }

    std::vector<step> steps_;
    size_t next_ = 0;
    QTimer timer_;
    QElapsedTimer clock_;
    bool timed_out_ = false;
};

struct connected_panes {
    global_ftp_settings settings;
    qx_lister_view view;
    qx_ftp_file_lister remote{settings, &english(), &view};
    qx_local_file_lister local{settings, &english(), &view};
    lister_queue_panes panes{remote, local};
    std::unique_ptr<ftp_profile> site{ftp_profile::make(profile_site)};
    ftp_queue_process_manager queue;
    std::atomic<int> finished{0};
    std::string base;  // the login folder's path

    bool connect(const test::real_server& server, const std::string& local_folder)
    {
        settings.max_download_threads = 2;
        queue.panes = &panes;
        queue.language = &english();
        queue.settings = &settings;
        queue.apply_settings(settings);
        qvtf::test::when_finished(queue, [this](const queue_item_result&) { ++finished; });
        if (local.change_folder(qxval(local_folder), true) != 0)
            return false;
        site->host.set_string("127.0.0.1");
        site->host_port = server.port();
        site->user_name.set_bytes(server.user());
        site->password.set_bytes(server.password());
        site->time_difference_state = time_difference_switched_off;
        queue.open();
        queue.set_profile(site.get());
        remote.wait_for_operations();
        queue.start();
        base = remote.current_path().str();
        return remote.session().logged_in() != 0;
    }
    ~connected_panes()
    {
        queue.close();
        remote.wait_for_operations();
        local.wait_for_operations();
    }
};

// Runs body once on each installed server; skips when none is.
void on_each_server(const std::function<void(test::real_server&)>& body)
{
    int ran = 0;
    for (auto kind : {test::server_kind::pyftpdlib, test::server_kind::vsftpd}) {
        if (!test::server_available(kind))
            continue;
        SCOPED_TRACE(kind == test::server_kind::vsftpd ? "vsftpd" : "pyftpdlib");
        test::real_server server(kind);
        ASSERT_TRUE(server.ok()) << server.log();
        body(server);
        ++ran;
    }
    if (ran == 0)
        GTEST_SKIP() << "no FTP server installed";
}

std::string under(const std::string& base, const std::string& name)
{
    return base == "/" ? "/" + name : base + "/" + name;
}

void picker_scenario(test::real_server& server_ref)
{
    test::real_server* server = &server_ref;
    fs::create_directories(server->root() + "/dest/inner");
    fs::create_directories(server->root() + "/gone");
    std::ofstream(server->root() + "/file.txt") << "not a folder";
    test::temp_folder local_folder("qvtf-picker-local");
    connected_panes p;
    ASSERT_TRUE(p.connect(*server, local_folder.path()));
    fs::remove(server->root() + "/gone");

    std::vector<QString> messages;
    TRemoteFolderPicker picker(p.remote.session(), &english());
    picker.show_message = [&](const QString&, const QString& text) { messages.push_back(text); };
    picker.show();
    shot(&picker, "picker");
    EXPECT_EQ(picker.path_line()->text().toStdString(), p.base);
    // Folders only: the file is not offered.
    EXPECT_FALSE(picker.select_path(QString::fromStdString(under(p.base, "file.txt"))));

    // A folder that went away: the failure is shown and the dialog lives on.
    ASSERT_TRUE(picker.select_path(QString::fromStdString(under(p.base, "gone"))));
    ASSERT_TRUE(process_until([&] { return !picker.listing() && !messages.empty(); }, 20000));
    EXPECT_TRUE(messages[0].startsWith("Can't read the folder " + QString::fromStdString(under(p.base, "gone"))))
        << messages[0].toStdString();
    EXPECT_EQ(p.remote.session().current_path().str(), p.base);

    // Selecting an unlisted folder lists it; its subfolder appears.
    ASSERT_TRUE(picker.select_path(QString::fromStdString(under(p.base, "dest"))));
    ASSERT_TRUE(process_until([&] { return !picker.listing(); }, 20000));
    ASSERT_TRUE(picker.select_path(QString::fromStdString(under(p.base, "dest") + "/inner")));
    ASSERT_TRUE(process_until([&] { return !picker.listing(); }, 20000));
    EXPECT_EQ(picker.path_line()->text().toStdString(), under(p.base, "dest") + "/inner");
    EXPECT_EQ(p.remote.session().current_path().str(), p.base);
    shot(&picker, "picker_listed");

    // Up, then OK hands the folder back.
    picker.up_button()->click();
    EXPECT_EQ(picker.path_line()->text().toStdString(), under(p.base, "dest"));
    picker.accept();
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    EXPECT_EQ(picker.chosen_path().toStdString(), under(p.base, "dest"));

    // OK without a selection asks for one.
    TRemoteFolderPicker again(p.remote.session(), &english());
    again.show_message = [&](const QString& caption, const QString& text) { messages.push_back(caption + "|" + text); };
    again.tree()->clearSelection();
    again.accept();
    EXPECT_EQ(messages.back(), "Remote folder|Select a folder in the tree first.");
    EXPECT_NE(again.result(), QDialog::Accepted);
}

// What one pass through the wizard saw.
struct wizard_pass {
    int result = -1;
    int plan_rows = -1;
    QStringList lines;
    bool timed_out = false;
    size_t steps_done = 0;
};

// Drives the wizard on its pages: the remote folder through the picker
// (pick non-empty) or typed; folders() and filters() set up pages 1 and 2;
// the plan is confirmed and the run's dialog closed once it has ended.
wizard_pass run_wizard(TSyncForm& form, const std::string& pick, const std::string& shots,
                       const std::function<void()>& folders, const std::function<void()>& filters)
{
    wizard_pass pass;
    auto name = [&](const char* what) { return (shots + what); };
    std::vector<modal_driver::step> steps;
    steps.push_back([&](QWidget* top) {
        if (top != &form)
            return false;
        shot(&form, name("page0_load").c_str());
        click_later(form.bNext);
        return true;
    });
    if (!pick.empty()) {
        steps.push_back([&](QWidget*) {
            if (form.page() != 1)
                return false;
            click_later(form.bRemoteSelect);
            return true;
        });
        steps.push_back([&](QWidget* top) {
            auto* picker = qobject_cast<TRemoteFolderPicker*>(top);
            return picker && picker->select_path(QString::fromStdString(pick));
        });
        steps.push_back([&](QWidget* top) {
            auto* picker = qobject_cast<TRemoteFolderPicker*>(top);
            if (!picker || picker->listing())
                return false;
            click_later(picker->findChild<QPushButton*>("bOK"));
            return true;
        });
    }
    steps.push_back([&](QWidget* top) {
        if (top != &form || form.page() != 1 || (!pick.empty() && form.eRemoteFolder->text().toStdString() != pick))
            return false;
        folders();
        shot(&form, name("page1_folders").c_str());
        click_later(form.bNext);
        return true;
    });
    steps.push_back([&](QWidget*) {
        if (form.page() != 2)
            return false;
        filters();
        shot(&form, name("page2_filters").c_str());
        click_later(form.bNext);
        return true;
    });
    steps.push_back([&](QWidget*) {
        if (form.page() != 3)
            return false;
        shot(&form, name("page3_save").c_str());
        click_later(form.bNext);
        return true;
    });
    steps.push_back([&](QWidget* top) {
        auto* plan = qobject_cast<TSyncPlanDialog*>(top);
        if (!plan)
            return false;
        pass.plan_rows = plan->table()->topLevelItemCount();
        shot(plan, name("plan").c_str());
        click_later(plan->run_button());
        return true;
    });
    steps.push_back([&](QWidget* top) {
        auto* run = qobject_cast<TSyncProgressDialog*>(top);
        if (!run || !run->close_button()->isEnabled())
            return false;
        for (int i = 0; i < run->lines()->count(); ++i)
            pass.lines << run->lines()->item(i)->text();
        shot(run, name("run_done").c_str());
        click_later(run->close_button());
        return true;
    });
    modal_driver driver(std::move(steps));
    pass.result = form.exec();
    pass.timed_out = driver.timed_out();
    pass.steps_done = driver.steps_done();
    return pass;
}

void wizard_scenario(test::real_server& server_ref)
{
    test::real_server* server = &server_ref;
    fs::create_directories(server->root() + "/dest");
    // Made by the test's user; the server's user writes into it.
    fs::permissions(server->root() + "/dest", fs::perms::all);
    test::temp_folder local_folder("qvtf-wizard-local");
    fs::create_directories(local_folder.file("sub"));
    std::ofstream(local_folder.file("a.txt")) << "alpha";
    std::ofstream(local_folder.file("sub/b.txt")) << "beta beta";
    std::ofstream(local_folder.file("skip.tmp")) << "left out";
    connected_panes p;
    ASSERT_TRUE(p.connect(*server, local_folder.path()));
    const std::string dest = under(p.base, "dest");

    TSyncForm form(&english());
    sync_form_engine engine;
    engine.settings = &p.settings;
    engine.remote = &p.remote;
    engine.local = &p.local;
    engine.queue = &p.queue;
    auto prepare = [&] {
        form.prepare(QString::fromStdString(local_folder.path()), QString::fromStdString(p.base), engine);
        form.resize(form.sizeHint());
    };

    // Upload with subfolders into a folder picked on the server; *.tmp is
    // left out.
    prepare();
    wizard_pass up = run_wizard(
        form, dest, "up_", [&] { form.cbRecursive->setChecked(true); }, [&] { form.eSkip->setText("*.tmp"); });
    EXPECT_FALSE(up.timed_out) << "stopped at step " << up.steps_done;
    EXPECT_EQ(up.result, QDialog::Accepted);
    EXPECT_EQ(form.last_failures(), 0) << up.lines.join("\n").toStdString();
    // Upload a.txt, create dest/sub, upload sub/b.txt.
    EXPECT_EQ(up.plan_rows, 3);
    EXPECT_EQ(up.lines.size(), 3);
    EXPECT_EQ(test::read_text_file(server->root() + "/dest/a.txt"), "alpha");
    EXPECT_EQ(test::read_text_file(server->root() + "/dest/sub/b.txt"), "beta beta");
    EXPECT_FALSE(fs::exists(server->root() + "/dest/skip.tmp"));
    // The window's queue ran on, and its owner heard of each transfer.
    EXPECT_TRUE(p.queue.is_open());
    EXPECT_EQ(p.finished, 2);

    // Download with deletion of what only the local side has: the new
    // remote file arrives after the queue ran, the extra local file goes,
    // the masked one stays, and the files both have are left alone.
    std::ofstream(server->root() + "/dest/sub/new.txt") << "fresh";
    std::ofstream(local_folder.file("extra.txt")) << "only here";
    p.remote.wait_for_operations();
    prepare();
    wizard_pass down = run_wizard(
        form, "", "down_",
        [&] {
            form.eRemoteFolder->setText(QString::fromStdString(dest));
            form.cbDirection->setCurrentIndex(1);
            form.cbRecursive->setChecked(true);
            form.cbDeleteExtra->setChecked(true);
        },
        [&] { form.eSkip->setText("*.tmp"); });
    EXPECT_FALSE(down.timed_out) << "stopped at step " << down.steps_done;
    EXPECT_EQ(down.result, QDialog::Accepted);
    EXPECT_EQ(form.last_failures(), 0) << down.lines.join("\n").toStdString();
    EXPECT_EQ(down.plan_rows, 2) << down.lines.join("\n").toStdString();
    EXPECT_EQ(test::read_text_file(local_folder.file("sub/new.txt")), "fresh");
    EXPECT_FALSE(fs::exists(local_folder.file("extra.txt")));
    EXPECT_TRUE(fs::exists(local_folder.file("skip.tmp")));
    EXPECT_EQ(p.finished, 3);

    // The panes re-list after the run; the connection is back where it was.
    p.remote.wait_for_operations();
    p.local.wait_for_operations();
    // The emptied queue has the pane list its folder again: let that end
    // before reading the session's path.
    p.remote.wait_for_operations();
    EXPECT_EQ(p.remote.session().current_path().str(), p.base);
}

TEST(SyncFormServer, PickerListsFoldersAndPutsTheConnectionBack)
{
    gui_application();
    on_each_server(picker_scenario);
}

TEST(SyncFormServer, WizardRunsThroughTheQueue)
{
    gui_application();
    on_each_server(wizard_scenario);
}

}  // namespace
