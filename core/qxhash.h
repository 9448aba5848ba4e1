#pragma once
// qxhash: map from text keys (byte order of the keys' text forms) to qxval,
// over an unbalanced search tree. The int 9 and the string "9" are one key.

#include <cstdint>

#include "core/qxhash_tree.h"
#include "core/qxval.h"

namespace qvtf {

struct qxhash_entry {
    qxval key;  // always kind string
    qxval value;
    qxhash_entry* left = nullptr;
    qxhash_entry* right = nullptr;
};

class qxhash : public qxhash_tree<qxhash_entry> {
public:
    qxhash() = default;
    // Deep copies keep the tree's shape, so a copy is as deep as the original.
    qxhash(const qxhash& other);
    qxhash& operator=(const qxhash& other);
    qxhash(qxhash&& other) noexcept;
    qxhash& operator=(qxhash&& other) noexcept;
    ~qxhash() override = default;

    // Replacing an existing key's value keeps count and iteration; a new key
    // counts up and ends the iteration.
    void set(const qxval& key, const qxval& value);
    // Deep copy into out; a missing key gives int 0 and false.
    bool get(const qxval& key, qxval& out) const;
    // The stored value, changeable in place, or null.
    qxval* find(const qxval& key) const;
    bool contains(const qxval& key) const { return find(key) != nullptr; }
    // Both outputs are int 0 unless a snapshot entry is delivered.
    bool next(qxval& key_out, qxval& value_out);
    // Sets count to the number of nodes found by a full traversal.
    int32_t recount();

private:
    void copy_from(const qxhash& other);
};

}  // namespace qvtf
