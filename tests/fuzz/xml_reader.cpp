// Fuzzes the XML reader: any bytes, cut into pieces of a size the input
// chooses, must read exactly as the whole input does, and a document that
// reads must write back to text that reads again and writes identically.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "tests/markup/test_xml_util.h"

using namespace qvtf;

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool same(const test::parsed& a, const test::parsed& b)
{
    return a.code == b.code && a.line == b.line && a.column == b.column && a.shape == b.shape && a.text == b.text;
}

void look_up(std::string_view doc)
{
    xml_tree tree;
    qxxml reader(&tree);
    qxval chunk(doc);
    reader.push(chunk);
    reader.end_input();
    reader.run();
    qxhash_array map;
    xml_to_map(tree, map);
    qxval out;
    for (const xml_node* n = tree.root; n; n = xml_tree::next_preorder(const_cast<xml_node*>(n)))
        if (n->is_element()) {
            xml_get_text(tree, n->name.view(), n->parent, out);
            check(xml_find(tree, n->name.view(), n->parent) != nullptr);
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    size_t step = size_t(data[0] % 64) + 1;
    std::string_view doc(reinterpret_cast<const char*>(data) + 1, size - 1);

    test::parsed whole = test::parse_pieces({doc});
    std::vector<std::string_view> pieces;
    for (size_t i = 0; i < doc.size(); i += step)
        pieces.push_back(doc.substr(i, step));
    check(same(test::parse_pieces(pieces), whole));

    if (whole.code == qxsgml::run_done) {
        test::parsed again = test::parse_doc(whole.text);
        check(again.code == qxsgml::run_done);
        test::parsed third = test::parse_doc(again.text);
        check(third.code == qxsgml::run_done && third.text == again.text && third.shape == again.shape);
    }
    look_up(doc);
    return 0;
}
