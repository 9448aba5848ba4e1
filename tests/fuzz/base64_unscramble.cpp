// Stored password text from an untrusted file: Base64-decode, then unscramble.
// Input: first byte = key length, then the key text, then the stored text.
// Also checks that anything enciphered comes back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/qxscramble.h"

using namespace qvtf;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    std::string_view in(reinterpret_cast<const char*>(data), size);
    std::size_t key_len = std::size_t(data[0]) % 40;
    in.remove_prefix(1);
    if (key_len > in.size())
        key_len = in.size();
    qxval key;
    key.set_bytes(in.substr(0, key_len));
    qxval stored;
    stored.set_bytes(in.substr(key_len));

    qxval password;
    read_stored_password(stored, key, password);

    qxval raw;
    raw.set_bytes(in.substr(key_len));
    qxval clear;
    scramble(raw, clear, key, false);

    if (!key.view().empty() && !stored.view().empty()) {
        qxval again, back;
        store_password(stored, key, again);
        read_stored_password(again, key, back);
        if (back.view() != stored.view())
            std::abort();
    }
    return 0;
}
