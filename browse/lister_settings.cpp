#include "browse/lister_settings.h"

#include <array>

#include "core/qxval.h"

namespace qvtf {

namespace {

constexpr std::array<const char*, column_kind_count> names = {"Name", "Size", "Modified", "Attributes", "Type"};
constexpr std::array<int, column_kind_count> phrases = {16, 17, 18, 19, 20};

}  // namespace

pane_settings pane_settings::local(global_ftp_values& v)
{
    return {&v.local_columns,
            &v.local_sort,
            &v.local_invert,
            &v.case_insensitive_sort,
            &v.lf_files_include,
            &v.lf_files_skip,
            &v.lf_time_filter,
            &v.lf_time_start,
            &v.lf_time_end,
            &v.lf_size_filter,
            &v.lf_size_start,
            &v.lf_size_end,
            &v.local_browser_folder_pane_width,
            &v.local_browser_folder_pane_visible};
}

pane_settings pane_settings::remote(global_ftp_values& v)
{
    return {&v.remote_columns,
            &v.remote_sort,
            &v.remote_invert,
            &v.case_insensitive_sort,
            &v.rf_files_include,
            &v.rf_files_skip,
            &v.rf_time_filter,
            &v.rf_time_start,
            &v.rf_time_end,
            &v.rf_size_filter,
            &v.rf_size_start,
            &v.rf_size_end,
            &v.remote_browser_folder_pane_width,
            &v.remote_browser_folder_pane_visible};
}

const char* column_name_of(int kind)
{
    return kind >= 0 && kind < column_kind_count ? names[std::size_t(kind)] : "";
}

int column_phrase_of(int kind)
{
    return kind >= 0 && kind < column_kind_count ? phrases[std::size_t(kind)] : 0;
}

int column_kind_of(std::string_view name)
{
    for (int k = 0; k < column_kind_count; ++k)
        if (name == names[std::size_t(k)])
            return k;
    return -1;
}

std::vector<lister_column> columns_from_triples(const std::vector<std::string>& triples)
{
    std::vector<lister_column> out;
    bool seen[column_kind_count] = {};
    for (std::size_t i = 0; i + 2 < triples.size() && out.size() < column_kind_count; i += 3) {
        const int kind = column_kind_of(triples[i]);
        if (kind < 0 || seen[kind])
            continue;
        seen[kind] = true;
        const int32_t width = text_to_int(triples[i + 2].c_str());
        out.push_back(
            {kind, text_to_int(triples[i + 1].c_str()) != 0, width < column_min_width ? column_min_width : width});
    }
    for (int k = 0; k < column_kind_count; ++k)
        if (!seen[k])
            out.push_back({k, false, 100});
    return out;
}

std::vector<std::string> triples_from_columns(const std::vector<lister_column>& columns)
{
    std::vector<std::string> out;
    for (int pass = 0; pass < 2; ++pass)
        for (const lister_column& c : columns) {
            if (c.visible != (pass == 0))
                continue;
            out.push_back(column_name_of(c.kind));
            out.push_back(c.visible ? "1" : "0");
            out.push_back(std::to_string(c.width));
        }
    return out;
}

}  // namespace qvtf
