// Against pyftpdlib and pure-ftpd, which offer machine listings and
// settable times: exact times listed and kept on upload, and names with
// leading spaces.
#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include <ctime>

#include "support/ftp_servers.h"
#include "support/utc_time.h"
#include "test_data_support.h"

namespace qvtf::test {
namespace {


bool set_mtime(const std::string& path, std::time_t when)
{
    utimbuf times{when, when};
    return ::utime(path.c_str(), &times) == 0;
}

std::time_t mtime_of(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

const qxfile_node* listed(ftp_control& session, const std::string& name)
{
    for (qxfile_node* n = session.current_folder()->first_child; n; n = n->next)
        if (n->name.view() == name)
            return n;
    return nullptr;
}

// spaced: the name that goes there and back; pure-ftpd trims the leading
// spaces of every argument, so it gets one without.
template <class Server>
void exact_times_both_ways(const Server& server, const std::string& spaced)
{
    const std::time_t listed_time = utc(2020, 1, 2, 3, 4, 5);
    const std::time_t upload_time = utc(2021, 5, 6, 7, 8, 9);
    ASSERT_TRUE(write_bytes(server.root() + "/dated", "d"));
    ASSERT_TRUE(set_mtime(server.root() + "/dated", listed_time));
    temp_folder local("qvtf-features-real");
    const std::string body = pattern_bytes(5000, 9);
    ASSERT_TRUE(write_bytes(local.file("up"), body));
    ASSERT_TRUE(set_mtime(local.file("up"), upload_time));

    ftp_control session;
    ASSERT_EQ(log_in_to(session, server.port(), server.user(), server.password()), 0);
    const server_features f = session.features();
    EXPECT_TRUE(f.mlsd && f.mdtm && f.mfmt && f.rest_stream && f.size) << f.names();

    struct upload_case {
        std::string remote;
        bool stamp;
        std::time_t expected;  // on the server's disk; 0: the moment of the upload
    };
    const upload_case uploads[] = {{"kept", true, upload_time}, {spaced, true, upload_time},
                                   {"fresh", false, 0}};
    for (const upload_case& c : uploads) {
        SCOPED_TRACE("'" + c.remote + "'");
        transfer_request request = transfer_request::make(0, qxval(local.file("up")), qxval(c.remote), 0);
        request.stamp = c.stamp;
        ASSERT_EQ(session.transfer_file(request), 0);
        const std::time_t on_disk = mtime_of(server.root() + "/" + c.remote);
        if (c.expected)
            EXPECT_EQ(on_disk, c.expected);
        else
            EXPECT_GT(on_disk, upload_time);
    }

    ASSERT_EQ(session.list_directory(qxval("")), 0);
    EXPECT_TRUE(session.last_listing().exact_times);
    struct listed_case {
        std::string name;
        std::time_t modified;
    };
    for (const listed_case& c : {listed_case{"dated", listed_time}, listed_case{spaced, upload_time}}) {
        SCOPED_TRACE("'" + c.name + "'");
        qxfile_tree::reader hold(session.folder_tree());
        const qxfile_node* n = listed(session, c.name);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->modified, c.modified);
        EXPECT_TRUE(n->time_exact);
        // The mode as on the disk, asked for where the server gives it only on request.
        struct stat st {};
        ASSERT_EQ(::stat((server.root() + "/" + c.name).c_str(), &st), 0);
        EXPECT_EQ(n->attributes & 07777, st.st_mode & 07777);
    }
    int64_t stamp = -1;
    ASSERT_EQ(session.modification_time(qxval("dated"), stamp), 0);
    EXPECT_EQ(stamp, listed_time);

    // Back down under its own name, stamped with the listed time.
    transfer_request down = transfer_request::make(1, qxval(local.file("back")), qxval(spaced), 0);
    down.stamp = true;
    down.modified_time = upload_time;
    ASSERT_EQ(session.transfer_file(down), 0);
    EXPECT_EQ(read_bytes(local.file("back")), body);
    EXPECT_EQ(mtime_of(local.file("back")), upload_time);
}

TEST(FeaturesReal, ExactTimesBothWaysAndLeadingSpacesOnPyftpdlib)
{
    if (!pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    pyftpdlib_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    exact_times_both_ways(server, " leading space");
}

TEST(FeaturesReal, ExactTimesBothWaysOnPureFtpd)
{
    if (!pure_ftpd_available())
        GTEST_SKIP() << "pure-ftpd not installed";
    pure_ftpd_server server;
    ASSERT_TRUE(server.ok()) << server.log();
    exact_times_both_ways(server, "no leading space");
}

}  // namespace
}  // namespace qvtf::test
