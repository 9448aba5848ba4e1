// The password-scrambling key and the record that keeps it in "user_data".
//
// Record, 52 bytes:
//   "QVK" | version 1 | the 32 key bytes | MD5 of the 36 bytes before it
//
// Why the key is not enciphered inside the record: whatever would encipher
// it would have to be stored beside it (or be derived from the machine, which
// would lose every stored password when the folder moves to another machine
// or the machine's identity changes). Wrapping it would therefore only look
// like protection. What protects the key is the settings file's mode, 0600,
// as for any private key kept in a user's files; the scrambling keeps
// passwords out of plain sight in the profile file, which is what it is for.
//
// Why a version and a checksum: a record that is truncated, edited, copied
// from an unrelated file or written by a later format must not silently give
// a different key, since every password would then read back as garbage and
// be saved that way. Such a record is recognised as unusable and a new key is
// made; the passwords stored under the old one are lost either way, but
// nothing pretends otherwise.

#include "settings/global_ftp_settings.h"

#include "core/qx_3des_keys.h"
#include "core/qxencode.h"
#include "core/qxscramble.h"

namespace qvtf {

namespace {

constexpr std::string_view record_magic = "QVK";
constexpr char record_version = 1;
constexpr std::size_t digest_size = 16;
constexpr std::size_t record_size = record_magic.size() + 1 + global_ftp_settings::key_size + digest_size;

std::string digest_of(std::string_view bytes)
{
    qxval digest;
    md5_of(qxval(bytes), digest);
    return digest.str();
}

bool schedule_accepts(const qxval& key)
{
    qx_3des_keys keys;
    return derive_keys(key, keys) == 0;
}

}  // namespace

std::string make_key_record(const qxval& key)
{
    std::string record(record_magic);
    record += record_version;
    record += key.view();
    record += digest_of(record);
    return record;
}

bool key_from_record(std::string_view record, qxval& key)
{
    if (record.size() != record_size || record.substr(0, record_magic.size()) != record_magic ||
        record[record_magic.size()] != record_version)
        return false;
    const std::size_t body = record_size - digest_size;
    if (digest_of(record.substr(0, body)) != record.substr(body))
        return false;
    qxval candidate(record.substr(record_magic.size() + 1, global_ftp_settings::key_size));
    if (!schedule_accepts(candidate))
        return false;
    key = candidate;
    return true;
}

bool obtain_settings_key(global_ftp_settings& settings)
{
    if (key_from_record(settings.user_data, settings.key))
        return false;
    // make_installation_key already draws until no weak key comes out; the
    // check here keeps that promise local, and the bound keeps a broken
    // random source from spinning for ever.
    qxval key;
    for (int attempt = 0; attempt < 64; ++attempt) {
        if (!make_installation_key(key))
            break;
        if (key.view().size() == static_cast<std::size_t>(global_ftp_settings::key_size) && schedule_accepts(key)) {
            settings.key = key;
            settings.user_data = make_key_record(key);
            return true;
        }
    }
    settings.key.set_bytes("", 0);
    return true;
}

}  // namespace qvtf
