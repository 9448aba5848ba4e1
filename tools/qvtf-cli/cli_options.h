#pragma once
// Command line of qvtf-cli: connection options and the commands to run on one session.
#include <cstdio>
#include <string>
#include <vector>

#include "queue/exists_action.h"

namespace qvtf::cli {

enum class transfer_kind { binary, ascii, automatic };

struct options {
    std::string home;  // user data folder (see program_folders.h); empty: the usual rule
    std::string site;  // profile label or "Group/Site[/Bookmark]"
    std::string host;
    int port = 21;
    std::string user = "anonymous";
    std::string password;  // from QVTF_PASSWORD only
    std::string protocol;  // "ftp" or "sftp"; empty: the site's, else ftp
    std::string key_file;
    std::string key_passphrase;  // from QVTF_KEY_PASSPHRASE only
    std::string known_hosts;     // replaces the user's SSH known-hosts file
    bool passive = true;
    bool port_fallback = true;
    bool trust_pasv_address = false;  // data connections go where 227 says
    bool extended_data = true;        // EPSV/EPRT first on IPv4
    bool machine_listings = true;     // MLSD where the server offers it
    int timeout = 60;                 // seconds
    std::string list_params = "-al";
    int proxy_type = 0;  // 0..5
    std::string proxy_host;
    int proxy_port = 0;
    std::string proxy_user;
    std::string proxy_password;  // from QVTF_PROXY_PASSWORD only
    std::string proxy_script;    // file with a firewall command script
    // none|auto|explicit|implicit; empty: the site's choice, else auto.
    std::string encryption;
    std::string ca_file;  // PEM certificates trusted besides the system's
    transfer_kind type = transfer_kind::binary;
    int threads = -1;  // download/upload workers; -1: the max_download_threads setting
    int retries = -1;  // tries per item; -1: the retry_count setting
    // get/put/download/upload: what a file does when its target exists.
    exists_action exists = exists_action::overwrite;
    bool log = false;
    bool help = false;
    // The options named on the command line, as written ("--user", ...):
    // with --site they replace what the profile and the settings say.
    std::vector<std::string> given;
    bool was_given(const char* option) const;
    // Each command is its words; the first word names it.
    std::vector<std::vector<std::string>> commands;
};

// Splits one command line into words: blanks separate, single or double quotes group,
// a backslash takes the next byte literally.
bool split_words(const std::string& line, std::vector<std::string>& words, std::string& error);

// Splits a -c script at unquoted ';' into commands.
bool split_script(const std::string& script, std::vector<std::vector<std::string>>& commands, std::string& error);

// Whether words (a command and its arguments) name a known command with the
// arguments it takes; false with a message in error.
bool check_command(const std::vector<std::string>& words, std::string& error);

// Parses argv (without argv[0]). Passwords come from the environment, never the command line.
// A command "-" reads one command per line from `in`. Every command is checked
// (check_command), so usage errors are found before anything connects.
bool parse(int argc, char** argv, options& out, std::string& error, std::FILE* in = stdin);

void print_usage(std::FILE* out);
// The one line that follows a usage error.
void print_usage_line(std::FILE* out);

}  // namespace qvtf::cli
