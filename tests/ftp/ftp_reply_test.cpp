// Reading replies: single and multi-line forms, malformed first lines, the
// line and input limits, and what a failure does to the session. The bytes
// come from memory here; ftp_wire_test.cpp reads them from a socket.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ftp_test_session.h"

namespace qvtf::test {
namespace {

// A session whose input is a list of chunks instead of a socket.
class fed_session : public logged_session {
public:
    explicit fed_session(std::vector<std::string> chunks) : chunks_(std::move(chunks))
    {
        set_state(remote_state::connected);
    }
    void fill_input() override
    {
        if (next_ < chunks_.size())
            push_chunk(chunks_[next_++]);
        else
            mark_end();
    }
    int fills() const { return static_cast<int>(next_); }

private:
    std::vector<std::string> chunks_;
    std::size_t next_ = 0;
};

TEST(FtpReply, SingleLineGivesCodeDigitsAndLine)
{
    fed_session s({"220 ready\r\n"});
    ASSERT_EQ(s.read_reply(), 0);
    EXPECT_EQ(s.reply_code(), 220);
    EXPECT_EQ(s.reply_class(), 2);
    EXPECT_EQ(s.reply_group(), 2);
    EXPECT_EQ(s.reply_detail(), 0);
    EXPECT_EQ(reply_of(s), (lines{"220 ready"}));
    EXPECT_EQ(s.entries(),
              (std::vector<log_entry>{{log_state, "disconnected -> connected\r\n"}, {log_reply, "220 ready\r\n"}}));
}

TEST(FtpReply, MultiLineForms)
{
    struct form {
        std::string input;
        int code;
        lines expected;
    };
    const std::vector<form> forms = {
        {"220-first\r\n220 last\r\n", 220, {"220-first", "220 last"}},
        // Other codes and the same code with a hyphen are continuation lines.
        {"220-a\r\n221 b\r\n220 c\r\n", 220, {"220-a", "221 b", "220 c"}},
        {"220-a\r\n220-b\r\n220 c\r\n", 220, {"220-a", "220-b", "220 c"}},
        {"230-a\r\n 230 indented\r\n2300 longer\r\n230\r\n", 230, {"230-a", " 230 indented", "2300 longer", "230"}},
        // A first line with another character after the code leaves the reply
        // open; the next line is a first line again and its code wins.
        {"220x odd\r\n331 real\r\n", 331, {"220x odd", "331 real"}},
        {"220\r\n", 220, {"220"}},
    };
    for (const auto& f : forms) {
        fed_session s({f.input});
        ASSERT_EQ(s.read_reply(), 0) << f.input;
        EXPECT_EQ(s.reply_code(), f.code) << f.input;
        EXPECT_EQ(reply_of(s), f.expected) << f.input;
    }
}

TEST(FtpReply, LineEndsAndChunkBoundaries)
{
    // Carriage returns vanish wherever they stand; a bare line feed ends a line.
    fed_session s({"250 a\rb\r\n"});
    ASSERT_EQ(s.read_reply(), 0);
    EXPECT_EQ(reply_of(s), (lines{"250 ab"}));

    fed_session bare({"257-x\n257 y\n"});
    ASSERT_EQ(bare.read_reply(), 0);
    EXPECT_EQ(reply_of(bare), (lines{"257-x", "257 y"}));

    std::vector<std::string> bytes;
    for (char c : std::string("226-one\r\n226 two\r\n"))
        bytes.emplace_back(1, c);
    fed_session split(bytes);
    ASSERT_EQ(split.read_reply(), 0);
    EXPECT_EQ(reply_of(split), (lines{"226-one", "226 two"}));

    // Two replies in one chunk are read one at a time.
    fed_session two({"331 pw\r\n230 in\r\n"});
    ASSERT_EQ(two.read_reply(), 0);
    EXPECT_EQ(two.reply_code(), 331);
    ASSERT_EQ(two.read_reply(), 0);
    EXPECT_EQ(two.reply_code(), 230);
    EXPECT_EQ(two.fills(), 1);
}

TEST(FtpReply, DigitsOutsideTheClassesBecomeNine)
{
    fed_session s({"699 odd\r\n"});
    ASSERT_EQ(s.read_reply(), 0);
    EXPECT_EQ(s.reply_code(), 699);
    EXPECT_EQ(s.reply_class(), 9);
    EXPECT_EQ(s.reply_group(), 9);
    EXPECT_EQ(s.reply_detail(), 9);

    fed_session zero({"061 odd\r\n"});
    ASSERT_EQ(zero.read_reply(), 0);
    EXPECT_EQ(zero.reply_class(), 9);
    EXPECT_EQ(zero.reply_group(), 9);
}

TEST(FtpReply, MalformedFirstLineFailsAndResets)
{
    for (std::string input : {"22 short\r\n", "\r\n", "abc\r\n"}) {
        fed_session s({input});
        s.set_state(remote_state::logged_in);
        EXPECT_EQ(s.read_reply(), status_bad_reply_line) << input;
        EXPECT_EQ(s.connected(), 0);
        EXPECT_EQ(s.logged_in(), 0);
        EXPECT_EQ(s.reported, (std::vector<int>{status_bad_reply_line}));
        EXPECT_TRUE(s.texts_of_kind(log_reply).empty()) << "an incomplete reply is not logged";
    }
}

TEST(FtpReply, LineLimitIs65536Characters)
{
    const std::string longest(65535 - 4, 'x');
    fed_session fits({"200 " + longest + "\r\n"});
    ASSERT_EQ(fits.read_reply(), 0);
    EXPECT_EQ(fits.reply_lines().head->value.view().size(), 65535u);

    fed_session too_long({"200 " + longest + "y\r\n"});
    EXPECT_EQ(too_long.read_reply(), status_line_too_long);
    EXPECT_EQ(too_long.connected(), 0);

    // Carriage returns do not count towards the limit.
    fed_session with_cr({"200 " + longest + "\r\r\r\n"});
    EXPECT_EQ(with_cr.read_reply(), 0);
}

TEST(FtpReply, EndOfStreamFailsWith2004)
{
    fed_session nothing({});
    EXPECT_EQ(nothing.read_reply(), status_stream_ended);
    EXPECT_EQ(nothing.connected(), 0);

    // The server went away in the middle of a multi-line reply.
    fed_session cut({"220-first\r\n220-second\r\n"});
    EXPECT_EQ(cut.read_reply(), status_stream_ended);
    EXPECT_EQ(cut.reported, (std::vector<int>{status_stream_ended}));
}

TEST(FtpReply, EndlessContinuationIsBounded)
{
    // A hostile server that never closes its multi-line reply.
    std::vector<std::string> chunks{"220-start\r\n"};
    const std::string block = [] {
        std::string b;
        while (b.size() < 1 << 20)
            b += "220-more of the same, and more of the same\r\n";
        return b;
    }();
    for (int i = 0; i < 20; ++i)
        chunks.push_back(block);
    fed_session s(chunks);
    EXPECT_EQ(s.read_reply(), status_input_too_large);
    EXPECT_LE(s.fills(), 18);
}

TEST(FtpReply, ClosingReply421ClearsLogin)
{
    fed_session s({"421 going down\r\n"});
    s.set_state(remote_state::logged_in);
    EXPECT_EQ(s.read_reply(), status_not_connected);
    EXPECT_EQ(s.logged_in(), 0);
    EXPECT_EQ(s.connected(), 1) << "the session stays connected until the server closes";
    EXPECT_EQ(s.reported, (std::vector<int>{status_not_connected}));
}

TEST(FtpReply, RefusalTextOutlivesLaterReplies)
{
    fed_session s({"550 no such file\r\n", "250 back again\r\n"});
    s.set_language(&test_phrases());
    ASSERT_EQ(s.read_reply(), 0);
    const remote_result refused = s.reply_failure(status_refused);
    ASSERT_EQ(s.read_reply(), 0);
    qxval text;
    s.error_text(refused, text);
    EXPECT_EQ(text.str(), "550 no such file\r\n");
    s.error_text(s.unexpected_reply(), text);
    EXPECT_EQ(text.str(), "[54]\r\n250 back again\r\n");
}

TEST(FtpReply, RefusedWithoutConnectionOrWhenStopped)
{
    fed_session s({"220 x\r\n", "221 y\r\n"});
    s.set_state(remote_state::disconnected);
    EXPECT_EQ(s.read_reply(), status_not_connected);
    s.set_state(remote_state::connected);
    s.stop(stop_reason_kill);
    EXPECT_EQ(s.read_reply(), status_stopped);
    s.clear_stop();
    EXPECT_EQ(s.read_reply(), 0);
    // A stop ends transfers and walks, not the replies that put things back.
    s.stop(stop_reason_stop);
    EXPECT_EQ(s.read_reply(), 0);
}

TEST(FtpReply, ReadingClaimsTheSessionOnlyForTheReply)
{
    fed_session s({"200 ok\r\n"});
    ASSERT_EQ(s.read_reply(), 0);
    EXPECT_EQ(s.busy(), 0);
    EXPECT_EQ(s.idle_rounds(), 0);
}

}  // namespace
}  // namespace qvtf::test
