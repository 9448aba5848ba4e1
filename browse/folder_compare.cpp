#include "browse/folder_compare.h"

#include <unordered_map>

namespace qvtf {

std::vector<compare_mark> compare_side(const std::vector<compare_entry>& mine, const std::vector<compare_entry>& theirs,
                                       int32_t tolerance)
{
    std::unordered_map<std::string_view, const compare_entry*> by_name;
    for (const compare_entry& e : theirs)
        by_name.emplace(e.name, &e);
    std::vector<compare_mark> marks;
    marks.reserve(mine.size());
    for (const compare_entry& e : mine) {
        const auto found = by_name.find(e.name);
        if (found == by_name.end() || found->second->is_folder != e.is_folder) {
            marks.push_back(compare_mark::only_here);
            continue;
        }
        const compare_entry& other = *found->second;
        if (e.is_folder) {
            marks.push_back(compare_mark::same);
            continue;
        }
        if (e.modified && other.modified && e.modified > other.modified + tolerance)
            marks.push_back(compare_mark::newer);
        else if (e.modified && other.modified && other.modified > e.modified + tolerance)
            marks.push_back(compare_mark::older);
        else if (e.size_known != other.size_known || (e.size_known && e.size != other.size))
            marks.push_back(compare_mark::different_size);
        else
            marks.push_back(compare_mark::same);
    }
    return marks;
}

namespace {

std::string_view without_slash(std::string_view p)
{
    while (p.size() > 1 && p.back() == '/')
        p.remove_suffix(1);
    return p;
}

}  // namespace

std::optional<std::string> in_step_path(std::string_view from_base, std::string_view to_base, std::string_view now)
{
    from_base = without_slash(from_base);
    to_base = without_slash(to_base);
    now = without_slash(now);
    std::string_view rest;
    if (now == from_base) {
        rest = {};
    } else if (from_base == "/" && now.size() > 1 && now.front() == '/') {
        rest = now.substr(1);
    } else if (now.size() > from_base.size() && now.substr(0, from_base.size()) == from_base &&
               now[from_base.size()] == '/') {
        rest = now.substr(from_base.size() + 1);
    } else {
        return std::nullopt;
    }
    if (rest.empty())
        return std::string(to_base);
    std::string out(to_base);
    if (out != "/")
        out += '/';
    out += rest;
    return out;
}

}  // namespace qvtf
