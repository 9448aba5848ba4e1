#include "core/qxparser.h"

#include <cstring>

namespace qvtf {

bool qxparser::shift(qxval& out)
{
    if (consumed <= 0)
        return false;
    --consumed;
    if (head == current) {
        // Only a fully read and counted chunk can be the consumed head.
        current = nullptr;
        read_pos = -1;
        current_counted_ = false;
    }
    return qxarr::shift(out);
}

// Moves to the next unread chunk; false when there is none yet.
bool qxparser::enter_next_chunk()
{
    qxarrnode* next = current ? current->next : head;
    if (!next)
        return false;
    if (current && !current_counted_)
        ++consumed;
    current = next;
    read_pos = -1;
    current_counted_ = false;
    current->value.convert_to(qxval_kind::string);
    return true;
}

int qxparser::next_byte()
{
    for (;;) {
        if (current && read_pos + 1 < current->value.text.length) {
            ++read_pos;
            ++bytes_read;
            return static_cast<unsigned char>(current->value.text.data[read_pos]);
        }
        if (!enter_next_chunk())
            return ended ? end_of_input : need_input;
    }
}

int qxparser::peek_span(const char*& data, int32_t& length)
{
    for (;;) {
        if (current && read_pos + 1 < current->value.text.length) {
            data = current->value.text.data + read_pos + 1;
            length = current->value.text.length - read_pos - 1;
            return 1;
        }
        if (!enter_next_chunk())
            return ended ? end_of_input : need_input;
    }
}

void qxparser::reset_reader()
{
    read_pos = -1;
    current = nullptr;
    current_counted_ = false;
    ended = false;
    consumed = 0;
    bytes_read = -1;
}

int qxparser::run()
{
    consumed = count();
    current = tail;
    current_counted_ = tail != nullptr;
    if (tail)
        tail->value.convert_to(qxval_kind::string);
    read_pos = tail ? tail->value.text.length - 1 : -1;
    return ended ? run_done : run_more;
}

bool qxparser::within_limit() const
{
    int64_t total = 0;
    for (const qxarrnode* n = head; n; n = n->next) {
        total += n->value.text_view().length;
        if (total > limit)
            return false;
    }
    return true;
}

void qxparser::give_back_unread()
{
    if (!current || read_pos < 0 || current_counted_)
        return;
    qxchar& text = current->value.text;
    int32_t read = read_pos + 1;
    if (read >= text.length) {
        // Read to its end: it simply becomes consumed where it stands.
        current_counted_ = true;
        ++consumed;
        return;
    }
    qxval front;
    front.set_bytes(text.data, read);
    qxarrnode* node = make_node(front);
    if (!node)
        return;
    link_before(current, node);
    std::memmove(text.data, text.data + read, static_cast<size_t>(text.length - read));
    text.resize(text.length - read);
    read_pos = -1;
    ++consumed;
}

void qxparser::drop_consumed()
{
    qxval gone;
    while (shift(gone)) {
    }
}

}  // namespace qvtf
