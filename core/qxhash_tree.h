#pragma once
// qxhash_tree<T>: a qxbintree<T> with an iteration snapshot, the list of its
// node pointers in ascending key order taken by reset_iteration. Adding or
// removing a key discards the snapshot, so no stale pointer is ever handed out.

#include <cstddef>
#include <vector>

#include "core/qxbintree.h"

namespace qvtf {

template <class T>
class qxhash_tree : public qxbintree<T> {
public:
    bool remove(const qxval& key) override
    {
        discard_iteration();
        return qxbintree<T>::remove(key);
    }

    void clear()
    {
        discard_iteration();
        this->clear_tree();
    }

    // Snapshot of every node in ascending key order; nothing when empty.
    void reset_iteration()
    {
        if (!this->root)
            return;
        discard_iteration();
        snapshot_.reserve(static_cast<size_t>(this->count_));
        this->for_each([this](T& n) { snapshot_.push_back(&n); });
    }

    void discard_iteration()
    {
        snapshot_.clear();
        next_cell_ = 0;
    }

    // The next node of the snapshot, or null when it is exhausted.
    T* next_node()
    {
        if (!this->root || next_cell_ >= snapshot_.size())
            return nullptr;
        return snapshot_[next_cell_++];
    }

protected:
    // Links a node in; a new key ends the iteration. Returns the node that
    // already holds the key, or null when the node was linked.
    T* insert_entry(T* node)
    {
        T* existing = this->insert_node(node);
        if (!existing)
            discard_iteration();
        return existing;
    }

private:
    std::vector<T*> snapshot_;
    size_t next_cell_ = 0;
};

}  // namespace qvtf
