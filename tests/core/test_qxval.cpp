#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "core/qxchar.h"
#include "core/qxval.h"

using namespace qvtf;

TEST(QxChar, GrowthFollowsSixteenthRule)
{
    qxchar s;
    s.resize(100);
    EXPECT_EQ(s.length, 100);
    EXPECT_EQ(s.capacity, 100 + 100 / 16 + 4);
    s.resize(50);  // shrinking keeps the buffer
    EXPECT_EQ(s.length, 50);
    EXPECT_EQ(s.capacity, 110);
    s.resize(-1);
    EXPECT_EQ(s.length, 50);

    qxchar b;
    b.append_byte('x');
    EXPECT_EQ(b.capacity, 4);
    for (int i = 0; i < 3; ++i)
        b.append_byte('y');
    EXPECT_EQ(b.capacity, 4);
    b.append_byte('z');  // full at 4: grows to 4 + 0 + 4
    EXPECT_EQ(b.capacity, 8);
    EXPECT_EQ(b.view(), "xyyyz");

    qxchar sized;
    sized.set_size(10);
    EXPECT_EQ(sized.length, 10);
    sized.set_size(0);
    EXPECT_EQ(sized.data, nullptr);
    EXPECT_EQ(sized.capacity, 0);
}

TEST(QxChar, CStrTerminatesWithoutChangingLength)
{
    qxchar empty;
    EXPECT_STREQ(empty.c_str(), "");
    EXPECT_EQ(empty.length, 0);
    qxchar s;
    s.append("abcd");  // capacity 4 + 0 + 4
    ASSERT_EQ(s.capacity, 8);
    s.resize(8);
    std::memcpy(s.data, "abcdefgh", 8);
    const char* p = s.c_str();  // must grow to make room for the zero
    EXPECT_EQ(s.length, 8);
    EXPECT_STREQ(p, "abcdefgh");
}

TEST(QxChar, AppendAssignAndTake)
{
    qxchar s("hello");
    s.append(nullptr);
    s.append("", 0);
    s.append("xyz", 0);
    EXPECT_EQ(s.view(), "hello");
    s.append(s);  // source inside its own buffer, which may move
    EXPECT_EQ(s.view(), "hellohello");
    s.assign(s.data + 5, 3);
    EXPECT_EQ(s.view(), "hel");

    std::string big(5000, 'q');
    qxchar t;
    t.append(big.data(), static_cast<int32_t>(big.size()));
    t.append(t.data + 10, 4000);
    EXPECT_EQ(t.length, 9000);
    EXPECT_EQ(t.view(), std::string(9000, 'q'));

    qxchar u;
    u.take(s);
    EXPECT_EQ(u.view(), "hel");
    EXPECT_EQ(s.data, nullptr);
    EXPECT_EQ(s.length, 0);
    EXPECT_EQ(s.capacity, 0);
    qxchar copy(u);
    EXPECT_NE(copy.data, u.data);
    EXPECT_EQ(copy.view(), "hel");
}

TEST(QxVal, DefaultAndScalarTextForms)
{
    qxval v;
    EXPECT_TRUE(v.is(qxval_kind::integer));
    EXPECT_EQ(v.view(), "0");
    EXPECT_TRUE(v.is(qxval_kind::integer));  // text_view keeps the kind
    EXPECT_EQ(qxval(-42).view(), "-42");
    qxval b;
    b.set_bool(true);
    EXPECT_EQ(b.view(), "1");
    EXPECT_EQ(b.first_char(), '1');
    EXPECT_EQ(qxval('z').view(), "z");
    EXPECT_TRUE(qxval(static_cast<const char*>(nullptr)).is_string());
    EXPECT_EQ(qxval(static_cast<const char*>(nullptr)).view(), "");
    EXPECT_EQ(qxval("").first_char(), '\0');
    EXPECT_EQ(qxval(12345).first_char(), '1');
}

TEST(QxVal, PointerHoldsAllSixtyFourBits)
{
    void* p = reinterpret_cast<void*>(uintptr_t{0x00abcdef12345678});
    qxval v(p);
    EXPECT_EQ(v.as_pointer(), p);
    EXPECT_EQ(v.view(), "0xabcdef12345678");
    EXPECT_EQ(qxval(nullptr).view(), "0x0");
    EXPECT_TRUE(v.as_bool());
    EXPECT_EQ(v.as_int(), 0x12345678);
    // A pointer whose low half is zero is still non-null.
    qxval high(reinterpret_cast<void*>(uintptr_t{1} << 40));
    EXPECT_TRUE(high.as_bool());
    v.convert_to(qxval_kind::string);
    EXPECT_EQ(v.view(), "0xabcdef12345678");
    qxval i(7);
    i.convert_to(qxval_kind::pointer);  // nothing converts to pointer
    EXPECT_TRUE(i.is(qxval_kind::integer));
    EXPECT_EQ(i.as_int(), 7);
    qxval bv;
    bv.set_bool(true);
    EXPECT_EQ(bv.as_pointer(), nullptr);
}

TEST(QxVal, DoubleTextForms)
{
    struct Case {
        double x;
        const char* text;
    } cases[] = {
        {2.5, "2.5"},
        {100, "100"},
        {0.1, "0.1"},
        {123456.75, "123456.75"},
        {1234567.12345, "1234567.123"},
        {1e-11, "0"},
        {2e18, "0"},
        {-0.5, "-0.5"},
        {100000.5, "100000.5"},
        {100000.0001, "100000"},
        {250000.5, "250000.5"},
        {100000.0, "100000"},
        {-2e18, "0"},
        {1e18, "1000000000000000000"},
        {0.12345678, "0.12345678"},
        {0.123456789, "0.12345679"},
        {-123456.5, "-123456.5"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qxval(c.x).view(), c.text) << c.x;
}

TEST(QxVal, ReadingsOfStrings)
{
    EXPECT_FALSE(qxval("abc").as_bool());
    EXPECT_TRUE(qxval("12").as_bool());
    EXPECT_EQ(qxval("  -17xyz").as_int(), -17);
    EXPECT_DOUBLE_EQ(qxval("2.75e1").as_double(), 27.5);
    // A 32-bit long saturates; the reading must not wrap to a negative.
    EXPECT_EQ(qxval("99999999999").as_int(), INT_MAX);
    EXPECT_EQ(qxval("-99999999999").as_int(), INT_MIN);
}

TEST(QxVal, ReadingsOfDoubles)
{
    EXPECT_EQ(qxval(-3.9).as_int(), -3);
    EXPECT_EQ(qxval(3.9).as_int(), 3);
    // Low 32 bits of the 64-bit truncation.
    EXPECT_EQ(qxval(4294967296.0 + 5).as_int(), 5);
    EXPECT_EQ(qxval(1e300).as_int(), 0);
    EXPECT_FALSE(qxval(0.0).as_bool());
    EXPECT_TRUE(qxval(0.001).as_bool());
}

TEST(QxVal, ConvertTo)
{
    qxval v("42");
    v.convert_to(qxval_kind::integer);
    EXPECT_TRUE(v.is(qxval_kind::integer));
    EXPECT_EQ(v.as_int(), 42);
    v.convert_to(qxval_kind::real);
    EXPECT_DOUBLE_EQ(v.as_double(), 42.0);
    v.set_double(2.5);
    v.convert_to(qxval_kind::string);
    EXPECT_TRUE(v.is_string());
    EXPECT_EQ(v.view(), "2.5");
    v.convert_to(qxval_kind::boolean);
    EXPECT_TRUE(v.as_bool());  // atol("2.5") = 2
    for (uint16_t tag : {0, 1, 47, 200}) {
        qxval s("x");
        s.convert_to(tag);
        EXPECT_TRUE(s.is_string());
        EXPECT_EQ(s.view(), "x");
    }
}

TEST(QxVal, CopyIsDeepAndMoveTakesTheBuffer)
{
    qxval a("text");
    qxval b(a);
    EXPECT_NE(a.text.data, b.text.data);
    EXPECT_EQ(b.view(), "text");

    qxval n(5);
    n.text_view();
    qxval m(n);  // the cache is not part of the value
    EXPECT_EQ(m.text.length, 0);
    EXPECT_EQ(m.view(), "5");

    const char* buffer = a.text.data;
    qxval moved;
    moved.assign_move(a);
    EXPECT_EQ(moved.text.data, buffer);
    EXPECT_TRUE(a.is_string());
    EXPECT_EQ(a.view(), "");
    moved.assign_move(moved);
    EXPECT_EQ(moved.view(), "text");

    qxval t;
    t.set_text_of(qxval(2.5));
    EXPECT_TRUE(t.is_string());
    EXPECT_EQ(t.view(), "2.5");
    t.set_text_of(t);
    EXPECT_EQ(t.view(), "2.5");
}

TEST(QxVal, AddDecidesByTagSum)
{
    qxval s("2");
    s.add(0.5);
    EXPECT_TRUE(s.is(qxval_kind::real));
    EXPECT_DOUBLE_EQ(s.as_double(), 2.5);

    qxval i(3);
    i.add("2");
    EXPECT_TRUE(i.is(qxval_kind::integer));
    EXPECT_EQ(i.as_int(), 5);

    qxval two("3");
    two.add("4");  // strings add as numbers
    EXPECT_TRUE(two.is(qxval_kind::integer));
    EXPECT_EQ(two.as_int(), 7);

    qxval flag;
    flag.set_bool(true);
    flag.add(flag);
    EXPECT_EQ(flag.as_int(), 2);

    qxval wrap(INT_MAX);
    wrap.add(1);
    EXPECT_EQ(wrap.as_int(), INT_MIN);

    int target = 0;
    qxval p(static_cast<void*>(&target));
    p.add(5);
    EXPECT_EQ(p.as_pointer(), &target);
    qxval q(5);
    q.add(p);
    EXPECT_EQ(q.as_int(), 5);
    EXPECT_TRUE(q.is(qxval_kind::integer));

    qxval d(1.5);
    d.add(2);
    EXPECT_DOUBLE_EQ(d.as_double(), 3.5);
}

TEST(QxVal, CompareIsByteOrderOfTextForms)
{
    EXPECT_LT(compare("10", "9"), 0);
    EXPECT_LT(compare("9", "a"), 0);
    EXPECT_EQ(compare(9, "9"), 0);
    EXPECT_EQ(compare("abc", "ab"), 1);
    EXPECT_EQ(compare("", "abc"), -3);
    EXPECT_GT(compare("\xe9", "z"), 0);  // bytes compare unsigned
    EXPECT_EQ(compare("ab\0c", "ab"), 0);
    std::string with_zero("a\0b", 3), other("a\0c", 3);
    EXPECT_LT(compare(qxval(std::string_view(with_zero)), qxval(std::string_view(other))), 0);
    EXPECT_EQ(compare_nocase("ABC", "abc"), 0);
    EXPECT_LT(compare_nocase("abc", "ABD"), 0);
    EXPECT_EQ(compare_nocase(1.5, "1.5"), 0);
}
