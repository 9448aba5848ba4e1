// One listing line, field by field. Unix: "drwxr-xr-x 2 owner group 4096 Jan
// 5 12:30 name". DOS/IIS: "01-05-04  09:15PM  <DIR>  name".
#include <ctime>
#include <string>

#include "browse/listing_parser.h"
#include "core/qxtime.h"

namespace qvtf {
namespace {

// Dates with a time but no year lie within this distance of now.
constexpr std::int64_t recent_window = 30240000;  // 350 days

const char* const month_names[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_month_initial(char c)
{
    switch (c) {
    case 'A': case 'D': case 'F': case 'J': case 'M': case 'N': case 'O': case 'S':
    case 'a': case 'd': case 'f': case 'j': case 'm': case 'n': case 'o': case 's':
        return true;
    default:
        return false;
    }
}

// A cursor over one line. Every read fails rather than run past the end.
class cursor {
public:
    explicit cursor(std::string_view s) : s_(s) {}
    bool at_end() const { return pos_ >= s_.size(); }
    char peek() const { return at_end() ? '\0' : s_[pos_]; }
    std::size_t& pos() { return pos_; }
    bool step(std::size_t n = 1)
    {
        if (s_.size() - pos_ < n)
            return false;
        pos_ += n;
        return true;
    }
    void skip_spaces()
    {
        while (!at_end() && s_[pos_] == ' ')
            ++pos_;
    }
    void skip_digits()
    {
        while (!at_end() && is_digit(s_[pos_]))
            ++pos_;
    }
    void skip_token()
    {
        while (!at_end() && s_[pos_] != ' ')
            ++pos_;
    }
    // Between min and max digits; more or fewer is a failure.
    bool digits(std::size_t min, std::size_t max, std::string_view& out)
    {
        std::size_t start = pos_;
        skip_digits();
        std::size_t n = pos_ - start;
        out = s_.substr(start, n);
        return n >= min && n <= max;
    }
    // Leading digits of the token as a size; wraps nothing, saturates instead.
    std::uint64_t number()
    {
        std::uint64_t v = 0;
        while (!at_end() && is_digit(s_[pos_])) {
            unsigned d = unsigned(s_[pos_] - '0');
            v = v > (UINT64_MAX - d) / 10 ? UINT64_MAX : v * 10 + d;
            ++pos_;
        }
        return v;
    }
    // Up to the first CR or LF.
    std::string_view rest_of_line() const
    {
        std::string_view r = s_.substr(pos_ < s_.size() ? pos_ : s_.size());
        std::size_t end = r.find_first_of("\r\n");
        return end == std::string_view::npos ? r : r.substr(0, end);
    }

private:
    std::string_view s_;
    std::size_t pos_ = 0;
};

std::time_t entry_time(std::string_view day, std::string_view month, std::string_view year,
                        std::string_view hour, std::string_view minute)
{
    time_struct t;
    t.day.set_bytes(day);
    t.month.set_bytes(month);
    t.year.set_bytes(year);
    t.hour.set_bytes(hour);
    t.minute.set_bytes(minute);
    t.second.set_int(0);
    t.zone.set_bytes("", 0);
    t.zone_offset.set_bytes("", 0);
    return time_to_seconds(t);
}

std::time_t minus_difference(std::time_t t, const listing_clock& clock)
{
    return t - clock.time_difference;
}

// Names that are never listed: the folder itself, its parent, and names no
// local file could safely take.
bool name_is_listable(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

int parse_unix(std::string_view line, const listing_clock& clock, qxfile_node& e, bool& keep)
{
    cursor c(line);
    if (parse_permissions(line, c.pos(), e) != 0)
        return 0;
    c.skip_spaces();
    c.skip_digits();  // link count
    c.skip_spaces();
    c.skip_token();   // owner
    c.skip_spaces();

    // Group and size, or size alone: a leading number is the size unless
    // another number follows it (then the first was a numeric group).
    std::uint64_t size = 0;
    bool number_seen = false;
    if (is_digit(c.peek())) {
        size = c.number();
        number_seen = true;
    }
    c.skip_token();
    c.skip_spaces();
    if (is_digit(c.peek()) || !number_seen)
        size = c.number();
    e.set_size(size);

    c.skip_spaces();
    if (!is_month_initial(c.peek()))
        return 0;
    std::size_t month_at = c.pos();
    c.step();
    for (int i = 0; i < 2; ++i) {
        if (!is_letter(c.peek()))
            return 0;
        c.step();
    }
    if (is_letter(c.peek()))
        return 0;
    std::string_view month = line.substr(month_at, 3);

    c.skip_spaces();
    std::string_view day;
    if (!c.digits(1, 2, day))
        return 0;

    // One or two digits: the hour when a ":" follows, else the start of the year.
    c.skip_spaces();
    const std::size_t t_at = c.pos();
    while (c.pos() - t_at < 2 && is_digit(c.peek()))
        c.step();
    if (c.pos() == t_at)
        return 0;
    std::time_t when;
    if (c.peek() == ':') {
        std::string_view hour = line.substr(t_at, c.pos() - t_at);
        c.step();
        std::string_view minute;
        if (!c.digits(1, 2, minute))
            return 0;
        const int years[2] = {clock.current_year - 1, clock.current_year};
        when = 0;
        bool found = false;
        for (int y : years) {
            std::string year = std::to_string(y);
            std::time_t t = minus_difference(entry_time(day, month, year, hour, minute), clock);
            if (clock.now - t < recent_window) {
                when = t;
                found = true;
                break;
            }
        }
        if (!found)
            when = minus_difference(entry_time(day, month, std::to_string(clock.current_year), hour, minute), clock);
    } else {
        c.skip_digits();
        std::string_view year = line.substr(t_at, c.pos() - t_at);
        when = minus_difference(entry_time(day, month, year, "0", "0"), clock);
    }

    c.skip_spaces();
    if (c.at_end())
        return 0;
    std::string_view name = c.rest_of_line();
    if (e.is_link()) {
        std::size_t arrow = name.find(" -> ");
        if (arrow != std::string_view::npos) {
            e.link_target.set_bytes(name.substr(arrow + 4));
            name = name.substr(0, arrow);
        }
    }
    e.name.set_bytes(name);
    keep = name_is_listable(name);
    if (keep) {
        e.set_extension_from_name();
        e.modified = when;
    }
    return listing_unix;
}

int parse_dos(std::string_view line, const listing_clock& clock, qxfile_node& e, bool& keep)
{
    cursor c(line);
    std::string_view month_digits, day, year, hour_digits, minute;
    if (!c.digits(1, 2, month_digits))
        return 0;
    int month_no = (month_digits.size() == 2 ? (month_digits[0] - '0') * 10 : 0) + (month_digits.back() - '0');
    std::string_view month = (month_no >= 1 && month_no <= 12) ? month_names[month_no - 1] : "";
    if (!c.step())
        return 0;
    c.skip_spaces();
    if (!c.digits(1, 2, day) || !c.step())
        return 0;
    c.skip_spaces();
    if (!c.digits(1, 4, year))
        return 0;
    c.skip_spaces();
    if (!c.digits(1, 2, hour_digits))
        return 0;
    int hour = (hour_digits.size() == 2 ? (hour_digits[0] - '0') * 10 : 0) + (hour_digits.back() - '0');
    hour %= 12;
    if (c.peek() != ':' || !c.step() || !c.digits(1, 2, minute))
        return 0;
    char marker = c.peek();
    if (marker >= 'A' && marker <= 'Z')
        marker = char(marker - 'A' + 'a');
    if (marker != 'a' && marker != 'p')
        return 0;
    if (marker == 'p')
        hour += 12;
    if (!c.step(2))
        return 0;
    c.skip_spaces();

    if (c.peek() == '<') {
        if (!c.step(5))
            return 0;
        e.is_folder = 1;
    } else {
        if (!is_digit(c.peek()))
            return 0;
        e.set_size(c.number());
    }
    c.skip_spaces();
    if (c.at_end())
        return 0;
    std::string_view name = c.rest_of_line();
    e.name.set_bytes(name);
    keep = name_is_listable(name);
    if (keep) {
        std::string h = std::to_string(hour);
        e.modified = minus_difference(entry_time(day, month, year, h, minute), clock);
        e.attributes = 0777;
    }
    return listing_dos;
}

}  // namespace

listing_clock listing_clock::at(std::time_t now_utc, std::int32_t time_difference)
{
    listing_clock c;
    c.now = now_utc;
    c.time_difference = time_difference;
    std::time_t t = now_utc;
    struct tm utc {};
    c.current_year = gmtime_r(&t, &utc) ? utc.tm_year + 1900 : 1970;
    return c;
}

listing_clock listing_clock::current(std::int32_t time_difference)
{
    return at(now_seconds(), time_difference);
}

int parse_listing_entry(std::string_view line, const listing_clock& clock, qxfile_node& entry, bool& keep)
{
    keep = false;
    if (line.empty())
        return 0;
    char first = line.front();
    int style = 0;
    if (first == '-' || first == 'd' || first == 'l')
        style = parse_unix(line, clock, entry, keep);
    else if (is_digit(first))
        style = parse_dos(line, clock, entry, keep);
    if (style == 0)
        keep = false;
    return style;
}

}  // namespace qvtf
