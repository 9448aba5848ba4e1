#include "core/qxlocale.h"

#include <gtest/gtest.h>

#include <string>

using namespace qvtf;

namespace {

number_format integer_format(const char* thousands, const char* decimal)
{
    number_format f;
    f.digits = 0;
    f.grouping = 3;
    f.thousand_sep = thousands;
    f.decimal_sep = decimal;
    return f;
}

locale_t c_locale()
{
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

// A 12-hour locale as en_US defines it, with C's month and AM/PM names.
locale_facts twelve_hour_facts()
{
    locale_facts facts = locale_facts::of(c_locale());
    facts.time_format = "%r";
    facts.time_format_ampm = "%I:%M:%S %p";
    facts.date_format = "%m/%d/%Y";
    return facts;
}

}  // namespace

TEST(NumberFormat, GroupsThousandsAndRoundsToTheFormatsDigits)
{
    number_format f = integer_format(",", ".");
    EXPECT_EQ(format_number_text("1234567", f), "1,234,567");
    EXPECT_EQ(format_number_text("123", f), "123");
    EXPECT_EQ(format_number_text("1234", f), "1,234");
    EXPECT_EQ(format_number_text("-1234567", f), "-1,234,567");
    EXPECT_EQ(format_number_text("0", f), "0");
    EXPECT_EQ(format_number_text("-2147483648", f), "-2,147,483,648");
    EXPECT_EQ(format_number_text("1234.5", f), "1,235");
    EXPECT_EQ(format_number_text("999999.7", f), "1,000,000");
    EXPECT_EQ(format_number_text("-0.4", f), "0");
    EXPECT_EQ(format_number_text("00042", f), "42");

    number_format german = integer_format(".", ",");
    german.digits = 2;
    EXPECT_EQ(format_number_text("1234.5", german), "1.234,50");
    EXPECT_EQ(format_number_text("999.995", german), "1.000,00");
    EXPECT_EQ(format_number_text(".5", german), "0,50");
    german.leading_zero = false;
    EXPECT_EQ(format_number_text("0.5", german), ",50");

    number_format keep = integer_format(" ", ".");
    keep.digits = -1;
    EXPECT_EQ(format_number_text("12345.678", keep), "12 345.678");
}

// Sizes are grouped even where the locale names no separator (C, POSIX).
TEST(NumberFormat, IntegerFormatAlwaysGroups)
{
    const struct {
        const char* thousands;
        const char* decimal;
        const char* written;
    } rows[] = {
        {",", ".", "1,234,567"}, {".", ",", "1.234.567"}, {"", ".", "1,234,567"},
        {"", ",", "1.234.567"},  {" ", ",", "1 234 567"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(format_number_text("1234567", integer_format_of(integer_format(r.thousands, r.decimal))), r.written)
            << "'" << r.thousands << "'";
    EXPECT_FALSE(make_integer_format().thousand_sep.empty());
}

TEST(NumberFormat, NegativeOrdersAndInvalidInput)
{
    number_format f = integer_format(",", ".");
    const char* expected[] = {"(1,000)", "-1,000", "- 1,000", "1,000-", "1,000 -"};
    for (int order = 0; order < 5; ++order) {
        f.negative_order = order;
        EXPECT_EQ(format_number_text("-1000", f), expected[order]);
    }
    f.negative_order = 1;
    for (const char* bad : {"", "-", "abc", "12a", "1.2.3", " 12", "+5", "1e5", "."})
        EXPECT_EQ(format_number_text(bad, f), "") << bad;

    number_format none = integer_format("", ".");
    EXPECT_EQ(format_number_text("1234567", none), "1234567");
}

TEST(NumberFormat, UserLocaleFormattingOfValues)
{
    number_format f = make_integer_format();
    EXPECT_EQ(f.digits, 0);
    EXPECT_EQ(f.grouping, 3);
    // Whatever the user's separators are, the digits and the sign survive.
    std::string text = format_integer_locale(qxval(-1234567), f).str();
    std::string digits;
    for (char c : text)
        if ((c >= '0' && c <= '9') || c == '-')
            digits += c;
    EXPECT_EQ(digits, "-1234567");
    EXPECT_EQ(format_integer_locale(qxval("junk"), f).str(), "");
    EXPECT_FALSE(format_number_locale(qxval(2.5)).str().empty());

    locale_facts c = locale_facts::of(c_locale());
    EXPECT_EQ(c.number.decimal_sep, ".");
    EXPECT_EQ(format_number_text("1234567.25", c.number), "1234567.25");
}

TEST(TimePattern, FlagsDropFieldsWithTheirSeparators)
{
    locale_facts f = twelve_hour_facts();
    EXPECT_EQ(time_pattern(f, 0), "%I:%M:%S %p");
    EXPECT_EQ(time_pattern(f, TIME_NOSECONDS), "%I:%M %p");
    EXPECT_EQ(time_pattern(f, TIME_NOMINUTESORSECONDS), "%I %p");
    EXPECT_EQ(time_pattern(f, TIME_NOTIMEMARKER), "%I:%M:%S");
    EXPECT_EQ(time_pattern(f, TIME_FORCE24HOURFORMAT), "%H:%M:%S");
    EXPECT_EQ(time_pattern(f, TIME_FORCE24HOURFORMAT | TIME_NOSECONDS), "%H:%M");

    f.time_format = "%T";
    EXPECT_EQ(time_pattern(f, TIME_NOSECONDS), "%H:%M");
    f.time_format = "%p %l.%M.%S";
    EXPECT_EQ(time_pattern(f, TIME_NOTIMEMARKER | TIME_NOSECONDS), "%l.%M");
    EXPECT_EQ(time_pattern(f, TIME_FORCE24HOURFORMAT), "%k.%M.%S");
    f.time_format = "%S:%M";
    EXPECT_EQ(time_pattern(f, TIME_NOSECONDS), "%M");
    f.time_format = "%X";
    f.time_format_ampm = "%X";  // self-reference must not recurse forever
    EXPECT_EQ(time_pattern(f, 0).empty(), false);
}

TEST(DateTimeFormat, ShowsTheSecondsAsWallClockTime)
{
    locale_facts c = locale_facts::of(c_locale());
    const int32_t afternoon = 915539400 + 47109 - 45000;  // 1999-01-05 13:05:09
    EXPECT_EQ(format_time(afternoon, 0, c).str(), "13:05:09");
    EXPECT_EQ(format_time(afternoon, TIME_NOSECONDS, c).str(), "13:05");
    EXPECT_EQ(format_date(afternoon, c).str(), "01/05/99");
    EXPECT_EQ(format_date(0, c).str(), "01/01/70");
    const std::time_t late = 2214133509;  // 2040-02-29 13:05:09, past 32-bit seconds
    EXPECT_EQ(format_date(late, c).str(), "02/29/40");
    EXPECT_EQ(format_time(late, 0, c).str(), "13:05:09");

    locale_facts twelve = twelve_hour_facts();
    EXPECT_EQ(format_time(afternoon, 0, twelve).str(), "01:05:09 PM");
    EXPECT_EQ(format_time(afternoon, TIME_NOSECONDS, twelve).str(), "01:05 PM");
    EXPECT_EQ(format_time(afternoon, TIME_FORCE24HOURFORMAT, twelve).str(), "13:05:09");
    EXPECT_EQ(format_date(afternoon, twelve).str(), "01/05/1999");

    EXPECT_FALSE(format_date(afternoon).str().empty());
    EXPECT_FALSE(format_time(afternoon, TIME_NOSECONDS).str().empty());
}
