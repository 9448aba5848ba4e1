#include "core/qxencode.h"

#include <gtest/gtest.h>

#include <string>

using namespace qvtf;

TEST(QxvalEncoders, WorkOnTextFormsAndYieldStrings)
{
    EXPECT_EQ(to_hex(qxval(255)).str(), "323535");
    EXPECT_EQ(to_hex(qxval(std::string("\x01\xab", 2))).str(), "01AB");
    EXPECT_EQ(hex_value(qxval("7fFF")), 0x7fffu);
    EXPECT_EQ(hex_value(qxval(10)), 0x10u);  // the text "10"
    EXPECT_EQ(hex_value(qxval("1G")), 0u);

    qxval coded = base64_encode(qxval(12345), false);
    EXPECT_TRUE(coded.is_string());
    EXPECT_EQ(coded.str(), "MTIzNDU=");
    EXPECT_EQ(base64_decode(coded).str(), "12345");
    EXPECT_EQ(base64_encode(qxval(""), true).str(), "");

    // Binary records with NUL bytes survive the round trip, line breaks and all.
    std::string record;
    for (int i = 0; i < 300; ++i)
        record += static_cast<char>(i * 31);
    qxval stored = base64_encode(qxval(record), true);
    EXPECT_NE(stored.str().find("\r\n"), std::string::npos);
    EXPECT_EQ(base64_decode(stored).str(), record);
}

TEST(QxvalEncoders, Md5GivesSixteenRawBytes)
{
    qxval out("stale");
    md5_of(qxval("abc"), out);
    ASSERT_TRUE(out.is_string());
    ASSERT_EQ(out.view().size(), 16u);
    EXPECT_EQ(to_hex(out).str(), "900150983CD24FB0D6963F7D28E17F72");
    md5_of(qxval(""), out);
    EXPECT_EQ(to_hex(out).str(), "D41D8CD98F00B204E9800998ECF8427E");
    md5_of(out, out);  // digest of a digest, in place
    EXPECT_EQ(out.view().size(), 16u);
    md5_of(qxval(std::string("a\0b", 3)), out);  // bytes after NUL count
    qxval ab;
    md5_of(qxval("ab"), ab);
    EXPECT_NE(out.str(), ab.str());
}
