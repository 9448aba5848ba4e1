#include "core/qxtime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

using namespace qvtf;

namespace {

time_struct date(int day, const char* month, int year, int hour = 0, int minute = 0, int second = 0,
                 const char* zone = "", const char* offset = "")
{
    time_struct t;
    t.day = qxval(day);
    t.month = qxval(month);
    t.year = qxval(year);
    t.hour = qxval(hour);
    t.minute = qxval(minute);
    t.second = qxval(second);
    t.zone = qxval(zone);
    t.zone_offset = qxval(offset);
    return t;
}

// Sets TZ for one test and restores it afterwards.
class ScopedZone {
public:
    explicit ScopedZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedZone()
    {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

}  // namespace

TEST(TimeStruct, MonthNamesByTheirFirstThreeLetters)
{
    const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 0; m < 12; ++m)
        EXPECT_EQ(month_number(names[m]), m + 1) << names[m];
    EXPECT_EQ(month_number("JUNE"), 6);
    EXPECT_EQ(month_number("july"), 7);
    EXPECT_EQ(month_number("mAI"), 5);
    EXPECT_EQ(month_number("AUGUST"), 8);
    EXPECT_EQ(month_number("Ju"), 1);
    EXPECT_EQ(month_number(""), 1);
    EXPECT_EQ(month_number("xyz"), 1);
}

TEST(TimeStruct, ConvertsAsUtcWithTwoAndThreeDigitYears)
{
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 30)), 915539400);
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 1999, 12, 30)), 915539400);
    EXPECT_EQ(time_to_seconds(date(1, "jun", 104)), 1086048000);
    EXPECT_EQ(time_to_seconds(date(1, "Jun", 4)), 1086048000);
    EXPECT_EQ(time_to_seconds(date(31, "Dec", 1969)), -86400);
    EXPECT_EQ(time_to_seconds(date(1, "Jan", 70)), 0);
    // Before 1969 gives 0; 69 means 2069.
    EXPECT_EQ(time_to_seconds(date(1, "Jan", 1968)), 0);
    EXPECT_EQ(time_to_seconds(date(1, "Jan", 69)), 3124224000LL);
    EXPECT_EQ(time_to_seconds(date(1, "Jan", 170)), 0);
    // Out-of-range fields carry over as a calendar would: Feb 30 is Mar 2.
    EXPECT_EQ(time_to_seconds(date(30, "Feb", 2021, 8)), 1614672000);
    EXPECT_EQ(time_to_seconds(date(1, "Mar", 2021, 0, 0, 8 * 3600 + 86400)), 1614672000);
}

TEST(TimeStruct, TimesAfterJanuary2038KeepCounting)
{
    EXPECT_EQ(time_to_seconds(date(19, "Jan", 2038, 3, 14, 7)), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(time_to_seconds(date(19, "Jan", 2038, 3, 14, 8)), 2147483648LL);
    EXPECT_EQ(time_to_seconds(date(31, "Dec", 2038, 23, 59, 59)), 2177452799LL);
    EXPECT_EQ(time_to_seconds(date(1, "Jan", 2040)), 2208988800LL);
}

TEST(TimeStruct, ZoneNamesAndNumericOffsets)
{
    const int32_t noon = time_to_seconds(date(5, "Jan", 99, 12));
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "EST")), noon + 5 * 3600);
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "edt")), noon + 4 * 3600);
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "CST")), noon + 6 * 3600);
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "PST")), noon + 8 * 3600);
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "PDT")), noon + 7 * 3600);
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "GMT")), noon);
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "CET")), noon);
    // The zone name wins over the offset.
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "UT", "+0500")), noon);

    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "", "+0200")), noon - 2 * 3600);
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "", "-0530")), noon + 5 * 3600 + 30 * 60);
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "", "+02")), noon - 2 * 3600);
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "", "+02:30")), noon - 2 * 3600);
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "", "0200")), noon);
    EXPECT_EQ(time_to_seconds(date(5, "Jan", 99, 12, 0, 0, "", "+")), noon);
}

TEST(TimeFormat, HmsIsEightBytesModuloOneDay)
{
    EXPECT_EQ(format_hms(0).str(), "00:00:00");
    EXPECT_EQ(format_hms(3661).str(), "01:01:01");
    EXPECT_EQ(format_hms(86400 + 23 * 3600 + 59 * 60 + 59).str(), "23:59:59");
    EXPECT_EQ(format_hms(-1).str(), "23:59:59");
    EXPECT_EQ(format_hms(std::numeric_limits<int32_t>::max()).str(), "03:14:07");
}

TEST(FileTime, ConvertsBetween1601And1970Epochs)
{
    EXPECT_EQ(seconds_from_file_time(FILE_TIME_UNIX_EPOCH), 0);
    EXPECT_EQ(seconds_from_file_time(FILE_TIME_UNIX_EPOCH + 10000000LL * 915539400), 915539400);
    EXPECT_EQ(seconds_from_file_time(FILE_TIME_UNIX_EPOCH + 9999999), 0);  // sub-second part dropped
    EXPECT_EQ(file_time_from_seconds(1), FILE_TIME_UNIX_EPOCH + 10000000);
    EXPECT_EQ(file_time_from_seconds(-1), FILE_TIME_UNIX_EPOCH - 10000000);
    EXPECT_EQ(seconds_from_file_time(file_time_from_seconds(-86400)), -86400);
    EXPECT_EQ(seconds_from_file_time(0), -FILE_TIME_UNIX_EPOCH / 10000000);
    EXPECT_EQ(seconds_from_file_time(FILE_TIME_UNIX_EPOCH + 10000000LL * 5000000000LL), 5000000000LL);

    struct timespec t {};
    t.tv_sec = 915539400;
    t.tv_nsec = 999999999;
    EXPECT_EQ(seconds_from_timespec(t), 915539400);
    t.tv_sec = 5000000000LL;
    EXPECT_EQ(seconds_from_timespec(t), 5000000000LL);
    EXPECT_EQ(timespec_from_seconds(-5).tv_sec, -5);
    EXPECT_EQ(timespec_from_seconds(-5).tv_nsec, 0);
}

TEST(LocalTime, ShiftsByTheOffsetInForceAtThatMoment)
{
    ScopedZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const int32_t winter = 1610712000;  // 2021-01-15 12:00 UTC
    const int32_t summer = 1626350400;  // 2021-07-15 12:00 UTC
    EXPECT_EQ(utc_to_local(winter), winter + 3600);
    EXPECT_EQ(utc_to_local(summer), summer + 7200);
    EXPECT_EQ(local_to_utc(winter + 3600), winter);
    EXPECT_EQ(local_to_utc(summer + 7200), summer);
}

TEST(LocalTime, NowIsTheCurrentUtcTime)
{
    ScopedZone zone("EST5EDT,M3.2.0,M11.1.0");
    int64_t before = std::time(nullptr);
    std::time_t now = now_seconds();
    EXPECT_GE(now, before);
    EXPECT_LE(now, std::time(nullptr));
}
