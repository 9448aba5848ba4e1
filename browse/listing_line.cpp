// One listing line, field by field. Unix: "drwxr-xr-x 2 owner group 4096 Jan
// 5 12:30 name". DOS/IIS: "01-05-04  09:15PM  <DIR>  name".
#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "browse/listing_parser.h"
#include "core/qxtime.h"

namespace qvtf {
namespace {

// Dates with a time but no year lie within this distance of now.
constexpr std::int64_t recent_window = 30240000;  // 350 days

const char* const month_names[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
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
    // The digits under the cursor.
    std::string_view digit_run()
    {
        std::size_t start = pos_;
        skip_digits();
        return s_.substr(start, pos_ - start);
    }
    // Up to the line feed and a carriage return before it; a carriage
    // return inside is kept.
    std::string_view rest_of_line() const
    {
        std::string_view r = s_.substr(pos_ < s_.size() ? pos_ : s_.size());
        r = r.substr(0, r.find('\n'));
        if (!r.empty() && r.back() == '\r')
            r.remove_suffix(1);
        return r;
    }

private:
    std::string_view s_;
    std::size_t pos_ = 0;
};

std::time_t entry_time(std::string_view day, std::string_view month, std::string_view year, std::string_view hour,
                       std::string_view minute)
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

// The line without its line end: a line feed and one carriage return before
// it. A carriage return inside stays, as part of the name it belongs to.
std::string_view line_body(std::string_view line)
{
    return cursor(line).rest_of_line();
}

bool all_digits(std::string_view s, std::size_t min, std::size_t max)
{
    if (s.size() < min || s.size() > max)
        return false;
    for (char c : s)
        if (!is_digit(c))
            return false;
    return true;
}

int number_of(std::string_view digits)
{
    int v = 0;
    for (char c : digits)
        v = v * 10 + (c - '0');
    return v;
}

// Month abbreviations that ls prints in the languages servers are set up
// in, lower case (UTF-8), with the number of the month. English comes first.
struct month_name {
    std::string_view text;
    int month;
};
constexpr month_name month_table[] = {
    {"jan", 1},
    {"feb", 2},
    {"mar", 3},
    {"apr", 4},
    {"may", 5},
    {"jun", 6},
    {"jul", 7},
    {"aug", 8},
    {"sep", 9},
    {"oct", 10},
    {"nov", 11},
    {"dec", 12},
    // German (and Austrian "Jän").
    {"m\xc3\xa4r", 3},
    {"mrz", 3},
    {"mai", 5},
    {"okt", 10},
    {"dez", 12},
    {"j\xc3\xa4n", 1},
    // French.
    {"janv.", 1},
    {"f\xc3\xa9vr.", 2},
    {"mars", 3},
    {"avr.", 4},
    {"avril", 4},
    {"juin", 6},
    {"juil.", 7},
    {"ao\xc3\xbbt", 8},
    {"sept.", 9},
    {"d\xc3\xa9"
     "c.",
     12},
    // Spanish, Italian, Portuguese.
    {"ene", 1},
    {"abr", 4},
    {"ago", 8},
    {"dic", 12},
    {"gen", 1},
    {"mag", 5},
    {"giu", 6},
    {"lug", 7},
    {"set", 9},
    {"ott", 10},
    {"fev", 2},
    {"out", 10},
    // Dutch, Swedish, Danish, Norwegian.
    {"mrt", 3},
    {"mei", 5},
    {"maj", 5},
};

// 1..12, or 0 when the word is no month name. Case is ignored (ASCII and
// the Latin-1 letters of UTF-8); a trailing "." is optional unless the
// table has it ("sept." is French, "Sept" is no name ls prints).
int month_of(std::string_view word)
{
    if (word.empty() || word.size() > 8)
        return 0;
    std::string lower(word);
    for (std::size_t i = 0; i < lower.size(); ++i) {
        char& c = lower[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        else if (c == '\xc3' && i + 1 < lower.size()) {
            unsigned char n = static_cast<unsigned char>(lower[i + 1]);
            if (n >= 0x80 && n <= 0x9e && n != 0x97)
                lower[i + 1] = char(n + 0x20);
            ++i;
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (const month_name& m : month_table)
            if (m.text == lower)
                return m.month;
        if (lower.back() != '.')
            break;
        lower.pop_back();
    }
    return 0;
}

// The space-separated words of a line, with where each ends.
struct word {
    std::string_view text;
    std::size_t end = 0;
};

// A date and time as the listing gave it, UTC before the time difference.
struct listed_time {
    std::time_t when = 0;
    bool seconds = false;  // the time came to the second
};

// "H:MM" (1-2 digits each); sets hour and minute.
bool clock_time(std::string_view s, std::string_view& hour, std::string_view& minute)
{
    std::size_t colon = s.find(':');
    if (colon == std::string_view::npos)
        return false;
    hour = s.substr(0, colon);
    minute = s.substr(colon + 1);
    return all_digits(hour, 1, 2) && all_digits(minute, 1, 2);
}

// A time without a year lies within 350 days before now: last year's date
// when this year's would lie further ahead, else this year's.
std::time_t recent_time(std::string_view day, std::string_view month, std::string_view hour, std::string_view minute,
                        const listing_clock& clock)
{
    for (int y : {clock.current_year - 1, clock.current_year}) {
        std::time_t t = minus_difference(entry_time(day, month, std::to_string(y), hour, minute), clock);
        if (clock.now - t < recent_window)
            return t;
    }
    return minus_difference(entry_time(day, month, std::to_string(clock.current_year), hour, minute), clock);
}

// The month-day forms at words[at]: "Jan 5", "5. Jan" or "5 janv." (the
// day first only when a "." tells it apart from a size), then "12:30" or
// a year. Returns the number of words taken, 0 when there is no date.
std::size_t month_day_date(const std::vector<word>& w, std::size_t at, const listing_clock& clock, listed_time& out)
{
    if (at + 3 > w.size())
        return 0;
    int month = month_of(w[at].text);
    std::string_view day = w[at + 1].text;
    if (month == 0) {
        day = w[at].text;
        month = month_of(w[at + 1].text);
        const bool marked = (!day.empty() && day.back() == '.') || w[at + 1].text.back() == '.';
        if (month == 0 || !marked)
            return 0;
    }
    if (!day.empty() && day.back() == '.')
        day.remove_suffix(1);
    if (!all_digits(day, 1, 2) || number_of(day) < 1 || number_of(day) > 31)
        return 0;
    std::string_view last = w[at + 2].text;
    std::string_view name = month_names[month - 1];
    std::string_view hour, minute;
    if (clock_time(last, hour, minute))
        out.when = recent_time(day, name, hour, minute, clock);
    else if (all_digits(last, 1, 4))
        out.when = minus_difference(entry_time(day, name, last, "0", "0"), clock);
    else
        return 0;
    return 3;
}

// ISO forms: "2020-01-01 12:00" (long-iso) and "2020-01-01
// 12:00:00.123456789 +0100" (full-iso, to the second, with its zone).
std::size_t iso_date(const std::vector<word>& w, std::size_t at, const listing_clock& clock, listed_time& out)
{
    if (at + 2 > w.size())
        return 0;
    std::string_view d = w[at].text;
    if (d.size() != 10 || d[4] != '-' || d[7] != '-' || !all_digits(d.substr(0, 4), 4, 4) ||
        !all_digits(d.substr(5, 2), 2, 2) || !all_digits(d.substr(8, 2), 2, 2))
        return 0;
    const int month = number_of(d.substr(5, 2));
    if (month < 1 || month > 12)
        return 0;
    std::string_view t = w[at + 1].text;
    std::string_view second;
    if (t.size() > 5 && t[5] == ':') {
        second = t.substr(6, 2);
        std::string_view fraction = t.substr(std::min<std::size_t>(8, t.size()));
        if (!all_digits(second, 2, 2) ||
            (!fraction.empty() && (fraction[0] != '.' || !all_digits(fraction.substr(1), 1, 9))))
            return 0;
        t = t.substr(0, 5);
    }
    std::string_view hour, minute;
    if (!clock_time(t, hour, minute))
        return 0;
    time_struct ts;
    ts.day.set_bytes(d.substr(8, 2));
    ts.month.set_bytes(month_names[month - 1]);
    ts.year.set_bytes(d.substr(0, 4));
    ts.hour.set_bytes(hour);
    ts.minute.set_bytes(minute);
    ts.second.set_bytes(second.empty() ? std::string_view("0") : second);
    ts.zone.set_bytes("", 0);
    ts.zone_offset.set_bytes("", 0);
    std::size_t taken = 2;
    if (!second.empty() && at + 2 < w.size()) {
        std::string_view zone = w[at + 2].text;
        if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-') && all_digits(zone.substr(1), 4, 4)) {
            ts.zone_offset.set_bytes(zone);
            taken = 3;
        }
    }
    out.when = minus_difference(time_to_seconds(ts), clock);
    out.seconds = !second.empty();
    return taken;
}

// A size ls could print; one that does not fit a signed 64-bit count is
// no size at all (unknown_size).
std::uint64_t listed_size(std::string_view digits)
{
    std::uint64_t v = 0;
    for (char c : digits) {
        unsigned d = unsigned(c - '0');
        if (v > (std::uint64_t(INT64_MAX) - d) / 10)
            return qxfile_node::unknown_size;
        v = v * 10 + d;
    }
    return v;
}

// Permissions (with an optional SELinux ".", ACL "+" or extended-attribute
// "@" mark), then link count, owner and group (either may be missing, and
// a name may hold spaces), the size, the date and the name. The size is
// the first number that a date follows; the name begins one space after
// the date, so leading spaces stay part of it.
int parse_unix(std::string_view line, const listing_clock& clock, qxfile_node& e, bool& keep, bool& seconds)
{
    std::size_t pos = 0;
    if (parse_permissions(line, pos, e) != 0)
        return 0;
    if (pos < line.size() && (line[pos] == '.' || line[pos] == '+' || line[pos] == '@'))
        ++pos;
    const std::string_view body = line_body(line);
    if (pos < body.size() && body[pos] != ' ')
        return 0;

    std::vector<word> words;
    for (std::size_t i = pos; i < body.size();) {
        if (body[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t end = body.find(' ', i);
        if (end == std::string_view::npos)
            end = body.size();
        words.push_back({body.substr(i, end - i), end});
        i = end;
    }

    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        if (!all_digits(words[i].text, 1, 40))
            continue;
        listed_time t;
        std::size_t taken = month_day_date(words, i + 1, clock, t);
        if (!taken)
            taken = iso_date(words, i + 1, clock, t);
        if (!taken)
            continue;
        const std::size_t date_end = words[i + taken].end;
        if (date_end >= line.size())
            return 0;  // nothing after the date, not even a line end
        e.set_size(listed_size(words[i].text));
        std::string_view name = body.substr(std::min(date_end + 1, body.size()));
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
            e.modified = t.when;
            seconds = t.seconds;
        }
        return listing_unix;
    }
    return 0;
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
        e.set_size(listed_size(c.digit_run()));
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

bool listing_line_is_filler(std::string_view line)
{
    std::string_view body = line_body(line);
    while (!body.empty() && (body.back() == ' ' || body.back() == '\t'))
        body.remove_suffix(1);
    if (body.empty())
        return true;
    // "total 24", also in other languages ("insgesamt 24", "total 1,5M").
    std::size_t space = body.find(' ');
    return space != std::string_view::npos && space > 0 && is_digit(body[space + 1 < body.size() ? space + 1 : 0]) &&
           body.find(' ', space + 1) == std::string_view::npos && !is_digit(body[0]) && body[0] != '-' &&
           body[0] != 'd' && body[0] != 'l';
}

bool name_is_listable(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

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
    bool seconds = false;
    return parse_listing_entry(line, clock, entry, keep, seconds);
}

int parse_listing_entry(std::string_view line, const listing_clock& clock, qxfile_node& entry, bool& keep,
                        bool& seconds)
{
    keep = false;
    seconds = false;
    if (line.empty())
        return 0;
    char first = line.front();
    int style = 0;
    if (first == '-' || first == 'd' || first == 'l')
        style = parse_unix(line, clock, entry, keep, seconds);
    else if (is_digit(first))
        style = parse_dos(line, clock, entry, keep);
    if (style == 0)
        keep = false;
    entry.time_exact = keep && seconds ? 1 : 0;
    return style;
}

}  // namespace qvtf
