#include "core/qxhash.h"

#include <new>
#include <utility>
#include <vector>

namespace qvtf {

qxhash::qxhash(const qxhash& other) : qxhash_tree<qxhash_entry>()
{
    copy_from(other);
}

qxhash& qxhash::operator=(const qxhash& other)
{
    if (&other != this) {
        clear();
        copy_from(other);
    }
    return *this;
}

qxhash::qxhash(qxhash&& other) noexcept : qxhash_tree<qxhash_entry>()
{
    root = std::exchange(other.root, nullptr);
    count_ = std::exchange(other.count_, 0);
    other.discard_iteration();
}

qxhash& qxhash::operator=(qxhash&& other) noexcept
{
    if (&other != this) {
        clear();
        root = std::exchange(other.root, nullptr);
        count_ = std::exchange(other.count_, 0);
        other.discard_iteration();
    }
    return *this;
}

// Clones node by node into the same shape, with an explicit stack, so a
// degenerate tree copies in linear time and without deep recursion.
void qxhash::copy_from(const qxhash& other)
{
    std::vector<std::pair<const qxhash_entry*, qxhash_entry**>> stack;
    if (other.root)
        stack.push_back({other.root, &root});
    while (!stack.empty()) {
        auto [src, link] = stack.back();
        stack.pop_back();
        qxhash_entry* copy = new (std::nothrow) qxhash_entry;
        if (!copy)
            continue;  // that subtree is lost; recount below keeps count honest
        copy->key.assign_copy(src->key);
        copy->value.assign_copy(src->value);
        *link = copy;
        if (src->right)
            stack.push_back({src->right, &copy->right});
        if (src->left)
            stack.push_back({src->left, &copy->left});
    }
    recount();
}

void qxhash::set(const qxval& key, const qxval& value)
{
    qxhash_entry* entry = new (std::nothrow) qxhash_entry;
    if (!entry)
        return;
    entry->key.set_text_of(key);
    entry->value.assign_copy(value);
    if (qxhash_entry* existing = insert_entry(entry)) {
        existing->value.assign_copy(value);
        delete entry;
    }
}

qxval* qxhash::find(const qxval& key) const
{
    qxhash_entry* n = find_node(key.view());
    return n ? &n->value : nullptr;
}

bool qxhash::get(const qxval& key, qxval& out) const
{
    if (const qxval* v = find(key)) {
        if (v != &out)
            out.assign_copy(*v);
        return true;
    }
    out.set_int(0);
    return false;
}

bool qxhash::next(qxval& key_out, qxval& value_out)
{
    key_out.set_int(0);
    value_out.set_int(0);
    qxhash_entry* n = next_node();
    if (!n)
        return false;
    key_out.set_text_of(n->key);
    value_out.assign_copy(n->value);
    return true;
}

int32_t qxhash::recount()
{
    count_ = count_nodes();
    return count_;
}

}  // namespace qvtf
