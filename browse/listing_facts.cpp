// Machine listings: "type=file;size=120;modify=20200102030405; name". Facts
// end at the first space; everything after it is the name, exactly as sent.
#include <charconv>
#include <ctime>
#include <string>

#include "browse/listing_parser.h"

namespace qvtf {

namespace {

bool same_text(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

bool digits_to(std::string_view text, int64_t& out, int base = 10)
{
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return error == std::errc() && end == text.data() + text.size() && out >= 0;
}

// YYYYMMDDHHMMSS with optional ".fff", in UTC; false for anything else.
bool fact_time(std::string_view text, std::time_t& out)
{
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    if (whole.size() != 14)
        return false;
    for (char c : text)
        if ((c < '0' || c > '9') && c != '.')
            return false;
    auto number = [&](std::size_t at, std::size_t n) {
        int value = 0;
        for (std::size_t i = at; i < at + n; ++i)
            value = value * 10 + (whole[i] - '0');
        return value;
    };
    std::tm tm{};
    tm.tm_year = number(0, 4) - 1900;
    tm.tm_mon = number(4, 2) - 1;
    tm.tm_mday = number(6, 2);
    tm.tm_hour = number(8, 2);
    tm.tm_min = number(10, 2);
    tm.tm_sec = number(12, 2);
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 60)
        return false;
    out = ::timegm(&tm);
    return true;
}

// Permission bits from the perm fact, for servers that give no mode: what
// the login may do, as the owner's bits.
std::uint32_t perm_bits(std::string_view perm, bool folder)
{
    std::uint32_t bits = 0;
    for (char c : perm) {
        switch (c | 0x20) {
        case 'r':
        case 'l': bits |= 0400; break;
        case 'w':
        case 'a':
        case 'c':
        case 'm':
        case 'p': bits |= 0200; break;
        case 'e': bits |= folder ? 0100 : 0; break;
        default: break;
        }
    }
    return bits;
}

struct facts {
    std::string_view type, size, modify, mode, perm, owner, group, unique;
    int owner_rank = 0;  // a name beats a number
    int group_rank = 0;
};

void take_fact(facts& f, std::string_view name, std::string_view value)
{
    auto owner = [&](std::string_view& slot, int& rank, int r) {
        if (r > rank) {
            slot = value;
            rank = r;
        }
    };
    if (same_text(name, "type"))
        f.type = value;
    else if (same_text(name, "size") || same_text(name, "sizd"))
        f.size = f.size.empty() ? value : f.size;
    else if (same_text(name, "modify"))
        f.modify = value;
    else if (same_text(name, "unix.mode"))
        f.mode = value;
    else if (same_text(name, "perm"))
        f.perm = value;
    else if (same_text(name, "unique"))
        f.unique = value;
    else if (same_text(name, "unix.ownername"))
        owner(f.owner, f.owner_rank, 3);
    else if (same_text(name, "unix.owner"))
        owner(f.owner, f.owner_rank, 2);
    else if (same_text(name, "unix.uid"))
        owner(f.owner, f.owner_rank, 1);
    else if (same_text(name, "unix.groupname"))
        owner(f.group, f.group_rank, 3);
    else if (same_text(name, "unix.group"))
        owner(f.group, f.group_rank, 2);
    else if (same_text(name, "unix.gid"))
        owner(f.group, f.group_rank, 1);
}

}  // namespace

int parse_machine_entry(std::string_view line, const listing_clock& clock, qxfile_node& e, bool& keep)
{
    keep = false;
    // The line end: a line feed and one carriage return before it.
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return 0;
    std::string_view list = line.substr(0, space);
    const std::string_view name = line.substr(space + 1);
    // Every fact is "name=value;"; a list that does not end in ";" is cut.
    if (!list.empty() && list.back() != ';')
        return 0;
    facts f;
    while (!list.empty()) {
        const std::size_t end = list.find(';');
        const std::string_view fact = list.substr(0, end);
        list.remove_prefix(end + 1);
        const std::size_t eq = fact.find('=');
        if (eq == std::string_view::npos || eq == 0)
            return 0;
        take_fact(f, fact.substr(0, eq), fact.substr(eq + 1));
    }

    if (same_text(f.type, "pdir"))
        return listing_machine;
    if (same_text(f.type, "cdir")) {
        // The listed folder itself, never an entry: its identity only.
        e.name.set_bytes(".");
        e.unique = std::string(f.unique);
        return listing_machine;
    }
    e.name.set_bytes(name);
    e.is_folder = same_text(f.type, "dir") ? 1 : 0;
    constexpr std::string_view slink = "OS.unix=slink";
    if (f.type.size() >= slink.size() && same_text(f.type.substr(0, slink.size()), slink)) {
        e.attributes |= ATTR_LINK;
        std::string_view target = f.type.substr(slink.size());
        if (!target.empty() && target.front() == ':')
            target.remove_prefix(1);
        e.link_target.set_bytes(target);
    } else if (same_text(f.type, "OS.unix=symlink")) {
        e.attributes |= ATTR_LINK;
    }
    int64_t number = 0;
    if (!f.size.empty())
        e.set_size(digits_to(f.size, number) ? std::uint64_t(number) : qxfile_node::unknown_size);
    std::time_t when = 0;
    if (fact_time(f.modify, when)) {
        e.modified = when - clock.time_difference;
        e.time_exact = 1;
    }
    // Some servers write the mode as a Python literal: "0o644".
    std::string_view mode = f.mode;
    if (mode.size() > 2 && mode[0] == '0' && (mode[1] == 'o' || mode[1] == 'O'))
        mode.remove_prefix(2);
    if (digits_to(mode, number, 8) && number <= 07777)
        e.attributes |= std::uint32_t(number);
    else
        e.attributes |= perm_bits(f.perm, e.is_folder);
    e.owner = std::string(f.owner);
    e.group = std::string(f.group);
    e.unique = std::string(f.unique);
    keep = name_is_listable(name);
    if (keep)
        e.set_extension_from_name();
    return listing_machine;
}

}  // namespace qvtf
