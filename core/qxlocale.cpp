#include "core/qxlocale.h"

#include <langinfo.h>

#include <climits>
#include <ctime>
#include <vector>

namespace qvtf {

namespace {

std::string langinfo(nl_item item, locale_t locale, const char* fallback)
{
    const char* text = locale ? nl_langinfo_l(item, locale) : nl_langinfo(item);
    return text && *text ? std::string(text) : std::string(fallback);
}

locale_t load_user_locale()
{
    locale_t locale = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
    if (!locale)
        locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

bool all_digits(std::string_view text)
{
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Rounds a decimal digit string (whole.fraction) half away from zero to the
// given number of fraction digits.
void round_digits(std::string& whole, std::string& fraction, std::size_t digits)
{
    if (fraction.size() <= digits)
        return;
    bool up = fraction[digits] >= '5';
    fraction.resize(digits);
    if (!up)
        return;
    for (std::size_t i = fraction.size(); i-- > 0;) {
        if (fraction[i] != '9') {
            ++fraction[i];
            return;
        }
        fraction[i] = '0';
    }
    for (std::size_t i = whole.size(); i-- > 0;) {
        if (whole[i] != '9') {
            ++whole[i];
            return;
        }
        whole[i] = '0';
    }
    whole.insert(whole.begin(), '1');
}

std::string grouped(const std::string& whole, const number_format& format)
{
    if (format.grouping <= 0 || format.thousand_sep.empty())
        return whole;
    std::string out;
    std::size_t group = static_cast<std::size_t>(format.grouping);
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % group == 0)
            out += format.thousand_sep;
        out += whole[i];
    }
    return out;
}

std::string format_tm(const std::string& pattern, const struct tm& when, locale_t locale)
{
    if (pattern.empty())
        return {};
    std::vector<char> buffer(256);
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::size_t n = locale ? strftime_l(buffer.data(), buffer.size(), pattern.c_str(), &when, locale)
                               : strftime(buffer.data(), buffer.size(), pattern.c_str(), &when);
        if (n > 0)
            return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 4);
    }
    return {};
}

struct tm wall_clock(std::time_t seconds)
{
    struct tm out {};
    gmtime_r(&seconds, &out);
    return out;
}

// A strftime pattern cut into literal runs and single conversions.
struct pattern_token {
    std::string text;
    char conversion = 0;  // the conversion letter, 0 for literal text
};

std::vector<pattern_token> tokenize(std::string_view pattern)
{
    std::vector<pattern_token> tokens;
    std::size_t i = 0;
    while (i < pattern.size()) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            std::size_t j = i + 1;
            while (j < pattern.size() && std::string_view("_-0^#").find(pattern[j]) != std::string_view::npos)
                ++j;
            while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9')
                ++j;
            if (j < pattern.size() && (pattern[j] == 'E' || pattern[j] == 'O'))
                ++j;
            if (j < pattern.size()) {
                tokens.push_back({std::string(pattern.substr(i, j + 1 - i)), pattern[j]});
                i = j + 1;
                continue;
            }
        }
        if (tokens.empty() || tokens.back().conversion)
            tokens.push_back({});
        tokens.back().text += pattern[i++];
    }
    return tokens;
}

// Replaces the composite conversions by their parts so single fields can be
// dropped.
std::string expand_composites(std::string_view pattern, const locale_facts& facts, int depth = 0)
{
    std::string out;
    for (const pattern_token& t : tokenize(pattern)) {
        std::string part;
        switch (t.conversion) {
        case 'T': part = "%H:%M:%S"; break;
        case 'R': part = "%H:%M"; break;
        case 'r': part = facts.time_format_ampm; break;
        case 'X': part = facts.time_format; break;
        default: out += t.text; continue;
        }
        out += depth < 3 ? expand_composites(part, facts, depth + 1) : std::string(t.text);
    }
    return out;
}

bool is_blank(const std::string& text)
{
    return text.find_first_not_of(" \t") == std::string::npos;
}

// Removes conversion i together with the separator that ties it to its
// neighbour (the one before it, or after it when it comes first).
void drop_field(std::vector<pattern_token>& tokens, std::size_t i, bool only_blank_separator)
{
    auto separator = [&](std::size_t k) {
        return k < tokens.size() && !tokens[k].conversion && (!only_blank_separator || is_blank(tokens[k].text));
    };
    std::size_t from = i, to = i + 1;
    if (i > 0 && separator(i - 1))
        from = i - 1;
    else if (separator(i + 1))
        to = i + 2;
    tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(from), tokens.begin() + static_cast<std::ptrdiff_t>(to));
}

void drop_conversions(std::vector<pattern_token>& tokens, std::string_view letters, bool blank_only)
{
    for (std::size_t i = 0; i < tokens.size();) {
        if (tokens[i].conversion && letters.find(tokens[i].conversion) != std::string_view::npos) {
            drop_field(tokens, i, blank_only);
            i = 0;  // indexes shifted; rescan
        } else {
            ++i;
        }
    }
}

}  // namespace

locale_facts locale_facts::of(locale_t locale)
{
    locale_facts facts;
    facts.locale = locale;
    facts.number.decimal_sep = langinfo(RADIXCHAR, locale, ".");
    facts.number.thousand_sep = langinfo(THOUSEP, locale, "");
    std::string grouping = langinfo(GROUPING, locale, "");
    facts.number.grouping = !grouping.empty() && grouping[0] > 0 && grouping[0] < CHAR_MAX ? grouping[0] : 0;
    facts.date_format = langinfo(D_FMT, locale, "%m/%d/%y");
    facts.time_format = langinfo(T_FMT, locale, "%H:%M:%S");
    facts.time_format_ampm = langinfo(T_FMT_AMPM, locale, "%I:%M:%S %p");
    return facts;
}

const locale_facts& user_locale_facts()
{
    static const locale_facts facts = locale_facts::of(load_user_locale());
    return facts;
}

number_format make_integer_format()
{
    return integer_format_of(user_locale_facts().number);
}

number_format integer_format_of(const number_format& locale_number)
{
    number_format format = locale_number;
    format.digits = 0;
    format.grouping = 3;
    if (format.thousand_sep.empty())
        format.thousand_sep = format.decimal_sep == "," ? "." : ",";
    return format;
}

std::string format_number_text(std::string_view number, const number_format& format)
{
    bool negative = !number.empty() && number[0] == '-';
    if (negative)
        number.remove_prefix(1);
    std::size_t dot = number.find('.');
    std::string whole(number.substr(0, dot));
    std::string fraction(dot == std::string_view::npos ? std::string_view() : number.substr(dot + 1));
    if ((whole.empty() && fraction.empty()) || !all_digits(whole) || !all_digits(fraction))
        return {};

    if (format.digits >= 0) {
        round_digits(whole, fraction, static_cast<std::size_t>(format.digits));
        fraction.resize(static_cast<std::size_t>(format.digits), '0');
    }
    std::size_t first = whole.find_first_not_of('0');
    whole.erase(0, first == std::string::npos ? whole.size() : first);
    if (whole.empty() && (format.leading_zero || fraction.empty()))
        whole = "0";
    if (whole.find_first_not_of('0') == std::string::npos && fraction.find_first_not_of('0') == std::string::npos)
        negative = false;  // no "-0"

    std::string body = grouped(whole, format);
    if (!fraction.empty())
        body += format.decimal_sep + fraction;
    if (!negative)
        return body;
    switch (format.negative_order) {
    case 0: return "(" + body + ")";
    case 2: return "- " + body;
    case 3: return body + "-";
    case 4: return body + " -";
    default: return "-" + body;
    }
}

qxval format_number_locale(const qxval& value)
{
    return qxval(format_number_text(value.view(), user_locale_facts().number));
}

qxval format_integer_locale(const qxval& value, const number_format& format)
{
    return qxval(format_number_text(value.view(), format));
}

std::string time_pattern(const locale_facts& facts, int32_t flags)
{
    std::vector<pattern_token> tokens = tokenize(expand_composites(facts.time_format, facts));
    if (flags & TIME_FORCE24HOURFORMAT) {
        for (pattern_token& t : tokens) {
            if (t.conversion == 'I' || t.conversion == 'l') {
                t.text.back() = t.conversion == 'I' ? 'H' : 'k';
                t.conversion = t.text.back();
            }
        }
    }
    if (flags & (TIME_NOTIMEMARKER | TIME_FORCE24HOURFORMAT))
        drop_conversions(tokens, "pP", true);
    if (flags & (TIME_NOSECONDS | TIME_NOMINUTESORSECONDS))
        drop_conversions(tokens, "S", false);
    if (flags & TIME_NOMINUTESORSECONDS)
        drop_conversions(tokens, "M", false);

    std::string out;
    for (const pattern_token& t : tokens)
        out += t.text;
    std::size_t begin = out.find_first_not_of(' ');
    std::size_t end = out.find_last_not_of(' ');
    return begin == std::string::npos ? std::string() : out.substr(begin, end - begin + 1);
}

qxval format_date(std::time_t seconds, const locale_facts& facts)
{
    return qxval(format_tm(facts.date_format, wall_clock(seconds), facts.locale));
}

qxval format_time(std::time_t seconds, int32_t flags, const locale_facts& facts)
{
    return qxval(format_tm(time_pattern(facts, flags), wall_clock(seconds), facts.locale));
}

qxval format_date(std::time_t seconds)
{
    return format_date(seconds, user_locale_facts());
}

qxval format_time(std::time_t seconds, int32_t flags)
{
    return format_time(seconds, flags, user_locale_facts());
}

}  // namespace qvtf
