#include "ftp/auto_transfer_resolver.h"

#include <memory>
#include <vector>

#include "core/qxarr.h"
#include "core/qxtext.h"
#include "markup/xml_io.h"
#include "markup/xml_node.h"

namespace qvtf {

void transfer_hash::insert(std::string_view key, transfer_pair pair)
{
    transfer_hash_entry** link = &root_;
    while (*link) {
        int d = compare_bytes(key, (*link)->key.view());
        if (d == 0) {
            (*link)->pair = pair;
            return;
        }
        link = d < 0 ? &(*link)->smaller : &(*link)->larger;
    }
    auto* entry = new transfer_hash_entry;
    entry->key.set_bytes(key);
    entry->pair = pair;
    *link = entry;
    ++count_;
}

const transfer_hash_entry* transfer_hash::find(std::string_view key) const
{
    const transfer_hash_entry* node = root_;
    while (node) {
        int d = compare_bytes(key, node->key.view());
        if (d == 0)
            return node;
        node = d < 0 ? node->smaller : node->larger;
    }
    return nullptr;
}

void transfer_hash::clear()
{
    std::vector<transfer_hash_entry*> pending;
    if (root_)
        pending.push_back(root_);
    while (!pending.empty()) {
        transfer_hash_entry* node = pending.back();
        pending.pop_back();
        if (node->smaller)
            pending.push_back(node->smaller);
        if (node->larger)
            pending.push_back(node->larger);
        delete node;
    }
    root_ = nullptr;
    count_ = 0;
}

int32_t transfer_type_from_text(std::string_view text)
{
    qxval lower(text);
    to_lower(lower);
    return lower.view() == "ascii" ? transfer_ascii : transfer_binary;
}

int32_t permissions_from_text(std::string_view text)
{
    int32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            continue;
        value = ((value << 3) | ((c - '0') & 7)) & 0xFFF;
    }
    return value;
}

namespace {

// A subtree taken out of its document, freed as a whole.
struct subtree_free {
    void operator()(xml_node* n) const { xml_tree::free_chain(n); }
};
using detached = std::unique_ptr<xml_node, subtree_free>;

detached detach(xml_tree& tree, std::string_view path)
{
    xml_node* node = xml_find(tree, path);
    if (!node)
        return nullptr;
    tree.unlink(node);
    return detached(node);
}

// An entry is any empty element below the section named "_" and a digit
// and whatever follows.
bool is_entry(const xml_node* n)
{
    std::string_view name = n->name.view();
    return n->kind == xml_kind_empty_tag && name.size() >= 2 && name[0] == '_' && name[1] >= '0' && name[1] <= '9';
}

void fill(transfer_hash& table, const xml_node* section)
{
    qxarr entries;
    for (const xml_node* n = section->first_child; n;) {
        if (is_entry(n)) {
            qxval ref(const_cast<xml_node*>(n));
            entries.push(ref);
        }
        // Document order, staying inside the section.
        if (n->first_child) {
            n = n->first_child;
            continue;
        }
        while (n && n != section && !n->next)
            n = n->parent;
        n = (n && n != section) ? n->next : nullptr;
    }

    // Insertion in file order would turn a sorted file into one long chain.
    entries.shuffle();

    for (const qxval& ref : entries) {
        const auto* n = static_cast<const xml_node*>(ref.as_pointer());
        const qxval* name = n->attributes.find(qxval("name"));
        if (!name)
            continue;
        const qxval* transfer = n->attributes.find(qxval("transfer"));
        const qxval* chmod = n->attributes.find(qxval("chmod"));
        if (!transfer && !chmod)
            continue;
        transfer_pair pair;
        if (transfer)
            pair.type = transfer_type_from_text(transfer->view());
        if (chmod)
            pair.permissions = permissions_from_text(chmod->view());
        table.insert(name->view(), pair);
    }
}

}  // namespace

int32_t auto_transfer_resolver::load(const qxval& path)
{
    xml_tree tree;
    qxval error;
    int32_t status = xml_read_file(path, tree, error);
    if (status != 0)
        return status;

    std::lock_guard<std::mutex> hold(lock_);
    detached extensions = detach(tree, "/ext/extensions");
    if (!extensions)
        return 2;
    fill(extensions_, extensions.get());
    detached names = detach(tree, "/ext/names");
    if (!names)
        return 2;
    fill(names_, names.get());
    return 0;
}

transfer_pair auto_transfer_resolver::resolve(std::string_view file_name) const
{
    std::lock_guard<std::mutex> hold(lock_);
    if (const transfer_hash_entry* e = names_.find(file_name))
        return e->pair;
    std::size_t dot = file_name.rfind('.');
    if (dot != std::string_view::npos) {
        qxval extension(file_name.substr(dot));
        to_lower(extension);
        if (const transfer_hash_entry* e = extensions_.find(extension.view()))
            return e->pair;
    }
    return transfer_pair{};
}

int32_t auto_transfer_resolver::extension_count() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return extensions_.count();
}

int32_t auto_transfer_resolver::name_count() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return names_.count();
}

}  // namespace qvtf
