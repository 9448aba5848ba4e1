#pragma once
// qxhash_array: map from text keys to owned lists of values.

#include <memory>

#include "core/qxarr.h"
#include "core/qxhash_tree.h"
#include "core/qxval.h"

namespace qvtf {

struct qxhash_arrays_entry {
    qxval key;                    // kind string
    std::unique_ptr<qxarr> list;  // owned, may be null
    qxhash_arrays_entry* left = nullptr;
    qxhash_arrays_entry* right = nullptr;
};

class qxhash_array : public qxhash_tree<qxhash_arrays_entry> {
public:
    qxhash_array() = default;
    ~qxhash_array() override = default;

    // Appends a deep copy of value to the key's list, creating it when needed.
    void add_value(const qxval& key, const qxval& value);
    // As add_value, but the key then holds exactly this one value.
    void set_value(const qxval& key, const qxval& value);
    // The key's list, or null.
    qxarr* get_list(const qxval& key) const;
    // First value of a non-empty list (true), else out is the empty string.
    bool first_value(const qxval& key, qxval& out) const;
    // Inserts the key with this list; a present key's old list is freed and
    // replaced. Takes ownership.
    void insert_list(const qxval& key, std::unique_ptr<qxarr> list);
    // Key and list pointer of the next snapshot entry; false when exhausted.
    bool next(qxval& key_out, qxarr*& list_out);
};

}  // namespace qvtf
