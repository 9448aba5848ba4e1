// auto_transfer_resolver: decides between ASCII and binary, and the
// permission value to apply, from a file's name, by the tables of "ext.txt".
//
//   <ext>
//     <extensions> <_0 name=".html" transfer="ascii" chmod="644" /> ... </extensions>
//     <names>      <_0 name="Makefile" transfer="ascii" /> ... </names>
//   </ext>
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "core/qxval.h"

namespace qvtf {

enum transfer_type_value : int32_t {
    transfer_binary = 0,
    transfer_ascii = 1,
};

struct transfer_pair {
    int32_t type = transfer_binary;
    int32_t permissions = 0;  // 12 bits; 0 when the entry gives none
    bool operator==(const transfer_pair&) const = default;
};

struct transfer_hash_entry {
    qxval key;
    transfer_pair pair;
    transfer_hash_entry* smaller = nullptr;
    transfer_hash_entry* larger = nullptr;
};

// Unbalanced search tree in byte order of the keys (a prefix sorts first).
// Walks are iterative: a sorted ext.txt would otherwise make a list as deep
// as the file is long.
class transfer_hash {
public:
    transfer_hash() = default;
    transfer_hash(const transfer_hash&) = delete;
    transfer_hash& operator=(const transfer_hash&) = delete;
    ~transfer_hash() { clear(); }

    // A key already present keeps its place and takes the new pair.
    void insert(std::string_view key, transfer_pair pair);
    const transfer_hash_entry* find(std::string_view key) const;
    int32_t count() const { return count_; }
    void clear();

private:
    transfer_hash_entry* root_ = nullptr;
    int32_t count_ = 0;
};

class auto_transfer_resolver {
public:
    auto_transfer_resolver() = default;
    auto_transfer_resolver(const auto_transfer_resolver&) = delete;
    auto_transfer_resolver& operator=(const auto_transfer_resolver&) = delete;

    // Adds the file's entries to both tables. 0; the XML reader's status when
    // the file cannot be read or parsed; 2 when /ext/extensions or /ext/names
    // is missing (extensions read before a missing names section stay).
    int32_t load(const qxval& path);

    // Whole name first (exact bytes), then the extension from the last dot,
    // lower-cased; (binary, 0) when neither matches.
    transfer_pair resolve(std::string_view file_name) const;
    transfer_pair resolve(const qxval& file_name) const { return resolve(file_name.view()); }
    transfer_pair resolve(const char* file_name) const { return resolve(std::string_view(file_name)); }
    transfer_pair resolve(const std::string& file_name) const { return resolve(std::string_view(file_name)); }

    int32_t extension_count() const;
    int32_t name_count() const;

private:
    mutable std::mutex lock_;
    transfer_hash extensions_;
    transfer_hash names_;
};

// The pair an entry's "transfer" and "chmod" texts give: "ascii" in any case
// is ASCII, any other word binary; every decimal digit of chmod adds its low
// three bits, other characters are skipped.
int32_t transfer_type_from_text(std::string_view text);
int32_t permissions_from_text(std::string_view text);

}  // namespace qvtf
