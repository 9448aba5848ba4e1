// Listings into the tree: insertion order, re-listing, the pipe-fed reader
// with its stop rules, and the debug dump.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "browse/listing_parser.h"
#include "core/qxpipe.h"
#include "ftp/ftp_control.h"

namespace qvtf {
namespace {

const listing_clock clock_now = listing_clock::at(1718452800, 0);  // 2024-06-15 12:00 UTC

std::string unix_line(const std::string& name, bool folder, int size = 1)
{
    return std::string(folder ? "drwxr-xr-x" : "-rw-r--r--") + " 1 u g " + std::to_string(size) + " Jan 5 2020 " +
           name + "\r\n";
}

std::vector<std::string> children(const qxfile_node* folder)
{
    std::vector<std::string> out;
    const qxfile_node* prev = nullptr;
    for (const qxfile_node* n = folder->first_child; n; n = n->next) {
        EXPECT_EQ(n->parent, folder);
        EXPECT_EQ(n->prev, prev);
        out.push_back((n->is_folder ? "d:" : "f:") + n->name.str());
        prev = n;
    }
    return out;
}

class ListingTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto* top = new qxfile_node;
        top->is_folder = 1;
        tree.append_top(top);
        folder = new qxfile_node;
        folder->is_folder = 1;
        folder->name.set_string("pub");
        tree.append_child(folder, top);
    }
    qxfile_tree tree;
    qxfile_node* folder = nullptr;
};

TEST_F(ListingTree, FoldersThenFilesEachInListingOrder)
{
    std::string reply = "total 5\r\n" + unix_line("b.txt", false) + unix_line("zeta", true) + unix_line(".", true) +
                        unix_line("a.txt", false) + unix_line("alpha", true) + unix_line("..", true) +
                        unix_line("c.txt", false);
    EXPECT_EQ(parse_listing(reply, tree, folder, clock_now), listing_unix);
    EXPECT_EQ(children(folder), (std::vector<std::string>{"d:zeta", "d:alpha", "f:b.txt", "f:a.txt", "f:c.txt"}));
    EXPECT_EQ(folder->needs_listing, 0u);

    // Only files, only folders, nothing: no holder left behind.
    parse_listing(unix_line("x", false) + unix_line("y", false), tree, folder, clock_now);
    EXPECT_EQ(children(folder), (std::vector<std::string>{"f:x", "f:y"}));
    parse_listing(unix_line("p", true) + unix_line("q", true), tree, folder, clock_now);
    EXPECT_EQ(children(folder), (std::vector<std::string>{"d:p", "d:q"}));
    EXPECT_EQ(parse_listing("", tree, folder, clock_now), 0);
    EXPECT_EQ(children(folder), (std::vector<std::string>{}));
}

TEST_F(ListingTree, StyleBitsAndDroppedLinesStillCount)
{
    EXPECT_EQ(parse_listing(unix_line(".", true) + unix_line("..", true), tree, folder, clock_now), listing_unix);
    EXPECT_EQ(folder->first_child, nullptr);
    std::string mixed = unix_line("u", false) + "01-05-04  09:15PM       <DIR>          d\r\n";
    EXPECT_EQ(parse_listing(mixed, tree, folder, clock_now), listing_unix | listing_dos);
    EXPECT_EQ(parse_listing("01-05-04  09:15PM  <DIR>  ..\r\n", tree, folder, clock_now), listing_dos);
    EXPECT_EQ(parse_listing("550 No files found.\r\n", tree, folder, clock_now), 0);
}

TEST_F(ListingTree, RelistingKeepsTheNodesOfEntriesListedAgain)
{
    parse_listing(
        unix_line("sub", true) + unix_line("gone", true) + unix_line("turns", true) + unix_line("f", false, 1), tree,
        folder, clock_now);
    qxfile_node* sub = folder->first_child;
    qxfile_node* turns = sub->next->next;
    qxfile_node* file = turns->next;
    parse_listing(unix_line("deep", true) + unix_line("x", false), tree, sub, clock_now);
    parse_listing(unix_line("inner", false), tree, turns, clock_now);
    file->tree_item = 7;

    // "gone" vanishes, "turns" is now a file, "f" grew, "new" appears.
    parse_listing(
        unix_line("new", false) + unix_line("f", false, 99) + unix_line("sub", true) + unix_line("turns", false), tree,
        folder, clock_now);
    EXPECT_EQ(children(folder), (std::vector<std::string>{"d:sub", "f:new", "f:f", "f:turns"}));
    EXPECT_EQ(folder->first_child, sub);
    EXPECT_EQ(children(sub), (std::vector<std::string>{"d:deep", "f:x"}));
    EXPECT_EQ(sub->needs_listing, 1u);  // kept, but its contents may have changed
    EXPECT_EQ(sub->next->next, file);
    EXPECT_EQ(file->size(), 99u);
    EXPECT_EQ(file->tree_item, 7u);
    EXPECT_EQ(file->next, turns);
    EXPECT_EQ(turns->first_child, nullptr);
    EXPECT_EQ(turns->is_folder, 0);

    parse_listing(unix_line("other", false), tree, folder, clock_now);
    EXPECT_EQ(children(folder), (std::vector<std::string>{"f:other"}));
}

// One thread lists a folder over and over while another walks it and reads
// an entry it took once; run under ASan and TSan this catches a listing
// that frees what a reader still holds.
TEST_F(ListingTree, ReadersWalkWhileTheFolderIsListedAgain)
{
    parse_listing(unix_line("stays", true) + unix_line("kept.txt", false), tree, folder, clock_now);
    qxfile_node* stays = folder->first_child;
    parse_listing(unix_line("deep", false), tree, stays, clock_now);
    qxfile_node* kept = stays->next;

    std::atomic<bool> done{false};
    std::thread lister([&] {
        for (int i = 0; i < 300; ++i) {
            std::string reply = unix_line("stays", true) + unix_line("kept.txt", false, i);
            for (int j = 0; j < i % 7; ++j)
                reply += unix_line("tmp" + std::to_string(i) + "_" + std::to_string(j), j % 2 == 0);
            parse_listing(reply, tree, folder, clock_now);
        }
        done = true;
    });
    int walks = 0;
    bool seen_stays = true, seen_kept = true;
    while (!done || walks == 0) {
        qxfile_tree::reader hold(tree);
        bool stays_here = false, kept_here = false;
        for (const qxfile_node* n = folder->first_child; n; n = n->next) {
            EXPECT_EQ(n->parent, folder);
            stays_here |= n == stays;
            kept_here |= n == kept;
        }
        seen_stays &= stays_here;
        seen_kept &= kept_here;
        EXPECT_EQ(kept->name.view(), "kept.txt");
        ASSERT_NE(stays->first_child, nullptr);
        EXPECT_EQ(stays->first_child->name.view(), "deep");
        ++walks;
    }
    lister.join();
    EXPECT_TRUE(seen_stays);
    EXPECT_TRUE(seen_kept);
    EXPECT_EQ(kept->size(), 299u);
}

TEST_F(ListingTree, TenThousandEntries)
{
    std::string reply = "total 10000\r\n";
    for (int i = 0; i < 10000; ++i)
        reply += unix_line("file" + std::to_string(i) + ".dat", i % 10 == 0, i);
    parse_listing(reply, tree, folder, clock_now);
    std::size_t n = 0, folders = 0;
    for (qxfile_node* c = folder->first_child; c; c = c->next, ++n)
        folders += c->is_folder;
    EXPECT_EQ(n, 10000u);
    EXPECT_EQ(folders, 1000u);
}

class ListingReader : public ListingTree {
protected:
    void SetUp() override
    {
        ListingTree::SetUp();
        char tmpl[] = "/tmp/qvtf_listing_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        dump_path = dir + "/" + listing_dump_name;
        dump = open_listing_dump(qxval(dump_path));
        ASSERT_NE(dump, invalid_file_handle);
    }
    void TearDown() override
    {
        close_file(dump);
        std::remove(dump_path.c_str());
        rmdir(dir.c_str());
    }
    std::string dump_text()
    {
        qxval text;
        read_whole_file(qxval(dump_path), text);
        return text.str();
    }
    // Feeds reply in pieces of step bytes from another thread.
    int read_in_pieces(const std::string& reply, std::size_t step, std::uint32_t end_flags = pipe_producer_done)
    {
        qxpipe pipe;
        std::thread producer([&] {
            for (std::size_t at = 0; at < reply.size(); at += step) {
                qxval chunk;
                chunk.set_bytes(std::string_view(reply).substr(at, step));
                pipe.push_waiting(chunk, pipe_stop | pipe_consumer_done);
            }
            pipe.raise(end_flags);
        });
        int styles = read_listing(pipe, tree, folder, clock_now, dump);
        producer.join();
        EXPECT_TRUE(pipe.any(pipe_consumer_done));
        return styles;
    }
    std::string dir, dump_path;
    file_handle dump = invalid_file_handle;
};

TEST_F(ListingReader, PiecesOfAnySizeGiveTheSameTree)
{
    std::string reply = "total 3\r\n" + unix_line("one two", false, 5) + unix_line("dir", true) +
                        "01-05-04  09:15PM       <DIR>          dosdir\r\n" + unix_line("last", false, 7);
    reply.resize(reply.size() - 2);  // the last line has no line feed
    for (std::size_t step : {1u, 2u, 7u, 64u, 100000u}) {
        SCOPED_TRACE(step);
        EXPECT_EQ(read_in_pieces(reply, step), listing_unix | listing_dos);
        EXPECT_EQ(children(folder), (std::vector<std::string>{"d:dir", "d:dosdir", "f:one two", "f:last"}));
        EXPECT_EQ(dump_text(), reply);
    }
}

TEST_F(ListingReader, OverlongLinesAreDroppedAndTheRestParsed)
{
    // Exactly at the bound a line is kept; one byte more and it is dropped,
    // wherever the chunks cut it. A last line without a line feed counts too.
    std::string at_bound = unix_line("keep", false);
    at_bound.insert(at_bound.find("keep"), listing_line_limit - at_bound.size(), ' ');
    const std::string too_long = "-rw-r--r-- 1 u g 1 Jan 5 2020 " + std::string(listing_line_limit, 'x') + "\r\n";
    const std::string reply = unix_line("before", false) + too_long + at_bound + unix_line("after", false) + too_long;
    for (std::size_t step : {1000u, 65536u, 200000u}) {
        SCOPED_TRACE(step);
        const int styles = read_in_pieces(reply.substr(0, reply.size() - 2), step);
        EXPECT_EQ(styles, listing_unix | listing_line_dropped);
        const std::vector<std::string> got = children(folder);
        ASSERT_EQ(got.size(), 3u);
        EXPECT_EQ(got[0], "f:before");
        EXPECT_EQ(got[2], "f:after");
    }
    EXPECT_EQ(read_in_pieces(unix_line("fine", false), 100), listing_unix) << "no drop, no bit";
}

TEST_F(ListingReader, DumpHoldsOnlyTheLatestListing)
{
    std::string longer;
    for (int i = 0; i < 50; ++i)
        longer += unix_line("entry" + std::to_string(i), false);
    read_in_pieces(longer, 300);
    EXPECT_EQ(dump_text(), longer);
    std::string shorter = unix_line("only", false);
    read_in_pieces(shorter, 300);
    EXPECT_EQ(dump_text(), shorter);
    read_in_pieces("", 300);
    EXPECT_EQ(dump_text(), "");
}

TEST_F(ListingReader, NoDumpFileIsFine)
{
    qxpipe pipe;
    qxval chunk(unix_line("x", false));
    pipe.push(chunk);
    pipe.raise(pipe_producer_done);
    read_listing(pipe, tree, folder, clock_now, invalid_file_handle);
    EXPECT_EQ(children(folder), (std::vector<std::string>{"f:x"}));
}

// A listing that did not end cleanly is no listing: the folder keeps what it
// had and still needs listing.
TEST_F(ListingReader, StopRequestedBeforehandKeepsTheOldEntries)
{
    parse_listing(unix_line("old", false), tree, folder, clock_now);
    qxpipe pipe;
    qxval chunk(unix_line("new", false));
    pipe.push(chunk);
    pipe.raise(pipe_stop | pipe_producer_done);
    listing_report report;
    read_listing(pipe, tree, folder, clock_now, dump, &report);
    EXPECT_EQ(children(folder), (std::vector<std::string>{"f:old"}));
    EXPECT_EQ(folder->needs_listing, 1u);
    EXPECT_FALSE(report.complete);
    EXPECT_TRUE(pipe.any(pipe_consumer_done));
}

TEST_F(ListingReader, AbortKeepsNoLineOfTheCutListing)
{
    qxpipe pipe;
    std::thread reader([&] { read_listing(pipe, tree, folder, clock_now, dump); });
    qxval chunk(unix_line("complete", false) + "-rw-r--r-- 1 u g 1 Jan 5 2020 partial");
    pipe.push(chunk);
    // Let the reader take the chunk, then abort without ever finishing the line.
    for (int i = 0; i < 200 && pipe.queued_bytes() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pipe.raise(pipe_stop);
    reader.join();
    std::vector<std::string> got = children(folder);
    EXPECT_EQ(got, (std::vector<std::string>{}));
    EXPECT_TRUE(pipe.any(pipe_consumer_done));
}

// A reset or a stall (the producer failed) after whole lines and a cut one:
// the run ends, but neither the lines nor the fragment become entries.
TEST_F(ListingReader, ProducerThatFailedEndsTheRunWithoutEntries)
{
    const std::string cut = unix_line("a", false) + unix_line("file-two", false).substr(0, 32);
    EXPECT_EQ(read_in_pieces(cut, 5, pipe_producer_failed), listing_unix);
    EXPECT_EQ(children(folder), (std::vector<std::string>{}));
    EXPECT_EQ(folder->needs_listing, 1u);
}

// Lines the parser cannot read are counted and kept for the log; blank and
// "total" lines are not; a listing with seconds in every time is exact.
TEST_F(ListingReader, ReportCountsUnreadLines)
{
    struct row {
        std::string reply;
        int unparsed;
        bool exact;
    } const rows[] = {
        {"total 3\r\n\r\n" + unix_line("a", false), 0, false},
        {"insgesamt 12\r\n" + unix_line("a", false) + "crw-rw-rw- 1 root root 1, 3 Jan 1 2020 null\r\n" +
             "-rw-r--r-- 1 u g 10 Sept 5 2020 sept\r\n",
         2, false},
        {"-rw-r--r-- 1 u g 1 2020-01-01 12:00:05.000000000 +0000 a\n"
         "-rw-r--r-- 1 u g 1 2020-01-01 12:00:06.5 +0000 b\n",
         0, true},
        {"-rw-r--r-- 1 u g 1 2020-01-01 12:00:05.000000000 +0000 a\n" + unix_line("b", false), 0, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.reply);
        listing_report report;
        parse_listing(r.reply, tree, folder, clock_now, &report);
        EXPECT_TRUE(report.complete);
        EXPECT_EQ(report.unparsed, r.unparsed);
        EXPECT_EQ(report.unparsed_lines.size(), std::size_t(r.unparsed));
        EXPECT_EQ(report.whole(), r.unparsed == 0);
        EXPECT_EQ(report.exact_times, r.exact);
    }
}

}  // namespace
}  // namespace qvtf
