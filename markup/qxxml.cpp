#include "markup/qxxml.h"

#include <new>

namespace qvtf {

qxxml::qxxml(qxe_tree<xml_node>* into) : tree(into)
{
    limit = xml_input_limit;
    kept_mask = xml_kept_kinds;
    xml_fill_entities(entities_);
}

void qxxml::push(qxval& chunk)
{
    if (normalise_lines) {
        chunk.convert_to(qxval_kind::string);
        qxchar& t = chunk.text;
        int32_t out = 0;
        for (int32_t i = 0; i < t.length; ++i) {
            char c = t.data[i];
            if (c == '\n' && cr_last_) {
                // Second half of a CR LF pair: the CR already became the LF.
                cr_last_ = false;
                continue;
            }
            cr_last_ = c == '\r';
            t.data[out++] = cr_last_ ? '\n' : c;
        }
        t.resize(out);
    }
    qxsgml::push(chunk);
}

void qxxml::reset_reader()
{
    qxsgml::reset_reader();
    last = nullptr;
    mode = insert_child;
    open_tags = 0;
    cr_last_ = false;
}

void qxxml::add(xml_node* node)
{
    if (!last) {
        tree->append_top(node);
    } else if (mode == insert_child) {
        tree->append_child(node, last);
    } else if (mode == insert_after_parent && last->parent) {
        tree->insert_after(node, last->parent);
    } else {
        // After last; also where last has no parent to follow.
        tree->insert_after(node, last);
    }
    last = node;
}

int qxxml::text_done(qxval& raw)
{
    xml_node* node = new (std::nothrow) xml_node;
    if (!node)
        return run_unknown_error;
    node->kind = xml_kind_text;
    node->text.assign_copy(raw);
    xml_decode_entities(node->text, &entities_);
    node->raw.assign_move(raw);
    add(node);
    mode = insert_after_last;
    return 0;
}

int qxxml::token_done(int32_t kind, qxval& raw)
{
    xml_node* node = new (std::nothrow) xml_node;
    if (!node)
        return run_unknown_error;
    node->kind = kind;
    std::string_view r = raw.view();
    switch (kind) {
    case xml_kind_start_tag:
    case xml_kind_empty_tag: xml_parse_start_tag(r, *node, &entities_, fold_names); break;
    case xml_kind_end_tag:
        xml_parse_end_tag(r, *node);
        node->raw.assign_move(raw);
        return end_tag(node);
    case xml_kind_cdata:
        node->kind = xml_kind_text;
        node->text.set_bytes(r.substr(9, r.size() - 12));
        break;
    default: break;
    }
    node->raw.assign_move(raw);
    add(node);
    if (kind == xml_kind_start_tag) {
        node->closed = 0;
        ++open_tags;
        mode = insert_child;
    } else {
        mode = insert_after_last;
    }
    return 0;
}

int qxxml::end_tag(xml_node* node)
{
    if (!last) {
        delete node;
        return run_misplaced_end_tag;
    }
    std::string_view name = node->name.view();
    if (last->kind == xml_kind_start_tag && !last->closed && last->name.view() == name) {
        // <a></a> reads as one empty element.
        last->kind = xml_kind_empty_tag;
        last->closed = 1;
        --open_tags;
        delete node;
        mode = insert_after_last;
        return 0;
    }
    // The last node itself is not examined: <a><b></a> closes a and leaves b open.
    for (xml_node* up = last->parent; up; up = up->parent) {
        if (up->closed) {
            last = up;
            mode = insert_after_last;
            continue;
        }
        if (up->name.view() != name)
            break;
        up->closed = 1;
        --open_tags;
        add(node);
        mode = insert_after_parent;
        return 0;
    }
    delete node;
    return run_misplaced_end_tag;
}

int qxxml::finish()
{
    int r = qxsgml::finish();
    if (r != run_done)
        return r;
    return open_tags > 0 ? run_unclosed_tag : run_done;
}

}  // namespace qvtf
