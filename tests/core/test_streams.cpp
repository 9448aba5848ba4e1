// The chunk readers: byte access across chunks, hand-back of consumed input,
// and the splitter, line cutter and line-end converter built on them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/ascii_back.h"
#include "core/ascii_forth.h"
#include "core/linearizer.h"
#include "core/qxlexer.h"
#include "core/qxstream.h"
#include "core/splitter.h"

namespace qvtf {
namespace {

void feed(qxparser& p, const std::string& s)
{
    qxval v(s);
    p.push(v);
}

std::vector<std::string> drain(qxarr& list)
{
    std::vector<std::string> out;
    qxval v;
    while (list.shift(v))
        out.push_back(v.str());
    return out;
}

// Cuts text into chunks of random sizes (1..max), the way a socket delivers it.
std::vector<std::string> random_chunks(const std::string& text, std::mt19937& rng, int max)
{
    std::vector<std::string> chunks;
    std::uniform_int_distribution<int> size(1, max);
    for (size_t i = 0; i < text.size();) {
        size_t n = std::min<size_t>(size(rng), text.size() - i);
        chunks.push_back(text.substr(i, n));
        i += n;
    }
    return chunks;
}

TEST(QxParser, ReadsAcrossChunksAndSignalsNeedThenEnd)
{
    qxparser p;
    EXPECT_EQ(p.next_byte(), qxparser::need_input);
    feed(p, "ab");
    qxval number(7);  // a non-string chunk is read as its text
    p.push(number);
    EXPECT_EQ(p.next_byte(), 'a');
    EXPECT_EQ(p.next_byte(), 'b');
    EXPECT_EQ(p.next_byte(), '7');
    EXPECT_EQ(p.next_byte(), qxparser::need_input);
    EXPECT_EQ(p.next_byte(), qxparser::need_input);  // stays put, loses nothing
    feed(p, "\xff");
    EXPECT_EQ(p.next_byte(), 255);
    p.end_input();
    EXPECT_EQ(p.next_byte(), qxparser::end_of_input);
    EXPECT_EQ(p.bytes_read, 3);  // from -1, four bytes handed out
}

TEST(QxParser, ShiftHandsBackOnlyConsumedChunks)
{
    qxparser p;
    feed(p, "one");
    feed(p, "two");
    qxval out;
    EXPECT_FALSE(p.shift(out));  // nothing read yet
    for (int i = 0; i < 3; ++i)
        p.next_byte();
    EXPECT_FALSE(p.shift(out));  // "one" read but still current
    EXPECT_EQ(p.next_byte(), 't');
    EXPECT_EQ(p.consumed, 1);
    ASSERT_TRUE(p.shift(out));
    EXPECT_EQ(out.str(), "one");
    EXPECT_FALSE(p.shift(out));
    EXPECT_EQ(p.next_byte(), 'w');  // reading continues where it was
}

TEST(QxParser, GiveBackSplitsTheCurrentChunk)
{
    qxparser p;
    feed(p, "hello world");
    for (int i = 0; i < 6; ++i)
        p.next_byte();
    p.give_back_unread();
    qxval out;
    ASSERT_TRUE(p.shift(out));
    EXPECT_EQ(out.str(), "hello ");
    EXPECT_EQ(p.count(), 1);
    EXPECT_EQ(p.next_byte(), 'w');

    // A chunk read to its end is consumed where it stands and not read again.
    qxparser q;
    feed(q, "xy");
    q.next_byte();
    q.next_byte();
    q.give_back_unread();
    q.give_back_unread();  // a second call counts nothing twice
    EXPECT_EQ(q.consumed, 1);
    feed(q, "z");
    EXPECT_EQ(q.next_byte(), 'z');
    EXPECT_EQ(q.consumed, 1);
    ASSERT_TRUE(q.shift(out));
    EXPECT_EQ(out.str(), "xy");
    EXPECT_EQ(q.next_byte(), qxparser::need_input);
}

TEST(QxParser, LimitRunAndReset)
{
    qxparser p;
    p.limit = 5;
    feed(p, "abc");
    EXPECT_TRUE(p.within_limit());
    feed(p, "de");
    EXPECT_TRUE(p.within_limit());
    feed(p, "f");
    EXPECT_FALSE(p.within_limit());
    EXPECT_EQ(qxstream().limit, 16777216);

    EXPECT_EQ(p.run(), qxparser::run_more);
    EXPECT_EQ(p.consumed, 3);
    p.end_input();
    EXPECT_EQ(p.run(), qxparser::run_done);
    p.drop_consumed();
    EXPECT_EQ(p.count(), 0);

    feed(p, "q");
    p.reset_reader();
    EXPECT_FALSE(p.ended);
    EXPECT_EQ(p.next_byte(), 'q');
}

TEST(QxLexer, CountsLinesAndColumns)
{
    qxlexer lx;
    feed(lx, "ab\nc");
    feed(lx, "d\n\ne");
    std::vector<std::pair<int, int>> seen;
    while (lx.next_byte() >= 0)
        seen.emplace_back(lx.line, lx.column);
    std::vector<std::pair<int, int>> want = {{1, 1}, {1, 2}, {2, 0}, {2, 1}, {2, 2}, {3, 0}, {4, 0}, {4, 1}};
    EXPECT_EQ(seen, want);
    lx.reset_reader();
    EXPECT_EQ(lx.line, 1);
    EXPECT_EQ(lx.column, 0);
}

TEST(Splitter, CutsFixedPiecesWhateverTheChunks)
{
    std::string text(120, 'x');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + i % 26);
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        splitter s;
        for (const auto& c : random_chunks(text, rng, 40)) {
            feed(s, c);
            EXPECT_EQ(s.run(), qxparser::run_more);
        }
        s.end_input();
        EXPECT_EQ(s.run(), qxparser::run_done);
        auto pieces = drain(s.output);
        ASSERT_EQ(pieces.size(), 3u);
        EXPECT_EQ(pieces[0], text.substr(0, 57));
        EXPECT_EQ(pieces[1], text.substr(57, 57));
        EXPECT_EQ(pieces[2], text.substr(114));
    }
    splitter exact(512);
    feed(exact, std::string(1024, 'z'));
    exact.end_input();
    EXPECT_EQ(exact.run(), qxparser::run_done);
    EXPECT_EQ(drain(exact.output), (std::vector<std::string>{std::string(512, 'z'), std::string(512, 'z')}));
}

TEST(Linearizer, CutsAfterLineFeedsAcrossChunks)
{
    linearizer lz;
    feed(lz, "first\r");
    EXPECT_EQ(lz.run(), qxparser::run_more);
    feed(lz, "\nsec");
    feed(lz, "ond\n\nlast");
    EXPECT_EQ(lz.run(), qxparser::run_more);
    EXPECT_EQ(drain(lz.output), (std::vector<std::string>{"first\r\n", "second\n", "\n"}));
    lz.end_input();
    EXPECT_EQ(lz.run(), qxparser::run_done);
    EXPECT_EQ(drain(lz.output), (std::vector<std::string>{"last"}));
    EXPECT_EQ(lz.count(), 0);  // released input is gone
}

TEST(Linearizer, ReleaseKeepsMemoryBoundedAndOffKeepsInput)
{
    linearizer lz;
    for (int i = 0; i < 1000; ++i) {
        feed(lz, "line " + std::to_string(i) + "\n");
        lz.run();
        EXPECT_LE(lz.count(), 1);
    }
    EXPECT_EQ(lz.output.count(), 1000);

    linearizer keep;
    keep.release = false;
    feed(keep, "a\nb\n");
    feed(keep, "c\n");
    keep.run();
    EXPECT_EQ(keep.output.count(), 3);
    EXPECT_EQ(keep.count(), 2);
}

std::string crlf_reference(const std::string& in)
{
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '\n' && (i == 0 || in[i - 1] != '\r'))
            out += '\r';
        out += in[i];
    }
    return out;
}

std::string convert(const std::vector<std::string>& chunks)
{
    qxarr target;
    ascii_forth af(&target);
    std::string out;
    for (const auto& c : chunks) {
        qxval v(c);
        EXPECT_EQ(af.feed(v), 0);
        EXPECT_EQ(af.run(), 0);
    }
    af.end_input();
    EXPECT_EQ(af.run(), 2);
    for (const auto& piece : drain(target))
        out += piece;
    return out;
}

TEST(AsciiForth, AddsCarriageReturnsOnlyWhereMissing)
{
    EXPECT_EQ(convert({"a\r\nb\nc"}), "a\r\nb\r\nc");
    EXPECT_EQ(convert({"\n\n"}), "\r\n\r\n");
    EXPECT_EQ(convert({"x\r", "\ny\r", "\r\n"}), "x\r\ny\r\r\n");
    EXPECT_EQ(convert({"no line feed at all"}), "no line feed at all");
    EXPECT_EQ(convert({"ends with cr\r"}), "ends with cr\r");
    EXPECT_EQ(convert({}), "");
}

TEST(AsciiForth, MatchesReferenceUnderRandomChunking)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> pick(0, 9);
    for (int round = 0; round < 50; ++round) {
        std::string text;
        for (int i = 0; i < 3000; ++i) {
            int k = pick(rng);
            text += k == 0 ? '\n' : k == 1 ? '\r' : static_cast<char>('a' + k);
        }
        EXPECT_EQ(convert(random_chunks(text, rng, 300)), crlf_reference(text)) << "round " << round;
    }
}

// The reverse: CR LF from the wire becomes a bare line feed, a lone CR stays,
// wherever the chunks are cut.
std::string to_local(const std::vector<std::string>& chunks)
{
    qxarr target;
    ascii_back ab(&target);
    for (const auto& c : chunks) {
        qxval v(c);
        EXPECT_EQ(ab.feed(v), 0);
        EXPECT_EQ(ab.run(), 0);
    }
    ab.end_input();
    EXPECT_EQ(ab.run(), 2);
    std::string out;
    for (const auto& piece : drain(target))
        out += piece;
    return out;
}

std::string lf_reference(const std::string& in)
{
    std::string out;
    for (size_t i = 0; i < in.size(); ++i)
        if (!(in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n'))
            out += in[i];
    return out;
}

TEST(AsciiBack, CrLfBecomesLineFeedWhereverTheChunksAreCut)
{
    EXPECT_EQ(to_local({"a\r\nb\r\n"}), "a\nb\n");
    EXPECT_EQ(to_local({"a\r", "\nb"}), "a\nb");
    EXPECT_EQ(to_local({"a\r", "b\r", "\r\n"}), "a\rb\r\n");
    EXPECT_EQ(to_local({"bare\nlf"}), "bare\nlf");
    EXPECT_EQ(to_local({"ends with cr\r"}), "ends with cr\r");
    EXPECT_EQ(to_local({"\r", "", "\n"}), "\n");
    EXPECT_EQ(to_local({}), "");
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> pick(0, 5);
    for (int round = 0; round < 30; ++round) {
        std::string text;
        for (int i = 0; i < 2000; ++i) {
            const int k = pick(rng);
            text += k == 0 ? '\n' : k <= 2 ? '\r' : static_cast<char>('a' + k);
        }
        EXPECT_EQ(to_local(random_chunks(text, rng, 200)), lf_reference(text)) << "round " << round;
    }
}

TEST(AsciiForth, LongLineWithoutLineFeedIsPassedOnInParts)
{
    qxarr target;
    ascii_forth af(&target);
    std::string block(16384, 'b');
    block.back() = '\r';
    for (int i = 0; i < 64; ++i) {  // 1 MiB without a line feed
        qxval v(block);
        af.feed(v);
        af.run();
    }
    EXPECT_LT(af.lines.line.text.length, ascii_forth::max_held_line);
    EXPECT_GT(target.count(), 0);
    qxval lf("\n\n");
    af.feed(lf);
    af.end_input();
    EXPECT_EQ(af.run(), 2);
    std::string out;
    for (const auto& piece : drain(target))
        out += piece;
    std::string whole;
    for (int i = 0; i < 64; ++i)
        whole += block;
    EXPECT_EQ(out, crlf_reference(whole + "\n\n"));
}

}  // namespace
}  // namespace qvtf
