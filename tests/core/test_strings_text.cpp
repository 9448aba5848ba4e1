#include "core/qxtext.h"

#include <gtest/gtest.h>

#include <string>

using namespace qvtf;

TEST(TextSlicing, LengthAndSlicesWorkOnTheTextForm)
{
    EXPECT_EQ(length(qxval(12345)), 5);
    EXPECT_EQ(length(qxval(2.5)), 3);

    qxval v(12345);
    drop_prefix(v, 2);
    EXPECT_TRUE(v.is_string());
    EXPECT_EQ(v.str(), "345");
    drop_prefix(v, 4);  // beyond the length: nothing
    drop_prefix(v, 0);
    drop_prefix(v, -1);
    EXPECT_EQ(v.str(), "345");
    drop_prefix(v, 3);
    EXPECT_EQ(v.str(), "");

    qxval left;
    set_left_of(left, qxval("abcdef"), 3);
    EXPECT_EQ(left.str(), "abc");
    set_left_of(left, qxval("ab"), 10);
    EXPECT_EQ(left.str(), "ab");
    set_left_of(left, qxval("ab"), -2);
    EXPECT_EQ(left.str(), "");
    qxval self("hello");
    set_left_of(self, self, 4);
    EXPECT_EQ(self.str(), "hell");

    qxval grow("ab");
    set_length(grow, 4);
    EXPECT_EQ(grow.str(), std::string("ab\0\0", 4));
    set_length(grow, 1);
    EXPECT_EQ(grow.str(), "a");
}

TEST(TextSlicing, ConcatenationNeverAddsNumerically)
{
    qxval v(3);
    append_text(v, qxval(4));
    EXPECT_EQ(v.str(), "34");
    EXPECT_TRUE(v.is_string());
    append_cstr(v, "x");
    append_cstr(v, nullptr);
    EXPECT_EQ(v.str(), "34x");
    append_text(v, v);
    EXPECT_EQ(v.str(), "34x34x");
}

TEST(TextSlicing, ExtensionRunsFromTheLastDot)
{
    qxval out("stale");
    extension_of(qxval("site/index.old.HTML"), out);
    EXPECT_EQ(out.str(), ".HTML");
    extension_of(qxval("Makefile"), out);
    EXPECT_EQ(out.str(), "");
    qxval same("a.b");
    extension_of(same, same);
    EXPECT_EQ(same.str(), ".b");
}

TEST(TextSearch, FindAndFindLast)
{
    qxval text("abcabc");
    EXPECT_EQ(find(text, qxval("c"), 0), 2);
    EXPECT_EQ(find(text, qxval("c"), 3), 5);
    EXPECT_EQ(find(text, qxval("bc"), 2), 4);
    EXPECT_EQ(find(text, qxval("abd"), 0), -1);
    EXPECT_EQ(find(text, qxval("a"), -1), -1);
    EXPECT_EQ(find(text, qxval("a"), 6), -1);
    EXPECT_EQ(find(text, qxval(""), 0), -1);
    EXPECT_EQ(find(qxval(1234), qxval(3), 0), 2);
    EXPECT_EQ(find_last(text, qxval("bc")), 4);
    EXPECT_EQ(find_last(text, qxval("a")), 3);
    EXPECT_EQ(find_last(text, qxval("x")), -1);
    EXPECT_EQ(find_last(text, qxval("")), -1);
    // Bytes after a NUL are searched too.
    EXPECT_EQ(find(qxval(std::string("a\0b", 3)), qxval("b"), 0), 2);
}

TEST(TextReplace, ReplacesLeftToRightWithoutRescanning)
{
    qxval v("aaa");
    replace_all(v, qxval("aa"), qxval("b"));
    EXPECT_EQ(v.str(), "ba");

    v.set_string("a.b.c");
    replace_all(v, qxval("."), qxval("::"));
    EXPECT_EQ(v.str(), "a::b::c");

    v.set_string("xyx");
    replace_all(v, qxval("x"), qxval("xx"));  // inserted text is not searched again
    EXPECT_EQ(v.str(), "xxyxx");

    v.set_string("a-b-c");
    replace_all(v, qxval("-"), qxval("+"));
    EXPECT_EQ(v.str(), "a+b+c");

    v.set_string("remove me");
    replace_all(v, qxval("remove me"), qxval(""));
    EXPECT_EQ(v.str(), "");

    v.set_string("same");
    replace_all(v, qxval(""), qxval("x"));
    EXPECT_EQ(v.str(), "same");

    qxval n(1001);
    replace_all(n, qxval("0"), qxval("9"));
    EXPECT_TRUE(n.is_string());
    EXPECT_EQ(n.str(), "1991");
}

TEST(TextCase, ChangesAsciiLettersOnly)
{
    qxval v("Straße ÄB-9z");
    to_upper(v);
    EXPECT_EQ(v.str(), "STRAßE ÄB-9Z");
    to_lower(v);
    EXPECT_EQ(v.str(), "straße Äb-9z");
    qxval b(true);
    to_upper(b);
    EXPECT_EQ(b.str(), "1");
}

TEST(TextTrim, RemovesOnlyTheFourWhiteSpaceBytes)
{
    qxval v(" \t\r\n a b \n\v");
    trim(v);
    EXPECT_EQ(v.str(), "a b \n\v");
    v.set_string(" \t \r\n");
    trim(v);
    EXPECT_EQ(v.str(), "");
    EXPECT_EQ(trimmed("  x  "), "x");
}

TEST(TextEscapes, UnescapeBackslashes)
{
    qxval v("a\\b\\\\c\\");
    unescape_backslashes(v);
    EXPECT_EQ(v.str(), "ab\\c");
    v.set_string("\\\\\\\\");
    unescape_backslashes(v);
    EXPECT_EQ(v.str(), "\\\\");
}

TEST(TextWords, NextWordHandlesQuotesAndEscapes)
{
    std::string line = "  put\t\"my file.txt\" 'it\\'s' \"a\\nb\" plain\\\"x  ";
    int32_t cursor = 0;
    qxval word;
    ASSERT_TRUE(next_word(line, cursor, word));
    EXPECT_EQ(word.str(), "put");
    ASSERT_TRUE(next_word(line, cursor, word));
    EXPECT_EQ(word.str(), "my file.txt");
    ASSERT_TRUE(next_word(line, cursor, word));
    EXPECT_EQ(word.str(), "it's");
    ASSERT_TRUE(next_word(line, cursor, word));
    EXPECT_EQ(word.str(), "a\\nb");  // other escapes keep their backslash
    ASSERT_TRUE(next_word(line, cursor, word));
    EXPECT_EQ(word.str(), "plain\\\"x");  // no escape processing outside quotes
    EXPECT_FALSE(next_word(line, cursor, word));
    EXPECT_EQ(cursor, static_cast<int32_t>(line.size()));
    EXPECT_FALSE(next_word(line, cursor, word));  // stays at the end
}

TEST(TextWords, UnterminatedQuotesAndTrailingBackslash)
{
    int32_t cursor = 0;
    qxval word;
    EXPECT_TRUE(next_word("\"open ended", cursor, word));
    EXPECT_EQ(word.str(), "open ended");

    cursor = 0;
    EXPECT_TRUE(next_word("'ab\\", cursor, word));
    EXPECT_EQ(word.str(), "ab");
    EXPECT_EQ(cursor, 4);

    cursor = 0;
    EXPECT_FALSE(next_word("\"\" next", cursor, word));  // an empty word counts as none
    EXPECT_EQ(cursor, 2);
    EXPECT_TRUE(next_word("\"\" next", cursor, word));
    EXPECT_EQ(word.str(), "next");

    qxval text("one two");
    cursor = 0;
    EXPECT_TRUE(next_word(text.view(), cursor, text));  // text and out may be one value
    EXPECT_EQ(text.str(), "one");
}

TEST(XmlEscape, RewritesMarkupAndHighBytes)
{
    qxchar text("a<b & \"c\" isn't >");
    xml_escape(text);
    EXPECT_EQ(text.view(), "a&lt;b &amp; &quot;c&quot; isn't &gt;");

    qxchar high("caf\xe9\x80\xff");
    xml_escape(high);
    EXPECT_EQ(high.view(), "caf&#233;&#128;&#255;");

    qxchar plain("nothing to do");
    const char* before = plain.data;
    xml_escape(plain);
    EXPECT_EQ(plain.data, before);  // left as it was, same buffer
    qxchar empty;
    xml_escape(empty);
    EXPECT_EQ(empty.length, 0);

    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    qxchar buffer(all.c_str());
    xml_escape(buffer);
    EXPECT_EQ(buffer.view(), xml_escaped(all));
    // 3 extra for < and >, 4 for &, 5 for " and each of the 128 high bytes.
    EXPECT_EQ(buffer.length, 255 + 3 * 2 + 4 + 5 + 5 * 128);
}

TEST(ShortenPath, KeepsTheDriveAndTheTail)
{
    std::string path = "C:\\" + std::string(27, 'a') + "\\tail.html";
    ASSERT_EQ(path.size(), 40u);
    qxval v(path);
    shorten_path(v, 20);
    EXPECT_EQ(v.str(), "C:\\..." + path.substr(40 - 14));
    EXPECT_EQ(length(v), 20);

    std::string long_posix = "/home/user/sites/www/index.html";
    qxval posix(long_posix);
    shorten_path(posix, 16);
    EXPECT_EQ(posix.str(), "/..." + long_posix.substr(long_posix.size() - 12));
    EXPECT_EQ(length(posix), 16);

    qxval short_enough("C:\\abc");
    shorten_path(short_enough, 6);
    EXPECT_EQ(short_enough.str(), "C:\\abc");
    qxval narrow("C:\\abcdefgh");
    shorten_path(narrow, 5);
    EXPECT_EQ(narrow.str(), "C:\\abcdefgh");
    qxval relative("relative/path/that/is/long");
    shorten_path(relative, 10);
    EXPECT_EQ(relative.str(), "relative/path/that/is/long");
}
