// The intrusive tree template: linking, unlinking, traversal, sorting, freeing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/qxe_tree.h"

namespace qvtf {
namespace {

struct tnode : qxe_links<tnode> {
    int key = 0;
    int tag = 0;
    explicit tnode(int k = 0, int t = 0) : key(k), tag(t) { ++alive; }
    ~tnode() { --alive; }
    static inline int alive = 0;
};

class keyed_tree : public qxe_tree<tnode> {
public:
    int compare_nodes(const tnode* a, const tnode* b) const override
    {
        ++compares;
        return (a->key > b->key) - (a->key < b->key);
    }
    mutable long compares = 0;
};

// Checks every structural invariant of one chain, and returns its tags.
std::vector<int> chain_tags(const tnode* head, const tnode* parent)
{
    std::vector<int> tags;
    const tnode* prev = nullptr;
    for (const tnode* n = head; n; n = n->next) {
        EXPECT_EQ(n->prev, prev);
        EXPECT_EQ(n->parent, parent);
        tags.push_back(n->tag);
        prev = n;
    }
    return tags;
}

class QxeTree : public ::testing::Test {
protected:
    void TearDown() override
    {
        tree.clear();
        EXPECT_EQ(tnode::alive, 0);
    }
    keyed_tree tree;
};

TEST_F(QxeTree, TopLevelChainAndRootUnlink)
{
    auto* a = new tnode(0, 1);
    a->next = a;  // stale links must be cleared by append_top
    a->prev = a;
    tree.append_top(a);
    EXPECT_EQ(tree.root, a);
    EXPECT_EQ(a->next, nullptr);
    auto* b = new tnode(0, 2);
    auto* c = new tnode(0, 3);
    tree.append_top(b);
    tree.append_sibling(c, b);
    EXPECT_EQ(chain_tags(tree.root, nullptr), (std::vector<int>{1, 2, 3}));

    tree.unlink(a);
    EXPECT_EQ(tree.root, b);
    EXPECT_EQ(a->next, nullptr);
    EXPECT_EQ(chain_tags(tree.root, nullptr), (std::vector<int>{2, 3}));
    delete a;

    tree.remove(c);
    EXPECT_EQ(chain_tags(tree.root, nullptr), (std::vector<int>{2}));
    tree.clear();
    EXPECT_EQ(tree.root, nullptr);
}

TEST_F(QxeTree, ChildLinkingKeepsChainsConsistent)
{
    auto* top = new tnode(0, 100);
    tree.append_top(top);
    auto* c2 = new tnode(0, 2);
    tree.append_child(c2, top);
    auto* c4 = new tnode(0, 4);
    tree.append_child(c4, top);
    auto* c1 = new tnode(0, 1);
    tree.prepend_child(c1, top);
    auto* c3 = new tnode(0, 3);
    tree.insert_after(c3, c2);
    auto* c5 = new tnode(0, 5);
    tree.insert_after(c5, c4);
    EXPECT_EQ(chain_tags(top->first_child, top), (std::vector<int>{1, 2, 3, 4, 5}));

    // Unlinking the first child moves first_child; the unlinked node keeps its children.
    auto* g = new tnode(0, 9);
    tree.append_child(g, c1);
    tree.unlink(c1);
    EXPECT_EQ(top->first_child, c2);
    EXPECT_EQ(c1->parent, nullptr);
    EXPECT_EQ(c1->first_child, g);
    tree.append_sibling(c1, c5);  // re-home it at the end
    EXPECT_EQ(chain_tags(top->first_child, top), (std::vector<int>{2, 3, 4, 5, 1}));

    tree.unlink(c4);  // middle
    delete c4;
    EXPECT_EQ(chain_tags(top->first_child, top), (std::vector<int>{2, 3, 5, 1}));
    tree.clear_children(top);
    EXPECT_EQ(top->first_child, nullptr);
    EXPECT_EQ(tnode::alive, 1);
}

TEST_F(QxeTree, PreorderVisitsEveryNodeOnce)
{
    //  1 ( 2 ( 3 ) 4 ) 5 ( 6 ( 7 ( 8 ) ) )
    auto* n1 = new tnode(0, 1);
    tree.append_top(n1);
    auto* n2 = new tnode(0, 2);
    tree.append_child(n2, n1);
    tree.append_child(new tnode(0, 3), n2);
    tree.append_child(new tnode(0, 4), n1);
    auto* n5 = new tnode(0, 5);
    tree.append_top(n5);
    auto* n6 = new tnode(0, 6);
    tree.append_child(n6, n5);
    auto* n7 = new tnode(0, 7);
    tree.append_child(n7, n6);
    tree.append_child(new tnode(0, 8), n7);
    std::vector<int> seen;
    for (tnode* n = tree.root; n; n = keyed_tree::next_preorder(n))
        seen.push_back(n->tag);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(keyed_tree::next_preorder(nullptr), nullptr);
}

TEST_F(QxeTree, SortIsStableAndUpdatesHead)
{
    auto* top = new tnode(0, 0);
    tree.append_top(top);
    const int keys[] = {3, 1, 2, 1, 3, 0, 2, 1};
    int tag = 0;
    for (int k : keys)
        tree.append_child(new tnode(k, ++tag), top);
    tree.sort_siblings(top->first_child);
    std::vector<int> got;
    for (tnode* n = top->first_child; n; n = n->next)
        got.push_back(n->key * 10 + n->tag);
    // Equal keys keep listing order (tags ascending within a key).
    EXPECT_EQ(got, (std::vector<int>{6, 12, 14, 18, 23, 27, 31, 35}));
    chain_tags(top->first_child, top);

    tree.reverse_siblings(top->first_child);
    EXPECT_EQ(chain_tags(top->first_child, top), (std::vector<int>{5, 1, 7, 3, 8, 4, 2, 6}));
}

TEST_F(QxeTree, SortTopLevelChainMovesRoot)
{
    for (int k : {5, 4, 3})
        tree.append_top(new tnode(k, k));
    tree.sort_siblings(tree.root);
    EXPECT_EQ(chain_tags(tree.root, nullptr), (std::vector<int>{3, 4, 5}));
    tree.reverse_siblings(tree.root);
    EXPECT_EQ(chain_tags(tree.root, nullptr), (std::vector<int>{5, 4, 3}));
}

TEST_F(QxeTree, BaseComparisonLeavesOrderAlone)
{
    qxe_tree<tnode> plain;
    for (int k : {5, 1, 4, 2})
        plain.append_top(new tnode(k, k));
    plain.sort_siblings(plain.root);
    EXPECT_EQ(chain_tags(plain.root, nullptr), (std::vector<int>{5, 1, 4, 2}));
    plain.clear();
}

TEST_F(QxeTree, SortingALongReversedListingStaysFast)
{
    auto* top = new tnode(0, 0);
    tree.append_top(top);
    const int n = 200000;
    tnode* last = nullptr;
    for (int i = n; i > 0; --i) {
        auto* e = new tnode(i, i);
        if (last)
            tree.insert_after(e, last);
        else
            tree.append_child(e, top);
        last = e;
    }
    tree.sort_siblings(top->first_child);
    int expect = 1;
    bool ordered = true;
    for (tnode* e = top->first_child; e; e = e->next)
        ordered = ordered && e->key == expect++;
    EXPECT_TRUE(ordered);
    EXPECT_EQ(expect, n + 1);
    EXPECT_LT(tree.compares, 40L * n);  // n log n, not n^2
}

TEST_F(QxeTree, FreesWideAndDeepTreesWithoutRecursion)
{
    auto* wide = new tnode;
    tree.append_top(wide);
    tnode* last = nullptr;
    for (int i = 0; i < 200000; ++i) {
        auto* e = new tnode;
        if (last)
            tree.insert_after(e, last);
        else
            tree.append_child(e, wide);
        last = e;
    }
    tnode* deep = new tnode;
    tree.append_top(deep);
    for (int i = 0; i < 100000; ++i) {
        auto* e = new tnode;
        tree.append_child(e, deep);
        deep = e;
    }
    EXPECT_EQ(tnode::alive, 300002);
    tree.clear();
    EXPECT_EQ(tnode::alive, 0);
    EXPECT_EQ(tree.root, nullptr);
}

TEST_F(QxeTree, RemovingASubtreeLeavesItsSiblings)
{
    auto* top = new tnode(0, 0);
    tree.append_top(top);
    auto* a = new tnode(0, 1);
    auto* b = new tnode(0, 2);
    auto* c = new tnode(0, 3);
    tree.append_child(a, top);
    tree.append_child(b, top);
    tree.append_child(c, top);
    for (int i = 0; i < 10; ++i)
        tree.append_child(new tnode(0, 50 + i), b);
    tree.remove(b);
    EXPECT_EQ(chain_tags(top->first_child, top), (std::vector<int>{1, 3}));
    EXPECT_EQ(tnode::alive, 3);
}

}  // namespace
}  // namespace qvtf
