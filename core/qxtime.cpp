#include "core/qxtime.h"

#include <cstdio>
#include <limits>
#include <string>

#include "core/qxtext.h"

namespace qvtf {

int64_t days_from_civil(int64_t year, int month, int day)
{
    // Howard Hinnant's algorithm: counts from a March-based year so the leap
    // day falls at the end.
    year -= month <= 2;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    int64_t yoe = year - era * 400;
    int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int32_t clamp_seconds(int64_t seconds)
{
    if (seconds > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (seconds < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(seconds);
}

int month_number(std::string_view name)
{
    if (name.size() < 3)
        return 1;
    char second = ascii_lower(name[1]);
    char third = ascii_lower(name[2]);
    switch (ascii_lower(name[0])) {
    case 'j': return second == 'a' ? 1 : third == 'n' ? 6 : 7;
    case 'f': return 2;
    case 'm': return third == 'r' ? 3 : 5;
    case 'a': return second == 'p' ? 4 : 8;
    case 's': return 9;
    case 'o': return 10;
    case 'n': return 11;
    case 'd': return 12;
    default: return 1;
    }
}

namespace {

int zone_hours(std::string_view zone)
{
    std::string name(zone);
    for (char& c : name)
        c = ascii_upper(c);
    if (name == "EDT")
        return -4;
    if (name == "EST" || name == "CDT")
        return -5;
    if (name == "CST" || name == "MDT")
        return -6;
    if (name == "MST" || name == "PDT")
        return -7;
    if (name == "PST")
        return -8;
    return 0;  // GMT, UT and anything unknown
}

// Up to two decimal digits of text from pos; stops at the first non-digit.
int two_digits(std::string_view text, std::size_t pos)
{
    int value = 0;
    for (std::size_t i = pos; i < pos + 2 && i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            break;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::time_t time_to_seconds(const time_struct& t)
{
    int month = month_number(t.month.view());
    int64_t year = t.year.as_int();
    if (year < 70)
        year += 2000;
    else if (year < 170)
        year += 1900;
    if (year < 1969 || year > 9999)
        return 0;

    int64_t seconds = days_from_civil(year, month, 1) * 86400;
    seconds += (int64_t(t.day.as_int()) - 1) * 86400;
    seconds += int64_t(t.hour.as_int()) * 3600 + int64_t(t.minute.as_int()) * 60 + t.second.as_int();

    std::string_view zone = t.zone.view();
    std::string_view offset = t.zone_offset.view();
    if (!zone.empty()) {
        seconds -= int64_t(zone_hours(zone)) * 3600;
    } else if (!offset.empty() && (offset[0] == '+' || offset[0] == '-')) {
        int sign = offset[0] == '-' ? -1 : 1;
        seconds -= int64_t(sign) * two_digits(offset, 1) * 3600;
        if (offset.size() == 5)
            seconds -= int64_t(sign) * two_digits(offset, 3) * 60;
    }
    return static_cast<std::time_t>(seconds);
}

std::time_t now_seconds()
{
    return std::time(nullptr);
}

std::time_t utc_to_local(std::time_t seconds)
{
    std::time_t when = seconds;
    struct tm local {};
    if (!localtime_r(&when, &local))
        return seconds;
    return seconds + local.tm_gmtoff;
}

std::time_t local_to_utc(std::time_t seconds)
{
    // Read the seconds as a local wall-clock time and let mktime find the
    // offset that applied then.
    std::time_t when = seconds;
    struct tm wall {};
    if (!gmtime_r(&when, &wall))
        return seconds;
    wall.tm_isdst = -1;
    return mktime(&wall);  // -1 is also a valid answer here
}

qxval format_hms(std::time_t seconds)
{
    int64_t of_day = ((int64_t(seconds) % 86400) + 86400) % 86400;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", int(of_day / 3600), int(of_day / 60 % 60), int(of_day % 60));
    return qxval(text);
}

std::time_t seconds_from_file_time(int64_t file_time)
{
    return static_cast<std::time_t>((file_time - FILE_TIME_UNIX_EPOCH) / 10000000);
}

int64_t file_time_from_seconds(std::time_t seconds)
{
    return int64_t(seconds) * 10000000 + FILE_TIME_UNIX_EPOCH;
}

std::time_t seconds_from_timespec(const struct timespec& t)
{
    return t.tv_sec;
}

struct timespec timespec_from_seconds(std::time_t seconds)
{
    struct timespec t {};
    t.tv_sec = seconds;
    return t;
}

}  // namespace qvtf
