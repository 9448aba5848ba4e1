// ftp_profile_tree: the user's groups, sites and bookmarks, kept in
// "site_profiles.xml".
//
// The tree has one top node, a group labelled with the language's phrase 200.
// It is made by load and never written to the file; the file's root element
// "sites" stands for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/qxe_tree.h"
#include "core/qxval.h"
#include "profiles/ftp_profile.h"

namespace qvtf {

class qxlang;

// Phrases the tree uses.
inline constexpr int32_t phrase_profiles_top_group = 200;
inline constexpr int32_t phrase_anonymous_user = 235;
inline constexpr int32_t phrase_anonymous_password = 236;

// Results of load and save.
enum ftp_profile_status : int32_t {
    profile_ok = 0,
    profile_no_memory = 1,     // a node could not be created
    profile_write_failed = 2,  // the file could not be replaced; the old one is intact
    profile_no_key = 3,        // a password should be written but there is no key
};

// One node of the tree as a walk reports it.
struct ftp_profile_entry {
    ftp_profile* node = nullptr;
    int32_t kind = profile_site;
    int32_t depth = 0;  // 0 for the top group's children
    std::string path;   // labels from the top group's children, joined by "/"
};

class ftp_profile_tree {
public:
    qxe_tree<ftp_profile> tree;
    // False when the user keeps no password anywhere: save then writes none,
    // and the ones in memory are asked at connect in the next run.
    bool store_passwords = true;

    ftp_profile_tree() = default;
    ftp_profile_tree(const ftp_profile_tree&) = delete;
    ftp_profile_tree& operator=(const ftp_profile_tree&) = delete;

    // The top group; null before the first load or reset.
    ftp_profile* top() const { return tree.root; }

    // Drops every node and leaves only the top group. profile_no_memory
    // when even that cannot be made.
    int32_t reset(const qxlang& language);

    // Replaces the tree with the file's. A missing, empty or unreadable file
    // gives only the top group and still returns profile_ok; elements that are
    // unknown or under a parent of the wrong kind are skipped with their
    // subtrees. profile_no_memory when a node cannot be created (the nodes
    // made so far stay). key is the password-scrambling key.
    int32_t load(const qxval& path, const qxval& key, const qxlang& language);

    // Writes the whole tree, replacing the file in one step with mode 0600:
    // a failed save leaves the previous file as it was. profile_ok, or
    // profile_write_failed / profile_no_key.
    int32_t save(const qxval& path, const qxval& key);

    // True when the last load found a file it could not read or parse. The
    // next save to that path first moves that file aside to path + ".damaged"
    // so that writing the (nearly empty) tree does not destroy the only copy.
    bool load_damaged() const { return !damaged_path_.view().empty(); }
    // The reader's message for a damaged file, else empty.
    const qxval& load_error() const { return load_error_; }

    // A node by a path of labels (null when nothing matches):
    //  1. The whole text as a label: the first SITE with exactly that label,
    //     anywhere in the tree, depth-first in tree order.
    //  2. Otherwise a path "Group/Site", "Group/Sub/Site/Bookmark", ... from
    //     the top group's children, any kind at the end. At each level the
    //     children are tried in order; a child matches when its label is the
    //     rest of the path, or the rest starts with its label followed by "/".
    //     So labels holding "/" are found too, and when several splits fit,
    //     the first in tree order wins.
    ftp_profile* find(std::string_view label_path) const;

    // Every node below the top group, depth-first in tree order.
    std::vector<ftp_profile_entry> entries() const;

    // The settings' key was made anew, so the passwords and passphrases the
    // file kept under the old one read back as garbage: they become empty,
    // and the user (or $QVTF_PASSWORD) gives them again.
    void forget_file_passwords();

private:
    qxval damaged_path_{""};
    qxval load_error_{""};
};

// "group", "site" or "bookmark" ("unknown" for anything else).
const char* profile_kind_name(int32_t kind);

// The labels from below the top group down to node, joined by "/".
std::string profile_label_path(const ftp_profile* node);

// For a bookmark whose parent is a site: copies the site's host, port,
// anonymous flag, user name, save-password flag, password, list parameters,
// time difference and its state into the bookmark and returns the site.
// Any other node is returned itself (null stays null). The bookmark gets
// neither the proxy key nor the custom commands: to connect to a bookmark,
// hand the returned site to site_of and take the bookmark's
// directory (and local_dir) as the start folders.
ftp_profile* effective_site(ftp_profile* node);

// For a site with anonymous_login set: the user name becomes phrase 235 and
// the password phrase 236. Other nodes are left alone.
void apply_anonymous(ftp_profile& site, const qxlang& language);

}  // namespace qvtf
