#include <sys/stat.h>

#include <cerrno>

#include "core/qxscramble.h"
#include "settings/global_ftp_settings.h"

namespace qvtf {

namespace {

// Only a file that is not there at all is a first run: one that exists but
// cannot be read must stop the start, or the exit would overwrite it.
bool settings_file_missing(const qxval& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) != 0 && errno == ENOENT;
}

}  // namespace

// Loads settings_path and the key once the folders are set.
static settings_start_result start_settings_at_path(global_ftp_settings& settings);

settings_start_result start_settings(global_ftp_settings& settings, const qxval& program_folder)
{
    settings.set_program_folder(program_folder);
    return start_settings_at_path(settings);
}

settings_start_result start_settings(global_ftp_settings& settings, const program_folders& folders)
{
    settings.set_folders(folders);
    return start_settings_at_path(settings);
}

static settings_start_result start_settings_at_path(global_ftp_settings& settings)
{
    settings_start_result result;
    if (settings_file_missing(settings.settings_path)) {
        // There is no installer to ship a first file: start from the
        // defaults; the file is written at exit.
        result.first_run = true;
        if (!settings.ensure_default_proxy()) {
            result.status = settings_no_proxy;
            return result;
        }
    } else if ((result.status = settings.load()) != 0) {
        return result;
    }

    result.new_key = obtain_settings_key(settings);
    if (settings.key.view().empty()) {
        result.status = settings_no_key;
        return result;
    }
    // The block reader leaves passwords as stored. Every proxy's is turned
    // into clear text, not only the first's: the next save scrambles them
    // all, and a password left scrambled would be scrambled twice. Under a
    // new key the old records cannot be read, so they are dropped instead of
    // becoming garbage that looks like a password.
    for (int32_t i = 0; i < settings.proxies.count(); ++i) {
        ftp_proxy* proxy = settings.proxies.at(i);
        if (proxy->proxy_password.view().empty())
            continue;
        qxval clear;
        if (!result.new_key)
            read_stored_password(proxy->proxy_password, settings.key, clear);
        proxy->proxy_password = clear.is_string() ? clear : qxval("");
    }
    return result;
}

}  // namespace qvtf
