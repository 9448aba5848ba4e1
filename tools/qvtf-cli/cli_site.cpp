#include "tools/qvtf-cli/cli_site.h"

#include <cstdlib>

namespace qvtf::cli {

bool load_profiles(const std::string& folder, const qxlang& language, const qxval& key, ftp_profile_tree& tree,
                   std::FILE* err)
{
    const std::string path = folder + profiles_file_name;
    if (int32_t status = tree.load(qxval(path), key, language)) {
        std::fprintf(err, "qvtf-cli: cannot load %s: status %d\n", path.c_str(), status);
        return false;
    }
    // A missing file is an empty tree; a damaged one must not pass for that.
    if (tree.load_damaged()) {
        std::fprintf(err, "qvtf-cli: cannot read %s: %s\n", path.c_str(), tree.load_error().c_str());
        return false;
    }
    return true;
}

bool cli_site::load(const program_folders& folders, const qxlang& language, const std::string& label, std::FILE* err)
{
    // start_settings writes nothing; on a first run the key it makes is
    // simply not kept, as nothing of ours is saved.
    const settings_start_result started = start_settings(settings, folders);
    if (started.status) {
        std::fprintf(err, "qvtf-cli: %s: %s (status %d)\n", settings.settings_path.c_str(),
                     std::string(language.text(phrase_settings_unreadable)).c_str(), started.status);
        return false;
    }
    if (!load_profiles(folders.user, language, settings.key, profiles, err))
        return false;
    // An empty password lets $QVTF_PASSWORD or the server's refusal speak.
    if (started.new_key)
        profiles.forget_file_passwords();
    chosen = profiles.find(label);
    if (!chosen) {
        std::fprintf(err, "qvtf-cli: no site \"%s\" in %s%s\n", label.c_str(), folders.user.c_str(),
                     profiles_file_name);
        return false;
    }
    if (chosen->is_group()) {
        std::fprintf(err, "qvtf-cli: \"%s\" is a group, not a site\n", label.c_str());
        return false;
    }
    site = effective_site(chosen);
    // The keyring speaks D-Bus to the desktop session, which a command line
    // tool cannot count on: the password comes from the environment instead.
    const char* given = std::getenv("QVTF_PASSWORD");
    if (site->password_place == password_in_keyring && site->password.view().empty() && !(given && *given))
        std::fprintf(err, "qvtf-cli: the password of \"%s\" is kept in the desktop keyring; give it in $QVTF_PASSWORD\n",
                     label.c_str());
    return true;
}

const qxval& cli_site::start_folder() const
{
    return chosen && chosen->is_bookmark() && !chosen->directory.view().empty() ? chosen->directory : site->directory;
}

bool cli_site::wants_time_difference() const
{
    return site && !site->anonymous_login && site->time_difference_state == time_difference_unmeasured;
}

int print_sites(const std::string& folder, const qxlang& language, std::FILE* out, std::FILE* err)
{
    // Labels need no key; passwords are not shown.
    ftp_profile_tree tree;
    if (!load_profiles(folder, language, qxval(""), tree, err))
        return 1;
    for (const ftp_profile_entry& entry : tree.entries())
        std::fprintf(out, "%s\t%s\n", profile_kind_name(entry.kind), entry.path.c_str());
    return 0;
}

}  // namespace qvtf::cli
