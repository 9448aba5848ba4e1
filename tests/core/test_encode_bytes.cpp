#include "core/qxbytes_codec.h"
#include "core/qxmd5.h"

#include <gtest/gtest.h>

#include <string>

using namespace qvtf;

namespace {

std::string hex(const qxmd5::digest& d)
{
    std::string out;
    for (auto b : d) {
        static const char digits[] = "0123456789abcdef";
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

}  // namespace

// The test suite of RFC 1321, appendix A.5.
TEST(QxMd5, MatchesTheRfcTestSuite)
{
    EXPECT_EQ(hex(qxmd5::of("")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(hex(qxmd5::of("a")), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(hex(qxmd5::of("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(hex(qxmd5::of("message digest")), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(hex(qxmd5::of("abcdefghijklmnopqrstuvwxyz")), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(hex(qxmd5::of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(hex(qxmd5::of("1234567890123456789012345678901234567890"
                            "1234567890123456789012345678901234567890")),
              "57edf4a22be3c955ac49da2e2107b67a");
}

// Lengths around the 56- and 64-byte padding boundaries, and input fed in
// uneven pieces, must give the same digest as one whole update.
TEST(QxMd5, IncrementalUpdatesAgreeAcrossBlockBoundaries)
{
    for (std::size_t len : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 200u}) {
        std::string text;
        for (std::size_t i = 0; i < len; ++i)
            text += static_cast<char>(i * 7 + 1);
        qxmd5 md5;
        for (std::size_t pos = 0; pos < len;) {
            std::size_t piece = std::min<std::size_t>(1 + pos % 13, len - pos);
            md5.update(text.data() + pos, piece);
            pos += piece;
        }
        EXPECT_EQ(md5.finish(), qxmd5::of(text)) << len;
    }
    // 56 bytes needs a second padding block: known digest of 56 "a".
    EXPECT_EQ(hex(qxmd5::of(std::string(56, 'a'))), "3b0c8ac703f828b04c6c197006d17218");
    // A finished object starts over.
    qxmd5 md5;
    md5.update("junk");
    md5.finish();
    md5.update("abc");
    EXPECT_EQ(hex(md5.finish()), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(HexCodec, EncodesUpperCaseAndParsesStrictly)
{
    EXPECT_EQ(hex_of_bytes(std::string("\x00\x9f\xff\x10", 4)), "009FFF10");
    EXPECT_EQ(hex_of_bytes(""), "");
    EXPECT_EQ(hex_value_of("ff"), 255u);
    EXPECT_EQ(hex_value_of("DeadBeef"), 0xdeadbeefu);
    EXPECT_EQ(hex_value_of("1G"), 0u);
    EXPECT_EQ(hex_value_of(" 1"), 0u);
    EXPECT_EQ(hex_value_of(""), 0u);
}

// RFC 4648 section 10 vectors, without line breaks.
TEST(Base64Codec, RfcVectorsRoundTrip)
{
    const char* plain[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar"};
    const char* coded[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(base64_of_bytes(plain[i], false), coded[i]);
        EXPECT_EQ(bytes_of_base64(coded[i]), plain[i]);
    }
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(bytes_of_base64(base64_of_bytes(all, true)), all);
    EXPECT_EQ(base64_of_bytes(std::string("\xfb\xff", 2), false), "+/8=");
}

TEST(Base64Codec, BreaksLinesAfterEvery76Characters)
{
    std::string line = base64_of_bytes(std::string(57, 'x'), true);
    ASSERT_EQ(line.size(), 78u);
    EXPECT_EQ(line.substr(76), "\r\n");

    std::string longer = base64_of_bytes(std::string(58, 'x'), true);
    ASSERT_EQ(longer.size(), 78u + 4);
    EXPECT_EQ(longer.substr(76, 2), "\r\n");
    EXPECT_EQ(longer.substr(78), "eA==");

    std::string two = base64_of_bytes(std::string(114, 'x'), true);
    EXPECT_EQ(two.size(), 2 * 78u);
    EXPECT_EQ(two.find("\r\n"), 76u);
    EXPECT_EQ(two.rfind("\r\n"), 154u);

    EXPECT_EQ(base64_of_bytes(std::string(57, 'x'), false).size(), 76u);
    EXPECT_EQ(base64_of_bytes("", true), "");
}

TEST(Base64Codec, DecodingSkipsNoiseAndStopsAtPadding)
{
    EXPECT_EQ(bytes_of_base64("Zm9v\r\nYmFy"), "foobar");
    EXPECT_EQ(bytes_of_base64(" Z m 9 v !"), "foo");
    EXPECT_EQ(bytes_of_base64("Zg==Zm9v"), "f");
    // Partial trailing groups: two characters give one byte, three give two,
    // a single one gives nothing.
    EXPECT_EQ(bytes_of_base64("Zm"), "f");
    EXPECT_EQ(bytes_of_base64("Zm9"), "fo");
    EXPECT_EQ(bytes_of_base64("Zm9vY"), "foo");
    EXPECT_EQ(bytes_of_base64("@@@"), "");
}
