// Recursive delete and permission change on a real server, and the clock
// offset against a scripted server whose clock runs an hour ahead.
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include <gtest/gtest.h>

#include "ftp_test_session.h"
#include "queue/ftp_queue_item.h"
#include "remote/chmod_plan.h"
#include "support/ftp_servers.h"
#include "support/process.h"
#include "test_data_support.h"

namespace qvtf::test {
namespace {

qxfile_node* child(ftp_control& s, const std::string& name)
{
    for (qxfile_node* n = s.current_folder() ? s.current_folder()->first_child : nullptr; n; n = n->next)
        if (n->name.view() == name)
            return n;
    return nullptr;
}

TEST(Walk, RecursiveDeleteRemovesTheTreeButNotALinkedFolder)
{
    if (!vsftpd_available())
        GTEST_SKIP();
    vsftpd_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    const std::string r = server.root();
    ::mkdir((r + "/tree").c_str(), 0777);
    ::mkdir((r + "/tree/sub").c_str(), 0777);
    ::mkdir((r + "/keep").c_str(), 0777);
    ASSERT_TRUE(write_bytes(r + "/tree/a", "a"));
    ASSERT_TRUE(write_bytes(r + "/tree/sub/b", "b"));
    ASSERT_TRUE(write_bytes(r + "/keep/k", "k"));
    ASSERT_EQ(::symlink("../keep", (r + "/tree/link").c_str()), 0);
    ASSERT_EQ(::system(("chown -R " + server.user() + " " + r).c_str()), 0);

    logged_session session;
    ASSERT_EQ(log_in_to(session, server.port(), server.user(), server.password()), 0);
    ASSERT_EQ(session.list_directory(qxval("")), 0);
    qxfile_node* tree = child(session, "tree");
    ASSERT_TRUE(tree);
    const std::string start = session.current_path().str();
    EXPECT_EQ(session.delete_entry(*tree), 0);
    EXPECT_FALSE(file_exists(r + "/tree"));
    EXPECT_TRUE(file_exists(r + "/keep/k")) << "a link to a folder is deleted, never entered";
    EXPECT_EQ(session.current_path().str(), start) << "the walk comes back";
    ASSERT_FALSE(session.statuses.empty());
    EXPECT_EQ(session.statuses.front(), "[39]tree");

    // Nothing there any more: the walk fails with the server's words.
    qxfile_node gone;
    gone.name.set_string("tree");
    gone.is_folder = 1;
    const remote_result failure = session.delete_entry(gone);
    EXPECT_EQ(failure, status_recursive_failed);
    qxval text;
    session.error_text(failure, text);
    EXPECT_EQ(text.str().substr(0, 3), "550");
}

// A tree deeper than the walk goes stops at the bound with its own text,
// comes back up, and deletes none of the folders it did not finish.
TEST(Walk, FoldersNestedDeeperThanTheBoundStopTheWalk)
{
    if (!vsftpd_available())
        GTEST_SKIP();
    vsftpd_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    std::string deepest = server.root() + "/deep";
    ASSERT_EQ(::mkdir(deepest.c_str(), 0777), 0);
    for (int level = 0; level < ftp_control::walk_depth_limit + 1; ++level) {
        deepest += "/d";
        ASSERT_EQ(::mkdir(deepest.c_str(), 0777), 0) << level;
    }
    ASSERT_EQ(::system(("chown -R " + server.user() + " " + server.root()).c_str()), 0);

    logged_session session;
    ASSERT_EQ(log_in_to(session, server.port(), server.user(), server.password()), 0);
    ASSERT_EQ(session.list_directory(qxval("")), 0);
    qxfile_node* deep = child(session, "deep");
    ASSERT_TRUE(deep);
    const std::string start = session.current_path().str();
    const remote_result failure = session.delete_entry(*deep);
    EXPECT_EQ(failure, status_recursive_failed);
    qxval text;
    session.error_text(failure, text);
    EXPECT_NE(text.str().find("deeper than 512 levels"), std::string::npos) << text.str();
    EXPECT_TRUE(file_exists(deepest)) << "nothing below the bound is removed";
    EXPECT_EQ(session.current_path().str(), start) << "the walk comes back up";
    EXPECT_EQ(session.print_folder(), 0) << "the session is still usable";
}

TEST(Walk, RecursiveChangeModeReachesEveryEntry)
{
    if (!vsftpd_available())
        GTEST_SKIP();
    vsftpd_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    const std::string r = server.root();
    ::mkdir((r + "/t").c_str(), 0755);
    ::mkdir((r + "/t/s").c_str(), 0755);
    ASSERT_TRUE(write_bytes(r + "/t/f", "f"));
    ASSERT_TRUE(write_bytes(r + "/t/s/g", "g"));
    ASSERT_EQ(::symlink(".", (r + "/t/s/self").c_str()), 0);
    ASSERT_EQ(::system(("chown -hR " + server.user() + " " + r).c_str()), 0);

    ftp_control session;
    ASSERT_EQ(log_in_to(session, server.port(), server.user(), server.password()), 0);
    ASSERT_EQ(session.list_directory(qxval("")), 0);
    chmod_request change;
    change.mode.set_string("700");
    ASSERT_TRUE(child(session, "t"));
    EXPECT_EQ(session.change_mode_entry(*child(session, "t"), change), 0);
    struct stat st {};
    for (const char* p : {"/t", "/t/s", "/t/f", "/t/s/g"}) {
        ASSERT_EQ(::stat((r + p).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u) << p;
    }
}

// Files of a recursive change take their own value, and "apply to" leaves
// one kind as it was.
TEST(Walk, RecursiveChangeModeSetsFilesAndFoldersApart)
{
    if (!vsftpd_available())
        GTEST_SKIP();
    vsftpd_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    const std::string r = server.root();
    ::mkdir((r + "/t").c_str(), 0755);
    ::mkdir((r + "/t/s").c_str(), 0755);
    ASSERT_TRUE(write_bytes(r + "/t/f", "f"));
    ASSERT_TRUE(write_bytes(r + "/t/s/g", "g"));
    ASSERT_EQ(::system(("chown -hR " + server.user() + " " + r).c_str()), 0);

    struct row {
        const char* folders;
        const char* files;  // "" : the folders' value
        int targets;
        unsigned folder_after, file_after;  // from 0711 and 0600
    };
    const row rows[] = {
        {"775", "664", chmod_all, 0775, 0664},
        {"750", "", chmod_all, 0750, 0750},  // one value for all, as before
        {"775", "644", chmod_files_only, 0711, 0644},
        {"755", "644", chmod_folders_only, 0755, 0600},
    };
    ftp_control session;
    ASSERT_EQ(log_in_to(session, server.port(), server.user(), server.password()), 0);
    for (const row& w : rows) {
        for (const char* p : {"/t", "/t/s"})
            ::chmod((r + p).c_str(), 0711);
        for (const char* p : {"/t/f", "/t/s/g"})
            ::chmod((r + p).c_str(), 0600);
        ASSERT_EQ(session.list_directory(qxval("")), 0);
        const chmod_request change{qxval(w.folders), qxval(w.files), w.targets};
        ASSERT_TRUE(child(session, "t"));
        EXPECT_EQ(session.change_mode_entry(*child(session, "t"), change), 0) << w.folders;
        struct stat st {};
        for (const char* p : {"/t", "/t/s", "/t/f", "/t/s/g"}) {
            ASSERT_EQ(::stat((r + p).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, S_ISDIR(st.st_mode) ? w.folder_after : w.file_after)
                << p << " " << w.folders << "/" << w.files << " targets " << w.targets;
        }
    }
}

TEST(Walk, AFolderThatContainsItselfStopsTheWalkAndDeletesNothing)
{
    data_peer listing(data_peer::mode::send, "drwxr-xr-x 1 u g 0 Jan 01  2020 loop\r\n");
    listing.accept_in_background();
    scripted_ftp_server server;
    server.send("220 ready\r\n")
        .expect("331 pw\r\n")
        .expect("230 in\r\n")
        .expect("257 \"/\"\r\n")
        .expect("250 ok\r\n")
        .expect("257 \"/loop\"\r\n")
        .expect("200 a\r\n")
        .expect(listing.pasv_reply())
        .expect("150 list\r\n226 ok\r\n")
        .expect("250 ok\r\n")
        .expect("257 \"/loop\"\r\n")  // the same folder again
        .expect("250 ok\r\n")
        .expect("257 \"/loop\"\r\n")  // back one level
        .expect("250 ok\r\n")
        .expect("257 \"/\"\r\n");  // back where it began
    server.start();
    logged_session session;
    inputs(session).site().port = server.port();
    inputs(session).options().timeout = 5;
    inputs(session).options().passive = true;
    inputs(session).options().listing_reader = parser();
    ASSERT_EQ(session.log_in(), 0);
    ASSERT_EQ(session.print_folder(), 0);
    qxfile_node entry;
    entry.name.set_string("loop");
    entry.is_folder = 1;
    const remote_result failure = session.delete_entry(entry);
    EXPECT_EQ(failure, status_recursive_failed);
    qxval text;
    session.error_text(failure, text);
    EXPECT_NE(text.str().find("/loop"), std::string::npos) << text.str();
    const lines wire = server.lines();
    EXPECT_EQ(
        lines(wire.begin() + std::min<size_t>(wire.size(), 3), wire.end()),
        (lines{"CWD loop", "PWD", "TYPE A", "PASV", "LIST", "CWD loop", "PWD", "CWD /loop", "PWD", "CWD /", "PWD"}));
    EXPECT_EQ(session.current_path().str(), "/");
}

// A link whose target the listing does not give, on a server that names
// the folder a link leads to: one that leads above the walk is not entered,
// and the walk goes back by name (its parent is elsewhere) and goes on.
TEST(Walk, ChangeModeSkipsALinkThatLeadsAboveTheWalk)
{
    data_peer listing(data_peer::mode::send,
                      "lrwxrwxrwx 1 u g 1 Jan 01  2020 up\r\n-rw-r--r-- 1 u g 1 Jan 01  2020 f\r\n");
    listing.accept_in_background();
    scripted_ftp_server server;
    server.send("220 ready\r\n")
        .expect("331 pw\r\n")
        .expect("230 in\r\n")
        .expect("257 \"/\"\r\n")
        .expect("250 ok\r\n")
        .expect("257 \"/t\"\r\n")
        .expect("200 a\r\n")
        .expect(listing.pasv_reply())
        .expect("150 list\r\n226 ok\r\n")
        .expect("250 ok\r\n")
        .expect("257 \"/\"\r\n")  // up leads to the top of the server
        .expect("250 ok\r\n")
        .expect("257 \"/t\"\r\n")
        .expect("200 ok\r\n")
        .expect("200 ok\r\n")
        .expect("250 ok\r\n")
        .expect("257 \"/\"\r\n")
        .expect("200 ok\r\n");
    server.start();
    logged_session session;
    inputs(session).site().port = server.port();
    inputs(session).options().timeout = 5;
    inputs(session).options().passive = true;
    inputs(session).options().listing_reader = parser();
    ASSERT_EQ(session.log_in(), 0);
    ASSERT_EQ(session.print_folder(), 0);
    chmod_request change;
    change.mode.set_string("700");
    qxfile_node entry;
    entry.name.set_string("t");
    entry.is_folder = 1;
    EXPECT_EQ(session.change_mode_entry(entry, change), 0);
    const lines wire = server.lines();
    EXPECT_EQ(lines(wire.begin() + std::min<size_t>(wire.size(), 3), wire.end()),
              (lines{"CWD t", "PWD", "TYPE A", "PASV", "LIST", "CWD up", "PWD", "CWD /t", "PWD", "SITE CHMOD 700 up",
                     "SITE CHMOD 700 f", "CWD /", "PWD", "SITE CHMOD 700 t"}));
    bool logged = false;
    for (const std::string& text : session.texts_of_kind(log_info))
        logged = logged || text.find("/t/up") != std::string::npos;
    EXPECT_TRUE(logged) << "the skipped link is named in the log";
}

TEST(Walk, ServerClockAnHourAheadGives3600)
{
    temp_folder local("qvtf-walk");
    const std::string probe = local.file("probe");
    // The server's idea of the upload time, written as a Unix listing line.
    std::time_t ahead = std::time(nullptr) + 3600;
    std::tm tm{};
    gmtime_r(&ahead, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%b %d %H:%M", &tm);
    data_peer first(data_peer::mode::send, "-rw-r--r-- 1 u g 5 Jan 01  2020 other\r\n");
    data_peer upload(data_peer::mode::record);
    data_peer second(data_peer::mode::send, "-rw-r--r-- 1 u g 0 " + std::string(when) + " probe\r\n");
    first.accept_in_background();
    upload.accept_in_background();
    second.accept_in_background();
    scripted_ftp_server server;
    server.send("220 ready\r\n")
        .expect("331 pw\r\n")
        .expect("230 in\r\n")
        .expect("257 \"/\"\r\n")
        .expect("200 a\r\n")
        .expect(first.pasv_reply())
        .expect("150 list\r\n226 ok\r\n")
        .expect("200 i\r\n")
        .expect(upload.pasv_reply())
        .expect("150 store\r\n226 ok\r\n")
        .expect("200 a\r\n")
        .expect(second.pasv_reply())
        .expect("150 list\r\n226 ok\r\n")
        .expect("250 deleted\r\n");
    server.start();
    logged_session session;
    inputs(session).site().host.set_string("127.0.0.1");
    inputs(session).site().port = server.port();
    inputs(session).options().timeout = 5;
    inputs(session).options().passive = true;
    inputs(session).options().listing_reader = parser();
    ASSERT_EQ(session.log_in(), 0);
    ASSERT_EQ(session.print_folder(), 0);
    ASSERT_EQ(session.measure_time_difference(qxval(probe)), 0);
    EXPECT_LE(session.time_difference(), 3600);
    EXPECT_GT(session.time_difference(), 3600 - 61) << "listings show minutes only";
    EXPECT_EQ(session.site().time_difference, session.time_difference()) << "the session's site knows it now";
    EXPECT_FALSE(file_exists(probe)) << "the local probe is removed";
    const lines wire = server.lines();
    ASSERT_GE(wire.size(), 13u);
    EXPECT_EQ(wire[8], "STOR probe");
    EXPECT_EQ(wire[12], "DELE probe");
}

}  // namespace
}  // namespace qvtf::test
