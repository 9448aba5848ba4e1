#include "core/qxscramble.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/qx_3des_keys.h"
#include "core/qxbytes_codec.h"

namespace qvtf {
namespace {

constexpr std::size_t header_size = 8;
constexpr std::size_t installation_key_size = 32;

void wipe(std::string& s)
{
    if (!s.empty())
        OPENSSL_cleanse(s.data(), s.size());
}

void wipe(qxval& v)
{
    if (v.is_string() && v.text.data && v.text.length > 0)
        OPENSSL_cleanse(v.text.data, std::size_t(v.text.length));
}

bool encipher_record(std::string_view clear, const qxval& key_text, qxval& out)
{
    if (clear.size() > 0x7FFFFFF0u)
        return false;
    const std::size_t padded = (clear.size() + 7) / 8 * 8;
    std::string record(header_size + padded, '\0');
    const std::uint32_t length = std::uint32_t(clear.size());
    for (int i = 0; i < 4; ++i)
        record[std::size_t(i)] = char((length >> (8 * i)) & 0xFF);
    // Random header half and random padding: two encipherings of one password differ.
    if (!secure_random_bytes(record.data() + 4, 4))
        return false;
    std::memcpy(record.data() + header_size, clear.data(), clear.size());
    if (padded > clear.size() &&
        !secure_random_bytes(record.data() + header_size + clear.size(), padded - clear.size()))
        return false;

    qx_3des_keys keys;
    derive_keys(key_text, keys);  // a weak key still enciphers; only key creation rejects them
    std::uint8_t iv[8];
    std::memcpy(iv, record.data(), 8);
    qxval body;
    body.set_bytes(std::string_view(record).substr(header_size));
    qxval cipher;
    decipher_chunk(body, cipher, keys, iv, true);
    wipe(body);

    std::string result = record.substr(0, header_size);
    result.append(cipher.view());
    out.set_bytes(result);
    wipe(record);
    return true;
}

bool decipher_record(std::string_view record, const qxval& key_text, qxval& out)
{
    // Validate before touching the cipher: nothing here may read past the record.
    if (record.size() < header_size + 8 || (record.size() - header_size) % 8 != 0) {
        out.set_bytes("", 0);
        return false;
    }
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= std::uint32_t(static_cast<unsigned char>(record[std::size_t(i)])) << (8 * i);
    if (length > record.size() - header_size) {
        out.set_bytes("", 0);
        return false;
    }
    qx_3des_keys keys;
    derive_keys(key_text, keys);
    std::uint8_t iv[8];
    std::memcpy(iv, record.data(), 8);
    qxval body;
    body.set_bytes(record.substr(header_size));
    qxval clear;
    decipher_chunk(body, clear, keys, iv, false);
    out.set_bytes(clear.view().substr(0, length));
    wipe(clear);
    return true;
}

}  // namespace

bool secure_random_bytes(void* buffer, std::size_t size)
{
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = getrandom(p + done, size - done, 0);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    if (done == size)
        return true;
    return RAND_bytes(p + done, int(size - done)) == 1;
}

bool scramble(const qxval& data, qxval& out, const qxval& key_text, bool encipher)
{
    std::string_view bytes = data.view();
    if (bytes.empty() || key_text.view().empty()) {
        out.convert_to(qxval_kind::string);
        return false;
    }
    return encipher ? encipher_record(bytes, key_text, out) : decipher_record(bytes, key_text, out);
}

bool make_installation_key(qxval& key)
{
    std::string bytes(installation_key_size, '\0');
    for (;;) {
        if (!secure_random_bytes(bytes.data(), bytes.size()))
            return false;
        qxval candidate;
        candidate.set_bytes(bytes);
        qx_3des_keys keys;
        if (derive_keys(candidate, keys) == 0) {
            key.set_bytes(bytes);
            wipe(bytes);
            return true;
        }
    }
}

void store_password(const qxval& password, const qxval& key, qxval& stored)
{
    qxval record;
    if (password.view().empty() || !scramble(password, record, key, true)) {
        stored.set_bytes("", 0);
        return;
    }
    stored.set_bytes(base64_of_bytes(record.view(), true));
}

void read_stored_password(const qxval& stored, const qxval& key, qxval& password)
{
    password.set_bytes("", 0);
    if (stored.view().empty())
        return;
    qxval record;
    record.set_bytes(bytes_of_base64(stored.view()));
    if (!scramble(record, password, key, false))
        password.set_bytes("", 0);
}

}  // namespace qvtf
