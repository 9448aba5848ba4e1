// Scrambling of passwords kept on disk: triple DES (CBC) under the
// per-installation key, stored as Base64 of a record
//   [4-byte clear length, little-endian][4 random bytes][padded cipher text]
// whose first 8 bytes also serve as the initial vector.
#pragma once

#include <cstddef>

#include "core/qxval.h"

namespace qvtf {

// Enciphering: out becomes the record for data (data itself is not changed).
// Deciphering: data is a record; out becomes the clear text it holds.
// false for empty data or key text (out is then a string, otherwise untouched),
// and for a record that is malformed (out empty): shorter than 16 bytes, a
// cipher part that is not whole blocks, or a length beyond the cipher part.
bool scramble(const qxval& data, qxval& out, const qxval& key_text, bool encipher);

// 32 bytes from the system's secure random source whose key schedule has no
// weak key. false only if no random bytes can be had.
bool make_installation_key(qxval& key);

// What the profile and proxy files hold: Base64 (CR LF every 76 characters)
// of the record; an empty password is stored as empty text.
void store_password(const qxval& password, const qxval& key, qxval& stored);
// Inverse of store_password. Empty or malformed stored text gives an empty
// password; a different key gives garbage of the stored length.
void read_stored_password(const qxval& stored, const qxval& key, qxval& password);

// Secure random bytes (getrandom, falling back to OpenSSL). false on failure.
bool secure_random_bytes(void* buffer, std::size_t size);

}  // namespace qvtf
