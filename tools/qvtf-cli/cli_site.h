#pragma once
// qvtf-cli's view of the window program's files: the settings (for the key,
// the proxies and the transfer defaults) and the site profile tree. Read
// only: the settings and profiles belong to the window program, which writes
// them at exit; a front end that wrote them too would race it.
#include <cstdio>
#include <string>

#include "markup/qxlang.h"
#include "profiles/ftp_profile_tree.h"
#include "settings/global_ftp_settings.h"

namespace qvtf::cli {

inline constexpr const char* profiles_file_name = "site_profiles.xml";
inline constexpr int phrase_settings_unreadable = 28;

class cli_site {
public:
    global_ftp_settings settings;
    ftp_profile_tree profiles;
    ftp_profile* chosen = nullptr;  // the node named on the command line
    ftp_profile* site = nullptr;    // the site it connects to (its parent for a bookmark)

    // Loads the settings and the profiles of the user folder and resolves
    // label (a site's label or a path of labels) to a site or bookmark.
    // false with a message on err.
    bool load(const program_folders& folders, const qxlang& language, const std::string& label, std::FILE* err);

    // The start folder: the bookmark's folder for a bookmark, else the site's.
    const qxval& start_folder() const;
    // Whether this connection should measure the server's clock offset.
    bool wants_time_difference() const;
};

// Loads only the profile file of the user folder; false with a message on err.
bool load_profiles(const std::string& folder, const qxlang& language, const qxval& key, ftp_profile_tree& tree,
                   std::FILE* err);

// "sites" on the user folder: one line per node below the top group: kind, tab, path of labels.
// The process exit code.
int print_sites(const std::string& folder, const qxlang& language, std::FILE* out, std::FILE* err);

}  // namespace qvtf::cli
