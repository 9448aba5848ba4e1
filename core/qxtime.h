#pragma once
// Times are std::time_t (64-bit) seconds since 1970-01-01 UTC in memory, so
// nothing clamps in 2038; they turn into local time only for display. Here: the parsed form of a textual date and its
// conversion, clock and zone shifts, and file-time conversions.

#include <cstdint>
#include <ctime>

#include "core/qxval.h"

namespace qvtf {

// A date as a parser found it, field by field (listing lines, mail-style
// dates). Empty zone fields mean the time is already UTC.
struct time_struct {
    qxval day;    // day of month
    qxval month;  // month name, only its first three bytes matter
    qxval year;   // 2, 3 or 4 digits
    qxval hour;
    qxval minute;
    qxval second;
    qxval zone;         // "GMT", "EST", ...
    qxval zone_offset;  // "+0200", "-05"
};

// Unix seconds of the date; 0 when the year lies outside 1969-9999.
std::time_t time_to_seconds(const time_struct& t);
// 1..12 by the month-name rule; unknown or short names give 1.
int month_number(std::string_view name);

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
int64_t days_from_civil(int64_t year, int month, int day);
// Saturates to the signed 32-bit range instead of wrapping to another era:
// for the files and fields that store 32-bit seconds.
int32_t clamp_seconds(int64_t seconds);

std::time_t now_seconds();
// Shift by the local zone's offset at that moment (daylight saving included).
std::time_t utc_to_local(std::time_t seconds);
std::time_t local_to_utc(std::time_t seconds);

// "HH:MM:SS" of the seconds, hours modulo 24.
qxval format_hms(std::time_t seconds);

// File times in 100-ns units since 1601-01-01, as other systems store them.
constexpr int64_t FILE_TIME_UNIX_EPOCH = 116444736000000000LL;
std::time_t seconds_from_file_time(int64_t file_time);
int64_t file_time_from_seconds(std::time_t seconds);
// POSIX file times.
std::time_t seconds_from_timespec(const struct timespec& t);
struct timespec timespec_from_seconds(std::time_t seconds);

}  // namespace qvtf
