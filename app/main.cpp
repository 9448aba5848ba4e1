// qvtf: the desktop window. Whatever name it is started under, it is the client.
//   --home DIR          the user data folder
//   --demo-site PORT    make sure the profiles hold "Demo server (local)" on
//                       127.0.0.1:PORT (user and password "demo")
//   --connect LABEL     connect to that site (or Group/Site/Bookmark) at once
//   --local DIR         the local pane's first folder
//   --download NAME     once connected, queue NAME of the remote start folder
//   --setup-only        only the start-up and --demo-site; nothing else is written
//   --screenshot FILE   render the window once it shows the remote folder
//                       (and the download, if any, is moving), write a PNG, quit
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/app_session.h"
#include "app/main_window.h"
#include "app/password_at_connect.h"
#include "app/prompts.h"
#include "app/ui_queue_manager.h"
#include "browse/qx_ftp_file_lister.h"
#include "browse/qx_local_file_lister.h"
#include "core/own_temporaries.h"
#include "queue/ftp_queue_process_manager.h"

namespace {

constexpr const char* demo_site_label = "Demo server (local)";

struct program_options {
    std::string home;
    int demo_port = 0;
    std::string connect;
    std::string local;
    std::string download;
    QString screenshot;
    bool setup_only = false;
};

bool parse(int argc, char** argv, program_options& o)
{
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        const char* a = argv[i];
        if (!std::strcmp(a, "--setup-only")) {
            o.setup_only = true;
            continue;
        }
        if (!has_value)
            return false;
        if (!std::strcmp(a, "--home"))
            o.home = argv[++i];
        else if (!std::strcmp(a, "--demo-site"))
            o.demo_port = std::atoi(argv[++i]);
        else if (!std::strcmp(a, "--connect"))
            o.connect = argv[++i];
        else if (!std::strcmp(a, "--local"))
            o.local = argv[++i];
        else if (!std::strcmp(a, "--download"))
            o.download = argv[++i];
        else if (!std::strcmp(a, "--screenshot"))
            o.screenshot = QString::fromLocal8Bit(argv[++i]);
        else
            return false;
    }
    return o.demo_port >= 0 && o.demo_port < 65536;
}

// The demo site, made or brought up to date; written at once.
bool ensure_demo_site(app_session& session, int port)
{
    qvtf::ftp_profile_tree& tree = session.profiles();
    qvtf::ftp_profile* site = tree.find(demo_site_label);
    if (!site || !site->is_site()) {
        site = qvtf::ftp_profile::make(qvtf::profile_site);
        if (!site || !tree.top())
            return false;
        site->label.set_string(demo_site_label);
        tree.tree.append_child(site, tree.top());
    }
    site->host.set_string("127.0.0.1");
    site->host_port = port;
    site->anonymous_login = 0;
    site->user_name.set_string("demo");
    site->password.set_string("demo");
    site->save_password = 1;
    return session.save_profiles() == qvtf::profile_ok;
}

qvtf::qxfile_node* remote_entry(qvtf::qx_ftp_file_lister& remote, const std::string& name)
{
    for (int32_t row = 0; row < remote.row_count(); ++row)
        if (qvtf::qxfile_node* node = remote.row_node(row); node && node->name.view() == name)
            return node;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    application.setApplicationName("qvtf");
    // A session ended by a signal leaves no temporary download behind.
    qvtf::remove_own_temporaries_on_signals();
    program_options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: qvtf [--home DIR] [--demo-site PORT] [--connect LABEL] [--local DIR]\n"
                     "            [--download NAME] [--screenshot FILE.png] [--setup-only]\n");
        return 2;
    }
    const bool picture = !options.screenshot.isEmpty();

    // The splash stays up while the start-up reads its files.
    std::unique_ptr<qorx_splash_form> splash;
    if (!picture && !options.setup_only) {
        splash = std::make_unique<qorx_splash_form>();
        splash->show_splash();
        QCoreApplication::processEvents();
    }
    app_session session;
    session_options start;
    start.home = options.home;
    start.first_activation = options.connect.empty() && !picture && !options.setup_only;
    start.local_folder = options.local;
    start.keyring = true;
    if (!session.start(start)) {
        splash.reset();
        if (!picture)
            QMessageBox::critical(nullptr, TqorxVTF::program_title, session.error());
        std::fprintf(stderr, "qvtf: %s\n", session.error().toLocal8Bit().constData());
        return 0;
    }
    if (options.demo_port > 0 && !ensure_demo_site(session, options.demo_port))
        std::fprintf(stderr, "qvtf: the demo site could not be written to %s\n", session.profiles_path().c_str());
    if (options.setup_only) {
        // A first run made the key the stored passwords need; keep it.
        session.settings().save();
        return 0;
    }

    TqorxVTF& window = session.window();
    if (picture) {
        // Nobody is there to answer: the picture run ends whatever the queue holds.
        window.ask = [](const QString&, const QString&) { return true; };
        window.tell = [](const QString&, const QString& text, bool) {
            std::fprintf(stderr, "qvtf: %s\n", text.toLocal8Bit().constData());
        };
        // Room for the panes' columns in the picture.
        window.resize(1024, 680);
    }
    window.show();
    if (splash) {
        splash->close_splash();
        splash.reset();
    }
    if (!options.connect.empty()) {
        qvtf::ftp_profile* site = session.profiles().find(options.connect);
        // Nobody answers a prompt in a picture run: it tries what it has.
        if (site && (picture || password_for_connect(&window, &session.language(),
                                                     session.settings().password_storage, site, nullptr)))
            session.queue().set_profile(site);
        else
            std::fprintf(stderr, "qvtf: no site \"%s\"\n", options.connect.c_str());
    }

    int code = 0;
    if (!options.download.empty() || picture) {
        // Waits, bounded, for the connection, the listing, the download's start.
        auto timer = std::make_shared<QTimer>();
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        bool queued = options.download.empty();
        QObject::connect(timer.get(), &QTimer::timeout, &window, [&, timer, clock]() mutable {
            qvtf::qx_ftp_file_lister& remote = session.remote();
            const bool listed = remote.session().logged_in() && remote.row_count() > 0;
            if (!queued && listed) {
                if (qvtf::qxfile_node* node = remote_entry(remote, options.download)) {
                    session.queue().put_nodes(1, {node}, session.local().current_folder(), 0);
                    queued = true;
                }
            }
            const bool moving = options.download.empty() || session.queue_view().moving_rows() > 0;
            const bool ready = listed && queued && moving;
            if (!picture) {
                if (queued || clock->elapsed() > 20000)
                    timer->stop();
                return;
            }
            if (!ready && clock->elapsed() < 20000)
                return;
            // Let a moving download show some progress first.
            static qint64 ready_at = -1;
            if (ready && !options.download.empty()) {
                if (ready_at < 0)
                    ready_at = clock->elapsed();
                if (clock->elapsed() - ready_at < 4000)
                    return;
            }
            timer->stop();
            if (!ready)
                std::fprintf(stderr, "qvtf: the picture shows the window before the demo was ready\n");
            if (!window.grab().save(options.screenshot)) {
                std::fprintf(stderr, "qvtf: cannot write %s\n", options.screenshot.toLocal8Bit().constData());
                code = 1;
            }
            window.close();
        });
        timer->start(100);
        application.exec();
    } else {
        application.exec();
    }
    session.stop();
    return code;
}
