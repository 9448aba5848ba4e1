#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/qxcgi.h"
#include "core/qxhash.h"
#include "core/qxhash_array.h"

using namespace qvtf;

namespace {

std::vector<std::string> keys_in_order(qxhash& map)
{
    std::vector<std::string> out;
    qxval k, v;
    map.reset_iteration();
    while (map.next(k, v))
        out.push_back(k.str());
    return out;
}

std::string key_of(const qxhash_entry* n)
{
    return n ? n->key.str() : "-";
}

qxhash build(std::initializer_list<const char*> keys)
{
    qxhash map;
    for (const char* k : keys)
        map.set(k, k);
    return map;
}

// Chains n ascending keys to the right, the shape that inserting them in
// order produces, without the quadratic cost of inserting them one by one.
template <class Map, class Entry>
void chain_sorted(Map& map, int n)
{
    Entry** link = &map.root;
    char key[16];
    for (int i = 0; i < n; ++i) {
        std::snprintf(key, sizeof key, "k%07d", i);
        Entry* e = new Entry;
        e->key.set_string(key);
        *link = e;
        link = &e->right;
    }
    map.count_ = n;
}

}  // namespace

TEST(QxHash, SetGetFindAndKeysByTextForm)
{
    qxhash map;
    map.set(9, "nine");
    qxval out;
    ASSERT_TRUE(map.get("9", out));  // int 9 and "9" are one key
    EXPECT_EQ(out.view(), "nine");
    map.set("9", 99);
    EXPECT_EQ(map.count(), 1);
    ASSERT_TRUE(map.get(9, out));
    EXPECT_EQ(out.as_int(), 99);

    EXPECT_FALSE(map.get("missing", out));
    EXPECT_TRUE(out.is(qxval_kind::integer));
    EXPECT_EQ(out.as_int(), 0);
    EXPECT_EQ(map.find("missing"), nullptr);

    qxval* stored = map.find(9);
    ASSERT_NE(stored, nullptr);
    stored->set_string("changed");
    map.get(9, out);
    EXPECT_EQ(out.view(), "changed");

    // The stored value is a copy: later changes to the source do not leak in.
    qxval source("original");
    map.set("k", source);
    source.set_string("after");
    map.get("k", out);
    EXPECT_EQ(out.view(), "original");
    EXPECT_TRUE(map.root->key.is_string());
}

TEST(QxHash, IteratesInByteOrder)
{
    qxhash map;
    map.set("a", 1);
    map.set("9", 2);
    map.set("10", 3);
    map.set("", 4);
    map.set("\xc3\xa9", 5);
    EXPECT_EQ(keys_in_order(map), (std::vector<std::string>{"", "10", "9", "a", "\xc3\xa9"}));
    qxval k, v;
    EXPECT_FALSE(map.next(k, v));
    EXPECT_EQ(k.as_int(), 0);
}

TEST(QxHash, SnapshotSurvivesReplacementButNotNewOrRemovedKeys)
{
    qxhash map = build({"b", "a", "c"});
    qxval k, v;
    map.reset_iteration();
    ASSERT_TRUE(map.next(k, v));
    EXPECT_EQ(k.view(), "a");
    map.set("b", "replaced");
    EXPECT_EQ(map.count(), 3);
    ASSERT_TRUE(map.next(k, v));
    EXPECT_EQ(k.view(), "b");
    EXPECT_EQ(v.view(), "replaced");

    map.set("d", "new");
    EXPECT_EQ(map.count(), 4);
    EXPECT_FALSE(map.next(k, v));

    map.reset_iteration();
    ASSERT_TRUE(map.next(k, v));
    map.remove("c");  // its node must not be handed out later
    EXPECT_FALSE(map.next(k, v));

    map.remove("nothing");
    EXPECT_EQ(map.count(), 3);
    map.clear();
    EXPECT_EQ(map.count(), 0);
    EXPECT_EQ(map.root, nullptr);
    map.reset_iteration();
    EXPECT_FALSE(map.next(k, v));
}

TEST(QxHash, DeletionCases)
{
    // 1: no right child, the left child takes the place.
    qxhash one = build({"m", "f", "c"});
    one.remove("f");
    EXPECT_EQ(key_of(one.root->left), "c");

    // 2: right child only.
    qxhash two = build({"m", "f", "h"});
    two.remove("f");
    EXPECT_EQ(key_of(two.root->left), "h");

    // 3: both children, the right child has no left: it inherits the left subtree.
    qxhash three = build({"m", "f", "c", "h", "k"});
    three.remove("f");
    EXPECT_EQ(key_of(three.root->left), "h");
    EXPECT_EQ(key_of(three.root->left->left), "c");
    EXPECT_EQ(key_of(three.root->left->right), "k");

    // 4: the leftmost node of the right subtree is promoted; its right subtree
    // moves up into its parent's left pointer.
    qxhash four = build({"f", "c", "p", "k", "t", "h", "j"});
    four.remove("f");
    ASSERT_NE(four.root, nullptr);
    EXPECT_EQ(key_of(four.root), "h");
    EXPECT_EQ(key_of(four.root->left), "c");
    EXPECT_EQ(key_of(four.root->right), "p");
    EXPECT_EQ(key_of(four.root->right->left), "k");
    EXPECT_EQ(key_of(four.root->right->left->left), "j");
    EXPECT_EQ(four.count(), 6);
    EXPECT_EQ(keys_in_order(four), (std::vector<std::string>{"c", "h", "j", "k", "p", "t"}));

    // Removing the root of a single-node tree empties it.
    qxhash solo = build({"x"});
    solo.remove("x");
    EXPECT_EQ(solo.root, nullptr);
    EXPECT_EQ(solo.count(), 0);
}

TEST(QxHash, DeletionKeepsEveryOtherKey)
{
    const char* keys[] = {"50", "30", "70", "20", "40", "60", "80", "35", "45", "65", "75", "85", "33"};
    qxhash map;
    for (const char* k : keys)
        map.set(k, k);
    for (const char* gone : {"30", "70", "50", "33"}) {
        map.remove(gone);
        qxval out;
        EXPECT_FALSE(map.get(gone, out));
        for (const char* k : keys) {
            if (map.find(k)) {
                EXPECT_EQ(map.find(k)->view(), k);
            }
        }
        EXPECT_EQ(map.recount(), map.count());
    }
    EXPECT_EQ(map.count(), 9);
}

TEST(QxHash, CopyIsDeepAndKeepsShape)
{
    qxhash map = build({"m", "f", "t"});
    qxhash copy(map);
    EXPECT_EQ(copy.count(), 3);
    EXPECT_NE(copy.root, map.root);
    EXPECT_EQ(key_of(copy.root->left), "f");
    copy.find("m")->set_string("changed");
    EXPECT_EQ(map.find("m")->view(), "m");
    qxhash moved(std::move(copy));
    EXPECT_EQ(moved.count(), 3);
    EXPECT_EQ(copy.root, nullptr);
}

// Sorted keys give a tree as deep as it is large; walking, copying, removing
// and freeing it must not recurse.
TEST(QxHash, DegenerateTreeOfSortedKeys)
{
    const int n = 100000;
    auto map = std::make_unique<qxhash>();
    chain_sorted<qxhash, qxhash_entry>(*map, n);
    EXPECT_EQ(map->depth(), n);
    EXPECT_EQ(map->recount(), n);
    map->reset_iteration();
    qxval k, v;
    int seen = 0;
    while (map->next(k, v))
        ++seen;
    EXPECT_EQ(seen, n);
    ASSERT_NE(map->find("k0099999"), nullptr);
    map->remove("k0000000");
    map->remove("k0099999");
    EXPECT_EQ(map->recount(), n - 2);
    qxhash copy(*map);
    EXPECT_EQ(copy.count(), n - 2);
    map.reset();  // frees a 100,000-deep chain
    copy.clear();
    EXPECT_EQ(copy.count(), 0);

    // A left-leaning chain too: insertion in descending order, a shorter one.
    qxhash down;
    for (int i = 3000; i > 0; --i)
        down.set(i + 100000, i);
    EXPECT_EQ(down.depth(), 3000);
    EXPECT_EQ(down.recount(), 3000);

    qxhash_array lists;
    chain_sorted<qxhash_array, qxhash_arrays_entry>(lists, n);
    EXPECT_EQ(lists.count_nodes(), n);
}

TEST(QxHashArray, ListsPerKey)
{
    qxhash_array map;
    map.add_value("a", 1);
    map.add_value("a", "two");
    map.add_value("b", 3);
    qxarr* a = map.get_list("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->count(), 2);
    EXPECT_EQ(a->at(1).view(), "two");
    EXPECT_EQ(map.get_list("c"), nullptr);
    EXPECT_EQ(map.count(), 2);

    qxval first;
    ASSERT_TRUE(map.first_value("a", first));
    EXPECT_EQ(first.as_int(), 1);
    EXPECT_FALSE(map.first_value("c", first));
    EXPECT_TRUE(first.is_string());
    EXPECT_EQ(first.view(), "");

    map.set_value("a", "only");
    EXPECT_EQ(map.get_list("a"), a);
    EXPECT_EQ(a->count(), 1);
    EXPECT_EQ(a->at(0).view(), "only");

    // Inserting a present key replaces (and frees) the old list.
    auto fresh = std::make_unique<qxarr>();
    fresh->push_copy("x");
    qxarr* raw = fresh.get();
    map.insert_list("b", std::move(fresh));
    EXPECT_EQ(map.get_list("b"), raw);
    EXPECT_EQ(map.count(), 2);

    std::string walk;
    qxval key;
    qxarr* list = nullptr;
    map.reset_iteration();
    while (map.next(key, list))
        walk += key.str() + std::to_string(list->count());
    EXPECT_EQ(walk, "a1b1");
    EXPECT_EQ(list, nullptr);

    map.remove("a");
    EXPECT_EQ(map.get_list("a"), nullptr);
    EXPECT_EQ(map.count(), 1);

    qxcgi cgi;
    cgi.add_value("k", "v");
    EXPECT_TRUE(cgi.last_error.is_string());
    EXPECT_EQ(cgi.last_error.view(), "");
}
