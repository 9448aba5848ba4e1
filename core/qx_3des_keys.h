// Triple-DES key schedules and the CBC primitive shared by stored passwords
// and the enciphered language file.
#pragma once

#include <openssl/des.h>

#include <cstdint>

#include "core/qxval.h"

namespace qvtf {

struct qx_3des_keys {
    DES_key_schedule k1{};
    DES_key_schedule k2{};
    DES_key_schedule k3{};

    qx_3des_keys() = default;
    qx_3des_keys(const qx_3des_keys&) = delete;
    qx_3des_keys& operator=(const qx_3des_keys&) = delete;
    ~qx_3des_keys();  // wipes the schedules
};

// K1, K2 from the MD5 of the key text's first 14 bytes; K3 = K1 for short key
// texts, else from the MD5 of the rest. 0 when all keys are usable, 1 when a
// weak DES key came out (the keys are then only partly set).
int derive_keys(const qxval& key_text, qx_3des_keys& keys);

// Three 8-byte key blocks, parity fixed, as K1, K2, K3. 0, or 1 for a weak key.
int keys_from_blocks(qx_3des_keys& keys, const std::uint8_t block1[8], const std::uint8_t block2[8],
                     const std::uint8_t block3[8]);

// One CBC step over the whole of data. iv runs on in place, so consecutive
// chunks form one stream. Enciphering zero-pads data to a multiple of 8;
// deciphering refuses (false, out empty) data that is not a multiple of 8.
bool decipher_chunk(const qxval& data, qxval& out, qx_3des_keys& keys, std::uint8_t iv[8], bool encipher);

}  // namespace qvtf
