// File tree: sort order by key, extension rule, link resolution.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/qxfile_tree.h"

namespace qvtf {
namespace {

qxfile_node* make(const char* name, bool folder = false, std::uint64_t size = 0, int modified = 0)
{
    auto* n = new qxfile_node;
    n->name.set_string(name);
    n->set_extension_from_name();
    n->is_folder = folder ? 1 : 0;
    n->set_size(size);
    n->modified = modified;
    return n;
}

std::vector<std::string> names(const qxfile_node* head)
{
    std::vector<std::string> out;
    for (const qxfile_node* n = head; n; n = n->next)
        out.push_back(n->name.str());
    return out;
}

TEST(QxfileNode, FreshNodeAndExtensionRule)
{
    qxfile_node n;
    EXPECT_TRUE(n.name.is_string());
    EXPECT_EQ(n.name.view(), "");
    EXPECT_EQ(n.needs_listing, 1u);
    EXPECT_EQ(n.size(), 0u);
    EXPECT_EQ(n.link_node, nullptr);

    const std::pair<const char*, const char*> cases[] = {
        {"README", ""},
        {".profile", ".profile"},
        {"Archive.TAR.GZ", ".gz"},
        {"trailing.", "."},
        {"\xc3\x89T\xc3\x89.HTML", ".html"},  // bytes above 127 pass through untouched
        {"b\xc3\x89.\xc3\x89X", ".\xc3\x89x"},
    };
    for (auto [name, ext] : cases) {
        n.name.set_string(name);
        n.set_extension_from_name();
        EXPECT_EQ(n.extension.view(), ext) << name;
    }
    n.set_size(5000000000ull);
    EXPECT_EQ(n.size(), 5000000000ull);
}

class QxfileTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        top = make("", true);
        tree.append_top(top);
    }
    void add(qxfile_node* n) { tree.append_child(n, top); }
    std::vector<std::string> sorted(int key)
    {
        tree.sort_key = key;
        tree.sort_siblings(top->first_child);
        return names(top->first_child);
    }
    qxfile_tree tree;
    qxfile_node* top = nullptr;
};

TEST_F(QxfileTree, FoldersFirstWhateverTheKey)
{
    add(make("b.txt", false, 10, 5));
    add(make("zdir", true, 0, 1));
    add(make("a.TXT", false, 30, 3));
    add(make("Adir", true, 0, 9));
    add(make("c", false, 20, 4));
    EXPECT_EQ(sorted(-1), (std::vector<std::string>{"zdir", "Adir", "b.txt", "a.TXT", "c"}));
    EXPECT_EQ(sorted(0), (std::vector<std::string>{"Adir", "zdir", "a.TXT", "b.txt", "c"}));
    EXPECT_EQ(sorted(2), (std::vector<std::string>{"Adir", "zdir", "b.txt", "c", "a.TXT"}));
    EXPECT_EQ(sorted(3), (std::vector<std::string>{"zdir", "Adir", "a.TXT", "c", "b.txt"}));
    // Stable: equal extensions keep the order they had after the previous sort.
    EXPECT_EQ(sorted(1), (std::vector<std::string>{"zdir", "Adir", "c", "a.TXT", "b.txt"}));
    EXPECT_EQ(sorted(99), (std::vector<std::string>{"zdir", "Adir", "c", "a.TXT", "b.txt"}));
}

TEST_F(QxfileTree, NameKeysCaseAndPrefix)
{
    add(make("beta"));
    add(make("Alpha"));
    add(make("alp"));
    add(make("ALPHA"));
    EXPECT_EQ(sorted(0), (std::vector<std::string>{"ALPHA", "Alpha", "alp", "beta"}));
    EXPECT_EQ(sorted(4), (std::vector<std::string>{"alp", "ALPHA", "Alpha", "beta"}));
    tree.reverse_siblings(top->first_child);
    EXPECT_EQ(names(top->first_child), (std::vector<std::string>{"beta", "Alpha", "ALPHA", "alp"}));
}

// Numbers inside names by value, in either name key; the rest as before.
TEST_F(QxfileTree, NamesInNaturalOrder)
{
    const struct {
        int key;
        std::vector<std::string> given, sorted;
    } rows[] = {
        {SORT_NAME, {"note10", "note2", "note1"}, {"note1", "note2", "note10"}},
        {SORT_NAME_NOCASE, {"Note10", "note9", "NOTE100"}, {"note9", "Note10", "NOTE100"}},
        {SORT_NAME, {"v1.10.2", "v1.9.12", "v1.9.2"}, {"v1.9.2", "v1.9.12", "v1.10.2"}},
        {SORT_NAME, {"a10", "a010", "a9"}, {"a9", "a10", "a010"}},  // leading zeros break the tie
        {SORT_NAME, {"a1.txt", "a.txt", "ab", "a"}, {"a", "a.txt", "a1.txt", "ab"}},
        {SORT_NAME,
         {"x99999999999999999999", "x100000000000000000000"},
         {"x99999999999999999999", "x100000000000000000000"}},  // wider than 64 bits
    };
    for (const auto& r : rows) {
        tree.clear_children(top);
        for (const std::string& name : r.given)
            add(make(name.c_str()));
        EXPECT_EQ(sorted(r.key), r.sorted) << r.given.front();
    }
}

TEST_F(QxfileTree, SizeComparesAllSixtyFourBits)
{
    add(make("five", false, 5000000000ull));
    add(make("four", false, 4000000000ull));
    add(make("small", false, 4294967295ull));
    EXPECT_EQ(sorted(2), (std::vector<std::string>{"four", "small", "five"}));
}

TEST_F(QxfileTree, ModifiedFarApartDoesNotOverflow)
{
    add(make("late", false, 0, 2000000000));
    add(make("early", false, 0, -2000000000));
    EXPECT_EQ(sorted(3), (std::vector<std::string>{"early", "late"}));
}

TEST_F(QxfileTree, ExtensionKeyCaseInsensitive)
{
    qxfile_node* a = make("x.Txt");
    a->extension.set_string(".Txt");  // as a local lister might leave it
    add(make("y.htm"));
    add(a);
    add(make("z.txt"));
    EXPECT_EQ(sorted(1), (std::vector<std::string>{"x.Txt", "y.htm", "z.txt"}));
    EXPECT_EQ(sorted(5), (std::vector<std::string>{"y.htm", "x.Txt", "z.txt"}));
}

class QxfileLinks : public ::testing::Test {
protected:
    // /            (top, folder)
    //   a          (file)
    //   docs/      guide.html, sub/ (deep.txt)
    //   www -> ...
    void SetUp() override
    {
        top = make("/", true);
        tree.append_top(top);
        a = make("a");
        tree.append_child(a, top);
        docs = make("docs", true);
        tree.append_child(docs, top);
        guide = make("guide.html");
        tree.append_child(guide, docs);
        sub = make("sub", true);
        tree.append_child(sub, docs);
        deep = make("deep.txt");
        tree.append_child(deep, sub);
    }
    qxfile_node* link(const char* name, const char* target, qxfile_node* parent)
    {
        qxfile_node* l = make(name);
        l->attributes = ATTR_LINK | 0777;
        l->link_target.set_string(target);
        tree.append_child(l, parent);
        return l;
    }
    qxfile_tree tree;
    qxfile_node *top, *a, *docs, *guide, *sub, *deep;
};

TEST_F(QxfileLinks, RelativeAndAbsoluteTargets)
{
    qxfile_node* l1 = link("l1", "docs", top);
    EXPECT_EQ(tree.resolve_link(l1), docs);
    EXPECT_EQ(l1->link_node, docs);
    EXPECT_EQ(l1->is_folder, 1);

    qxfile_node* l2 = link("l2", "../../docs/./sub//deep.txt", sub);
    EXPECT_EQ(tree.resolve_link(l2), deep);
    EXPECT_EQ(l2->is_folder, 0);

    qxfile_node* l3 = link("l3", "/docs/sub/", sub);
    EXPECT_EQ(tree.resolve_link(l3), sub);

    // A file stops the walk and is the result, even with components left.
    qxfile_node* l4 = link("l4", "/a/b", docs);
    EXPECT_EQ(tree.resolve_link(l4), a);
}

TEST_F(QxfileLinks, UnresolvableTargets)
{
    EXPECT_EQ(tree.resolve_link(link("empty", "", top)), nullptr);
    EXPECT_EQ(tree.resolve_link(link("missing", "docs/none", top)), nullptr);
    EXPECT_EQ(tree.resolve_link(link("case", "DOCS", top)), nullptr);
    EXPECT_EQ(tree.resolve_link(link("above", "../x", top)), nullptr);
    qxfile_node* toplink = make("t");
    toplink->attributes = ATTR_LINK;
    toplink->link_target.set_string("../docs");
    tree.append_top(toplink);
    EXPECT_EQ(tree.resolve_link(toplink), nullptr);
}

TEST_F(QxfileLinks, ChainsFollowedAndCyclesBounded)
{
    qxfile_node* inner = link("inner", "sub", docs);
    qxfile_node* outer = link("outer", "docs/inner", top);
    EXPECT_EQ(tree.resolve_link(outer), inner);
    EXPECT_EQ(inner->link_node, sub);
    EXPECT_EQ(outer->is_folder, 1);  // taken from the end of the chain

    qxfile_node* p = link("p", "q", top);
    link("q", "p", top);
    EXPECT_EQ(tree.resolve_link(p), nullptr);
    EXPECT_EQ(p->link_node, nullptr);

    qxfile_node* self = link("self", "self", top);
    EXPECT_EQ(tree.resolve_link(self), nullptr);

    // Ten links in a row still resolve; an eleventh goes past the limit.
    qxfile_node* prev = guide;
    for (int i = 0; i < 10; ++i) {
        std::string name = "c" + std::to_string(i);
        qxfile_node* l = link(name.c_str(), prev == guide ? "guide.html" : prev->name.c_str(), docs);
        prev = l;
    }
    EXPECT_EQ(tree.resolve_link(prev), prev->prev);
    EXPECT_EQ(prev->is_folder, 0);
    qxfile_node* eleventh = link("c10", prev->name.c_str(), docs);
    EXPECT_EQ(tree.resolve_link(eleventh), nullptr);
}

}  // namespace
}  // namespace qvtf
