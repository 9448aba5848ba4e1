// qxxml: the XML tree builder on top of the markup scanner. It keeps tags,
// comments, CDATA sections and processing instructions (every other "<" form
// stays text), normalises line ends as input arrives and builds the nodes
// into a caller's tree.
//
//   qxxml reader(&tree);
//   reader.push(chunk); reader.run();   // as often as input arrives
//   reader.end_input(); reader.run();   // 2 when the document is complete
#pragma once

#include <cstdint>

#include "core/qxhash.h"
#include "markup/qxsgml.h"
#include "markup/xml_node.h"

namespace qvtf {

class qxxml : public qxsgml {
public:
    static constexpr int32_t xml_kept_kinds = 1079;  // kinds 1, 2, 3, 5, 6, 11
    static constexpr int32_t xml_input_limit = 16777216;

    // Where the next node goes relative to last.
    enum insert_mode : int32_t {
        insert_child = 1,         // first or next child of last
        insert_after_parent = 2,  // after last's parent
        insert_after_last = 3,    // after last
    };

    qxe_tree<xml_node>* tree;
    xml_node* last = nullptr;
    int32_t mode = insert_child;
    bool fold_names = false;  // attribute names keep their case
    bool normalise_lines = true;
    int32_t open_tags = 0;  // start tags whose end tag is still to come

    explicit qxxml(qxe_tree<xml_node>* into);

    // Turns CR LF pairs, then lone CRs, into LF before queueing the chunk; a
    // pair split across two chunks still counts as one.
    void push(qxval& chunk) override;
    void reset_reader() override;
    int finish() override;
    int text_done(qxval& raw) override;
    int token_done(int32_t kind, qxval& raw) override;

private:
    void add(xml_node* node);
    int end_tag(xml_node* node);

    bool cr_last_ = false;  // the previous chunk ended in a CR
    qxhash entities_;
};

}  // namespace qvtf
