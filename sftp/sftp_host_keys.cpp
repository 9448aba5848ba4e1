// The server's host key against the known-hosts files: the program's own
// (where remembered keys go) and the user's SSH one. A key neither knows
// goes to the judge; a key that differs from the stored one is refused
// unless the judge deliberately replaces it.
#include <libssh/libssh.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/qxfiles.h"
#include "core/qxfiles_atomic.h"
#include "remote/host_key_judge.h"
#include "sftp/sftp_session.h"

namespace qvtf {

namespace {

constexpr int phrase_host_key_of = 1203;
constexpr int phrase_known_key = 1212;
constexpr int phrase_not_remembered = 1213;

std::string sha256_fingerprint(ssh_key key)
{
    unsigned char* hash = nullptr;
    size_t length = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != SSH_OK)
        return "";
    char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
    ssh_clean_pubkey_hash(&hash);
    if (!text)
        return "";
    std::string out(text);
    ssh_string_free_char(text);
    return out;
}

// Keys the user trusted for this run only: the queue's connections to the
// same server take them without asking again.
std::mutex trusted_mutex;
std::set<std::string>& trusted_this_run()
{
    static std::set<std::string> trusted;
    return trusted;
}

std::string trust_key(const host_key_question& question)
{
    return question.host + ":" + std::to_string(question.port) + " " + question.fingerprint;
}

std::string user_known_hosts()
{
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.ssh/known_hosts" : std::string();
}

// The file without the lines whose host field is host_field, plus line.
std::string replaced_entries(const std::string& old_text, const std::string& host_field, const std::string& line)
{
    std::string out;
    std::size_t at = 0;
    while (at < old_text.size()) {
        std::size_t end = old_text.find('\n', at);
        end = end == std::string::npos ? old_text.size() : end + 1;
        const std::string_view entry(old_text.data() + at, end - at);
        if (entry.substr(0, entry.find(' ')) != host_field)
            out += entry;
        at = end;
    }
    if (!out.empty() && !out.ends_with('\n'))
        out += '\n';
    return out + line;
}

// The fingerprint of the first key the files hold for the host.
std::string stored_fingerprint(const std::vector<std::string>& files, const std::string& host, int port)
{
    const std::string name = port == 22 ? host : "[" + host + "]:" + std::to_string(port);
    for (const std::string& path : files) {
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            ssh_knownhosts_entry* entry = nullptr;
            if (line.empty() || line[0] == '#' ||
                ssh_known_hosts_parse_line(name.c_str(), line.c_str(), &entry) != SSH_OK || !entry)
                continue;
            std::string fingerprint = entry->publickey ? sha256_fingerprint(entry->publickey) : "";
            ssh_knownhosts_entry_free(entry);
            if (!fingerprint.empty())
                return fingerprint;
        }
    }
    return "";
}

}  // namespace

std::vector<std::string> sftp_session::known_hosts_files() const
{
    std::vector<std::string> files;
    if (!options_.known_hosts_file.view().empty())
        files.push_back(options_.known_hosts_file.str());
    if (options_.user_known_hosts && !user_known_hosts().empty())
        files.push_back(user_known_hosts());
    return files;
}

void sftp_session::set_known_hosts_options()
{
    // The program's file first: libssh adds to the one it calls its own.
    // A file that does not exist yet counts as empty.
    const std::string own = options_.known_hosts_file.view().empty() ? "/dev/null" : options_.known_hosts_file.str();
    const std::string user = options_.user_known_hosts ? user_known_hosts() : std::string();
    ssh_options_set(ssh_, SSH_OPTIONS_KNOWNHOSTS, own.c_str());
    ssh_options_set(ssh_, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, user.empty() ? "/dev/null" : user.c_str());
}

bool sftp_session::remember_host_key(bool replace)
{
    if (options_.known_hosts_file.view().empty())
        return false;
    char* entry = nullptr;
    if (ssh_session_export_known_hosts_entry(ssh_, &entry) != SSH_OK || !entry)
        return false;
    std::string line(entry);
    ssh_string_free_char(entry);
    if (!line.ends_with('\n'))
        line += '\n';
    const qxval path = options_.known_hosts_file;
    if (!make_private_folders_for(path.view()))
        return false;
    qxval old;
    if (file_handle h = open_regular_file(path, "r"); h != invalid_file_handle) {
        const int64_t size = qvtf::file_size(h);
        if (size > 0 && size < (int64_t{64} << 20))
            read_file(old, static_cast<int32_t>(size), h);
        close_file(h);
    }
    const std::string host_field = line.substr(0, line.find(' '));
    std::string text = old.str();
    if (replace)
        text = replaced_entries(text, host_field, line);
    else
        text += (text.empty() || text.ends_with('\n') ? "" : "\n") + line;
    return write_file_atomic(path, text, 0600);
}

remote_result sftp_session::check_host_key()
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(ssh_, &key) != SSH_OK)
        return ssh_failure();
    host_key_question question;
    question.host = site_.host.str();
    question.port = site_.port;
    question.key_type = ssh_key_type_to_char(ssh_key_type(key));
    question.fingerprint = sha256_fingerprint(key);
    ssh_key_free(key);
    const std::string shown = question.key_type + " " + question.fingerprint;
    log(log_info, std::string(phrase(phrase_host_key_of)) + question.host + ": " + shown + "\r\n");

    switch (ssh_session_is_known_server(ssh_)) {
    case SSH_KNOWN_HOSTS_OK: return status_ok;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER: {
        question.changed = true;
        question.known_fingerprint = stored_fingerprint(known_hosts_files(), question.host, question.port);
        break;
    }
    case SSH_KNOWN_HOSTS_UNKNOWN:
    case SSH_KNOWN_HOSTS_NOT_FOUND: {
        std::lock_guard lock(trusted_mutex);
        if (trusted_this_run().count(trust_key(question)))
            return status_ok;
        break;
    }
    default: return ssh_failure();
    }
    host_key_verdict verdict = options_.host_keys ? options_.host_keys->judge(question) : host_key_verdict::refuse;
    // A changed key is never taken just for once: only replacing the
    // stored one, deliberately, lets it in.
    if (question.changed && verdict == host_key_verdict::trust_once)
        verdict = host_key_verdict::refuse;
    if (verdict == host_key_verdict::remember && !remember_host_key(question.changed))
        log(log_error, std::string(phrase(phrase_not_remembered)) + options_.known_hosts_file.str() + "\r\n");
    if (verdict == host_key_verdict::trust_once) {
        std::lock_guard lock(trusted_mutex);
        trusted_this_run().insert(trust_key(question));
    }
    if (verdict != host_key_verdict::refuse && !stop_.killed())
        return status_ok;
    remote_result refused(question.changed ? status_host_key_changed : status_host_key_unknown);
    refused.detail = question.host + " " + shown;
    if (question.changed && !question.known_fingerprint.empty())
        refused.detail += std::string(phrase(phrase_known_key)) + question.known_fingerprint;
    qxval text;
    error_text(refused, text);
    log(log_error, text.str() + "\r\n");
    return refused;
}

}  // namespace qvtf
