#include "profiles/ftp_profile_tree.h"

#include "markup/qxlang.h"

namespace qvtf {

namespace {

bool same_label(const ftp_profile* node, std::string_view label)
{
    return node->label.view() == label;
}

// First node in the chain starting at first whose label path matches rest;
// tries every split, so labels holding "/" are found as well.
ftp_profile* match_path(ftp_profile* first, std::string_view rest)
{
    for (ftp_profile* n = first; n; n = n->next) {
        std::string_view label = n->label.view();
        if (rest == label)
            return n;
        if (rest.size() > label.size() && rest.substr(0, label.size()) == label && rest[label.size()] == '/') {
            if (ftp_profile* found = match_path(n->first_child, rest.substr(label.size() + 1)))
                return found;
        }
    }
    return nullptr;
}

// Pre-order successor that stays inside the subtree of top.
ftp_profile* next_below(ftp_profile* node, const ftp_profile* top)
{
    if (node->first_child)
        return node->first_child;
    for (ftp_profile* n = node; n && n != top; n = n->parent)
        if (n->next)
            return n->next;
    return nullptr;
}

}  // namespace

int32_t ftp_profile_tree::reset(const qxlang& language)
{
    tree.clear();
    ftp_profile* top = ftp_profile::make(profile_group);
    if (!top)
        return profile_no_memory;
    top->label.set_bytes(language.text(phrase_profiles_top_group));
    tree.append_top(top);
    return profile_ok;
}

ftp_profile* ftp_profile_tree::find(std::string_view label_path) const
{
    ftp_profile* top = tree.root;
    if (!top || label_path.empty())
        return nullptr;
    for (ftp_profile* n = top->first_child; n; n = next_below(n, top))
        if (n->is_site() && same_label(n, label_path))
            return n;
    return match_path(top->first_child, label_path);
}

void ftp_profile_tree::forget_file_passwords()
{
    for (const ftp_profile_entry& entry : entries()) {
        ftp_profile* p = entry.node;
        if (!p->is_site())
            continue;
        if (p->password_place == password_in_file)
            p->password.set_string("");
        if (p->passphrase_place == password_in_file)
            p->ssh_key_passphrase.set_string("");
    }
}

std::vector<ftp_profile_entry> ftp_profile_tree::entries() const
{
    std::vector<ftp_profile_entry> out;
    ftp_profile* top = tree.root;
    if (!top)
        return out;
    // The path is built as the walk goes, so a deep tree stays linear.
    std::string path;
    std::vector<std::size_t> parent_length{0};
    int32_t depth = 0;
    ftp_profile* n = top->first_child;
    while (n) {
        path.resize(parent_length[static_cast<std::size_t>(depth)]);
        if (depth > 0)
            path += '/';
        path += n->label.view();
        out.push_back({n, n->kind, depth, path});
        if (n->first_child) {
            ++depth;
            parent_length.resize(static_cast<std::size_t>(depth) + 1);
            parent_length[static_cast<std::size_t>(depth)] = path.size();
            n = n->first_child;
            continue;
        }
        while (n != top && !n->next) {
            n = n->parent;
            --depth;
        }
        n = n == top ? nullptr : n->next;
    }
    return out;
}

const char* profile_kind_name(int32_t kind)
{
    switch (kind) {
    case profile_group: return "group";
    case profile_site: return "site";
    case profile_bookmark: return "bookmark";
    default: return "unknown";
    }
}

std::string profile_label_path(const ftp_profile* node)
{
    std::vector<std::string_view> labels;
    // The node without a parent is the top group, which no path names.
    for (const ftp_profile* n = node; n && n->parent; n = n->parent)
        labels.push_back(n->label.view());
    std::string path;
    for (auto it = labels.rbegin(); it != labels.rend(); ++it) {
        if (!path.empty() || it != labels.rbegin())
            path += '/';
        path += *it;
    }
    return path;
}

ftp_profile* effective_site(ftp_profile* node)
{
    if (!node || !node->is_bookmark() || !node->parent || !node->parent->is_site())
        return node;
    ftp_profile* site = node->parent;
    node->host = site->host;
    node->host_port = site->host_port;
    node->anonymous_login = site->anonymous_login;
    node->user_name = site->user_name;
    node->save_password = site->save_password;
    node->password = site->password;
    node->list_params = site->list_params;
    node->time_difference = site->time_difference;
    node->time_difference_state = site->time_difference_state;
    node->encryption = site->encryption;
    return site;
}

void apply_anonymous(ftp_profile& site, const qxlang& language)
{
    if (!site.is_site() || !site.anonymous_login)
        return;
    site.user_name.set_bytes(language.text(phrase_anonymous_user));
    site.password.set_bytes(language.text(phrase_anonymous_password));
}

}  // namespace qvtf
