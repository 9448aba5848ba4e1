#include "core/qxhash_array.h"

#include <new>

namespace qvtf {

void qxhash_array::insert_list(const qxval& key, std::unique_ptr<qxarr> list)
{
    qxhash_arrays_entry* entry = new (std::nothrow) qxhash_arrays_entry;
    if (!entry)
        return;
    entry->key.set_text_of(key);
    entry->list = std::move(list);
    if (qxhash_arrays_entry* existing = insert_entry(entry)) {
        existing->list = std::move(entry->list);
        delete entry;
    }
}

void qxhash_array::add_value(const qxval& key, const qxval& value)
{
    qxhash_arrays_entry* n = find_node(key.view());
    if (n && n->list) {
        n->list->push_copy(value);
        return;
    }
    std::unique_ptr<qxarr> list(new (std::nothrow) qxarr);
    if (!list)
        return;
    list->push_copy(value);
    insert_list(key, std::move(list));
}

void qxhash_array::set_value(const qxval& key, const qxval& value)
{
    qxhash_arrays_entry* n = find_node(key.view());
    if (n && n->list)
        n->list->clear();
    add_value(key, value);
}

qxarr* qxhash_array::get_list(const qxval& key) const
{
    qxhash_arrays_entry* n = find_node(key.view());
    return n ? n->list.get() : nullptr;
}

bool qxhash_array::first_value(const qxval& key, qxval& out) const
{
    qxarr* list = get_list(key);
    if (!list || list->count() == 0) {
        out.set_string("");
        return false;
    }
    list->reset_iteration();
    return list->next(out);
}

bool qxhash_array::next(qxval& key_out, qxarr*& list_out)
{
    key_out.set_int(0);
    list_out = nullptr;
    qxhash_arrays_entry* n = next_node();
    if (!n)
        return false;
    key_out.set_text_of(n->key);
    list_out = n->list.get();
    return true;
}

}  // namespace qvtf
