// Times from a server whose clock runs an hour ahead: the planner compares
// them after the offset is taken off, with the equal interval.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "ftp/test_data_support.h"
#include "support/ftp_scripted.h"
#include "support/process.h"
#include "support/session_inputs.h"
#include "sync/sync_local_side.h"
#include "sync/sync_plan.h"
#include "sync/sync_remote_side.h"

namespace {

using namespace qvtf;
using namespace qvtf::sync_rule;

void file_at(const std::string& path, std::time_t t)
{
    ASSERT_TRUE(test::write_bytes(path, "12345"));
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(SyncClock, ServerTimesAreComparedOnOurClock)
{
    const std::time_t listed = 1592179200;  // Jun 15 2020 00:00 UTC, as the server shows it
    const std::time_t ours = listed - 3600;
    test::data_peer listing(test::data_peer::mode::send,
                            "-rw-r--r--   1 u  g   5 Jun 15  2020 a.txt\r\n"
                            "-rw-r--r--   1 u  g   5 Jun 15  2020 b.txt\r\n"
                            "-rw-r--r--   1 u  g   5 Jun 15  2020 c.txt\r\n");
    listing.accept_in_background();
    test::scripted_ftp_server server;
    server.send("220 ready\r\n")
        .expect("331 pw\r\n")
        .expect("230 in\r\n")
        .expect("257 \"/\"\r\n")
        .expect("250 ok\r\n")
        .expect("257 \"/r\"\r\n")
        .expect("200 a\r\n")
        .expect(listing.pasv_reply())
        .expect("150 list\r\n226 ok\r\n");
    server.start();
    test::temp_folder local("qvtf-sync-clock");
    file_at(local.file("a.txt"), ours + 100);  // the same, within the interval
    file_at(local.file("b.txt"), listed);      // the same only if the offset were forgotten
    file_at(local.file("c.txt"), ours + 700);  // newer than the interval allows

    ftp_control session;
    ASSERT_EQ(test::log_in_to(session, server.port(), "u", "p"), 0);
    test::inputs(session).site().time_difference = 3600;
    dir_sync_settings_ex s;
    s.rules.assign(1, upload | overwrite | time_same | size_mask);
    s.local_folder.set_string(local.path().c_str());
    s.remote_folder.set_string("/r");
    sync_local_side local_side;
    sync_remote_side remote_side(session);
    sync_plan plan;
    sync_plan_options options;
    options.time_equal_interval = 600;
    build_sync_plan(s, local_side, remote_side, options, plan);
    ASSERT_EQ(plan.status, 0) << plan.failure;
    ASSERT_EQ(plan.actions.size(), 1u);
    EXPECT_EQ(plan.actions[0].remote_path, "/r/a.txt");
    EXPECT_EQ(plan.actions[0].reason, "overwrite: the times are the same, the same size");
    EXPECT_TRUE(server.completed());
}

}  // namespace
