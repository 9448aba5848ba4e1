// Files in and out: reading with progress and errors, paths, maps, and
// round trips of settings-like and profile-like documents.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_xml_util.h"

namespace qvtf {
namespace {

namespace fs = std::filesystem;

class XmlFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("qvtf_xml_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    qxval write(const std::string& name, const std::string& bytes)
    {
        fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return qxval(p.string());
    }
    static std::string contents(const qxval& path)
    {
        std::ifstream in(path.str(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
};

// A settings file: one element per key at the top level, then a block.
const char settings_file[] =
    "<max_download_threads>4</max_download_threads>\r\n"
    "<retry_count>3</retry_count>\r\n"
    "<default_local_dir>/home/u/sites &amp; more</default_local_dir>\r\n"
    "<passive>1</passive>\r\n"
    "<empty></empty>\r\n"
    "<ascii_masks>*.htm</ascii_masks>\r\n"
    "<ascii_masks>*.txt</ascii_masks>\r\n"
    "<proxies>\r\n"
    "  <proxy>\r\n"
    "    <label>Office &lt;main&gt;</label>\r\n"
    "    <host>fw.example</host>\r\n"
    "  </proxy>\r\n"
    "</proxies>\r\n";

// A profile tree: nested elements whose fields are attributes.
const char profile_file[] =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
    "<sites>\n"
    "\t<group label=\"Work &amp; play\">\n"
    "\t\t<site label=\"Caf&#233; &quot;Mond&quot;\" host=\"ftp.example.com\" host_port=\"21\""
    " user_name=\"o'brien\" anonymous_login=\"0\" save_password=\"1\" password=\"QUJD+/==\""
    " directory=\"/www/a&lt;b&gt;\" custom_commands=\"SITE UMASK 022&#13;\nSITE IDLE 60\">\n"
    "\t\t\t<bookmark label=\"logs\" directory=\"/var/log\" local_dir=\"\" />\n"
    "\t\t</site>\n"
    "\t</group>\n"
    "\t<site label=\"\xc3\xa9t\xc3\xa9\" host=\"10.0.0.1\" host_port=\"2121\" user_name=\"\""
    " anonymous_login=\"1\" save_password=\"0\" time_difference_set=\"4\"></site>\n"
    "</sites>\n";

TEST_F(XmlFiles, ReadsAFileWithProgress)
{
    std::string doc = "<r>\n";
    while (doc.size() < 40000)
        doc += "  <k n=\"" + std::to_string(doc.size()) + "\">value</k>\n";
    doc += "</r>\n";
    qxval path = write("big.xml", doc);
    std::vector<int32_t> seen;
    xml_tree tree;
    qxval error("");
    auto progress = [](void* arg, int32_t percent) { static_cast<std::vector<int32_t>*>(arg)->push_back(percent); };
    ASSERT_EQ(xml_read_file(path, tree, error, progress, &seen), 0) << error.str();
    int64_t size = static_cast<int64_t>(doc.size());
    std::vector<int32_t> want;
    for (int64_t done = 16384; done < size; done += 16384)
        want.push_back(static_cast<int32_t>(done * 100 / size));
    want.push_back(100);  // the last chunk
    want.push_back(100);  // completion
    EXPECT_EQ(seen, want);
    EXPECT_EQ(test::written(tree), doc);
}

TEST_F(XmlFiles, ReportsFilesThatCannotBeReadOrParsed)
{
    xml_tree tree;
    qxval error("");
    qxval missing((dir_ / "none.xml").string());
    EXPECT_EQ(xml_read_file(missing, tree, error), 1);
    EXPECT_EQ(error.str(), "Can't open source file: " + missing.str());

    qxcgi map;
    EXPECT_FALSE(xml_read_map(missing, map));
    EXPECT_EQ(map.last_error.str(), "Can't open file " + missing.str());

    qxval bad = write("bad.xml", "<a>\n  <b>x</a>\n");
    int calls = 0;
    auto count = [](void* arg, int32_t) { ++*static_cast<int*>(arg); };
    EXPECT_EQ(xml_read_file(bad, tree, error, count, &calls), 2);
    EXPECT_EQ(error.str(), "Line: 2, column: 10\r\nError: misplaced end tag.\r\n");
    EXPECT_EQ(calls, 0);            // the only chunk failed; no 100 either
    EXPECT_NE(tree.root, nullptr);  // what was built stays for the caller

    EXPECT_FALSE(xml_read_map(bad, map));
    EXPECT_EQ(map.last_error.str(), error.str());
    EXPECT_EQ(map.get_list("a"), nullptr);

    xml_tree t2;
    EXPECT_EQ(xml_read_file(write("open.xml", "<a><b/>"), t2, error), 2);
    EXPECT_EQ(error.str(), "Line: 1, column: 7\r\nError: unclosed tag.\r\n");
}

TEST_F(XmlFiles, FindsElementsByPath)
{
    xml_tree tree;
    qxval error("");
    ASSERT_EQ(xml_read_file(write("s.xml", settings_file), tree, error), 0) << error.str();
    qxval out;
    EXPECT_EQ(xml_get_text(tree, "retry_count", nullptr, out), 0);
    EXPECT_EQ(out.str(), "3");
    EXPECT_EQ(xml_get_text(tree, "/default_local_dir", nullptr, out), 0);
    EXPECT_EQ(out.str(), "/home/u/sites & more");
    // The first of repeated elements; an empty element has no text.
    EXPECT_EQ(xml_get_text(tree, "ascii_masks", nullptr, out), 0);
    EXPECT_EQ(out.str(), "*.htm");
    EXPECT_EQ(xml_get_text(tree, "empty", nullptr, out), 0);
    EXPECT_EQ(out.str(), "");
    // Doubled and trailing slashes are skipped.
    EXPECT_EQ(xml_get_text(tree, "//proxies//proxy/label/", nullptr, out), 0);
    EXPECT_EQ(out.str(), "Office <main>");
    // A container's first child is the whitespace before its first element.
    EXPECT_EQ(xml_get_text(tree, "proxies", nullptr, out), 0);
    EXPECT_EQ(out.str(), "\n  ");
    out.set_string("stale");
    EXPECT_EQ(xml_get_text(tree, "proxies/label", nullptr, out), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(xml_get_text(tree, "Retry_count", nullptr, out), 1);

    xml_node* proxy = xml_find(tree, "proxies/proxy", nullptr);
    ASSERT_NE(proxy, nullptr);
    EXPECT_EQ(xml_get_text(tree, "host", proxy, out), 0);
    EXPECT_EQ(out.str(), "fw.example");
    // Relative paths search the start node's children, absolute ones the top.
    EXPECT_EQ(xml_find(tree, "retry_count", proxy), nullptr);
    EXPECT_EQ(xml_find(tree, "/retry_count", proxy), tree.root->next->next);
    EXPECT_EQ(xml_find(tree, "", nullptr), nullptr);
    EXPECT_EQ(xml_find(tree, "nothing/here", nullptr), nullptr);

    // Text nodes never match a name, even one that looks like theirs.
    xml_tree t;
    xml_node* text = new xml_node;
    text->kind = xml_kind_text;
    text->name.set_string("a");
    t.append_top(text);
    EXPECT_EQ(xml_find(t, "a", nullptr), nullptr);
}

TEST_F(XmlFiles, FlattensIntoAMap)
{
    qxcgi map;
    ASSERT_TRUE(xml_read_map(write("s.xml", settings_file), map)) << map.last_error.str();
    qxval v;
    EXPECT_TRUE(map.first_value("max_download_threads", v));
    EXPECT_EQ(v.str(), "4");
    ASSERT_NE(map.get_list("ascii_masks"), nullptr);
    EXPECT_EQ(map.get_list("ascii_masks")->count(), 2);
    EXPECT_EQ(map.get_list("ascii_masks")->at(1).str(), "*.txt");
    EXPECT_TRUE(map.first_value("empty", v));
    EXPECT_EQ(v.str(), "");
    EXPECT_TRUE(map.first_value("label", v));
    EXPECT_EQ(v.str(), "Office <main>");
    // Containers collect the whitespace their first child holds.
    EXPECT_TRUE(map.first_value("proxy", v));
    EXPECT_EQ(v.str(), "\n    ");

    xml_tree tree;
    qxval error("");
    ASSERT_EQ(xml_read_file(write("p.xml", profile_file), tree, error), 0) << error.str();
    qxhash_array m;
    xml_to_map(tree, m);
    ASSERT_NE(m.get_list("bookmark"), nullptr);
    EXPECT_EQ(m.get_list("bookmark")->at(0).str(), "");
    ASSERT_NE(m.get_list("site"), nullptr);
    EXPECT_EQ(m.get_list("site")->count(), 2);
}

// The same shape, names, decoded texts, attributes and closed marks.
void expect_same_tree(const xml_tree& a, const xml_tree& b)
{
    const xml_node* x = a.root;
    const xml_node* y = b.root;
    while (x && y) {
        ASSERT_EQ(x->kind, y->kind) << test::dump(a);
        EXPECT_EQ(x->name.str(), y->name.str());
        EXPECT_EQ(x->text.str(), y->text.str());
        EXPECT_EQ(x->closed, y->closed);
        EXPECT_EQ(test::dump_chain(x->first_child), test::dump_chain(y->first_child));
        std::vector<std::string> ax, ay;
        x->attributes.for_each([&](const qxhash_entry& e) { ax.push_back(e.key.str() + "=" + e.value.str()); });
        y->attributes.for_each([&](const qxhash_entry& e) { ay.push_back(e.key.str() + "=" + e.value.str()); });
        EXPECT_EQ(ax, ay);
        x = xml_tree::next_preorder(const_cast<xml_node*>(x));
        y = xml_tree::next_preorder(const_cast<xml_node*>(y));
    }
    EXPECT_EQ(x, nullptr);
    EXPECT_EQ(y, nullptr);
}

TEST_F(XmlFiles, RoundTripsRealisticFiles)
{
    for (const char* doc : {settings_file, profile_file}) {
        xml_tree first, second, third;
        qxval error("");
        ASSERT_EQ(xml_read_file(write("in.xml", doc), first, error), 0) << error.str();
        qxval out((dir_ / "out.xml").string());
        ASSERT_TRUE(xml_write_file(out, first));
        ASSERT_EQ(xml_read_file(out, second, error), 0) << error.str();
        expect_same_tree(first, second);
        ASSERT_TRUE(xml_write_file(out, second));
        std::string once = contents(out);
        ASSERT_EQ(xml_read_file(out, third, error), 0) << error.str();
        EXPECT_EQ(test::written(third), once);
    }
}

TEST_F(XmlFiles, WritesTagsWithSortedEscapedAttributes)
{
    xml_tree tree;
    qxval error("");
    ASSERT_EQ(xml_read_file(write("p.xml", profile_file), tree, error), 0) << error.str();
    xml_node* site = xml_find(tree, "/sites/group/site", nullptr);
    ASSERT_NE(site, nullptr);
    qxval v;
    ASSERT_TRUE(site->attributes.get("label", v));
    EXPECT_EQ(v.str(), "Caf\xe9 \"Mond\"");
    ASSERT_TRUE(site->attributes.get("custom_commands", v));
    EXPECT_EQ(v.str(), "SITE UMASK 022\r\nSITE IDLE 60");
    std::string text = test::written(tree);
    EXPECT_NE(text.find("<site anonymous_login=\"0\" custom_commands=\"SITE UMASK 022&#13;\nSITE IDLE 60\""
                        " directory=\"/www/a&lt;b&gt;\" host=\"ftp.example.com\" host_port=\"21\""
                        " label=\"Caf&#233; &quot;Mond&quot;\" password=\"QUJD+/==\""
                        " save_password=\"1\" user_name=\"o'brien\">"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("<bookmark directory=\"/var/log\" label=\"logs\" local_dir=\"\" />"), std::string::npos);
    // <site ...></site> became an empty element; UTF-8 bytes are references.
    EXPECT_NE(text.find("label=\"&#195;&#169;t&#195;&#169;\" save_password=\"0\" "
                        "time_difference_set=\"4\" user_name=\"\" />\n</sites>\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<sites>\n\t<group", 0), 0u);
}

TEST_F(XmlFiles, CodeMadeNodes)
{
    // A node made by code counts as text for lookups but is not written.
    xml_tree tree;
    xml_node* a = new xml_node;
    a->kind = xml_kind_start_tag;
    a->name.set_string("a");
    tree.append_top(a);
    xml_node* t = new xml_node;
    t->text.set_string("made");
    tree.append_child(t, a);
    qxval out;
    EXPECT_EQ(xml_get_text(tree, "a", nullptr, out), 0);
    EXPECT_EQ(out.str(), "made");
    EXPECT_EQ(test::written(tree), "<a>");
}

TEST(QxXmlDepth, DeepDocumentsBuildWriteAndFreeWithoutRecursion)
{
    constexpr int depth = 100000;
    std::string doc;
    doc.reserve(depth * 8);
    for (int i = 0; i < depth; ++i)
        doc += "<d>";
    doc += "x";
    for (int i = 0; i < depth; ++i)
        doc += "</d>";
    {
        xml_tree tree;
        qxxml reader(&tree);
        qxval chunk(doc);
        reader.push(chunk);
        reader.end_input();
        ASSERT_EQ(reader.run(), 2);
        EXPECT_EQ(test::written(tree), doc);
        qxhash_array map;
        xml_to_map(tree, map);
        EXPECT_EQ(map.get_list("d")->count(), 1);
    }
    // Left open, the same depth fails and is freed as well.
    doc.resize(depth * 3);
    xml_tree tree;
    qxxml reader(&tree);
    qxval chunk(doc);
    reader.push(chunk);
    reader.end_input();
    EXPECT_EQ(reader.run(), qxsgml::run_unclosed_tag);
}

}  // namespace
}  // namespace qvtf
