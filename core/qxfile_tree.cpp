#include "core/qxfile_tree.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qvtf {
namespace {

int ascii_lower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
}

// Byte order; a prefix sorts first.
int compare_text(std::string_view a, std::string_view b, bool nocase)
{
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        int x = static_cast<unsigned char>(a[i]);
        int y = static_cast<unsigned char>(b[i]);
        if (nocase) {
            x = ascii_lower(static_cast<unsigned char>(x));
            y = ascii_lower(static_cast<unsigned char>(y));
        }
        if (x != y)
            return x - y;
    }
    return (a.size() > b.size()) - (a.size() < b.size());
}

template <class N>
int sign_of(N a, N b)
{
    return (a > b) - (a < b);
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

std::size_t run_end(std::string_view s, std::size_t from, bool digits)
{
    while (from < s.size() && is_digit(s[from]) == digits)
        ++from;
    return from;
}

int bytes_text(std::string_view a, std::string_view b, const void* nocase)
{
    return compare_text(a, b, nocase != nullptr);
}

}  // namespace

int compare_natural(std::string_view a, std::string_view b, name_text_compare text, const void* context)
{
    std::size_t i = 0, j = 0;
    int zeros = 0;  // the first difference in leading zeros, the last resort
    while (i < a.size() && j < b.size()) {
        const bool da = is_digit(a[i]), db = is_digit(b[j]);
        if (da != db) {
            const int c = text(a.substr(i), b.substr(j), context);
            return sign_of(c, 0);
        }
        const std::size_t ei = run_end(a, i, da), ej = run_end(b, j, db);
        std::string_view ra = a.substr(i, ei - i), rb = b.substr(j, ej - j);
        if (da) {
            const std::size_t za = std::min(ra.find_first_not_of('0'), ra.size());
            const std::size_t zb = std::min(rb.find_first_not_of('0'), rb.size());
            ra.remove_prefix(za);
            rb.remove_prefix(zb);
            if (ra.size() != rb.size())
                return ra.size() < rb.size() ? -1 : 1;
            if (const int c = ra.compare(rb))
                return sign_of(c, 0);
            if (!zeros && za != zb)
                zeros = za < zb ? -1 : 1;
        } else if (ra.size() != rb.size() && text(ra.substr(0, rb.size()), rb.substr(0, ra.size()), context) == 0) {
            // One run is the start of the other and a number or the end follows
            // it: the rest decides, as it would without numbers ("a.txt" before "a1.txt").
            const std::size_t common = std::min(ra.size(), rb.size());
            if (i + common == a.size() || j + common == b.size())
                return i + common == a.size() ? -1 : 1;
            return sign_of(text(a.substr(i + common), b.substr(j + common), context), 0);
        } else if (const int c = text(ra, rb, context)) {
            return sign_of(c, 0);
        }
        i = ei;
        j = ej;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return zeros;
}

int qxfile_tree::compare_names(std::string_view a, std::string_view b, bool nocase) const
{
    // The flag travels as a non-null context.
    static const char folded = 0;
    return compare_natural(a, b, &bytes_text, nocase ? &folded : nullptr);
}

int qxfile_tree::compare_nodes(const qxfile_node* a, const qxfile_node* b) const
{
    if ((a->is_folder != 0) != (b->is_folder != 0))
        return a->is_folder ? -1 : 1;
    switch (sort_key) {
    case SORT_NAME: return compare_names(a->name.view(), b->name.view(), false);
    case SORT_EXTENSION: return compare_text(a->extension.view(), b->extension.view(), false);
    case SORT_SIZE: return sign_of(a->size(), b->size());
    case SORT_MODIFIED:
        // Compared, not subtracted: a difference can overflow.
        return sign_of(a->modified, b->modified);
    case SORT_NAME_NOCASE: return compare_names(a->name.view(), b->name.view(), true);
    case SORT_EXTENSION_NOCASE: return compare_text(a->extension.view(), b->extension.view(), true);
    default: return 0;
    }
}

namespace {

// What a fresh listing says about an entry; the tree links and the view's
// marks stay with the old node.
void update_entry(qxfile_node& old, qxfile_node& fresh)
{
    if (old.is_folder && !fresh.is_folder && old.first_child) {
        qxfile_node* children = old.first_child;
        old.first_child = nullptr;
        qxe_tree<qxfile_node>::free_chain(children);
    }
    old.extension = fresh.extension;
    old.is_folder = fresh.is_folder;
    old.size_bytes = fresh.size_bytes;
    old.modified = fresh.modified;
    old.time_exact = fresh.time_exact;
    old.attributes = fresh.attributes;
    old.owner = std::move(fresh.owner);
    old.group = std::move(fresh.group);
    old.unique = std::move(fresh.unique);
    old.created = fresh.created;
    old.accessed = fresh.accessed;
    old.type_text = fresh.type_text;
    old.link_target = fresh.link_target;
    old.link_node = nullptr;
    old.link_tried = 0;
    old.icon_known = 0;
    // Its contents may have changed as well: listed again when entered.
    old.needs_listing = 1;
}

}  // namespace

void qxfile_tree::adopt_children(qxfile_node* folder, qxfile_node& staging)
{
    std::lock_guard lock(mutex_);
    std::vector<qxfile_node*> old;
    std::unordered_map<std::string_view, std::size_t> by_name;  // a name's first old node
    for (qxfile_node* n = folder->first_child; n; n = n->next) {
        by_name.try_emplace(n->name.view(), old.size());
        old.push_back(n);
    }
    std::vector<bool> kept(old.size(), false);

    qxfile_node* head = nullptr;
    qxfile_node* tail = nullptr;
    for (qxfile_node* n = staging.first_child; n;) {
        qxfile_node* const next = n->next;
        qxfile_node* entry = n;
        auto it = by_name.find(n->name.view());
        if (it != by_name.end()) {
            entry = old[it->second];
            kept[it->second] = true;
            by_name.erase(it);
            update_entry(*entry, *n);
            n->next = nullptr;
            free_chain(n);
        }
        entry->parent = folder;
        entry->prev = tail;
        entry->next = nullptr;
        (tail ? tail->next : head) = entry;
        tail = entry;
        n = next;
    }
    staging.first_child = nullptr;
    folder->first_child = head;
    folder->needs_listing = 0;
    for (std::size_t i = 0; i < old.size(); ++i)
        if (!kept[i]) {
            old[i]->next = nullptr;
            free_chain(old[i]);
        }
    generation_.fetch_add(1, std::memory_order_acq_rel);
}

void qxfile_tree::clear()
{
    std::lock_guard lock(mutex_);
    qxe_tree::clear();
    generation_.fetch_add(1, std::memory_order_acq_rel);
}

qxfile_node* qxfile_tree::resolve_link(qxfile_node* node)
{
    bool too_deep = false;
    qxfile_node* result = resolve_link_at(node, 0, too_deep);
    return too_deep ? nullptr : result;
}

qxfile_node* qxfile_tree::resolve_link_at(qxfile_node* node, int depth, bool& too_deep)
{
    if (!node)
        return nullptr;
    if (depth >= link_depth_limit) {
        too_deep = true;
        return nullptr;
    }
    std::string_view target = node->link_target.view();
    if (target.empty())
        return nullptr;

    qxfile_node* cur = target.front() == '/' ? root : node->parent;
    std::size_t pos = 0;
    while (cur && pos <= target.size()) {
        std::size_t slash = target.find('/', pos);
        if (slash == std::string_view::npos)
            slash = target.size();
        std::string_view part = target.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty() || part == ".")
            continue;
        if (!cur->is_folder)
            break;  // a file ends the walk, whatever follows
        if (part == "..") {
            cur = cur->parent;
            continue;
        }
        qxfile_node* child = cur->first_child;
        while (child && child->name.view() != part)
            child = child->next;
        cur = child;
    }
    if (!cur)
        return nullptr;

    node->link_node = cur;
    // A link to a link takes the folder flag its own target gives it. A target
    // that cannot be found further down still counts as this link's result;
    // only a chain that runs too deep (links pointing at each other) fails.
    if (cur->is_link()) {
        resolve_link_at(cur, depth + 1, too_deep);
        if (too_deep) {
            node->link_node = nullptr;
            return nullptr;
        }
    }
    node->is_folder = cur->is_folder;
    return cur;
}

}  // namespace qvtf
