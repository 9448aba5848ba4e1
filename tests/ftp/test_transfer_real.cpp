// Real transfers against vsftpd and pyftpdlib: files of awkward sizes in
// both directions and both modes arrive byte for byte; ASCII uploads get
// CR LF; a large folder lists completely.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "ftp/ftp_data_connection.h"
#include "ftp_test_session.h"
#include "queue/ftp_queue_item.h"
#include "support/ftp_servers.h"
#include "support/process.h"
#include "test_data_support.h"

namespace qvtf::test {
namespace {

transfer_record upload(ftp_control& s, const std::string& local, const std::string& remote,
                       int32_t type = transfer_binary)
{
    return s.transfer_file(transfer_request::make(0, qxval(local), qxval(remote), type));
}

transfer_record download(ftp_control& s, const std::string& remote, const std::string& local,
                         int32_t type = transfer_binary)
{
    return s.transfer_file(transfer_request::make(1, qxval(local), qxval(remote), type));
}

class TransferReal : public ::testing::TestWithParam<std::tuple<server_kind, bool>> {};

TEST_P(TransferReal, FilesOfEverySizeRoundTripByteForByte)
{
    const auto [kind, passive] = GetParam();
    if (!server_available(kind))
        GTEST_SKIP() << "server not installed";
    real_server server(kind);
    ASSERT_TRUE(server.ok()) << server.log();
    ftp_control session;
    ASSERT_EQ(log_in_to(session, server.port(), server.user(), server.password(), passive), 0);
    temp_folder local("qvtf-xfer");

    for (size_t size : {size_t(0), size_t(1), size_t(16383), size_t(16384), size_t(16385), size_t(1048577)}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string name = "f" + std::to_string(size) + ".bin";
        const std::string bytes = pattern_bytes(size, static_cast<unsigned>(size));
        ASSERT_TRUE(write_bytes(local.file(name), bytes));

        const transfer_record up = upload(session, local.file(name), name);
        ASSERT_EQ(up, 0);
        EXPECT_EQ(up.bytes, static_cast<int64_t>(size));
        EXPECT_EQ(up.failed_side, transfer_side::none);
        EXPECT_TRUE(read_bytes(server.root() + "/" + name) == bytes) << "stored copy differs";

        const transfer_record down = download(session, name, local.file(name + ".back"));
        ASSERT_EQ(down, 0);
        EXPECT_EQ(down.bytes, static_cast<int64_t>(size));
        EXPECT_TRUE(read_bytes(local.file(name + ".back")) == bytes) << "downloaded copy differs";
        EXPECT_FALSE(session.data_connection_open());
    }
    // The session stays usable for plain commands afterwards.
    EXPECT_EQ(session.print_folder(), 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, TransferReal,
                         ::testing::Combine(::testing::Values(server_kind::vsftpd, server_kind::pyftpdlib),
                                            ::testing::Bool()),
                         [](const auto& instance) {
                             return std::string(std::get<0>(instance.param) == server_kind::vsftpd ? "vsftpd"
                                                                                                   : "pyftpdlib") +
                                    (std::get<1>(instance.param) ? "_passive" : "_active");
                         });

class TransferVsftpd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!vsftpd_available())
            GTEST_SKIP() << "vsftpd not installed";
        server = std::make_unique<vsftpd_server>();
        ASSERT_TRUE(server->ok()) << server->log();
        ASSERT_EQ(log_in_to(session, server->port(), server->user(), server->password()), 0);
    }
    std::string remote_file(const std::string& name) const { return server->root() + "/" + name; }

    std::unique_ptr<vsftpd_server> server;
    ftp_control session;
    temp_folder local{"qvtf-xfer"};
};

// What a queue row sees of a transfer: progress from the data connection's
// thread, growing and never past the size.
class transfer_watch : public transfer_progress {
public:
    void on_progress(int64_t bytes, int32_t) override
    {
        std::lock_guard hold(mutex);
        monotonic = monotonic && bytes >= last;
        last = bytes;
        ++reports;
        off_caller = off_caller || std::this_thread::get_id() != caller;
    }
    std::mutex mutex;
    std::thread::id caller = std::this_thread::get_id();
    int64_t last = 0;
    int reports = 0;
    bool monotonic = true, off_caller = false;
};

TEST_F(TransferVsftpd, HundredMebibytesUpAndDown)
{
    const std::string bytes = pattern_bytes(100u << 20, 3);
    ASSERT_TRUE(write_bytes(local.file("big"), bytes));
    for (const int receiving : {0, 1}) {
        SCOPED_TRACE(receiving ? "download" : "upload");
        transfer_watch watch;
        transfer_request request =
            transfer_request::make(receiving, qxval(local.file(receiving ? "big.back" : "big")), qxval("big"), 0);
        request.expected_size = int64_t(100) << 20;
        request.report_size_difference = true;
        request.progress = &watch;
        const transfer_record record = session.transfer_file(request);
        ASSERT_EQ(record, 0);
        EXPECT_FALSE(record.size_differs);
        EXPECT_EQ(record.bytes, int64_t(100) << 20);
        std::lock_guard hold(watch.mutex);
        EXPECT_GT(watch.reports, 0);
        EXPECT_TRUE(watch.monotonic);
        EXPECT_LE(watch.last, int64_t(100) << 20);
        EXPECT_TRUE(watch.off_caller) << "progress comes from the data connection's thread";
    }
    EXPECT_TRUE(read_bytes(local.file("big.back")) == bytes);
    EXPECT_TRUE(read_bytes(remote_file("big")) == bytes);
}

TEST_F(TransferVsftpd, AsciiUploadSendsCrLfAndAsciiDownloadKeepsBytes)
{
    ASSERT_TRUE(write_bytes(local.file("text"), "one\ntwo\r\n\nlast"));
    ftp_queue_item item;
    item.size = 14;
    const transfer_record up = upload(session, local.file("text"), "text.txt", transfer_ascii);
    ASSERT_EQ(up, 0);
    EXPECT_EQ(read_bytes(remote_file("text.txt")), "one\r\ntwo\r\n\r\nlast");
    EXPECT_EQ(up.size_tolerance, 1);
    EXPECT_EQ(up.bytes, 16);
    item.size_tolerance = up.size_tolerance;
    EXPECT_FALSE(item.size_differs(up.bytes)) << "more bytes are allowed for ASCII";

    ASSERT_TRUE(write_bytes(remote_file("lf.txt"), "a\nb\n"));
    ::chmod(remote_file("lf.txt").c_str(), 0644);
    ASSERT_EQ(download(session, "lf.txt", local.file("lf.txt"), transfer_ascii), 0);
    EXPECT_EQ(read_bytes(local.file("lf.txt")), "a\nb\n");
}

TEST_F(TransferVsftpd, ActivePortsWalkUpFromTheControlPort)
{
    inputs(session).options().passive = false;
    ASSERT_TRUE(write_bytes(local.file("a"), "abc"));
    const int32_t control_port = session.control_socket().local_port();
    ASSERT_EQ(upload(session, local.file("a"), "a"), 0);
    const int32_t first = session.next_port();
    EXPECT_GE(first, control_port);
    EXPECT_LT(first, control_port + 100);
    ASSERT_EQ(download(session, "a", local.file("a.back")), 0);
    EXPECT_GT(session.next_port(), first) << "the next transfer starts above the last port used";
    EXPECT_EQ(read_bytes(local.file("a.back")), "abc");
}

TEST_F(TransferVsftpd, RefusedAndMissingFiles)
{
    EXPECT_EQ(download(session, "no-such-file", local.file("x")), status_refused);
    EXPECT_FALSE(session.data_connection_open());
    ASSERT_TRUE(write_bytes(local.file("a"), "abc"));
    EXPECT_EQ(upload(session, local.file("a"), "no/such/folder/a"), status_refused);
    // A local file that cannot be opened: the server's reply is consumed,
    // so the next command sees its own reply.
    ASSERT_TRUE(write_bytes(remote_file("r"), "xyz"));
    ::chmod(remote_file("r").c_str(), 0644);
    EXPECT_EQ(download(session, "r", local.file("missing-folder/r")), status_local_file);
    EXPECT_EQ(upload(session, local.file("missing"), "m"), status_local_file);
    EXPECT_EQ(session.print_folder(), 0);
    EXPECT_EQ(session.reply_code(), 257);
}

TEST_F(TransferVsftpd, TenThousandEntriesListCompletely)
{
    for (int i = 0; i < 9998; ++i) {
        const std::string path = remote_file("entry_" + std::to_string(i) + ".dat");
        int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    ::mkdir(remote_file("dir_a").c_str(), 0755);
    ::mkdir(remote_file("dir_b").c_str(), 0755);
    ASSERT_TRUE(session.current_folder());
    ASSERT_EQ(session.list_directory(qxval("")), 0);
    int files = 0, folders = 0;
    bool folder_after_file = false;
    for (qxfile_node* n = session.current_folder()->first_child; n; n = n->next) {
        if (n->is_folder) {
            ++folders;
            folder_after_file = folder_after_file || files > 0;
        } else {
            ++files;
        }
    }
    EXPECT_EQ(files, 9998);
    EXPECT_EQ(folders, 2);
    EXPECT_FALSE(folder_after_file) << "folders come first";
    EXPECT_EQ(session.current_folder()->needs_listing, 0u);
    EXPECT_TRUE(session.listing_styles() & (session.features().mlsd ? listing_machine : listing_unix));
}

// Over IPv6 the data connections are EPSV (passive) and EPRT (active, a
// listener on ::1): a listing, an upload and a download, byte for byte, and
// the log names the server in brackets with its port.
TEST(TransferIpv6, VsftpdOnLoopbackBothModes)
{
    if (!vsftpd_available())
        GTEST_SKIP() << "vsftpd not installed";
    if (!ipv6_loopback_available())
        GTEST_SKIP() << no_ipv6_message;
    for (const bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "EPSV" : "EPRT");
        vsftpd_server server(server_tls::none, true);
        ASSERT_TRUE(server.ok()) << server.log();
        logged_session session;
        session.reconfigure([&](remote_site& site, remote_options& options) {
            site.host.set_string("::1");
            site.port = server.port();
            site.user_name.set_string(server.user().c_str());
            site.password.set_string(server.password().c_str());
            options.timeout = 10;
            options.passive = passive;
            options.listing_reader = parser();
        });
        ASSERT_EQ(session.log_in(), 0) << server.log();
        ASSERT_EQ(session.print_folder(), 0);
        const std::string reached = "[::1]:" + std::to_string(server.port());
        EXPECT_EQ(session.texts_of_kind(log_info).front(), "[7]" + reached + "\r\n");

        temp_folder local("qvtf-ipv6");
        const std::string bytes = pattern_bytes(300001, 6);
        ASSERT_TRUE(write_bytes(local.file("up.bin"), bytes));
        ASSERT_EQ(upload(session, local.file("up.bin"), "six.bin"), 0) << server.log();
        EXPECT_TRUE(read_bytes(server.root() + "/six.bin") == bytes) << "stored copy differs";
        ASSERT_EQ(download(session, "six.bin", local.file("back.bin")), 0);
        EXPECT_TRUE(read_bytes(local.file("back.bin")) == bytes) << "downloaded copy differs";
        ASSERT_EQ(session.list_directory(qxval("")), 0);
        ASSERT_TRUE(session.current_folder());
        ASSERT_TRUE(session.current_folder()->first_child);
        EXPECT_EQ(session.current_folder()->first_child->name.str(), "six.bin");
        EXPECT_EQ(session.current_folder()->first_child->size(), 300001);

        const std::string log = server.log();
        EXPECT_NE(log.find(passive ? "\"EPSV\"" : "\"EPRT |2|::1|"), std::string::npos) << log;
        EXPECT_EQ(log.find("\"PASV\""), std::string::npos);
        EXPECT_EQ(log.find("\"PORT "), std::string::npos);
    }
}

}  // namespace
}  // namespace qvtf::test
