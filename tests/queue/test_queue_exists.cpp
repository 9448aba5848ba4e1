// What the queue does with a target that exists, against vsftpd: each row
// is the target before, the action, and the bytes and time after, for
// downloads and uploads. A resumed target keeps bytes the source never had,
// so what the server sent again would show.
#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include "queue_test_support.h"
#include "support/ftp_servers.h"

namespace qvtf::test {
namespace {

enum class before { absent, older, newer, same_size, shorter };
enum class after { source, unchanged, resumed, renamed };

constexpr std::time_t source_time = 1700000000;
constexpr size_t source_size = 1000;
constexpr size_t shorter_size = 400;

void set_time(const std::string& path, std::time_t when)
{
    const utimbuf times{when, when};
    ::utime(path.c_str(), &times);
}

std::time_t time_of(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : 0;
}

// The target's bytes and time before the transfer.
std::pair<std::string, std::time_t> target_before(before b)
{
    switch (b) {
    case before::older: return {std::string(500, 'o'), source_time - 3600};
    case before::newer: return {std::string(500, 'n'), source_time + 3600};
    case before::same_size: return {std::string(source_size, 's'), source_time};
    case before::shorter: return {std::string(shorter_size, 'x'), source_time - 3600};
    case before::absent: break;
    }
    return {};
}

TEST(QueueExists, TargetBeforeActionAfter)
{
    vsftpd_server server;
    if (!server.ok())
        GTEST_SKIP() << "vsftpd not available";
    temp_folder local("qvtf-exists");
    server_panes at;
    ASSERT_EQ(at.log_in(server.port(), server.user(), server.password()), 0);
    const std::string& base = at.base;
    recording_view view;
    log_capture log;
    ftp_queue_process_manager q;
    q.panes = &at.panes;
    q.view = &view;
    q.language = &test_phrases();
    log.attach(q);
    finished_results finished;
    finished.attach(q);
    q.max_threads = 1;
    q.stamp_downloads = 1;
    ASSERT_EQ(q.open(), 0);
    q.start();

    using a = exists_action;
    struct row {
        bool download;
        before target;
        exists_action action;
        after expected;
    };
    const row rows[] = {
        {true, before::absent, a::skip, after::source},
        {true, before::older, a::overwrite, after::source},
        {true, before::older, a::newer, after::source},
        {true, before::newer, a::newer, after::unchanged},
        {true, before::same_size, a::size, after::unchanged},
        {true, before::older, a::size, after::source},
        {true, before::same_size, a::size_or_time, after::unchanged},
        {true, before::shorter, a::resume, after::resumed},
        {true, before::older, a::rename, after::renamed},
        {true, before::older, a::skip, after::unchanged},
        {false, before::absent, a::skip, after::source},
        {false, before::older, a::overwrite, after::source},
        {false, before::older, a::newer, after::source},
        {false, before::newer, a::newer, after::unchanged},
        {false, before::same_size, a::size, after::unchanged},
        {false, before::older, a::size_or_time, after::source},
        {false, before::shorter, a::resume, after::resumed},
        {false, before::older, a::rename, after::renamed},
        {false, before::older, a::skip, after::unchanged},
    };
    int number = 0;
    for (const row& r : rows) {
        const std::string name = "r" + std::to_string(++number) + ".bin";
        const std::string what = name + (r.download ? " down, " : " up, ") + std::string(exists_action_name(r.action));
        const std::string server_file = server.root() + "/" + name;
        const std::string local_file = local.path() + "/" + name;
        const std::string& source_file = r.download ? server_file : local_file;
        const std::string& target_file = r.download ? local_file : server_file;
        const std::string source = pattern_bytes(source_size, static_cast<unsigned>(number));
        write_text(source_file, source);
        ::chmod(source_file.c_str(), 0666);
        set_time(source_file, source_time);
        const auto [old_bytes, old_time] = target_before(r.target);
        if (r.target != before::absent) {
            write_text(target_file, old_bytes);
            ::chmod(target_file.c_str(), 0666);
            set_time(target_file, old_time);
        }

        auto item = at.file_item(r.download, name, local.path() + "/", static_cast<int64_t>(source_size));
        item->modified_time = source_time;
        item->time_exact = true;  // as a machine listing gives it
        (r.download ? q.download_exists : q.upload_exists) = r.action;
        ASSERT_EQ(q.append_item(std::move(item)), 0) << what;
        ASSERT_TRUE(q.wait_until_empty(30000)) << what;
        const std::vector<queue_item_result> results = finished.take();
        ASSERT_EQ(results.size(), 1u) << what;
        const queue_item_result& result = results.front();
        EXPECT_TRUE(result.succeeded) << what << ": " << result.error_text.str();
        EXPECT_EQ(result.skipped, r.expected == after::unchanged) << what;

        switch (r.expected) {
        case after::source:
            EXPECT_EQ(file_text(target_file), source) << what;
            if (r.download) {
                EXPECT_EQ(time_of(target_file), source_time) << what;
            }
            break;
        case after::unchanged:
            EXPECT_EQ(file_text(target_file), old_bytes) << what;
            EXPECT_EQ(time_of(target_file), old_time) << what;
            break;
        case after::resumed:
            // The target's own bytes stay, and only the rest travelled.
            EXPECT_EQ(file_text(target_file), old_bytes + source.substr(shorter_size)) << what;
            EXPECT_EQ(result.bytes, static_cast<int64_t>(source_size)) << what;
            EXPECT_EQ(result.resumed_from, static_cast<int64_t>(shorter_size)) << what;
            break;
        case after::renamed: {
            EXPECT_EQ(file_text(target_file), old_bytes) << what;
            const std::string renamed = target_file.substr(0, target_file.size() - 4) + " (1).bin";
            EXPECT_EQ(file_text(renamed), source) << what;
            EXPECT_EQ(r.download ? result.local_path.str() : result.remote_path.str(),
                      (r.download ? local.path() + "/" : base) + name.substr(0, name.size() - 4) + " (1).bin")
                << what;
            break;
        }
        }
    }
    q.close();
}

}  // namespace
}  // namespace qvtf::test
