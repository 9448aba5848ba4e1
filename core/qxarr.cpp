#include "core/qxarr.h"

#include <cstdlib>
#include <new>

namespace qvtf {

namespace {
// Half of the C library's range, so each coin toss is fair whatever RAND_MAX is.
constexpr int k_rand_half = RAND_MAX / 2;
}  // namespace

qxarr::~qxarr()
{
    free_all();
}

void qxarr::free_all()
{
    qxarrnode* n = head;
    while (n) {
        qxarrnode* after = n->next;
        delete n;
        n = after;
    }
    head = tail = nullptr;
    count_ = 0;
    cursor = nullptr;
}

qxarrnode* qxarr::make_node(qxval& value)
{
    qxarrnode* node = new (std::nothrow) qxarrnode;
    if (node)
        node->value.assign_move(value);
    return node;
}

void qxarr::link_tail(qxarrnode* node)
{
    node->next = nullptr;
    node->prev = tail;
    if (tail)
        tail->next = node;
    else
        head = node;
    tail = node;
    ++count_;
}

void qxarr::link_head(qxarrnode* node)
{
    node->prev = nullptr;
    node->next = head;
    if (head)
        head->prev = node;
    else
        tail = node;
    head = node;
    ++count_;
}

void qxarr::link_before(qxarrnode* where, qxarrnode* node)
{
    if (!where) {
        link_tail(node);
        return;
    }
    node->next = where;
    node->prev = where->prev;
    if (where->prev)
        where->prev->next = node;
    else
        head = node;
    where->prev = node;
    ++count_;
}

void qxarr::unlink(qxarrnode* node)
{
    if (cursor == node)
        cursor = forward ? node->next : node->prev;
    if (node->prev)
        node->prev->next = node->next;
    else
        head = node->next;
    if (node->next)
        node->next->prev = node->prev;
    else
        tail = node->prev;
    node->next = node->prev = nullptr;
    --count_;
}

// The iteration is reset after the list changed, so the cursor never
// points at a node that has just been freed.
void qxarr::push(qxval& value)
{
    if (qxarrnode* node = make_node(value))
        link_tail(node);
    reset_iteration();
}

bool qxarr::shift(qxval& out)
{
    if (!head) {
        reset_iteration();
        return false;
    }
    qxarrnode* node = head;
    unlink(node);
    out.assign_move(node->value);
    delete node;
    reset_iteration();
    return true;
}

void qxarr::push_copy(const qxval& value)
{
    qxval copy(value);
    push(copy);
}

void qxarr::unshift(qxval& value)
{
    if (qxarrnode* node = make_node(value))
        link_head(node);
    reset_iteration();
}

bool qxarr::pop(qxval& out)
{
    if (!tail) {
        reset_iteration();
        return false;
    }
    qxarrnode* node = tail;
    unlink(node);
    out.assign_move(node->value);
    delete node;
    reset_iteration();
    return true;
}

qxarrnode* qxarr::node_at(int32_t i) const
{
    if (i < 0 || i >= count_)
        return nullptr;
    qxarrnode* n;
    if (i < count_ / 2) {
        n = head;
        for (int32_t k = 0; k < i; ++k)
            n = n->next;
    } else {
        n = tail;
        for (int32_t k = count_ - 1; k > i; --k)
            n = n->prev;
    }
    return n;
}

qxval& qxarr::at(int32_t i)
{
    if (qxarrnode* n = node_at(i))
        return n->value;
    qxval fresh;
    push(fresh);
    if (tail)
        return tail->value;
    // Node allocation failed: hand out a scratch value rather than fail.
    thread_local qxval scratch;
    scratch.set_int(0);
    return scratch;
}

bool qxarr::remove_at(int32_t i)
{
    qxarrnode* n = node_at(i);
    if (!n)
        return false;
    unlink(n);
    delete n;
    return true;
}

void qxarr::clear()
{
    free_all();
    position = 0;
}

void qxarr::shuffle()
{
    qxarrnode* new_head = nullptr;
    qxarrnode* new_tail = nullptr;
    int32_t n = count_;
    while (head) {
        qxarrnode* taken;
        if (std::rand() < k_rand_half) {
            taken = tail;
            tail = taken->prev;
            if (tail)
                tail->next = nullptr;
            else
                head = nullptr;
        } else {
            taken = head;
            head = taken->next;
            if (head)
                head->prev = nullptr;
            else
                tail = nullptr;
        }
        if (std::rand() < k_rand_half) {
            taken->next = nullptr;
            taken->prev = new_tail;
            if (new_tail)
                new_tail->next = taken;
            else
                new_head = taken;
            new_tail = taken;
        } else {
            taken->prev = nullptr;
            taken->next = new_head;
            if (new_head)
                new_head->prev = taken;
            else
                new_tail = taken;
            new_head = taken;
        }
    }
    head = new_head;
    tail = new_tail;
    count_ = n;
    cursor = nullptr;
    position = 0;
}

void qxarr::take_over(qxarr& source)
{
    if (&source == this)
        return;
    clear();
    count_ = source.count_;
    head = source.head;
    tail = source.tail;
    source.count_ = 0;
    source.cursor = nullptr;
    source.position = 0;
    source.head = source.tail = nullptr;
    cursor = nullptr;
    position = 0;
}

void qxarr::reset_iteration()
{
    cursor = forward ? head : tail;
    position = 0;
}

bool qxarr::next(qxval& out)
{
    if (!cursor)
        return false;
    out.assign_copy(cursor->value);
    cursor = forward ? cursor->next : cursor->prev;
    ++position;
    return true;
}

}  // namespace qvtf
