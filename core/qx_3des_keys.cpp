#include "core/qx_3des_keys.h"

#include <openssl/crypto.h>

#include <cstring>
#include <string>
#include <string_view>

#include "core/qxmd5.h"

// The DES_* interface is deprecated in OpenSSL 3 but is the one this format
// is defined over (the EVP ciphers do not expose the weak-key test or the
// running CBC vector in the same way).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace qvtf {
namespace {

// Odd parity, weak-key test, schedule. false for a weak key.
bool prepare_key(const std::uint8_t bytes[8], DES_key_schedule& schedule)
{
    DES_cblock block;
    std::memcpy(block, bytes, 8);
    DES_set_odd_parity(&block);
    bool usable = DES_is_weak_key(&block) == 0;
    if (usable)
        DES_set_key_unchecked(&block, &schedule);
    OPENSSL_cleanse(block, sizeof block);
    return usable;
}

}  // namespace

qx_3des_keys::~qx_3des_keys()
{
    OPENSSL_cleanse(&k1, sizeof k1);
    OPENSSL_cleanse(&k2, sizeof k2);
    OPENSSL_cleanse(&k3, sizeof k3);
}

int derive_keys(const qxval& key_text, qx_3des_keys& keys)
{
    std::string_view text = key_text.view();
    const std::size_t head = text.size() < 14 ? text.size() : 14;
    qxmd5::digest d1 = qxmd5::of(text.substr(0, head));
    int result = 0;
    if (!prepare_key(d1.data(), keys.k1))
        result = 1;
    else {
        if (text.size() <= 14)
            keys.k3 = keys.k1;
        if (!prepare_key(d1.data() + 8, keys.k2))
            result = 1;
        else if (text.size() > 14) {
            qxmd5::digest d2 = qxmd5::of(text.substr(14));
            if (!prepare_key(d2.data(), keys.k3))
                result = 1;
            OPENSSL_cleanse(d2.data(), d2.size());
        }
    }
    OPENSSL_cleanse(d1.data(), d1.size());
    return result;
}

int keys_from_blocks(qx_3des_keys& keys, const std::uint8_t block1[8], const std::uint8_t block2[8],
                     const std::uint8_t block3[8])
{
    if (!prepare_key(block1, keys.k1) || !prepare_key(block2, keys.k2) || !prepare_key(block3, keys.k3))
        return 1;
    return 0;
}

bool decipher_chunk(const qxval& data, qxval& out, qx_3des_keys& keys, std::uint8_t iv[8], bool encipher)
{
    std::string_view in = data.view();
    if (!encipher && in.size() % 8 != 0) {
        out.set_bytes("", 0);
        return false;
    }
    const std::size_t padded = (in.size() + 7) / 8 * 8;
    std::string buffer(padded, '\0');
    std::memcpy(buffer.data(), in.data(), in.size());
    if (padded) {
        auto* bytes = reinterpret_cast<unsigned char*>(buffer.data());
        DES_ede3_cbc_encrypt(bytes, bytes, long(padded), &keys.k1, &keys.k2, &keys.k3,
                             reinterpret_cast<DES_cblock*>(iv), encipher ? DES_ENCRYPT : DES_DECRYPT);
    }
    out.set_bytes(buffer);
    OPENSSL_cleanse(buffer.data(), buffer.size());
    return true;
}

}  // namespace qvtf

#pragma GCC diagnostic pop
