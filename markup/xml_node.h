// xml_node: one node of a parsed XML document, held by a qxe_tree<xml_node>.
// Every node keeps the text it was read from (raw), so the writer can give
// back text nodes, CDATA sections and processing instructions unchanged.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/qxe_tree.h"
#include "core/qxhash.h"
#include "core/qxval.h"

namespace qvtf {

// Markup kinds as the scanner classifies them by the bytes after "<".
enum xml_kind : int32_t {
    xml_kind_code = -1,  // made by code, not read
    xml_kind_start_tag = 1,
    xml_kind_end_tag = 2,
    xml_kind_empty_tag = 3,
    xml_kind_declaration = 4,  // "<!" and nothing more specific
    xml_kind_comment = 5,
    xml_kind_cdata = 6,  // stored as a text node
    xml_kind_doctype = 7,
    xml_kind_element_decl = 8,
    xml_kind_attlist = 9,
    xml_kind_entity_decl = 10,
    xml_kind_pi = 11,
    xml_kind_asp = 12,    // "<%"
    xml_kind_hash = 13,   // "<#"
    xml_kind_ssi = 14,    // "<!--#"
    xml_kind_other = 15,  // "<" followed by a space, a digit ...
    xml_kind_text = 18,
};

struct xml_node : qxe_links<xml_node> {
    int32_t kind = xml_kind_code;
    qxval name{""};      // element name (tags only)
    qxval raw{""};       // exactly as read: a whole tag, or text before decoding
    qxval text{""};      // decoded text of text nodes and CDATA content
    qxhash attributes;   // name -> decoded value
    int32_t closed = 1;  // 0 for a start tag whose end tag has not been seen

    // Start tags and empty-element tags: the nodes that paths and maps name.
    bool is_element() const { return kind == xml_kind_start_tag || kind == xml_kind_empty_tag; }
    bool is_text() const { return kind == xml_kind_text || kind == xml_kind_code; }
};

using xml_tree = qxe_tree<xml_node>;

// The five named entities of XML: lt, gt, amp, quot, apos.
void xml_fill_entities(qxhash& map);

// Numeric entities first, then the named ones in map; unknown or malformed
// entities become "!". Text without "&" is left alone.
void xml_decode_entities(qxval& value, qxhash* map);

// Name bytes: a name starts with a letter, "_" or ":" and goes on with
// letters, digits, "_", ":", "-" and ".".
bool xml_name_start(unsigned char c);
bool xml_name_byte(unsigned char c);

// Fills node.name and node.attributes from the raw text of a start or
// empty-element tag. Values are decoded with entities; with fold_names the
// attribute names are lower-cased.
void xml_parse_start_tag(std::string_view raw, xml_node& node, qxhash* entities, bool fold_names);
// The name of an end tag ("</name ...>"); empty when none follows "</".
void xml_parse_end_tag(std::string_view raw, xml_node& node);

}  // namespace qvtf
