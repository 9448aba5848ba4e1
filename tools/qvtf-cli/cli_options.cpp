#include "tools/qvtf-cli/cli_options.h"
#include "tools/qvtf-cli/cli_session.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "net/socket_address.h"

namespace qvtf::cli {

namespace {

// Splits at unquoted separators; quotes and backslashes are kept for the word splitter.
bool split_unquoted(const std::string& text, char sep, std::vector<std::string>& parts, std::string& error)
{
    std::string cur;
    char quote = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            cur += c;
            cur += text[++i];
            continue;
        }
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == sep) {
            parts.push_back(cur);
            cur.clear();
            continue;
        }
        cur += c;
    }
    if (quote) {
        error = "unterminated quote";
        return false;
    }
    parts.push_back(cur);
    return true;
}

bool to_int(const char* s, int lo, int hi, int& out)
{
    if (!s || !*s)
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (errno || *end || v < lo || v > hi)
        return false;
    out = static_cast<int>(v);
    return true;
}

const char* env_or_empty(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

// What each command takes. With `recursive`, a first argument "-r" may come
// before the others.
struct command_shape {
    const char* name;
    size_t min_args;
    size_t max_args;
    bool recursive;
    const char* synopsis;
};

constexpr size_t any_number = static_cast<size_t>(-1);

constexpr command_shape shapes[] = {
    {"ls", 0, 1, false, "ls [PATH]"},
    {"get", 1, 2, false, "get REMOTE [LOCAL]"},
    {"put", 1, 2, false, "put LOCAL [REMOTE]"},
    {"mkdir", 1, 1, false, "mkdir PATH"},
    {"rmdir", 1, 1, false, "rmdir PATH"},
    {"rm", 1, 1, true, "rm [-r] PATH"},
    {"mv", 2, 2, false, "mv FROM TO"},
    {"chmod", 2, 2, true, "chmod [-r] MODE PATH"},
    {"pwd", 0, 0, false, "pwd"},
    {"cd", 1, 1, false, "cd PATH"},
    {"quote", 1, any_number, false, "quote LINE"},
    {"timediff", 0, 0, false, "timediff"},
    {"sites", 0, 0, false, "sites"},
    {"download", 2, any_number, false, "download REMOTE... LOCAL_FOLDER"},
    {"upload", 2, any_number, false, "upload LOCAL... REMOTE_FOLDER"},
    {"sync", 1, 6, false, "sync RULEFILE [--local DIR] [--remote DIR] [--dry-run]"},
};

// Longer lines on standard input are no command we could send.
constexpr size_t max_input_line = 65536;

// One line of `in` into line (without its line feed), NUL bytes kept; false
// at the end of the input.
bool read_input_line(std::FILE* in, std::string& line, std::string& error)
{
    line.clear();
    int c = 0;
    while ((c = std::getc(in)) != EOF && c != '\n') {
        if (line.size() >= max_input_line) {
            error = "a line of standard input is longer than " + std::to_string(max_input_line) + " bytes";
            return false;
        }
        line += static_cast<char>(c);
    }
    return c != EOF || !line.empty();
}

}  // namespace

bool split_words(const std::string& line, std::vector<std::string>& words, std::string& error)
{
    words.clear();
    std::string cur;
    bool in_word = false;
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\') {
            if (i + 1 < line.size())
                cur += line[++i];
            in_word = true;
            continue;
        }
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                cur += c;
            continue;
        }
        if (c == '"' || c == '\'') {
            quote = c;
            in_word = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (in_word)
                words.push_back(cur);
            cur.clear();
            in_word = false;
        } else {
            cur += c;
            in_word = true;
        }
    }
    if (quote) {
        error = "unterminated quote";
        return false;
    }
    if (in_word)
        words.push_back(cur);
    return true;
}

bool split_script(const std::string& script, std::vector<std::vector<std::string>>& commands, std::string& error)
{
    std::vector<std::string> parts;
    if (!split_unquoted(script, ';', parts, error))
        return false;
    for (const auto& p : parts) {
        std::vector<std::string> words;
        if (!split_words(p, words, error))
            return false;
        if (!words.empty())
            commands.push_back(std::move(words));
    }
    return true;
}

bool check_command(const std::vector<std::string>& words, std::string& error)
{
    if (words.empty())
        return true;
    for (const command_shape& shape : shapes) {
        if (words[0] != shape.name)
            continue;
        size_t args = words.size() - 1;
        if (shape.recursive && args > 0 && words[1] == "-r")
            --args;
        if (args < shape.min_args)
            error = words[0] + ": missing argument (usage: " + shape.synopsis + ")";
        else if (shape.max_args != any_number && args > shape.max_args)
            error = words[0] + ": extra argument \"" + words.back() + "\" (usage: " + shape.synopsis + ")";
        if (error.empty() && words[0] == "sync") {
            sync_request request;
            parse_sync_words(words, request, error);
        }
        return error.empty();
    }
    error = "unknown command: " + words[0];
    return false;
}

bool options::was_given(const char* option) const
{
    for (const std::string& name : given)
        if (name == option)
            return true;
    return false;
}

namespace {

// A host option's value, which may carry the port ("[::1]:2121"); the
// port counts as given with its own option, which a later one replaces.
bool take_host_port(const char* text, const char* option, const char* port_option, std::string& host, int& port,
                    options& o, std::string& error)
{
    int32_t typed_port = -1;
    if (!split_host_port(text, host, typed_port) || host.empty()) {
        error = std::string("bad ") + option;
        return false;
    }
    if (typed_port > 0) {
        port = typed_port;
        o.given.push_back(port_option);
    }
    return true;
}

}  // namespace

bool parse(int argc, char** argv, options& o, std::string& error, std::FILE* in)
{
    o.password = env_or_empty("QVTF_PASSWORD");
    o.proxy_password = env_or_empty("QVTF_PROXY_PASSWORD");
    o.key_passphrase = env_or_empty("QVTF_KEY_PASSPHRASE");
    int i = 0;
    auto value = [&](const char* opt) -> const char* {
        if (i + 1 >= argc) {
            error = std::string(opt) + " needs a value";
            return nullptr;
        }
        return argv[++i];
    };
    for (; i < argc; ++i) {
        std::string a = argv[i];
        const char* v = nullptr;
        if (a.size() > 2 && a[0] == '-' && a[1] == '-')
            o.given.push_back(a);
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--home") {
            if (!(v = value("--home")))
                return false;
            o.home = v;
        } else if (a == "--site") {
            if (!(v = value("--site")))
                return false;
            o.site = v;
        } else if (a == "--protocol") {
            if (!(v = value("--protocol")))
                return false;
            o.protocol = v;
            if (o.protocol != "ftp" && o.protocol != "sftp") {
                error = "bad --protocol (ftp or sftp)";
                return false;
            }
        } else if (a == "--key") {
            if (!(v = value("--key")))
                return false;
            o.key_file = v;
        } else if (a == "--known-hosts") {
            if (!(v = value("--known-hosts")))
                return false;
            o.known_hosts = v;
        } else if (a == "--host") {
            if (!(v = value("--host")) || !take_host_port(v, "--host", "--port", o.host, o.port, o, error))
                return false;
        } else if (a == "--port") {
            if (!(v = value("--port")))
                return false;
            if (!to_int(v, 1, 65535, o.port)) {
                error = "bad --port";
                return false;
            }
        } else if (a == "--user") {
            if (!(v = value("--user")))
                return false;
            o.user = v;
        } else if (a == "--active") {
            o.passive = false;
        } else if (a == "--passive") {
            o.passive = true;
        } else if (a == "--no-port-fallback") {
            o.port_fallback = false;
        } else if (a == "--trust-pasv-address") {
            o.trust_pasv_address = true;
        } else if (a == "--no-epsv") {
            o.extended_data = false;
        } else if (a == "--no-mlsd") {
            o.machine_listings = false;
        } else if (a == "--timeout") {
            if (!(v = value("--timeout")))
                return false;
            if (!to_int(v, 1, 86400, o.timeout)) {
                error = "bad --timeout";
                return false;
            }
        } else if (a == "--encryption") {
            if (!(v = value("--encryption")))
                return false;
            o.encryption = v;
            if (o.encryption != "none" && o.encryption != "auto" && o.encryption != "explicit" &&
                o.encryption != "implicit") {
                error = "bad --encryption (none, auto, explicit or implicit)";
                return false;
            }
        } else if (a == "--ca-file") {
            if (!(v = value("--ca-file")))
                return false;
            o.ca_file = v;
        } else if (a == "--list-params") {
            if (!(v = value("--list-params")))
                return false;
            o.list_params = v;
        } else if (a == "--proxy-type") {
            if (!(v = value("--proxy-type")))
                return false;
            if (!to_int(v, 0, 5, o.proxy_type)) {
                error = "bad --proxy-type (0..5)";
                return false;
            }
        } else if (a == "--proxy-host") {
            if (!(v = value("--proxy-host")))
                return false;
            if (!take_host_port(v, "--proxy-host", "--proxy-port", o.proxy_host, o.proxy_port, o, error))
                return false;
        } else if (a == "--proxy-port") {
            if (!(v = value("--proxy-port")))
                return false;
            if (!to_int(v, 1, 65535, o.proxy_port)) {
                error = "bad --proxy-port";
                return false;
            }
        } else if (a == "--proxy-user") {
            if (!(v = value("--proxy-user")))
                return false;
            o.proxy_user = v;
        } else if (a == "--proxy-script") {
            if (!(v = value("--proxy-script")))
                return false;
            o.proxy_script = v;
        } else if (a == "--type") {
            if (!(v = value("--type")))
                return false;
            std::string t = v;
            if (t == "binary")
                o.type = transfer_kind::binary;
            else if (t == "ascii")
                o.type = transfer_kind::ascii;
            else if (t == "auto")
                o.type = transfer_kind::automatic;
            else {
                error = "bad --type (binary|ascii|auto)";
                return false;
            }
        } else if (a == "--threads") {
            if (!(v = value("--threads")))
                return false;
            if (!to_int(v, 0, 64, o.threads)) {
                error = "bad --threads (0..64)";
                return false;
            }
        } else if (a == "--retries") {
            if (!(v = value("--retries")))
                return false;
            if (!to_int(v, 1, 1000, o.retries)) {
                error = "bad --retries (1..1000)";
                return false;
            }
        } else if (a == "--exists") {
            if (!(v = value("--exists")))
                return false;
            const std::optional<exists_action> action = exists_action_from_name(v);
            // "ask" needs someone to answer it.
            if (!action || *action == exists_action::ask) {
                error = "bad --exists (overwrite|newer|size|size-or-time|resume|rename|skip)";
                return false;
            }
            o.exists = *action;
        } else if (a == "--log") {
            o.log = true;
        } else if (a == "-c") {
            if (!(v = value("-c")))
                return false;
            if (!split_script(v, o.commands, error))
                return false;
        } else if (a == "-") {
            std::string line;
            while (in && read_input_line(in, line, error)) {
                std::vector<std::string> words;
                if (!split_words(line, words, error))
                    return false;
                if (!words.empty() && words[0][0] != '#')
                    o.commands.push_back(std::move(words));
            }
            if (!error.empty())
                return false;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else {
            // The rest of the line is one command with its arguments.
            std::vector<std::string> words(argv + i, argv + argc);
            o.commands.push_back(std::move(words));
            break;
        }
    }
    for (const auto& words : o.commands)
        if (!check_command(words, error))
            return false;
    if (o.commands.size() > 1)
        for (const auto& words : o.commands)
            if (!words.empty() && words[0] == "sites") {
                error = "sites runs on its own, without other commands";
                return false;
            }
    return true;
}

void print_usage(std::FILE* out)
{
    std::fputs(
        "usage: qvtf-cli [options] COMMAND [ARGS]\n"
        "       qvtf-cli [options] -c 'CMD ARGS; CMD ARGS; ...'\n"
        "       qvtf-cli [options] -          (one command per line on standard input)\n"
        "\n"
        "connection:\n"
        "  --home DIR            user folder with qorx_gfs.txt, site_profiles.xml, ext.txt\n"
        "                        (else $QVTF_HOME, the program's folder when it holds\n"
        "                        qorx_gfs.txt, or $XDG_CONFIG_HOME/qvtf, ~/.config/qvtf)\n"
        "  --site LABEL          connect as the site profile LABEL or Group/Site[/Bookmark]:\n"
        "                        host, port, login, start folder (a bookmark's folder), list\n"
        "                        parameters and proxy come from the profile and the settings\n"
        "                        (passive mode, PORT fallback, transfer type); --host, --port,\n"
        "                        --user, --list-params, --active/--passive, --no-port-fallback,\n"
        "                        --type and --proxy-host (with its --proxy-* options) given\n"
        "                        on the command line, and $QVTF_PASSWORD when set, replace\n"
        "                        them. The clock offset is measured as the window program\n"
        "                        does. Nothing is written back.\n"
        "  --host HOST --port N  server (port 21); HOST may be a name, an IPv4 or IPv6\n"
        "                        address, or carry the port: host:2121, [::1]:2121\n"
        "  --protocol ftp|sftp   the site's protocol (FTP without a site); SFTP uses port 22\n"
        "                        unless --port says otherwise\n"
        "  --key FILE            SFTP: log in with this private key; its passphrase from\n"
        "                        $QVTF_KEY_PASSPHRASE\n"
        "  --known-hosts FILE    SFTP: the known host keys, instead of ~/.ssh/known_hosts and\n"
        "                        the program's own file; an unknown or changed key fails\n"
        "  --host HOST --port N  server (port 21)\n"
        "  --user NAME           login name (anonymous); password from $QVTF_PASSWORD\n"
        "  --active | --passive  data connection mode (passive)\n"
        "  --encryption none|auto|explicit|implicit\n"
        "                        FTP over TLS: none (plain FTP, insecure), auto (TLS when\n"
        "                        the server offers it), explicit (TLS or fail), implicit\n"
        "                        (TLS from the first byte, port 990); default: the site's\n"
        "                        choice with --site, else auto\n"
        "  --ca-file PEM         trust the certificates of this file besides the system's;\n"
        "                        a certificate neither vouches for fails the connection,\n"
        "                        unless its fingerprint is in the user folder's\n"
        "                        trusted_certificates.txt (\"host:port FINGERPRINT\")\n"
        "  --no-port-fallback    do not fall back to PORT when PASV is refused\n"
        "  --no-epsv             on IPv4, PASV and PORT only; without it EPSV and EPRT\n"
        "                        are tried first and dropped once the server refuses\n"
        "                        them (IPv6 always uses them)\n"
        "  --trust-pasv-address  connect data connections to the address of the PASV\n"
        "                        reply; by default they go to the control connection's\n"
        "                        own address (the server, the firewall, or the site\n"
        "                        through SOCKS)\n"
        "  --no-mlsd             list folders with LIST even where the server offers\n"
        "                        MLSD (for servers that misreport it)\n"
        "  --timeout SECONDS     reply and data time-out (60)\n"
        "  --list-params TEXT    LIST parameters (-al)\n"
        "  --proxy-host HOST --proxy-port N --proxy-user NAME\n"
        "                        connect through this proxy (none without --proxy-host);\n"
        "                        its password from $QVTF_PROXY_PASSWORD; port 21 for a\n"
        "                        firewall, 1080 for SOCKS\n"
        "  --proxy-type 0..5     the kind of that proxy (0):\n"
        "                        0-3  FTP firewall: the control connection goes to the\n"
        "                             proxy, which is logged in to by a command script:\n"
        "                             --proxy-script, else the type's default script\n"
        "                        0    USER proxy-user, PASS proxy-password, SITE host,\n"
        "                             USER user, PASS password\n"
        "                        1    USER user@host, PASS password\n"
        "                        2    OPEN host, USER user, PASS password\n"
        "                        3    USER proxy-user, PASS proxy-password,\n"
        "                             USER user@host, PASS password\n"
        "                        4    SOCKS 4: the proxy connects to the server; a host\n"
        "                             name is left to the proxy to resolve (4a); the\n"
        "                             proxy user is sent as the user id\n"
        "                        5    SOCKS 5: as 4; the proxy user and password are\n"
        "                             sent when the proxy asks for them\n"
        "  --proxy-script FILE   firewall command script: one command a line, with\n"
        "                        %host% %port% %username% %password% %firewall_username%\n"
        "                        %firewall_password%; an unreadable file is an error\n"
        "  --type binary|ascii|auto   transfer type (auto: by ext.txt)\n"
        "  --log                 session log on stderr\n"
        "  --threads N           download/upload: worker connections (the setting\n"
        "                        max_download_threads, 5); 0 runs them on this session\n"
        "  --retries N           download/upload/sync: tries per file and per folder listing (the setting retry_count, "
        "3)\n"
        "  --exists ACTION       get/put/download/upload: a target that exists is\n"
        "                        overwritten (overwrite, the default), overwritten only\n"
        "                        when the source is newer (newer), differs in size (size)\n"
        "                        or in size or time (size-or-time), continued from its\n"
        "                        end when shorter (resume), written as \"name (1).ext\"\n"
        "                        (rename) or left as it is (skip: a line of kind 2, and\n"
        "                        not a failure)\n"
        "\n"
        "commands:\n"
        "  ls [PATH]             list: type, permissions, size, time (UTC), name, link target\n"
        "  get REMOTE [LOCAL]    download\n"
        "  put LOCAL [REMOTE]    upload\n"
        "  mkdir PATH | rmdir PATH | rm [-r] PATH | mv FROM TO\n"
        "  chmod [-r] MODE PATH  change permissions (recursively with -r)\n"
        "  pwd | cd PATH | quote LINE | timediff\n"
        "  download REMOTE... LOCAL_FOLDER   files and whole folders through the queue\n"
        "  upload LOCAL... REMOTE_FOLDER     (breadth-first); one line per finished\n"
        "                        item: its kind (5 downloaded, 4 uploaded, 3 failed) and\n"
        "                        text; a progress line on stderr when it is a terminal\n"
        "  sites                 print the site profile tree (kind, tab, path of labels);\n"
        "                        on its own, without connecting\n"
        "  sync RULEFILE [--local DIR] [--remote DIR] [--dry-run]\n"
        "                        synchronise the rule file's folders (or these): print the\n"
        "                        plan, one action a line with its reason, then carry it\n"
        "                        out and print each action's outcome; exits 0 only when\n"
        "                        every action succeeded. --dry-run changes nothing\n"
        "\n"
        "Usage errors exit 2 before connecting; a failed command exits 1 with its\n"
        "message and status. Control characters from the server are shown as \\xNN.\n",
        out);
}

void print_usage_line(std::FILE* out)
{
    std::fputs("usage: qvtf-cli [options] COMMAND [ARGS]   (qvtf-cli --help for more)\n", out);
}

}  // namespace qvtf::cli
