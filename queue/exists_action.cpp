#include "queue/exists_action.h"

#include <array>
#include <cctype>

namespace qvtf {

namespace {

constexpr std::array<std::pair<exists_action, std::string_view>, 8> names = {{
    {exists_action::ask, "ask"},
    {exists_action::overwrite, "overwrite"},
    {exists_action::newer, "newer"},
    {exists_action::size, "size"},
    {exists_action::size_or_time, "size-or-time"},
    {exists_action::resume, "resume"},
    {exists_action::rename, "rename"},
    {exists_action::skip, "skip"},
}};

bool times_known(const file_facts& a, const file_facts& b)
{
    return a.time > 0 && b.time > 0;
}

bool sizes_known(const file_facts& a, const file_facts& b)
{
    return a.size >= 0 && b.size >= 0;
}

exists_decision replace_unless(bool same)
{
    return {same ? exists_outcome::skip : exists_outcome::overwrite, 0};
}

}  // namespace

std::string_view exists_action_name(exists_action action)
{
    for (const auto& [a, name] : names)
        if (a == action)
            return name;
    return "overwrite";
}

std::optional<exists_action> exists_action_from_name(std::string_view name)
{
    for (const auto& [a, text] : names)
        if (text == name)
            return a;
    return std::nullopt;
}

bool certainly_later(const file_facts& a, const file_facts& b)
{
    // a's earliest possible moment after b's latest.
    return a.time >= b.time + std::max<int32_t>(1, b.precision);
}

exists_decision decide_exists(exists_action action, const file_facts& source, const file_facts& target)
{
    if (!target.exists)
        return {exists_outcome::write, 0};
    switch (action) {
    case exists_action::ask: return {exists_outcome::ask, 0};
    case exists_action::overwrite: return {exists_outcome::overwrite, 0};
    case exists_action::rename: return {exists_outcome::rename, 0};
    case exists_action::skip: return {exists_outcome::skip, 0};
    case exists_action::newer:
        return replace_unless(times_known(source, target) && !certainly_later(source, target));
    case exists_action::size: return replace_unless(sizes_known(source, target) && source.size == target.size);
    case exists_action::size_or_time: {
        const bool same_size = sizes_known(source, target) && source.size == target.size;
        const bool same_time = times_known(source, target) && !certainly_later(source, target) &&
                               !certainly_later(target, source);
        return replace_unless(same_size && same_time);
    }
    case exists_action::resume:
        if (!sizes_known(source, target) || target.size > source.size || target.size == 0)
            return {exists_outcome::overwrite, 0};
        if (target.size == source.size)
            return {exists_outcome::skip, 0};
        return {exists_outcome::resume, target.size};
    }
    return {exists_outcome::overwrite, 0};
}

std::string next_free_name(std::string_view name, const std::function<bool(const std::string&)>& taken, int limit)
{
    const std::size_t dot = name.rfind('.');
    const bool has_extension = dot != std::string_view::npos && dot > 0 && name.find_first_not_of('.') < dot;
    std::string_view base = has_extension ? name.substr(0, dot) : name;
    const std::string_view extension = has_extension ? name.substr(dot) : std::string_view();
    // "report (3)" counts on from 3.
    int first = 1;
    if (base.size() > 4 && base.back() == ')') {
        const std::size_t open = base.rfind(" (");
        if (open != std::string_view::npos && open + 3 < base.size()) {
            const std::string_view digits = base.substr(open + 2, base.size() - open - 3);
            bool all_digits = digits.size() <= 6;
            for (char c : digits)
                all_digits = all_digits && std::isdigit(static_cast<unsigned char>(c));
            if (all_digits) {
                first = std::stoi(std::string(digits)) + 1;
                base = base.substr(0, open);
            }
        }
    }
    for (int n = first; n < first + limit; ++n) {
        std::string candidate(base);
        candidate += " (" + std::to_string(n) + ")";
        candidate += extension;
        if (!taken(candidate))
            return candidate;
    }
    return {};
}

}  // namespace qvtf
