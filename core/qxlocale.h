#pragma once
// Number, date and time formatting in the user's locale (the C library's
// locale named by the environment; "C" when that cannot be loaded).

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include <locale.h>

#include "core/qxval.h"

namespace qvtf {

// How a number is written; mirrors what the user's locale decides.
struct number_format {
    int32_t digits = -1;       // fraction digits; -1 keeps the input's own
    bool leading_zero = true;  // "0.5" rather than ".5"
    int32_t grouping = 3;      // digits per group, 0 for none
    std::string decimal_sep = ".";
    std::string thousand_sep = ",";
    // 0 "(1)", 1 "-1", 2 "- 1", 3 "1-", 4 "1 -"
    int32_t negative_order = 1;
};

// What the formatting reads from one locale.
struct locale_facts {
    locale_t locale = nullptr;  // for month and AM/PM names
    number_format number;
    std::string date_format;       // strftime pattern of the short date
    std::string time_format;       // strftime pattern of the time
    std::string time_format_ampm;  // the 12-hour pattern that %r stands for

    // The facts of a loaded locale; the object does not own it.
    static locale_facts of(locale_t locale);
};

// The user's locale, loaded once.
const locale_facts& user_locale_facts();

// The user's number format with no fraction digits and groups of three.
number_format make_integer_format();
// The same from a locale's number format. Where the locale names no
// thousands separator (C, POSIX), "," groups, or "." after a decimal comma:
// sizes and counts are read at a glance.
number_format integer_format_of(const number_format& locale_number);

// Formats a decimal number text ("-1234.5"); "" when it is not one.
std::string format_number_text(std::string_view number, const number_format& format);

qxval format_number_locale(const qxval& value);
qxval format_integer_locale(const qxval& value, const number_format& format);

// Flags of format_time.
enum : int32_t {
    TIME_NOMINUTESORSECONDS = 1,
    TIME_NOSECONDS = 2,
    TIME_NOTIMEMARKER = 4,
    TIME_FORCE24HOURFORMAT = 8,
};

// The locale's time pattern reduced as the flags ask.
std::string time_pattern(const locale_facts& facts, int32_t flags);

// Both take the seconds as the wall-clock time to show (no zone shift).
qxval format_date(std::time_t seconds);
qxval format_time(std::time_t seconds, int32_t flags);
qxval format_date(std::time_t seconds, const locale_facts& facts);
qxval format_time(std::time_t seconds, int32_t flags, const locale_facts& facts);

}  // namespace qvtf
