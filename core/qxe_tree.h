// qxe_tree<T>: the intrusive tree behind profiles, XML documents and file panes.
//
// A node type T carries its own links (derive from qxe_links<T>, or declare the
// four pointers parent, next, first_child, prev in that order). The tree knows
// only its first top-level node; further top-level nodes hang off root->next.
// The tree owns every node reachable from root.
#pragma once

#include <cstddef>

namespace qvtf {

template <class T>
struct qxe_links {
    T* parent = nullptr;
    T* next = nullptr;
    T* first_child = nullptr;
    T* prev = nullptr;
};

template <class T>
class qxe_tree {
public:
    T* root = nullptr;

    qxe_tree() = default;
    qxe_tree(const qxe_tree&) = delete;
    qxe_tree& operator=(const qxe_tree&) = delete;
    virtual ~qxe_tree() { clear(); }

    // Negative, zero or positive; the base tree considers all nodes equal.
    virtual int compare_nodes(const T* a, const T* b) const
    {
        (void)a;
        (void)b;
        return 0;
    }

    void append_top(T* node)
    {
        if (!root) {
            node->parent = node->next = node->prev = nullptr;
            root = node;
            return;
        }
        append_sibling(node, root);
    }

    void append_sibling(T* node, T* any)
    {
        T* last = any;
        while (last->next)
            last = last->next;
        node->parent = last->parent;
        node->prev = last;
        node->next = nullptr;
        last->next = node;
    }

    void append_child(T* node, T* parent)
    {
        if (!parent->first_child) {
            node->parent = parent;
            node->prev = node->next = nullptr;
            parent->first_child = node;
            return;
        }
        append_sibling(node, parent->first_child);
    }

    void prepend_child(T* node, T* parent)
    {
        T* old = parent->first_child;
        node->parent = parent;
        node->prev = nullptr;
        node->next = old;
        if (old)
            old->prev = node;
        parent->first_child = node;
    }

    void insert_after(T* node, T* sibling)
    {
        node->parent = sibling->parent;
        node->prev = sibling;
        node->next = sibling->next;
        if (sibling->next)
            sibling->next->prev = node;
        sibling->next = node;
    }

    void unlink(T* node)
    {
        if (node->prev)
            node->prev->next = node->next;
        else if (node->parent) {
            if (node->parent->first_child == node)
                node->parent->first_child = node->next;
        } else if (root == node) {
            root = node->next;
        }
        if (node->next)
            node->next->prev = node->prev;
        node->parent = node->next = node->prev = nullptr;
    }

    void remove(T* node)
    {
        unlink(node);
        free_chain(node);
    }

    void clear_children(T* node)
    {
        while (node->first_child)
            remove(node->first_child);
    }

    void clear()
    {
        T* head = root;
        root = nullptr;
        free_chain(head);
    }

    static T* next_preorder(T* node)
    {
        if (!node)
            return nullptr;
        if (node->first_child)
            return node->first_child;
        for (T* n = node; n; n = n->parent)
            if (n->next)
                return n->next;
        return nullptr;
    }

    // Stable: equal nodes keep their chain order. A bottom-up merge sort over the
    // links gives the same order as an insertion sort, without its quadratic cost
    // on long listings, and allocates nothing.
    void sort_siblings(T* head)
    {
        if (!head || !head->next)
            return;
        T* parent = head->parent;
        T* list = head;
        for (std::size_t width = 1;; width *= 2) {
            T* merged = nullptr;
            T** tail = &merged;
            std::size_t merges = 0;
            T* p = list;
            while (p) {
                ++merges;
                T* q = p;
                std::size_t psize = 0;
                while (q && psize < width) {
                    q = q->next;
                    ++psize;
                }
                std::size_t qsize = width;
                while (psize > 0 || (qsize > 0 && q)) {
                    T* take;
                    if (psize == 0) {
                        take = q;
                        q = q->next;
                        --qsize;
                    } else if (qsize == 0 || !q || compare_nodes(p, q) <= 0) {
                        take = p;
                        p = p->next;
                        --psize;
                    } else {
                        take = q;
                        q = q->next;
                        --qsize;
                    }
                    *tail = take;
                    tail = &take->next;
                }
                p = q;
            }
            *tail = nullptr;
            list = merged;
            if (merges <= 1)
                break;
        }
        relink_chain(list, parent);
    }

    void reverse_siblings(T* head)
    {
        if (!head)
            return;
        T* parent = head->parent;
        T* reversed = nullptr;
        for (T* n = head; n;) {
            T* next = n->next;
            n->next = reversed;
            reversed = n;
            n = next;
        }
        relink_chain(reversed, parent);
    }

    // Frees head, its following siblings and all their descendants. Iterative,
    // so neither a listing of many entries nor a very deep tree recurses.
    static void free_chain(T* head)
    {
        if (!head)
            return;
        T* const top = head->parent;
        T* n = head;
        while (n) {
            if (n->first_child) {
                n = n->first_child;
                continue;
            }
            T* next = n->next;
            T* up = n->parent;
            delete n;
            if (next) {
                n = next;
            } else if (up != top) {
                up->first_child = nullptr;
                n = up;
            } else {
                n = nullptr;
            }
        }
    }

private:
    // Restores prev pointers along a chain linked through next, and points the
    // parent (or the tree) at its new head.
    void relink_chain(T* head, T* parent)
    {
        T* prev = nullptr;
        for (T* n = head; n; n = n->next) {
            n->prev = prev;
            prev = n;
        }
        if (parent)
            parent->first_child = head;
        else
            root = head;
    }
};

}  // namespace qvtf
