#pragma once
// qxbintree<T>: unbalanced binary search tree over nodes of type T, keyed by
// the byte order of T::key's text. T provides `qxval key` and `T* left, *right`.
// Sorted input degenerates it into a list, so every walk and every free is
// iterative: depth costs heap, never stack.

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/qxval.h"

namespace qvtf {

template <class T>
class qxbintree {
public:
    int32_t count_ = 0;
    T* root = nullptr;

    qxbintree() = default;
    qxbintree(const qxbintree&) = delete;
    qxbintree& operator=(const qxbintree&) = delete;
    virtual ~qxbintree() { free_all(); }

    int32_t count() const { return count_; }
    bool empty() const { return root == nullptr; }

    T* find_node(const qxval& key) const { return find_node(key.view()); }
    T* find_node(std::string_view probe) const
    {
        T* n = root;
        while (n) {
            int c = compare_bytes(probe, n->key.view());
            if (c == 0)
                return n;
            n = c < 0 ? n->left : n->right;
        }
        return nullptr;
    }

    // Links the node in and returns null; when its key is already present,
    // leaves the tree alone and returns the node holding that key.
    T* insert_node(T* node)
    {
        node->left = node->right = nullptr;
        std::string_view probe = node->key.view();
        T** link = &root;
        while (*link) {
            int c = compare_bytes(probe, (*link)->key.view());
            if (c == 0)
                return *link;
            link = c < 0 ? &(*link)->left : &(*link)->right;
        }
        *link = node;
        ++count_;
        return nullptr;
    }

    // Deletes the node with this key; a missing key changes nothing.
    virtual bool remove(const qxval& key)
    {
        qxval probe;
        probe.set_text_of(key);
        std::string_view pv = probe.view();
        T** link = &root;
        while (*link) {
            int c = compare_bytes(pv, (*link)->key.view());
            if (c == 0)
                break;
            link = c < 0 ? &(*link)->left : &(*link)->right;
        }
        T* n = *link;
        if (!n)
            return false;
        T* replacement;
        if (!n->right) {
            replacement = n->left;
        } else if (!n->left) {
            replacement = n->right;
        } else if (!n->right->left) {
            replacement = n->right;
            replacement->left = n->left;
        } else {
            T* parent = n->right;
            T* m = parent->left;
            while (m->left) {
                parent = m;
                m = m->left;
            }
            parent->left = m->right;
            m->left = n->left;
            m->right = n->right;
            replacement = m;
        }
        *link = replacement;
        delete n;
        --count_;
        return true;
    }

    // Frees every node.
    void clear_tree()
    {
        free_all();
        root = nullptr;
        count_ = 0;
    }

    // In-order walk (ascending key order); fn(T&) returns void.
    template <class F>
    void for_each(F&& fn) const
    {
        std::vector<T*> stack;
        T* n = root;
        while (n || !stack.empty()) {
            while (n) {
                stack.push_back(n);
                n = n->left;
            }
            n = stack.back();
            stack.pop_back();
            T* right = n->right;
            fn(*n);
            n = right;
        }
    }

    // Number of nodes by a full traversal.
    int32_t count_nodes() const
    {
        int32_t total = 0;
        for_each([&](T&) { ++total; });
        return total;
    }

    // Height of the tree (0 when empty), measured iteratively.
    int32_t depth() const
    {
        int32_t best = 0;
        std::vector<std::pair<T*, int32_t>> stack;
        if (root)
            stack.push_back({root, 1});
        while (!stack.empty()) {
            auto [n, d] = stack.back();
            stack.pop_back();
            if (d > best)
                best = d;
            if (n->left)
                stack.push_back({n->left, d + 1});
            if (n->right)
                stack.push_back({n->right, d + 1});
        }
        return best;
    }

private:
    // Rotates left children up so the walk needs no stack at all.
    void free_all()
    {
        T* n = root;
        while (n) {
            if (n->left) {
                T* l = n->left;
                n->left = l->right;
                l->right = n;
                n = l;
            } else {
                T* r = n->right;
                delete n;
                n = r;
            }
        }
        root = nullptr;
    }
};

}  // namespace qvtf
