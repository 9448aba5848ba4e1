// Carrying a plan out: what happens to each file the moment its transfer
// succeeds, even when the run never reaches its end.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "ftp/ftp_control.h"
#include "support/process.h"
#include "sync/sync_run.h"

namespace {

using namespace qvtf;

// Reports the first transfer as succeeded on its own thread, then is cut off
// (as by a kill) before the run's results come back.
class interrupted_sink : public sync_transfer_sink {
public:
    void add(std::size_t index, const sync_action&) override { added.push_back(index); }
    void run_until_done(sync_transfer_events& events) override
    {
        if (!added.empty())
            events.on_success(added.front());
    }
    std::vector<std::size_t> added;
};

std::time_t mtime_of(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : 0;
}

TEST(SyncRun, EachFileIsStampedAsItsTransferSucceeds)
{
    struct row {
        int32_t direction;
        sync_action_kind kind;
        bool stamped_to_source;  // else to the moment of the upload
    } const rows[] = {
        {sync_rule::download, sync_action_kind::download, true},
        {sync_rule::both, sync_action_kind::download, true},
        {sync_rule::both, sync_action_kind::upload, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(int(r.kind));
        test::temp_folder local("qvtf-sync-run");
        ASSERT_TRUE(local.write("done.txt", "x"));
        ASSERT_TRUE(local.write("not-run.txt", "x"));
        struct timespec old_times[2] = {{1000, 0}, {1000, 0}};
        ::utimensat(AT_FDCWD, local.file("done.txt").c_str(), old_times, 0);
        ::utimensat(AT_FDCWD, local.file("not-run.txt").c_str(), old_times, 0);
        sync_plan plan;
        for (const char* name : {"done.txt", "not-run.txt"}) {
            sync_action a;
            a.kind = r.kind;
            a.local_path = local.file(name);
            a.remote_path = std::string("/r/") + name;
            a.modified = 1500000000;
            plan.actions.push_back(a);
        }
        ftp_control browser;
        interrupted_sink sink;
        const std::time_t before = std::time(nullptr);
        carry_out_sync_plan(plan, r.direction, browser, sink);
        if (r.stamped_to_source)
            EXPECT_EQ(mtime_of(local.file("done.txt")), 1500000000);
        else
            EXPECT_GE(mtime_of(local.file("done.txt")), before);
        EXPECT_EQ(mtime_of(local.file("not-run.txt")), 1000);
    }
}

}  // namespace
