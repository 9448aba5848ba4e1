// Stored-password scrambling: record layout, round trips, malformed records,
// and the cipher checked against an independent triple-DES.
#include <gtest/gtest.h>
#include <openssl/des.h>
#include <openssl/evp.h>

#include <cstring>
#include <string>

#include "core/qx_3des_keys.h"
#include "core/qxbytes_codec.h"
#include "core/qxmd5.h"
#include "core/qxscramble.h"

namespace qvtf {
namespace {

std::string record_of(const std::string& clear, const std::string& key)
{
    qxval out;
    EXPECT_TRUE(scramble(qxval(clear), out, qxval(key), true));
    return out.str();
}

std::string clear_of(const std::string& record, const std::string& key, bool* ok = nullptr)
{
    qxval out;
    bool r = scramble(qxval(record), out, qxval(key), false);
    if (ok)
        *ok = r;
    return out.str();
}

std::string odd_parity(std::string block)
{
    for (char& c : block) {
        unsigned v = static_cast<unsigned char>(c) & 0xFE;
        unsigned ones = 0;
        for (unsigned b = v; b; b >>= 1)
            ones += b & 1;
        c = char(v | ((ones % 2) ? 0 : 1));
    }
    return block;
}

// The record's cipher part deciphered by EVP with keys built here from the key text.
std::string reference_decipher(const std::string& record, const std::string& key)
{
    auto d1 = qxmd5::of(std::string_view(key).substr(0, key.size() < 14 ? key.size() : 14));
    std::string k1 = odd_parity(std::string(reinterpret_cast<const char*>(d1.data()), 8));
    std::string k2 = odd_parity(std::string(reinterpret_cast<const char*>(d1.data()) + 8, 8));
    std::string k3 = k1;
    if (key.size() > 14) {
        auto d2 = qxmd5::of(std::string_view(key).substr(14));
        k3 = odd_parity(std::string(reinterpret_cast<const char*>(d2.data()), 8));
    }
    std::string k = k1 + k2 + k3;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_DecryptInit_ex(ctx, EVP_des_ede3_cbc(), nullptr, reinterpret_cast<const unsigned char*>(k.data()),
                       reinterpret_cast<const unsigned char*>(record.data()));
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::string out(record.size(), '\0');
    int n = 0, m = 0;
    EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &n,
                      reinterpret_cast<const unsigned char*>(record.data()) + 8, int(record.size() - 8));
    EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + n, &m);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(std::size_t(n + m));
    return out;
}

TEST(Scramble, RecordSizesAndHeader)
{
    const std::string key = "installation key of 32 bytes!!!!";
    for (std::size_t len : {1u, 7u, 8u, 9u, 16u, 100u}) {
        std::string pw(len, 'p');
        std::string rec = record_of(pw, key);
        EXPECT_EQ(rec.size(), 8 + (len + 7) / 8 * 8) << len;
        std::uint32_t stored = std::uint8_t(rec[0]) | std::uint8_t(rec[1]) << 8 | std::uint8_t(rec[2]) << 16 |
                               std::uint32_t(std::uint8_t(rec[3])) << 24;
        EXPECT_EQ(stored, len);
        EXPECT_EQ(clear_of(rec, key), pw);
    }
    EXPECT_EQ(base64_of_bytes(record_of("x", key), true).size(), 24u);
}

TEST(Scramble, MatchesIndependentTripleDes)
{
    const std::string pw = "s3cret password with 29 bytes";
    for (std::string key : {std::string("short"), std::string("exactly14bytes"), std::string("fifteen bytes!!"),
                            std::string(32, '\x9c')}) {
        std::string rec = record_of(pw, key);
        EXPECT_EQ(reference_decipher(rec, key).substr(0, pw.size()), pw) << key;
    }
}

TEST(Scramble, FreshRandomnessEachTime)
{
    const std::string key = "k";
    std::string a = record_of("same", key), b = record_of("same", key);
    EXPECT_NE(a, b);
    EXPECT_EQ(clear_of(a, key), "same");
    EXPECT_EQ(clear_of(b, key), "same");

    qxval pw("clear text");
    qxval out;
    scramble(pw, out, qxval(key), true);
    EXPECT_EQ(pw.view(), "clear text");  // caller's value keeps its length
}

TEST(Scramble, EmptyInputsFail)
{
    qxval out;
    EXPECT_FALSE(scramble(qxval(""), out, qxval("key"), true));
    EXPECT_TRUE(out.is_string());
    EXPECT_FALSE(scramble(qxval("data"), out, qxval(""), true));
    EXPECT_FALSE(scramble(qxval(""), out, qxval("key"), false));
}

TEST(Scramble, MalformedRecordsReadEmpty)
{
    const std::string key = "key";
    std::string good = record_of("twelve bytes", key);  // 8 + 16
    ASSERT_EQ(good.size(), 24u);
    bool ok = true;
    EXPECT_EQ(clear_of(good.substr(0, 15), key, &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(clear_of(good.substr(0, 8), key, &ok), "");
    EXPECT_EQ(clear_of(good.substr(0, 23), key, &ok), "");
    EXPECT_FALSE(ok);
    std::string longer = good;
    longer[0] = 17;  // claims more than the 16 enciphered bytes
    EXPECT_EQ(clear_of(longer, key, &ok), "");
    EXPECT_FALSE(ok);
    longer[0] = 0;
    longer[3] = char(0xFF);  // huge length
    EXPECT_EQ(clear_of(longer, key, &ok), "");
    // Exactly the deciphered size is acceptable.
    std::string full = good;
    full[0] = 16;
    EXPECT_EQ(clear_of(full, key, &ok).size(), 16u);
    EXPECT_TRUE(ok);
}

TEST(Scramble, WrongKeyGivesGarbageOfStoredLength)
{
    std::string rec = record_of("password", "right key");
    std::string got = clear_of(rec, "wrong key");
    EXPECT_EQ(got.size(), 8u);
    EXPECT_NE(got, "password");
}

TEST(Scramble, StoredPasswordRoundTrip)
{
    qxval key;
    ASSERT_TRUE(make_installation_key(key));
    for (std::size_t len : {0u, 1u, 8u, 9u, 57u, 100u}) {
        std::string pw;
        for (std::size_t i = 0; i < len; ++i)
            pw += char(i * 37 + 1);
        qxval stored, back;
        store_password(qxval(pw), key, stored);
        if (len == 0) {
            EXPECT_EQ(stored.view(), "");
        }
        if (len > 57) {  // record above 57 bytes: Base64 over several lines
            EXPECT_NE(stored.view().find("\r\n"), std::string_view::npos);
        }
        read_stored_password(stored, key, back);
        EXPECT_EQ(back.str(), pw) << len;
    }
    qxval back("stale");
    read_stored_password(qxval("!!!not base64"), key, back);
    EXPECT_EQ(back.view(), "");
    read_stored_password(qxval(""), key, back);
    EXPECT_EQ(back.view(), "");
}

TEST(Scramble, InstallationKeysAreRandomAndUsable)
{
    qxval a, b;
    ASSERT_TRUE(make_installation_key(a));
    ASSERT_TRUE(make_installation_key(b));
    EXPECT_EQ(a.view().size(), 32u);
    EXPECT_NE(a.view(), b.view());
    qx_3des_keys keys;
    EXPECT_EQ(derive_keys(a, keys), 0);
}

TEST(TripleDesKeys, WeakBlocksAreRejected)
{
    const std::uint8_t weak[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    const std::uint8_t k1[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    const std::uint8_t k2[8] = {0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x01};
    const std::uint8_t k3[8] = {0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23};
    qx_3des_keys keys;
    EXPECT_EQ(keys_from_blocks(keys, k1, k2, weak), 1);
    EXPECT_EQ(keys_from_blocks(keys, k1, k2, k3), 0);
}

TEST(TripleDesKeys, ChunksFormOneCbcStream)
{
    const std::uint8_t k1[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    const std::uint8_t k2[8] = {0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x01};
    const std::uint8_t k3[8] = {0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23};
    qx_3des_keys keys;
    ASSERT_EQ(keys_from_blocks(keys, k1, k2, k3), 0);
    std::string text(64, '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = char(i * 7);
    const std::uint8_t iv0[8] = {9, 8, 7, 6, 5, 4, 3, 2};

    std::uint8_t iv[8];
    std::memcpy(iv, iv0, 8);
    qxval whole;
    ASSERT_TRUE(decipher_chunk(qxval(text), whole, keys, iv, true));
    std::memcpy(iv, iv0, 8);
    qxval a, b;
    decipher_chunk(qxval(text.substr(0, 24)), a, keys, iv, true);
    decipher_chunk(qxval(text.substr(24)), b, keys, iv, true);
    EXPECT_EQ(a.str() + b.str(), whole.str());

    std::memcpy(iv, iv0, 8);
    qxval back;
    decipher_chunk(whole, back, keys, iv, false);
    EXPECT_EQ(back.str(), text);

    // A short last chunk is zero-padded when enciphering; deciphering refuses it.
    std::memcpy(iv, iv0, 8);
    qxval padded;
    decipher_chunk(qxval(std::string("abc")), padded, keys, iv, true);
    EXPECT_EQ(padded.view().size(), 8u);
    std::memcpy(iv, iv0, 8);
    decipher_chunk(padded, back, keys, iv, false);
    EXPECT_EQ(back.str(), std::string("abc\0\0\0\0\0", 8));
    EXPECT_FALSE(decipher_chunk(qxval(std::string("abc")), back, keys, iv, false));
}

}  // namespace
}  // namespace qvtf
