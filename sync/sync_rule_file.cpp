// Rule files: one element per setting, no root element, keys in ascending
// byte order, values escaped; loading takes the elements in a fixed order
// and stops at the first one missing.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "core/qxarr.h"
#include "core/qxfiles.h"
#include "core/qxtext.h"
#include "markup/xml_io.h"
#include "sync/dir_sync_settings.h"

namespace qvtf {

namespace {

qxval number(int64_t v)
{
    return qxval(std::to_string(v));
}

class reader {
public:
    explicit reader(const qxcgi& map) : map_(map) {}
    // The element's first value; false when it is missing.
    bool get(const char* key, qxval& out) const { return map_.first_value(qxval(key), out); }
    // The element as a number in [low, high]: rule_file_ok, or the status of
    // an element missing or out of range. A rule word of "abc" or "-1" must
    // not read as 0 or as every bit (a two-way rule).
    int32_t number(const char* key, int64_t low, int64_t high, int64_t& out) const
    {
        qxval text;
        if (!get(key, text))
            return rule_file_incomplete;
        return parse_number_in(text.view(), low, high, out) ? rule_file_ok : rule_file_bad_value;
    }

private:
    const qxcgi& map_;
};

constexpr int64_t int32_low = INT32_MIN;
constexpr int64_t int32_high = INT32_MAX;
// Sizes are stored as their low 32 bits, which older files wrote sign-extended.
constexpr int64_t size_low = INT32_MIN;
constexpr int64_t size_high = UINT32_MAX;

}  // namespace

void dir_sync_settings::store_into(rule_values& map) const
{
    auto put = [&](const char* key, const qxval& v) { map[key] = v.str(); };
    put("recursively", number(recursive));
    put("rule", number(rule()));
    qxval flag;
    flag.set_bool(delete_missing != 0);
    flag.convert_to(qxval_kind::string);
    put("delete_missing", flag);
    put("ui_files_include", files_include);
    put("ui_files_skip", files_skip);
    put("ui_folder_include", folders_include);
    put("ui_folder_skip", folders_skip);
    put("time_filter", number(filter.time_filter));
    put("time_start", number(static_cast<int32_t>(filter.time_start)));
    put("time_end", number(static_cast<int32_t>(filter.time_end)));
    put("size_filter", number(filter.size_filter));
    put("size_start", number(filter.size_minimum & 0xFFFFFFFFu));
    put("size_end", number(filter.size_maximum & 0xFFFFFFFFu));
}

int32_t dir_sync_settings::take_from(const qxcgi& map)
{
    const reader r(map);
    int64_t n = 0;
    // The wizard stores -1 for checked.
    if (int32_t status = r.number("recursively", -1, 1, n))
        return status;
    recursive = static_cast<int32_t>(n);
    // A word without a direction means nothing the planner could run.
    if (int32_t status = r.number("rule", 0, 0xFFFF, n))
        return status;
    if ((n & sync_rule::direction_mask) == 0)
        return rule_file_bad_value;
    rules.assign(1, static_cast<int32_t>(n));
    if (int32_t status = r.number("delete_missing", 0, 1, n))
        return status;
    delete_missing = n != 0 ? 1 : 0;
    if (!r.get("ui_files_include", files_include))
        return rule_file_incomplete;
    if (!r.get("ui_files_skip", files_skip))
        return rule_file_incomplete;
    if (!r.get("ui_folder_include", folders_include))
        return rule_file_incomplete;
    if (!r.get("ui_folder_skip", folders_skip))
        return rule_file_incomplete;
    if (int32_t status = r.number("time_filter", -1, 1, n))
        return status;
    filter.time_filter = static_cast<int32_t>(n);
    if (int32_t status = r.number("time_start", int32_low, int32_high, n))
        return status;
    filter.time_start = n;
    if (int32_t status = r.number("time_end", int32_low, int32_high, n))
        return status;
    filter.time_end = n;
    if (int32_t status = r.number("size_filter", -1, 1, n))
        return status;
    filter.size_filter = static_cast<int32_t>(n);
    if (int32_t status = r.number("size_start", size_low, size_high, n))
        return status;
    filter.size_minimum = static_cast<uint64_t>(n) & 0xFFFFFFFFu;
    if (int32_t status = r.number("size_end", size_low, size_high, n))
        return status;
    filter.size_maximum = static_cast<uint64_t>(n) & 0xFFFFFFFFu;
    // A mask that does not compile would silently match nothing.
    return compile_masks() == 0 ? rule_file_ok : rule_file_bad_value;
}

void dir_sync_settings_ex::store_into(rule_values& map) const
{
    dir_sync_settings::store_into(map);
    map["remote_dir"] = remote_folder.str();
    map["local_dir"] = local_folder.str();
}

int32_t dir_sync_settings_ex::take_from(const qxcgi& map)
{
    const reader r(map);
    if (int32_t status = dir_sync_settings::take_from(map))
        return status;
    return r.get("remote_dir", remote_folder) && r.get("local_dir", local_folder) ? rule_file_ok : rule_file_incomplete;
}

int32_t dir_sync_settings::save_rule_file(const qxval& path) const
{
    rule_values values;
    store_into(values);
    qxarr lines;
    for (const auto& [name, value] : values) {
        qxval line("<" + name + ">" + xml_escaped(value) + "</" + name + ">\r\n");
        lines.push(line);
    }
    return write_list_to_file(path, lines, "w+") ? 0 : 1;
}

int32_t dir_sync_settings::load_rule_file(const qxval& path, qxval* error)
{
    qxcgi map;
    if (!xml_read_map(path, map)) {
        if (error)
            *error = map.last_error;
        return rule_file_unreadable;
    }
    const int32_t status = take_from(map);
    if (rules.size() != 1)
        rules.resize(1, sync_rule::default_word);
    return status;
}

}  // namespace qvtf
