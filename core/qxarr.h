#pragma once
// qxarr: doubly linked list of qxval used as array, stack and queue, and the
// base of the stream, pipe and lexer classes. push and shift are the two
// virtual slots those classes override; the rest reaches the list through
// them only where noted.

#include <cstdint>
#include <iterator>

#include "core/qxval.h"

namespace qvtf {

struct qxarrnode {
    qxarrnode* next = nullptr;
    qxarrnode* prev = nullptr;
    qxval value;
};

class qxarr {
public:
    bool forward = true;  // iteration direction: head to tail when set
    int32_t count_ = 0;
    qxarrnode* cursor = nullptr;  // node that next() delivers
    int32_t position = -1;        // -1 after construction, 0 after every reset
    qxarrnode* head = nullptr;
    qxarrnode* tail = nullptr;

    qxarr() = default;
    qxarr(const qxarr&) = delete;
    qxarr& operator=(const qxarr&) = delete;
    virtual ~qxarr();

    // Appends at the tail, taking the argument over (a string is left empty).
    virtual void push(qxval& value);
    // Removes the head into out; false when empty.
    virtual bool shift(qxval& out);

    // Deep copy handed to the virtual push; the argument stays intact.
    void push_copy(const qxval& value);
    void unshift(qxval& value);
    bool pop(qxval& out);

    // Node i's value. Out of range (either side) appends one int 0 through
    // push and returns the new tail's value, so it never fails.
    qxval& at(int32_t i);
    bool remove_at(int32_t i);
    void clear();
    void shuffle();
    // Clears this list and takes the source's nodes; the source ends empty.
    void take_over(qxarr& source);

    void reset_iteration();
    // Deep copy of the cursor's value; false when the cursor is null.
    bool next(qxval& out);
    int32_t count() const { return count_; }
    bool empty() const { return count_ == 0; }

    // Node plumbing for derived classes. None of these reset the iteration.
    qxarrnode* node_at(int32_t i) const;  // null when out of range
    void link_tail(qxarrnode* node);
    void link_head(qxarrnode* node);
    void link_before(qxarrnode* where, qxarrnode* node);  // where null: at the tail
    void unlink(qxarrnode* node);                         // not freed; cursor moved off it
    static qxarrnode* make_node(qxval& value);            // takes the value over; null on failure

    // Range-for over the values, head to tail; does not touch the cursor.
    template <class Node, class Value>
    class basic_iterator {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = qxval;
        using difference_type = std::ptrdiff_t;
        using pointer = Value*;
        using reference = Value&;
        basic_iterator() = default;
        explicit basic_iterator(Node* n, Node* last) : node_(n), last_(last) {}
        reference operator*() const { return node_->value; }
        pointer operator->() const { return &node_->value; }
        basic_iterator& operator++()
        {
            node_ = node_->next;
            return *this;
        }
        basic_iterator operator++(int)
        {
            basic_iterator t = *this;
            ++*this;
            return t;
        }
        basic_iterator& operator--()
        {
            node_ = node_ ? node_->prev : last_;
            return *this;
        }
        basic_iterator operator--(int)
        {
            basic_iterator t = *this;
            --*this;
            return t;
        }
        bool operator==(const basic_iterator& o) const { return node_ == o.node_; }
        bool operator!=(const basic_iterator& o) const { return node_ != o.node_; }
        Node* node() const { return node_; }

    private:
        Node* node_ = nullptr;
        Node* last_ = nullptr;
    };
    using iterator = basic_iterator<qxarrnode, qxval>;
    using const_iterator = basic_iterator<const qxarrnode, const qxval>;
    iterator begin() { return iterator(head, tail); }
    iterator end() { return iterator(nullptr, tail); }
    const_iterator begin() const { return const_iterator(head, tail); }
    const_iterator end() const { return const_iterator(nullptr, tail); }

private:
    void free_all();
};

}  // namespace qvtf
