#include "settings/global_ftp_settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "core/qxarr.h"
#include "core/qxfiles_atomic.h"
#include "core/qxtext.h"
#include "markup/xml_io.h"
#include "profiles/ftp_profile.h"
#include "settings/global_ftp_keys.h"

namespace qvtf {

std::vector<std::string> global_ftp_values::default_columns()
{
    return {"Name", "1",        "150", "Size", "1",          "80", "Type", "1",
            "100",  "Modified", "1",   "100",  "Attributes", "1",  "100"};
}

std::string global_ftp_values::default_local_folder()
{
    std::string home;
    if (const char* env = std::getenv("HOME"); env && *env)
        home = env;
    else if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && *entry->pw_dir)
        home = entry->pw_dir;
    else
        home = "/";
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home;
}

void global_ftp_settings::set_program_folder(const qxval& folder)
{
    std::string path = folder.str();
    if (path.empty() || path.back() != '/')
        path += '/';
    program_folder.set_bytes(path);
    settings_path.set_bytes(path + file_name);
}

void global_ftp_settings::set_folders(const program_folders& folders)
{
    set_program_folder(qxval(folders.program));
    settings_path.set_bytes(folders.user_file(file_name));
}

qxval global_ftp_settings::sound_path(const char* name) const
{
    return qxval(program_folder.str() + "sounds/" + name);
}

bool global_ftp_settings::ensure_default_proxy()
{
    if (proxies.empty() && !proxies.add_new())
        return false;
    proxies.set_default(proxies.first());
    return true;
}

int32_t global_ftp_settings::load()
{
    xml_tree document;
    qxval error;
    if (int32_t status = xml_read_file(settings_path, document, error))
        return status;

    // Read into a fresh set, so a file that fails half way changes nothing.
    global_ftp_values values;
    // Absent zone lists mean empty zones, not the defaults.
    values.top_zone_controls.clear();
    values.bottom_zone_controls.clear();
    qxval text;
    int32_t found = 0;
    for (const settings_key& entry : settings_keys()) {
        const std::string path = std::string("/") + entry.name;
        if (xml_get_text(document, path, nullptr, text) != 0)
            continue;
        ++found;
        if (int32_t status = read_settings_key(values, entry, text))
            return status;
    }
    // Well-formed XML of another program (or an empty file) would otherwise
    // pass for a file of defaults, to be overwritten at exit.
    if (found == 0 && !xml_find(document, "/proxies"))
        return settings_foreign;
    static_cast<global_ftp_values&>(*this) = std::move(values);

    if (const xml_node* block = xml_find(document, "/proxies"))
        if (int32_t status = proxies.read(document, block))
            return status;
    // The settings dialog edits the first proxy, so it is always the default.
    return ensure_default_proxy() ? settings_ok : settings_no_proxy;
}

int32_t global_ftp_settings::write_lines(qxarr& lines) const
{
    for (const settings_key& entry : settings_keys()) {
        std::string line = "<";
        line += entry.name;
        line += '>';
        // CR kept as a reference, so texts from the window layer come back
        // byte for byte.
        line += xml_escaped_keep_cr(settings_key_text(*this, entry));
        line += "</";
        line += entry.name;
        line += ">\r\n";
        qxval value(line);
        lines.push(value);
    }
    // Without a key the proxy passwords would be written as nothing: refuse
    // rather than lose them.
    const bool store = password_storage != passwords_not_stored;
    if (key.view().empty() && store)
        for (int32_t i = 0; i < proxies.count(); ++i)
            if (!proxies.at(i)->proxy_password.view().empty() && proxies.at(i)->password_place == password_in_file)
                return settings_no_key;
    return proxies.write(lines, key, store);
}

int32_t global_ftp_settings::save() const
{
    qxarr lines;
    if (int32_t status = write_lines(lines))
        return status;
    // The user folder is made on the first save. Temporary file, flush,
    // rename: a failed write keeps the old file.
    if (!make_private_folders_for(settings_path.view()))
        return settings_not_written;
    return write_list_atomic(settings_path, lines, 0600) ? settings_ok : settings_not_written;
}

}  // namespace qvtf
