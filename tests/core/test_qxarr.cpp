#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/qxarr.h"

using namespace qvtf;

namespace {

std::vector<std::string> texts(const qxarr& list)
{
    std::vector<std::string> out;
    for (const qxval& v : list)
        out.push_back(v.str());
    return out;
}

// The links must agree both ways and with the count.
void expect_well_linked(const qxarr& list)
{
    int32_t n = 0;
    const qxarrnode* prev = nullptr;
    for (const qxarrnode* node = list.head; node; node = node->next) {
        EXPECT_EQ(node->prev, prev);
        prev = node;
        ++n;
    }
    EXPECT_EQ(list.tail, prev);
    EXPECT_EQ(n, list.count());
}

void fill(qxarr& list, std::initializer_list<const char*> items)
{
    for (const char* s : items)
        list.push_copy(s);
}

// Derived lists override push; everything that appends must go through it.
class counting_list : public qxarr {
public:
    int pushes = 0;
    void push(qxval& value) override
    {
        ++pushes;
        qxarr::push(value);
    }
};

}  // namespace

TEST(QxArr, PushTakesStringsPushCopyKeepsThem)
{
    qxarr list;
    qxval s("abc");
    list.push(s);
    EXPECT_TRUE(s.is_string());
    EXPECT_EQ(s.view(), "");
    qxval t("def");
    list.push_copy(t);
    EXPECT_EQ(t.view(), "def");
    EXPECT_EQ(texts(list), (std::vector<std::string>{"abc", "def"}));
}

TEST(QxArr, StackAndQueueEnds)
{
    qxarr list;
    fill(list, {"b", "c"});
    qxval a("a");
    list.unshift(a);
    expect_well_linked(list);
    qxval out;
    ASSERT_TRUE(list.pop(out));
    EXPECT_EQ(out.view(), "c");
    ASSERT_TRUE(list.shift(out));
    EXPECT_EQ(out.view(), "a");
    ASSERT_TRUE(list.shift(out));
    EXPECT_EQ(out.view(), "b");
    EXPECT_FALSE(list.shift(out));
    EXPECT_FALSE(list.pop(out));
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.tail, nullptr);
}

TEST(QxArr, AtWalksFromTheNearerEndAndAppendsOutOfRange)
{
    qxarr list;
    for (int i = 0; i < 9; ++i)
        list.push_copy(i);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(list.at(i).as_int(), i);
    list.at(7).set_string("seven");
    EXPECT_EQ(list.at(7).view(), "seven");

    counting_list two;
    two.push_copy("x");
    two.push_copy("y");
    two.pushes = 0;
    qxval& fresh = two.at(5);
    EXPECT_EQ(two.pushes, 1);
    EXPECT_EQ(two.count(), 3);
    EXPECT_TRUE(fresh.is(qxval_kind::integer));
    EXPECT_EQ(fresh.as_int(), 0);
    EXPECT_EQ(&fresh, &two.tail->value);
    two.at(-1);
    two.at(1000000);
    EXPECT_EQ(two.count(), 5);
    expect_well_linked(two);
}

TEST(QxArr, RemoveAt)
{
    qxarr list;
    fill(list, {"a", "b", "c", "d"});
    EXPECT_FALSE(list.remove_at(-1));
    EXPECT_FALSE(list.remove_at(4));
    EXPECT_TRUE(list.remove_at(3));
    EXPECT_TRUE(list.remove_at(0));
    EXPECT_TRUE(list.remove_at(1));
    EXPECT_EQ(texts(list), (std::vector<std::string>{"b"}));
    expect_well_linked(list);
}

TEST(QxArr, IterationBothWaysAndResetByChanges)
{
    qxarr list;
    fill(list, {"a", "b", "c"});
    EXPECT_EQ(qxarr().position, -1);
    std::string seen;
    qxval v;
    list.reset_iteration();
    while (list.next(v))
        seen += v.str();
    EXPECT_EQ(seen, "abc");
    EXPECT_EQ(list.count(), 3);  // next copies, it does not consume

    list.forward = false;
    list.reset_iteration();
    seen.clear();
    while (list.next(v))
        seen += v.str();
    EXPECT_EQ(seen, "cba");

    list.forward = true;
    list.reset_iteration();
    list.next(v);
    list.next(v);
    list.push_copy("d");  // any change starts the walk over
    EXPECT_EQ(list.position, 0);
    ASSERT_TRUE(list.next(v));
    EXPECT_EQ(v.view(), "a");

    // Shifting the node under the cursor must not leave it dangling.
    qxarr q;
    fill(q, {"x", "y"});
    q.reset_iteration();
    qxval out;
    q.shift(out);
    ASSERT_TRUE(q.next(v));
    EXPECT_EQ(v.view(), "y");
    EXPECT_FALSE(q.next(v));

    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.position, 0);
    EXPECT_FALSE(list.next(v));
}

TEST(QxArr, TakeOverMovesNodes)
{
    qxarr a, b;
    fill(a, {"old"});
    fill(b, {"x", "y"});
    const qxarrnode* first = b.head;
    a.take_over(b);
    EXPECT_EQ(a.head, first);
    EXPECT_EQ(texts(a), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(b.count(), 0);
    EXPECT_EQ(b.head, nullptr);
    EXPECT_EQ(b.tail, nullptr);
    EXPECT_EQ(a.cursor, nullptr);
    qxval v;
    EXPECT_FALSE(b.next(v));
}

TEST(QxArr, ShuffleKeepsEveryNodeOnce)
{
    std::srand(12345);
    qxarr list;
    for (int i = 0; i < 200; ++i)
        list.push_copy(i);
    std::vector<const qxarrnode*> before;
    for (const qxarrnode* n = list.head; n; n = n->next)
        before.push_back(n);
    list.shuffle();
    expect_well_linked(list);
    std::vector<int> seen(200, 0);
    bool moved = false;
    int pos = 0;
    for (const qxarrnode* n = list.head; n; n = n->next, ++pos) {
        int value = n->value.as_int();
        ASSERT_GE(value, 0);
        ASSERT_LT(value, 200);
        ++seen[value];
        EXPECT_EQ(n, before[value]);  // same nodes, no copies
        if (value != pos)
            moved = true;
    }
    for (int c : seen)
        EXPECT_EQ(c, 1);
    EXPECT_TRUE(moved);

    qxarr empty, one;
    empty.shuffle();
    EXPECT_EQ(empty.count(), 0);
    fill(one, {"solo"});
    one.shuffle();
    EXPECT_EQ(texts(one), (std::vector<std::string>{"solo"}));
}
