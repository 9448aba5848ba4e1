#include "settings/program_folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "core/qxfiles_atomic.h"
#include "settings/global_ftp_settings.h"

namespace qvtf {

namespace {

constexpr const char* extension_list_name = "ext.txt";

std::string with_slash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

bool is_file(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::string program_folders::extension_list() const
{
    const std::string own = user_file(extension_list_name);
    return is_file(own) ? own : shipped_file(extension_list_name);
}

bool program_folders::ensure_user_folder() const
{
    // Each missing level is made private: the folder holds the settings key.
    return make_private_folders(user);
}

user_folder_sources user_folder_sources::from_environment(const std::string& home_option)
{
    user_folder_sources s;
    s.home_option = home_option;
    s.home_variable = variable("QVTF_HOME");
    s.config_home = variable("XDG_CONFIG_HOME");
    s.home = global_ftp_values::default_local_folder();
    return s;
}

std::string choose_user_folder(const std::string& program_folder, const user_folder_sources& sources)
{
    if (!sources.home_option.empty())
        return with_slash(sources.home_option);
    if (!sources.home_variable.empty())
        return with_slash(sources.home_variable);
    const std::string program = with_slash(program_folder);
    if (is_file(program + global_ftp_settings::file_name))
        return program;
    // A relative XDG_CONFIG_HOME is to be ignored, as the base directory rules say.
    if (!sources.config_home.empty() && sources.config_home.front() == '/')
        return with_slash(sources.config_home) + "qvtf/";
    return with_slash(sources.home) + ".config/qvtf/";
}

std::string executable_folder()
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string("./");
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

program_folders find_program_folders(const std::string& home_option)
{
    program_folders folders;
    folders.program = executable_folder();
    folders.user = choose_user_folder(folders.program, user_folder_sources::from_environment(home_option));
    return folders;
}

}  // namespace qvtf
