#include "queue/queue_store.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/qxfiles_atomic.h"

namespace qvtf {

namespace {

constexpr std::string_view first_line = "qvtf queue 1";

void put(std::string& out, std::string_view field)
{
    out += '\t';
    for (const char c : field) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
}

void put(std::string& out, int64_t number)
{
    put(out, std::to_string(number));
}

std::vector<std::string> fields_of(std::string_view line)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char e = line[++i];
            fields.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

template <class T>
bool number(const std::string& text, T& out)
{
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    out = static_cast<T>(value);
    return true;
}

// item, download, folder, link, name, local folder, remote folder, option,
// type, size, tolerance, time, type extra, then the trail's folders.
constexpr size_t item_fields = 14;

bool read_item(const std::vector<std::string>& f, saved_item& s)
{
    if (f.size() < item_fields || f[0] != "item")
        return false;
    s.name = f[4];
    s.local_folder = f[5];
    s.remote_folder = f[6];
    if (!number(f[1], s.is_download) || !number(f[2], s.is_folder) || !number(f[3], s.is_link) ||
        !number(f[7], s.transfer_option) || !number(f[8], s.transfer_type) || !number(f[9], s.size) ||
        !number(f[10], s.size_tolerance) || !number(f[11], s.modified_time) || !number(f[12], s.type_extra))
        return false;
    size_t trail = 0;
    if (!number(f[13], trail) || f.size() < item_fields + trail)
        return false;
    s.trail.assign(f.begin() + item_fields, f.begin() + static_cast<std::ptrdiff_t>(item_fields + trail));
    // A name with a separator would write outside the folder the item names.
    return !s.name.empty() && s.name.find('/') == std::string::npos && s.name != "." && s.name != "..";
}

}  // namespace

std::string queue_text(const saved_queue& queue)
{
    std::string out(first_line);
    out += "\nsite";
    put(out, queue.site_path);
    put(out, queue.host);
    put(out, queue.port);
    put(out, queue.user);
    out += '\n';
    for (const saved_item& s : queue.items) {
        out += "item";
        for (const int64_t n : {int64_t(s.is_download), int64_t(s.is_folder), int64_t(s.is_link)})
            put(out, n);
        put(out, s.name);
        put(out, s.local_folder);
        put(out, s.remote_folder);
        for (const int64_t n : {int64_t(s.transfer_option), int64_t(s.transfer_type), s.size, int64_t(s.size_tolerance),
                                int64_t(s.modified_time), int64_t(s.type_extra), int64_t(s.trail.size())})
            put(out, n);
        for (const std::string& folder : s.trail)
            put(out, folder);
        out += '\n';
    }
    return out;
}

bool parse_queue_text(std::string_view text, saved_queue& out, int* bad_records)
{
    out = {};
    int bad = 0;
    size_t at = text.find('\n');
    if (text.substr(0, at) != first_line)
        return false;
    while (at != std::string_view::npos && at + 1 < text.size()) {
        const size_t end = text.find('\n', at + 1);
        const std::string_view line = text.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
        at = end;
        if (line.empty())
            continue;
        const std::vector<std::string> f = fields_of(line);
        if (f[0] == "site" && f.size() >= 5) {
            out.site_path = f[1];
            out.host = f[2];
            out.user = f[4];
            if (!number(f[3], out.port))
                ++bad;
        } else if (saved_item s; read_item(f, s)) {
            out.items.push_back(std::move(s));
        } else {
            ++bad;
        }
    }
    if (bad_records)
        *bad_records = bad;
    return true;
}

bool save_queue_file(const std::string& path, const saved_queue& queue)
{
    if (queue.items.empty())
        return std::remove(path.c_str()) == 0 || errno == ENOENT;
    return make_private_folders_for(path) && write_file_atomic(qxval(path), queue_text(queue));
}

bool load_queue_file(const std::string& path, saved_queue& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    return parse_queue_text(text.str(), out);
}

}  // namespace qvtf
