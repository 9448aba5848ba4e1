// Transfer-type resolution from ext.txt: the two tables, the entry rules, the
// load failures, and the list the program ships.

#include <gtest/gtest.h>

#include <unistd.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/qxval.h"
#include "ftp/auto_transfer_resolver.h"

namespace qvtf {
namespace {

constexpr transfer_pair binary0{transfer_binary, 0};

class AutoTransferResolver : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qvtf_ext_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    qxval file(const std::string& body)
    {
        std::string p = dir_ + "/ext" + std::to_string(files_++) + ".txt";
        FILE* f = std::fopen(p.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        std::fwrite(body.data(), 1, body.size(), f);
        std::fclose(f);
        return qxval(p);
    }

    std::string dir_;
    int files_ = 0;
};

TEST_F(AutoTransferResolver, NamesMatchExactlyAndExtensionsIgnoreCase)
{
    auto_transfer_resolver r;
    ASSERT_EQ(r.load(file("<ext><extensions>"
                          "<_0 name=\".html\" transfer=\"ascii\" chmod=\"644\"/>"
                          "<_1 name=\".gz\" transfer=\"binary\"/>"
                          "<_2 name=\".pl\" transfer=\"ascii\" chmod=\"755\"/>"
                          "</extensions><names>"
                          "<_0 name=\"Makefile\" transfer=\"ascii\" chmod=\"640\"/>"
                          "<_1 name=\"notes.html\" transfer=\"binary\" chmod=\"600\"/>"
                          "</names></ext>")),
              0);
    EXPECT_EQ(r.extension_count(), 3);
    EXPECT_EQ(r.name_count(), 2);
    EXPECT_EQ(r.resolve("index.html"), (transfer_pair{transfer_ascii, 0644}));
    EXPECT_EQ(r.resolve("INDEX.HTML"), (transfer_pair{transfer_ascii, 0644}));
    EXPECT_EQ(r.resolve("/www/cgi-bin/form.PL"), (transfer_pair{transfer_ascii, 0755}));
    EXPECT_EQ(r.resolve("Makefile"), (transfer_pair{transfer_ascii, 0640}));
    EXPECT_EQ(r.resolve("makefile"), binary0);
    // A name entry wins over the extension of the same file.
    EXPECT_EQ(r.resolve("notes.html"), (transfer_pair{transfer_binary, 0600}));
    EXPECT_EQ(r.resolve("Notes.html"), (transfer_pair{transfer_ascii, 0644}));
    // Only the text from the last dot counts.
    EXPECT_EQ(r.resolve("archive.tar.gz"), (transfer_pair{transfer_binary, 0}));
    EXPECT_EQ(r.resolve("page.html.bak"), binary0);
    EXPECT_EQ(r.resolve("README"), binary0);
    EXPECT_EQ(r.resolve("trailing."), binary0);
    EXPECT_EQ(r.resolve(""), binary0);
    EXPECT_EQ(r.resolve(qxval("x.Html")), (transfer_pair{transfer_ascii, 0644}));
}

TEST_F(AutoTransferResolver, EntryRules)
{
    auto_transfer_resolver r;
    ASSERT_EQ(r.load(file("<ext>\n <extensions>\n"
                          "  <_0 name=\".a\" transfer=\"ASCII\"/>\n"          // capitals still ASCII
                          "  <_1 name=\".b\" transfer=\"text\"/>\n"           // any other word: binary
                          "  <_2 name=\".c\" chmod=\"755\"/>\n"               // chmod alone
                          "  <_3 name=\".d\" chmod=\"7a5x5\"/>\n"             // non-digits skipped
                          "  <_4 name=\".e\" chmod=\"8\"/>\n"                 // a digit adds its low bits
                          "  <_5 name=\".f\" chmod=\"77777\"/>\n"             // at most 12 bits
                          "  <_6 name=\".g\"/>\n"                             // neither: skipped
                          "  <_7 transfer=\"ascii\"/>\n"                      // no name: skipped
                          "  <_8x name=\".h\" transfer=\"ascii\"/>\n"         // only two characters checked
                          "  <_x name=\".i\" transfer=\"ascii\"/>\n"          // second is not a digit
                          "  <entry name=\".j\" transfer=\"ascii\"/>\n"       // not an entry name
                          "  <_9 name=\".k\" transfer=\"ascii\">text</_9>\n"  // not empty
                          "  <_10 name=\".l\" transfer=\"ascii\"></_10>\n"    // reads as empty
                          "  <group><deeper><_11 name=\".m\" transfer=\"ascii\"/></deeper></group>\n"
                          " </extensions>\n <names/>\n</ext>\n")),
              0);
    EXPECT_EQ(r.resolve("x.a"), (transfer_pair{transfer_ascii, 0}));
    EXPECT_EQ(r.resolve("x.b"), (transfer_pair{transfer_binary, 0}));
    EXPECT_EQ(r.resolve("x.c"), (transfer_pair{transfer_binary, 493}));
    EXPECT_EQ(r.resolve("x.d"), (transfer_pair{transfer_binary, 0755}));
    EXPECT_EQ(r.resolve("x.e"), (transfer_pair{transfer_binary, 0}));
    EXPECT_EQ(r.resolve("x.f"), (transfer_pair{transfer_binary, 07777}));
    EXPECT_EQ(r.resolve("x.h"), (transfer_pair{transfer_ascii, 0}));
    EXPECT_EQ(r.resolve("x.l"), (transfer_pair{transfer_ascii, 0}));
    EXPECT_EQ(r.resolve("x.m"), (transfer_pair{transfer_ascii, 0}));
    for (const char* skipped : {"x.g", "x.i", "x.j", "x.k"})
        EXPECT_EQ(r.resolve(skipped), binary0) << skipped;
    EXPECT_EQ(r.extension_count(), 9);
}

TEST_F(AutoTransferResolver, RepeatedKeysKeepOneEntryAndTheOthersStayReachable)
{
    std::string body = "<ext><extensions>";
    // Enough neighbours that a relinked entry would lose some of them.
    for (int i = 0; i < 40; ++i)
        body += "<_" + std::to_string(i) + " name=\".k" + std::to_string(i) + "\" chmod=\"" +
                std::to_string(600 + i % 8) + "\"/>";
    body += "<_a name=\".k20\" transfer=\"ascii\" chmod=\"1\"/></extensions><names/></ext>";
    const qxval neighbours = file(body);
    const qxval pair_only = file(
        "<ext><extensions><_0 name=\".k\" chmod=\"1\"/><_1 name=\".k\" chmod=\"2\"/>"
        "</extensions><names/></ext>");

    bool saw[3] = {false, false, false};
    for (int round = 0; round < 40; ++round) {
        auto_transfer_resolver r;
        ASSERT_EQ(r.load(neighbours), 0);
        ASSERT_EQ(r.extension_count(), 40);
        transfer_pair p = r.resolve("f.k20");
        EXPECT_TRUE(p == (transfer_pair{transfer_binary, 0604}) || p == (transfer_pair{transfer_ascii, 1}))
            << p.type << " " << p.permissions;
        for (int i = 0; i < 40; ++i) {
            if (i != 20) {
                ASSERT_EQ(r.resolve("f.k" + std::to_string(i)).permissions, 0600 + i % 8) << i;
            }
        }

        auto_transfer_resolver two;
        ASSERT_EQ(two.load(pair_only), 0);
        EXPECT_EQ(two.extension_count(), 1);
        saw[two.resolve("f.k").permissions] = true;
    }
    // The shuffle decides which of the two is inserted later and wins.
    EXPECT_FALSE(saw[0]);
    EXPECT_TRUE(saw[1] && saw[2]);
}

TEST_F(AutoTransferResolver, LoadAddsToWhatIsThere)
{
    auto_transfer_resolver r;
    ASSERT_EQ(r.load(file("<ext><extensions><_0 name=\".a\" transfer=\"ascii\"/></extensions><names/></ext>")), 0);
    ASSERT_EQ(r.load(file("<ext><extensions><_0 name=\".b\" transfer=\"ascii\"/></extensions><names/></ext>")), 0);
    EXPECT_EQ(r.resolve("1.a").type, transfer_ascii);
    EXPECT_EQ(r.resolve("1.b").type, transfer_ascii);
}

TEST_F(AutoTransferResolver, LoadFailures)
{
    {
        auto_transfer_resolver r;
        EXPECT_EQ(r.load(qxval(dir_ + "/missing.txt")), 1);
    }
    {
        auto_transfer_resolver r;
        EXPECT_EQ(r.load(file("<ext><extensions><_0 name=\".a\" transfer=\"ascii\"/></ext>")), 2);
        EXPECT_EQ(r.resolve("x.a"), binary0);
    }
    {
        // Extensions read before the missing names section stay loaded.
        auto_transfer_resolver r;
        EXPECT_EQ(r.load(file("<ext><extensions><_0 name=\".a\" transfer=\"ascii\"/></extensions></ext>")), 2);
        EXPECT_EQ(r.resolve("x.a").type, transfer_ascii);
    }
    {
        auto_transfer_resolver r;
        EXPECT_EQ(r.load(file("<ext><names><_0 name=\"a\" transfer=\"ascii\"/></names></ext>")), 2);
        EXPECT_EQ(r.name_count(), 0);
    }
    {
        // The sections must sit directly under a top-level ext.
        auto_transfer_resolver r;
        EXPECT_EQ(r.load(file("<root><ext><extensions/><names/></ext></root>")), 2);
    }
}

TEST_F(AutoTransferResolver, ConcurrentLookupsDuringALoad)
{
    std::string body = "<ext><extensions>";
    for (int i = 0; i < 500; ++i)
        body += "<_" + std::to_string(i) + " name=\".e" + std::to_string(i) + "\" transfer=\"ascii\"/>";
    body += "</extensions><names/></ext>";
    const qxval path = file(body);
    auto_transfer_resolver r;
    ASSERT_EQ(r.load(file("<ext><extensions><_0 name=\".txt\" transfer=\"ascii\"/></extensions><names/></ext>")), 0);

    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t)
        readers.emplace_back([&] {
            while (!stop.load()) {
                if (r.resolve("a.TXT").type != transfer_ascii)
                    ++wrong;
                r.resolve("b.e250");
            }
        });
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(r.load(path), 0);
    stop = true;
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(r.resolve("b.e250").type, transfer_ascii);
}

TEST(TransferHash, ByteOrderWithPrefixesFirst)
{
    transfer_hash h;
    // Sorted input makes a chain; lookups and the free still work.
    for (int i = 0; i < 1500; ++i)
        h.insert("k" + std::to_string(100000 + i), transfer_pair{transfer_ascii, i});
    h.insert("k", transfer_pair{transfer_binary, 1});
    h.insert("k1", transfer_pair{transfer_binary, 2});
    h.insert(std::string("k\xff", 2), transfer_pair{transfer_binary, 3});
    EXPECT_EQ(h.count(), 1503);
    ASSERT_NE(h.find("k100042"), nullptr);
    EXPECT_EQ(h.find("k100042")->pair.permissions, 42);
    EXPECT_EQ(h.find("k")->pair.permissions, 1);
    EXPECT_EQ(h.find("k1")->pair.permissions, 2);
    EXPECT_EQ(h.find(std::string("k\xff", 2))->pair.permissions, 3);
    EXPECT_EQ(h.find("k10004"), nullptr);
    EXPECT_EQ(h.find(""), nullptr);
    h.insert("k1", transfer_pair{transfer_ascii, 9});
    EXPECT_EQ(h.count(), 1503);
    EXPECT_EQ(h.find("k1")->pair, (transfer_pair{transfer_ascii, 9}));
    h.clear();
    EXPECT_EQ(h.count(), 0);
    EXPECT_EQ(h.find("k"), nullptr);
}

TEST(ShippedExtensionList, WebSiteTextIsAsciiAndTheRestBinary)
{
    auto_transfer_resolver r;
    ASSERT_EQ(r.load(qxval(std::string(QVTF_PROGRAM_DIR) + "/ext.txt")), 0);
    EXPECT_GT(r.extension_count(), 50);
    EXPECT_GT(r.name_count(), 5);
    for (const char* page : {"index.html", "INDEX.HTM", "menu.shtml", "site.css", "app.js", "data.json", "feed.xml",
                             "logo.svg", "notes.txt", "README.md", "list.csv", "page.php", "default.asp", "dump.sql",
                             "php.ini", "site.conf", ".htaccess", ".htpasswd", "robots.txt"})
        EXPECT_EQ(r.resolve(page), (transfer_pair{transfer_ascii, 0644})) << page;
    for (const char* script : {"run.cgi", "tool.pl", "job.py", "deploy.sh", "Form.CGI"})
        EXPECT_EQ(r.resolve(script), (transfer_pair{transfer_ascii, 0755})) << script;
    for (const char* data :
         {"photo.jpg", "logo.PNG", "anim.gif", "font.woff2", "manual.pdf", "site.zip", "backup.tar.gz", "clip.mp4"}) {
        transfer_pair p = r.resolve(data);
        EXPECT_EQ(p.type, transfer_binary) << data;
        EXPECT_EQ(p.permissions, 0644) << data;
    }
    EXPECT_EQ(r.resolve("unknown.xyz"), binary0);
    EXPECT_EQ(r.resolve("core"), binary0);
}

}  // namespace
}  // namespace qvtf
