// Rule files: one element per setting, no root element, keys in ascending
// byte order, values escaped; loading takes the elements in a fixed order
// and stops at the first one missing.
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

qxval number(int64_t v) { return qxval(std::to_string(v)); }

// Sizes are stored as their low 32 bits; a sign-extended value reads back
// the same.
uint64_t low_word(const qxval& text)
{
    return static_cast<uint64_t>(std::strtoll(text.c_str(), nullptr, 10)) & 0xFFFFFFFFu;
}

int64_t seconds(const qxval& text) { return std::strtoll(text.c_str(), nullptr, 10); }

class reader {
public:
    explicit reader(const qxcgi& map) : map_(map) {}
    // The element's first value; false when it is missing.
    bool get(const char* key, qxval& out) const { return map_.first_value(qxval(key), out); }

private:
    const qxcgi& map_;
};

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

bool dir_sync_settings::take_from(const qxcgi& map)
{
    const reader r(map);
    qxval v;
    if (!r.get("recursively", v)) return false;
    recursive = v.as_int();
    if (!r.get("rule", v)) return false;
    rules.assign(1, v.as_int());
    if (!r.get("delete_missing", v)) return false;
    delete_missing = v.as_bool() ? 1 : 0;
    if (!r.get("ui_files_include", files_include)) return false;
    if (!r.get("ui_files_skip", files_skip)) return false;
    if (!r.get("ui_folder_include", folders_include)) return false;
    if (!r.get("ui_folder_skip", folders_skip)) return false;
    if (!r.get("time_filter", v)) return false;
    filter.time_filter = v.as_int();
    if (!r.get("time_start", v)) return false;
    filter.time_start = seconds(v);
    if (!r.get("time_end", v)) return false;
    filter.time_end = seconds(v);
    if (!r.get("size_filter", v)) return false;
    filter.size_filter = v.as_int();
    if (!r.get("size_start", v)) return false;
    filter.size_minimum = low_word(v);
    if (!r.get("size_end", v)) return false;
    filter.size_maximum = low_word(v);
    compile_masks();
    return true;
}

void dir_sync_settings_ex::store_into(rule_values& map) const
{
    dir_sync_settings::store_into(map);
    map["remote_dir"] = remote_folder.str();
    map["local_dir"] = local_folder.str();
}

bool dir_sync_settings_ex::take_from(const qxcgi& map)
{
    const reader r(map);
    return dir_sync_settings::take_from(map) && r.get("remote_dir", remote_folder) &&
           r.get("local_dir", local_folder);
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
    const bool complete = take_from(map);
    if (rules.size() != 1)
        rules.resize(1, sync_rule::default_word);
    return complete ? rule_file_ok : rule_file_incomplete;
}

}  // namespace qvtf
