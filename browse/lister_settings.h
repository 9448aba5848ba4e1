// A pane's half of the global settings: pointers into the one settings
// object, so the pane and the settings dialog see the same values, and the
// column layout that the settings keep as (name, visible, width) triples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "browse/lister_view.h"
#include "settings/global_ftp_settings.h"

namespace qvtf {

struct pane_settings {
    std::vector<std::string>* columns = nullptr;
    int32_t* sort = nullptr;
    bool* invert = nullptr;
    bool* case_insensitive = nullptr;
    std::string* files_include = nullptr;
    std::string* files_skip = nullptr;
    bool* time_filter = nullptr;
    int32_t* time_start = nullptr;
    int32_t* time_end = nullptr;
    bool* size_filter = nullptr;
    int32_t* size_start = nullptr;
    int32_t* size_end = nullptr;
    int32_t* folder_pane_width = nullptr;
    bool* folder_pane_visible = nullptr;

    // The "local_"/"lf_" keys and the "remote_"/"rf_" keys.
    static pane_settings local(global_ftp_values& values);
    static pane_settings remote(global_ftp_values& values);
};

struct lister_column {
    int kind = column_name;
    bool visible = true;
    int32_t width = 100;
    bool operator==(const lister_column&) const = default;
};

constexpr int32_t column_min_width = 5;

// The fixed name of a kind ("Name" ... "Type"), and its title phrase.
const char* column_name_of(int kind);
int column_phrase_of(int kind);
// -1 for a name that is no column kind.
int column_kind_of(std::string_view name);

// Columns in display order from the stored triples: at most five, unknown
// names and repeated kinds skipped; kinds the triples lack are appended
// hidden, so the header menu can offer every kind.
std::vector<lister_column> columns_from_triples(const std::vector<std::string>& triples);
// The shown columns in display order as (name, 1, width), then the hidden
// ones as (name, 0, width).
std::vector<std::string> triples_from_columns(const std::vector<lister_column>& columns);

}  // namespace qvtf
