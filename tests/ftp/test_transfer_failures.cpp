// Transfers that go wrong, against the scripted server: each case checks
// the status, the local file before and after, that no temporary file is
// left behind, and the commands on the wire. Every case runs twice: with the
// data connection on a worker across a pipe, and on the calling thread, as
// small transfers run.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

#include "ftp/ftp_data_connection.h"
#include "ftp_test_session.h"
#include "support/file_size_limit.h"
#include "support/process.h"
#include "test_data_support.h"

namespace qvtf::test {
namespace {

using namespace std::chrono_literals;

enum class local_kind {
    file,        // folder/target, holding `before` when given
    missing,     // an upload from a file that does not exist
    folder,      // an upload from a folder
    read_error,  // an upload from a regular file whose reads fail
    device,      // a download onto /dev/null
    fifo,        // folder/target is a named pipe nobody else opens
};

struct failure_case {
    const char* name;
    int direction;  // 1 download, 0 upload
    data_peer::mode peer;
    std::string peer_bytes;
    std::string replies;  // to RETR or STOR; empty: the command is never sent
    int expected;
    std::optional<std::string> before;  // the local file's content beforehand
    std::optional<std::string> after;   // and afterwards; none: no file
    local_kind local = local_kind::file;
    int32_t option = 0;
    rlim_t size_limit = 0;  // 0: none
    bool abort = false;     // the user aborts once data flows
    int32_t timeout = 5;
    int also = -1;               // a second acceptable status, where timing decides
    int64_t expected_size = -1;  // the size the server gave
    int32_t type = transfer_binary;
};

const std::string mebibyte(1 << 20, 'n');
const lines retr_wire{"TYPE I", "PASV", "RETR f"};
const lines stor_wire{"TYPE I", "PASV", "STOR f"};

const failure_case cases[] = {
    {"DownloadSucceedsAndReplacesTheFile", 1, data_peer::mode::send, "new content", "150 here\r\n226 done\r\n", 0,
     "old", "new content"},
    {"DownloadIntoANewFile", 1, data_peer::mode::send, "fresh", "150 here\r\n226 done\r\n", 0, std::nullopt, "fresh"},
    {"RefusedDownloadLeavesTheFile", 1, data_peer::mode::silent, "", "550 no such file\r\n", status_refused, "old",
     "old"},
    {"Reply426AfterPartOfTheData", 1, data_peer::mode::send, std::string(100000, 'p'), "150 here\r\n426 aborted\r\n",
     status_unexpected_reply, "old", "old"},
    {"ResetHalfWayFailsDespite226", 1, data_peer::mode::send_then_reset, std::string(300000, 'r'),
     "150 here\r\n226 done\r\n", transport_status::cannot_read, "old", "old", local_kind::file, 0, 0, false, 5,
     // The reset may already meet the connect.
     transport_status::connect_error_base + ECONNRESET},
    {"DataConnectionNeverComes", 1, data_peer::mode::refuse, "", "150 here\r\n425 no data connection\r\n",
     status_unexpected_reply, "old", "old"},
    {"DataConnectionNeverComesYetServerSays226", 1, data_peer::mode::refuse, "", "150 here\r\n226 done\r\n",
     transport_status::connect_error_base + ECONNREFUSED, "old", "old"},
    {"LocalWriteFailsUnderAFileSizeLimit", 1, data_peer::mode::send, mebibyte, "150 here\r\n226 done\r\n",
     status_local_file, "old", "old", local_kind::file, 0, 65536},
    {"StalledDataConnectionFailsAfterOneTimeout", 1, data_peer::mode::silent, "", "150 here\r\n",
     transport_status::timed_out, "old", "old", local_kind::file, 0, 0, false, 1},
    {"UserAbortIs6001", 1, data_peer::mode::send_slowly, "", "150 here\r\n426 aborted\r\n", status_stopped, "old",
     "old", local_kind::file, 0, 0, true},
    {"AppendWritesTheTargetItself", 1, data_peer::mode::send, "+more", "150 here\r\n226 done\r\n", 0, "old", "old+more",
     local_kind::file, 1},
    {"DeviceTargetIsRefusedBeforeTheWire", 1, data_peer::mode::silent, "", "", status_local_file, std::nullopt,
     std::nullopt, local_kind::device},
    {"PipeTargetIsRefusedBeforeTheWire", 1, data_peer::mode::silent, "", "", status_local_file, std::nullopt,
     std::nullopt, local_kind::fifo},
    {"PipeAppendTargetIsRefusedBeforeTheWire", 1, data_peer::mode::silent, "", "", status_local_file, std::nullopt,
     std::nullopt, local_kind::fifo, 1},
    {"UploadFromAPipeIsRefusedBeforeTheWire", 0, data_peer::mode::silent, "", "", status_local_file, std::nullopt,
     std::nullopt, local_kind::fifo},
    {"BodyCutShortThen226KeepsTheOldFile", 1, data_peer::mode::send, std::string(30, 's'), "150 here\r\n226 done\r\n",
     status_size_differs, "old", "old", local_kind::file, 0, 0, false, 5, -1, 100},
    {"LongerBodyThanTheSizeKeepsTheOldFile", 1, data_peer::mode::send, std::string(101, 'l'),
     "150 here\r\n226 done\r\n", status_size_differs, "old", "old", local_kind::file, 0, 0, false, 5, -1, 100},
    {"BodyOfTheGivenSizeReplacesTheFile", 1, data_peer::mode::send, std::string(100, 'w'), "150 here\r\n226 done\r\n",
     0, "old", std::string(100, 'w'), local_kind::file, 0, 0, false, 5, -1, 100},
    {"AsciiDownloadArrivesWithLocalLineEnds", 1, data_peer::mode::send, "a\r\nb\r\n\r\nc\rd\r\n",
     "150 here\r\n226 done\r\n", 0, "old", "a\nb\n\nc\rd\n", local_kind::file, 0, 0, false, 5, -1, 10, transfer_ascii},
    {"AsciiDownloadCutShortKeepsTheOldFile", 1, data_peer::mode::send, "a\r\nb\r\n", "150 here\r\n226 done\r\n",
     status_size_differs, "old", "old", local_kind::file, 0, 0, false, 5, -1, 10, transfer_ascii},
    {"UploadOfAMissingFileSendsNothing", 0, data_peer::mode::silent, "", "", status_local_file, std::nullopt,
     std::nullopt, local_kind::missing},
    {"UploadOfAFolderSendsNothing", 0, data_peer::mode::silent, "", "", status_local_file, std::nullopt, std::nullopt,
     local_kind::folder},
    {"UploadWhoseReadFailsIsNotSuccess", 0, data_peer::mode::record, "", "150 here\r\n226 done\r\n", status_local_file,
     std::nullopt, std::nullopt, local_kind::read_error},
};

void PrintTo(const failure_case& c, std::ostream* os)
{
    *os << c.name;
}

enum class data_path { worker, caller };

class TransferFailures : public ::testing::TestWithParam<std::tuple<failure_case, data_path>> {};

TEST_P(TransferFailures, StatusLocalFileAndWire)
{
    const failure_case& c = std::get<0>(GetParam());
    const bool on_caller = std::get<1>(GetParam()) == data_path::caller;
    temp_folder folder("qvtf-fail");
    std::string local = folder.file("target");
    switch (c.local) {
    case local_kind::missing: local = folder.file("missing"); break;
    case local_kind::folder: local = folder.path(); break;
    case local_kind::read_error: local = "/proc/self/mem"; break;
    case local_kind::device: local = "/dev/null"; break;
    case local_kind::fifo: ASSERT_EQ(::mkfifo(local.c_str(), 0600), 0); break;
    case local_kind::file: break;
    }
    if (c.before) {
        ASSERT_TRUE(write_bytes(local, *c.before));
        ::chmod(local.c_str(), 0640);
    }

    data_peer peer(c.peer, c.peer_bytes);
    peer.accept_in_background();
    scripted_ftp_server server;
    server.send("220 ready\r\n").expect("331 password\r\n").expect("230 in\r\n").expect("257 \"/\"\r\n");
    if (!c.replies.empty())
        server.expect(c.type == transfer_ascii ? "200 ascii\r\n" : "200 binary\r\n")
            .expect(peer.pasv_reply())
            .expect(c.replies);
    server.start();
    logged_session session;
    inputs(session).site().port = server.port();
    inputs(session).site().user_name.set_string("u");
    inputs(session).site().password.set_string("p");
    inputs(session).options().timeout = c.timeout;
    inputs(session).options().passive = true;
    inputs(session).options().inline_limit = on_caller ? std::numeric_limits<int64_t>::max() : -1;
    ASSERT_EQ(session.log_in(), 0);
    ASSERT_EQ(session.print_folder(), 0);

    transfer_request request;
    request.direction = c.direction;
    request.local_path = qxval(local);
    request.remote_path = qxval("f");
    request.transfer_option = c.option;
    request.expected_size = c.expected_size;
    request.transfer_type = c.type;
    std::thread aborter;
    if (c.abort)
        aborter = std::thread([&] {
            for (int i = 0; i < 300 && !peer.connected; ++i)
                std::this_thread::sleep_for(10ms);
            std::this_thread::sleep_for(100ms);
            session.stop(stop_reason_stop);
        });
    const auto start = std::chrono::steady_clock::now();
    int status;
    {
        std::optional<file_size_limit> limit;
        if (c.size_limit)
            limit.emplace(c.size_limit);
        status = session.transfer_file(request);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    if (aborter.joinable())
        aborter.join();

    if (status != c.also) {
        EXPECT_EQ(status, c.expected);
    }
    if (c.local == local_kind::file) {
        EXPECT_EQ(file_exists(local), c.after.has_value());
        if (c.after) {
            EXPECT_EQ(read_bytes(local), *c.after);
        }
        struct stat st {};
        if (c.before && ::stat(local.c_str(), &st) == 0)
            EXPECT_EQ(st.st_mode & 0777, 0640u) << "the file keeps its permission bits";
        else if (c.after && ::stat(local.c_str(), &st) == 0) {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask) << "a new file gets the usual bits, not 0600";
        }
        size_t entries = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder.path()))
            ++entries;
        EXPECT_EQ(entries, c.after ? 1u : 0u) << "no temporary file is left behind";
    }
    if (c.local == local_kind::device || c.local == local_kind::fifo) {
        struct stat st {};
        ASSERT_EQ(::stat(local.c_str(), &st), 0);
        EXPECT_TRUE(c.local == local_kind::device ? S_ISCHR(st.st_mode) : S_ISFIFO(st.st_mode))
            << "the device or pipe is left as it was";
    }
    if (c.timeout == 1) {
        EXPECT_LT(took, 4s) << "one time-out and a short wait for the reply, not two time-outs";
    }
    const lines wire = server.lines();
    const lines after_login(wire.begin() + std::min<size_t>(wire.size(), 3), wire.end());
    lines wire_expected = c.replies.empty() ? lines{} : c.direction ? retr_wire : stor_wire;
    if (c.type == transfer_ascii && !wire_expected.empty())
        wire_expected[0] = "TYPE A";
    EXPECT_EQ(after_login, wire_expected);
    EXPECT_FALSE(session.data_connection_open());
}

INSTANTIATE_TEST_SUITE_P(Cases, TransferFailures,
                         ::testing::Combine(::testing::ValuesIn(cases),
                                            ::testing::Values(data_path::worker, data_path::caller)),
                         [](const auto& instance) {
                             return std::string(std::get<0>(instance.param).name) +
                                    (std::get<1>(instance.param) == data_path::caller ? "_OnCaller" : "_OnWorker");
                         });

// Which thread moves the data: the calling thread for a file of a known size
// within the limit, a worker for a larger one or one of unknown size. The
// progress reports come from the thread that moves the data.
class thread_watch : public transfer_progress {
public:
    void on_progress(int64_t, int32_t) override
    {
        std::lock_guard lock(mutex_);
        threads_.push_back(std::this_thread::get_id());
    }
    std::vector<std::thread::id> threads() const
    {
        std::lock_guard lock(mutex_);
        return threads_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::thread::id> threads_;
};

TEST(TransferPath, SmallFilesOfAKnownSizeRunOnTheCallingThread)
{
    struct path_case {
        int direction;
        int64_t listed_size;  // the request's; an upload's is its file's
        int64_t limit;
        bool on_caller;
    };
    const path_case rows[] = {
        {1, 5, 5, true}, {1, 5, 4, false}, {1, -1, 1 << 20, false}, {1, -1, std::numeric_limits<int64_t>::max(), true},
        {0, 5, 5, true}, {0, 5, 4, false}, {1, 5, -1, false},
    };
    for (const path_case& row : rows) {
        SCOPED_TRACE(std::to_string(row.direction) + " size " + std::to_string(row.listed_size) + " limit " +
                     std::to_string(row.limit));
        temp_folder folder("qvtf-path");
        const std::string local = folder.file("f");
        if (!row.direction) {
            ASSERT_TRUE(write_bytes(local, "12345"));
        }
        data_peer peer(row.direction ? data_peer::mode::send : data_peer::mode::record, "12345");
        peer.accept_in_background();
        scripted_ftp_server server;
        server.send("220 ready\r\n").expect("331 password\r\n").expect("230 in\r\n");
        server.expect("200 binary\r\n").expect(peer.pasv_reply()).expect("150 here\r\n226 done\r\n");
        server.start();
        logged_session session;
        inputs(session).site().port = server.port();
        inputs(session).site().user_name.set_string("u");
        inputs(session).site().password.set_string("p");
        inputs(session).options().passive = true;
        inputs(session).options().inline_limit = row.limit;
        ASSERT_EQ(session.log_in(), 0);
        thread_watch watch;
        transfer_request request = transfer_request::make(row.direction, qxval(local), qxval("f"), 0);
        if (row.direction)
            request.expected_size = row.listed_size;
        request.progress = &watch;
        EXPECT_EQ(session.transfer_file(request), 0);
        EXPECT_EQ(read_bytes(local), "12345");
        const auto threads = watch.threads();
        ASSERT_FALSE(threads.empty());
        EXPECT_EQ(threads.front() == std::this_thread::get_id(), row.on_caller);
    }
}

}  // namespace
}  // namespace qvtf::test
