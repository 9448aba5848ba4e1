#include "remote/remote_folders.h"

#include <vector>

namespace qvtf {

qxfile_node* folder_node_at(qxfile_tree& tree, qxfile_node* relative_to, std::string_view path)
{
    std::vector<std::string_view> parts;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos)
            slash = path.size();
        std::string_view part = path.substr(start, slash - start);
        if (!part.empty() && part != "." && part != "..")
            parts.push_back(part);
        start = slash + 1;
    }

    auto make_folder_node = [](std::string_view name) {
        auto* node = new qxfile_node;
        node->name.set_bytes(name);
        node->is_folder = 1;
        node->set_extension_from_name();
        return node;
    };
    qxfile_tree::reader hold(tree);
    if (!tree.root) {
        tree.append_top(make_folder_node("/"));
        if (!path.starts_with('/'))
            relative_to = tree.root;
    }
    qxfile_node* node = tree.root;
    if (!path.starts_with('/') && relative_to)
        node = relative_to;

    std::size_t i = 0;
    for (; i < parts.size(); ++i) {
        qxfile_node* match = nullptr;
        for (qxfile_node* child = node->first_child; child; child = child->next)
            if (child->is_folder && child->name.view() == parts[i]) {
                match = child;
                break;
            }
        if (!match)
            break;
        node = match;
    }
    for (; i < parts.size(); ++i) {
        qxfile_node* created = make_folder_node(parts[i]);
        tree.append_child(created, node);
        node = created;
    }
    return node;
}

}  // namespace qvtf
