// The keys of "qorx_gfs.txt" as a table in file order: each key's name, how
// its value is written and read, and the field that holds it.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/global_ftp_settings.h"

namespace qvtf {

enum class settings_key_kind {
    integer,  // decimal
    boolean,  // "0" or "1"; any non-zero number reads as true
    text,
    list,    // texts joined by the separator
    widths,  // integers joined by the separator
    record,  // raw bytes, Base64 without line breaks in the file
};

struct settings_key {
    const char* name;
    settings_key_kind kind;
    int32_t global_ftp_values::*integer = nullptr;
    bool global_ftp_values::*boolean = nullptr;
    std::string global_ftp_values::*text = nullptr;  // text and record
    std::vector<std::string> global_ftp_values::*list = nullptr;
    std::vector<int32_t> global_ftp_values::*widths = nullptr;
    char separator = ',';
    int32_t exact_count = 0;  // lists: the number of values required; 0 any
    // Integers and widths: the range a value must lie in. Out of it the
    // file is damaged, unless clamp says to bring it into the range.
    int32_t low = std::numeric_limits<int32_t>::min();
    int32_t high = std::numeric_limits<int32_t>::max();
    bool clamp = false;
};

std::span<const settings_key> settings_keys();
// Null for a name that is not a key.
const settings_key* find_settings_key(std::string_view name);

// The key's value as the file holds it, before XML escaping.
std::string settings_key_text(const global_ftp_values& values, const settings_key& key);
// Stores text (the element's decoded content) into the key's field.
// settings_bad_list when a list has not exactly the values it needs;
// settings_bad_value for a number that is not one, or out of its range (see
// settings_key); else 0.
int32_t read_settings_key(global_ftp_values& values, const settings_key& key, const qxval& text);

}  // namespace qvtf
