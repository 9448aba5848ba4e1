#include "settings/global_ftp_keys.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "core/qxencode.h"
#include "core/qxmask.h"
#include "core/qxtext.h"

namespace qvtf {

namespace {

using V = global_ftp_values;

// Window positions, sizes and column widths, in pixels: generous, but a
// number no screen has is damage.
constexpr int32_t max_extent = 1000000;
constexpr int32_t int_max = std::numeric_limits<int32_t>::max();

constexpr settings_key int_key(const char* name, int32_t V::*field)
{
    return {name, settings_key_kind::integer, field};
}
// A number that must lie in [low, high]; with clamp, one outside is brought
// into it instead (values that older versions accepted without a bound).
constexpr settings_key int_key(const char* name, int32_t V::*field, int32_t low, int32_t high, bool clamp = false)
{
    settings_key key{name, settings_key_kind::integer, field};
    key.low = low;
    key.high = high;
    key.clamp = clamp;
    return key;
}
constexpr settings_key bool_key(const char* name, bool V::*field)
{
    return {name, settings_key_kind::boolean, nullptr, field};
}
constexpr settings_key text_key(const char* name, std::string V::*field)
{
    return {name, settings_key_kind::text, nullptr, nullptr, field};
}
constexpr settings_key record_key(const char* name, std::string V::*field)
{
    return {name, settings_key_kind::record, nullptr, nullptr, field};
}
constexpr settings_key list_key(const char* name, std::vector<std::string> V::*field, char separator, int32_t count)
{
    return {name, settings_key_kind::list, nullptr, nullptr, nullptr, field, nullptr, separator, count};
}
constexpr settings_key widths_key(const char* name, std::vector<int32_t> V::*field, char separator, int32_t count)
{
    settings_key key{name, settings_key_kind::widths, nullptr, nullptr, nullptr, nullptr, field, separator, count};
    key.low = 0;
    key.high = max_extent;
    return key;
}

// File order.
const settings_key keys[] = {
    list_key("local_columns", &V::local_columns, ',', 15),
    list_key("remote_columns", &V::remote_columns, ',', 15),
    int_key("local_sort", &V::local_sort),
    int_key("remote_sort", &V::remote_sort),
    bool_key("local_invert", &V::local_invert),
    bool_key("remote_invert", &V::remote_invert),
    bool_key("owner_exe_bit_enabled", &V::owner_exe_bit_enabled),
    int_key("transfer_type", &V::transfer_type, 0, 2),
    // The bounds of qvtf-cli's --threads; each worker is a connection and a
    // thread, so thousands would exhaust the descriptors.
    int_key("max_download_threads", &V::max_download_threads, 0, 64, true),
    // Below 1 acts as 1; at most the bound of --retries.
    int_key("retry_count", &V::retry_count, 0, 1000, true),
    bool_key("is_passive", &V::is_passive),
    bool_key("allow_passive_drop_to_port", &V::allow_passive_drop_to_port),
    bool_key("do_download_log", &V::do_download_log),
    text_key("download_file_name", &V::download_file_name),
    text_key("download_log_format", &V::download_log_format),
    widths_key("q_cw", &V::q_cw, ',', 11),
    int_key("program_left", &V::program_left, -max_extent, max_extent),
    int_key("program_top", &V::program_top, -max_extent, max_extent),
    int_key("program_width", &V::program_width, 0, max_extent),
    int_key("program_height", &V::program_height, 0, max_extent),
    list_key("top_zone_controls", &V::top_zone_controls, ';', 0),
    list_key("bottom_zone_controls", &V::bottom_zone_controls, ';', 0),
    int_key("top_zone_height", &V::top_zone_height, 0, max_extent),
    int_key("bottom_zone_height", &V::bottom_zone_height, 0, max_extent),
    text_key("top_zone_stream", &V::top_zone_stream),
    text_key("middle_zone_stream", &V::middle_zone_stream),
    text_key("bottom_zone_stream", &V::bottom_zone_stream),
    bool_key("top_zone_stream_set", &V::top_zone_stream_set),
    bool_key("middle_zone_stream_set", &V::middle_zone_stream_set),
    bool_key("bottom_zone_stream_set", &V::bottom_zone_stream_set),
    int_key("local_browser_folder_pane_width", &V::local_browser_folder_pane_width, 0, max_extent),
    int_key("remote_browser_folder_pane_width", &V::remote_browser_folder_pane_width, 0, max_extent),
    bool_key("local_browser_folder_pane_visible", &V::local_browser_folder_pane_visible),
    bool_key("remote_browser_folder_pane_visible", &V::remote_browser_folder_pane_visible),
    text_key("last_used_local_folder", &V::last_used_local_folder),
    text_key("lf_files_include", &V::lf_files_include),
    text_key("lf_files_skip", &V::lf_files_skip),
    bool_key("lf_time_filter", &V::lf_time_filter),
    int_key("lf_time_start", &V::lf_time_start),
    int_key("lf_time_end", &V::lf_time_end),
    bool_key("lf_size_filter", &V::lf_size_filter),
    int_key("lf_size_start", &V::lf_size_start, 0, int_max),
    int_key("lf_size_end", &V::lf_size_end, 0, int_max),
    text_key("rf_files_include", &V::rf_files_include),
    text_key("rf_files_skip", &V::rf_files_skip),
    bool_key("rf_time_filter", &V::rf_time_filter),
    int_key("rf_time_start", &V::rf_time_start),
    int_key("rf_time_end", &V::rf_time_end),
    bool_key("rf_size_filter", &V::rf_size_filter),
    int_key("rf_size_start", &V::rf_size_start, 0, int_max),
    int_key("rf_size_end", &V::rf_size_end, 0, int_max),
    bool_key("set_remote_time_on_download", &V::set_remote_time_on_download),
    text_key("coolband_config", &V::coolband_config),
    bool_key("coolband_config_set", &V::coolband_config_set),
    bool_key("password_stored", &V::password_stored),
    record_key("user_data", &V::user_data),
    int_key("sync_time_equal_interval", &V::sync_time_equal_interval, 0, int_max),
    bool_key("download_failures_popups", &V::download_failures_popups),
    bool_key("do_command_log", &V::do_command_log),
    text_key("command_log_file_name", &V::command_log_file_name),
    bool_key("delete_confirm_prompt", &V::delete_confirm_prompt),
    bool_key("local_delete_to_recycler", &V::local_delete_to_recycler),
    bool_key("case_insensitive_sort", &V::case_insensitive_sort),
    int_key("sounds", &V::sounds, 0, 15),
    bool_key("trust_pasv_address", &V::trust_pasv_address),
    bool_key("extended_data_commands", &V::extended_data_commands),
    text_key("download_exists", &V::download_exists),
    text_key("upload_exists", &V::upload_exists),
    text_key("edit_command", &V::edit_command),
    bool_key("edit_upload_at_once", &V::edit_upload_at_once),
    int_key("remote_double_click", &V::remote_double_click, 0, 1, true),
    int_key("password_storage", &V::password_storage, 0, 2),
};

}  // namespace

std::span<const settings_key> settings_keys()
{
    return keys;
}

const settings_key* find_settings_key(std::string_view name)
{
    for (const settings_key& key : keys)
        if (name == key.name)
            return &key;
    return nullptr;
}

std::string settings_key_text(const global_ftp_values& values, const settings_key& key)
{
    switch (key.kind) {
    case settings_key_kind::integer: return std::to_string(values.*key.integer);
    case settings_key_kind::boolean: return values.*key.boolean ? "1" : "0";
    case settings_key_kind::text: return values.*key.text;
    case settings_key_kind::record: {
        const std::string& bytes = values.*key.text;
        return bytes.empty() ? std::string() : base64_encode(qxval(bytes), false).str();
    }
    case settings_key_kind::list: {
        std::string out;
        for (const std::string& item : values.*key.list) {
            if (&item != &(values.*key.list).front())
                out += key.separator;
            out += item;
        }
        return out;
    }
    case settings_key_kind::widths: {
        std::string out;
        for (std::size_t i = 0; i < (values.*key.widths).size(); ++i) {
            if (i)
                out += key.separator;
            out += std::to_string((values.*key.widths)[i]);
        }
        return out;
    }
    }
    return {};
}

int32_t read_settings_key(global_ftp_values& values, const settings_key& key, const qxval& text)
{
    switch (key.kind) {
    case settings_key_kind::integer: {
        int64_t number = 0;
        if (!parse_number_in(text.view(), key.clamp ? INT64_MIN : key.low, key.clamp ? INT64_MAX : key.high, number))
            return settings_bad_value;
        values.*key.integer = static_cast<int32_t>(std::clamp<int64_t>(number, key.low, key.high));
        return 0;
    }
    case settings_key_kind::boolean: values.*key.boolean = text.as_bool(); return 0;
    case settings_key_kind::text: values.*key.text = text.str(); return 0;
    case settings_key_kind::record: values.*key.text = base64_decode(text).str(); return 0;
    case settings_key_kind::list:
    case settings_key_kind::widths: break;
    }
    qxarr pieces;
    split(qxval(key.separator), text, pieces);
    if (key.exact_count && pieces.count() != key.exact_count)
        return settings_bad_list;
    if (key.kind == settings_key_kind::list) {
        auto& list = values.*key.list;
        list.clear();
        for (const qxval& piece : pieces)
            list.push_back(piece.str());
    } else {
        auto& widths = values.*key.widths;
        widths.clear();
        for (const qxval& piece : pieces) {
            int64_t number = 0;
            if (!parse_number_in(piece.view(), key.low, key.high, number))
                return settings_bad_value;
            widths.push_back(static_cast<int32_t>(number));
        }
    }
    return 0;
}

}  // namespace qvtf
