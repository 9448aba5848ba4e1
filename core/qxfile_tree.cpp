#include "core/qxfile_tree.h"

#include <string_view>

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

}  // namespace

int qxfile_tree::compare_nodes(const qxfile_node* a, const qxfile_node* b) const
{
    if ((a->is_folder != 0) != (b->is_folder != 0))
        return a->is_folder ? -1 : 1;
    switch (sort_key) {
    case SORT_NAME:
        return compare_text(a->name.view(), b->name.view(), false);
    case SORT_EXTENSION:
        return compare_text(a->extension.view(), b->extension.view(), false);
    case SORT_SIZE:
        return sign_of(a->size(), b->size());
    case SORT_MODIFIED:
        // Compared, not subtracted: a difference can overflow.
        return sign_of(a->modified, b->modified);
    case SORT_NAME_NOCASE:
        return compare_text(a->name.view(), b->name.view(), true);
    case SORT_EXTENSION_NOCASE:
        return compare_text(a->extension.view(), b->extension.view(), true);
    default:
        return 0;
    }
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
