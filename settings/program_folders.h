// program_folders: where the program's own files and the user's files live.
// Shipped files (phrase file, the default "ext.txt", help, sounds, icons) sit
// beside the executable. User files ("qorx_gfs.txt", "site_profiles.xml", the
// user's "ext.txt", "qx_listing_debug.txt") live in the user data folder, so
// an installed program never writes beside itself and --home needs no copy
// of the shipped files. Every front end takes its folders from here.
#pragma once

#include <string>

namespace qvtf {

struct program_folders {
    std::string program;  // the executable's folder, ends in "/"
    std::string user;     // the user data folder, ends in "/"

    std::string shipped_file(const char* name) const { return program + name; }
    std::string user_file(const char* name) const { return user + name; }
    // The user's "ext.txt" when there is one, else the shipped one.
    std::string extension_list() const;
    // Creates the user folder (and missing parents) with mode 0700; true when
    // it exists afterwards. Call before the first write into it.
    bool ensure_user_folder() const;
};

// What decides the user data folder, taken from the command line and the
// environment; empty means not given.
struct user_folder_sources {
    std::string home_option;    // --home DIR
    std::string home_variable;  // $QVTF_HOME
    std::string config_home;    // $XDG_CONFIG_HOME
    std::string home;           // $HOME (or the password database's home)

    // The sources of this process's environment, with the given --home.
    static user_folder_sources from_environment(const std::string& home_option);
};

// The rule, first match wins: --home; $QVTF_HOME; the executable's folder
// when it already holds "qorx_gfs.txt" (a portable install);
// $XDG_CONFIG_HOME/qvtf when that is an absolute path; else
// $HOME/.config/qvtf. Ends in "/". Touches no file but the portable check.
std::string choose_user_folder(const std::string& program_folder, const user_folder_sources& sources);

// The folder of the running executable, ending in "/".
std::string executable_folder();

// Both folders for this process: the executable's, and the user folder by
// the rule with this environment and the given --home (may be empty).
program_folders find_program_folders(const std::string& home_option);

}  // namespace qvtf
