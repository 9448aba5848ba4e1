// Helpers shared by the XML tests: parse a document fed in given chunks,
// and render a tree compactly so a test can state the whole shape at once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "markup/qxxml.h"
#include "markup/xml_io.h"

namespace qvtf::test {

// a(...) open start tag a with children, a/ empty-element tag, /a end tag,
// "x" text node (decoded), #c comment, ?p processing instruction; attributes
// as a[k=v,...]; a start tag still open is marked with "!".
inline std::string dump_chain(const xml_node* n)
{
    std::string out;
    for (; n; n = n->next) {
        if (!out.empty())
            out += ",";
        switch (n->kind) {
        case xml_kind_start_tag:
        case xml_kind_empty_tag: {
            out += n->name.str();
            if (n->attributes.count() > 0) {
                std::string a;
                n->attributes.for_each(
                    [&a](const qxhash_entry& e) { a += (a.empty() ? "" : ",") + e.key.str() + "=" + e.value.str(); });
                out += "[" + a + "]";
            }
            if (n->kind == xml_kind_empty_tag)
                out += "/";
            if (!n->closed)
                out += "!";
            break;
        }
        case xml_kind_end_tag: out += "/" + n->name.str(); break;
        case xml_kind_text: out += "\"" + n->text.str() + "\""; break;
        case xml_kind_comment: out += "#c"; break;
        case xml_kind_pi: out += "?p"; break;
        default: out += "k" + std::to_string(n->kind); break;
        }
        if (n->first_child)
            out += "(" + dump_chain(n->first_child) + ")";
    }
    return out;
}

inline std::string dump(const xml_tree& tree)
{
    return dump_chain(tree.root);
}

inline std::string written(const xml_tree& tree)
{
    qxarr list;
    xml_write_list(tree, list);
    std::string s;
    for (const qxval& v : list)
        s += v.view();
    return s;
}

struct parsed {
    int code = 0;  // last run result: 2 complete, else an error code
    int line = 0;
    int column = 0;
    std::string shape;
    std::string text;  // written back
};

// Feeds the pieces one by one, running the scanner after each, then ends.
inline parsed parse_pieces(const std::vector<std::string_view>& pieces)
{
    xml_tree tree;
    qxxml reader(&tree);
    parsed p;
    for (std::string_view piece : pieces) {
        qxval chunk(piece);
        reader.push(chunk);
        p.code = reader.run();
        if (p.code != 0)
            break;
    }
    if (p.code == 0) {
        reader.end_input();
        p.code = reader.run();
    }
    p.line = reader.line;
    p.column = reader.column;
    p.shape = dump(tree);
    p.text = written(tree);
    return p;
}

inline parsed parse_doc(std::string_view doc)
{
    return parse_pieces({doc});
}

}  // namespace qvtf::test
