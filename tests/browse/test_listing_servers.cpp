// Listings produced by real servers (vsftpd, pyftpdlib) for a folder whose
// contents we know, fetched with curl and parsed here.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <string>

#include "browse/listing_parser.h"
#include "support/ftp_servers.h"

namespace qvtf {
namespace {

std::string fetch_listing(std::uint16_t port, const std::string& user, const std::string& password)
{
    std::string cmd =
        "curl -s --max-time 20 -u '" + user + ":" + password + "' ftp://127.0.0.1:" + std::to_string(port) + "/";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::int32_t day_start(std::time_t t)
{
    return std::int32_t(t - t % 86400);
}
std::int32_t minute_start(std::time_t t)
{
    return std::int32_t(t - t % 60);
}

// A folder with an old file, a recent file, a name with spaces, an empty
// file, a subfolder and a link to it.
void populate(const std::string& root, std::time_t now)
{
    auto write = [&](const std::string& name, std::size_t size, std::time_t when) {
        std::string path = root + "/" + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::string data(size, 'x');
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        struct utimbuf times {
            when, when
        };
        utime(path.c_str(), &times);
    };
    write("old.TXT", 1234, 1072828800 + 3600);  // 2003-12-31 01:00 UTC
    write("recent.html", 98765, now - 86400 * 3);
    write("two words.css", 10, now - 3600);
    write("empty", 0, now - 60);
    ASSERT_EQ(mkdir((root + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink("sub", (root + "/www").c_str()), 0);
}

void check_listing(const std::string& reply, const std::string& root, std::time_t now)
{
    ASSERT_FALSE(reply.empty());
    qxfile_tree tree;
    auto* folder = new qxfile_node;
    folder->is_folder = 1;
    tree.append_top(folder);
    int styles = parse_listing(reply, tree, folder, listing_clock::at(std::int32_t(now), 0));
    EXPECT_EQ(styles, listing_unix) << reply;

    std::map<std::string, const qxfile_node*> got;
    for (const qxfile_node* n = folder->first_child; n; n = n->next)
        got[n->name.str()] = n;
    ASSERT_EQ(got.size(), 6u) << reply;

    struct stat st {};
    stat((root + "/recent.html").c_str(), &st);
    const qxfile_node* recent = got["recent.html"];
    ASSERT_NE(recent, nullptr);
    EXPECT_EQ(recent->size(), 98765u);
    EXPECT_EQ(recent->modified, minute_start(st.st_mtime)) << reply;
    EXPECT_EQ(recent->extension.view(), ".html");

    const qxfile_node* old = got["old.TXT"];
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->modified, day_start(1072828800)) << reply;
    EXPECT_EQ(old->extension.view(), ".txt");
    EXPECT_EQ(old->attributes & 0777, 0644u);

    ASSERT_NE(got["two words.css"], nullptr);
    EXPECT_EQ(got["two words.css"]->size(), 10u);
    ASSERT_NE(got["empty"], nullptr);
    EXPECT_EQ(got["empty"]->size(), 0u);

    const qxfile_node* sub = got["sub"];
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->is_folder);
    const qxfile_node* www = got["www"];
    ASSERT_NE(www, nullptr);
    EXPECT_TRUE(www->is_link());
    EXPECT_TRUE(www->is_folder);
    EXPECT_EQ(www->link_target.view(), "sub") << reply;
    // Folders (the link counts as one) come before files.
    EXPECT_TRUE(folder->first_child->is_folder);
    EXPECT_TRUE(folder->first_child->next->is_folder);
}

TEST(ListingServers, Vsftpd)
{
    if (!test::vsftpd_available())
        GTEST_SKIP() << "vsftpd not installed";
    test::vsftpd_server ftp;
    ASSERT_TRUE(ftp.ok()) << ftp.log();
    std::time_t now = std::time(nullptr);
    populate(ftp.root(), now);
    check_listing(fetch_listing(ftp.port(), ftp.user(), ftp.password()), ftp.root(), now);
}

TEST(ListingServers, Pyftpdlib)
{
    if (!test::pyftpdlib_available())
        GTEST_SKIP() << "pyftpdlib not installed";
    test::pyftpdlib_server ftp;
    ASSERT_TRUE(ftp.ok()) << ftp.log();
    std::time_t now = std::time(nullptr);
    populate(ftp.root(), now);
    check_listing(fetch_listing(ftp.port(), ftp.user(), ftp.password()), ftp.root(), now);
}

}  // namespace
}  // namespace qvtf
