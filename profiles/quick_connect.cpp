#include "profiles/quick_connect.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

#include "core/qxfiles_atomic.h"

namespace qvtf {

namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// 1 to 65535, digits only; 0 otherwise.
int32_t port_of(std::string_view text)
{
    int32_t port = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535)
        return 0;
    return port;
}

int hex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// "%40" and the like in the user and password of an address.
std::string decoded(std::string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
            out += static_cast<char>(hex(s[i + 1]) * 16 + hex(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

}  // namespace

quick_connect_result parse_quick_connect(std::string_view host_field, std::string_view user, std::string_view password,
                                         std::string_view port_field)
{
    quick_connect_result r;
    // As a new site: TLS where the server offers it.
    r.site.encryption = remote_encryption::explicit_if_available;
    std::string_view rest = trimmed(host_field);
    if (const size_t scheme = rest.find("://"); scheme != std::string_view::npos) {
        std::string prefix(rest.substr(0, scheme));
        std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        rest.remove_prefix(scheme + 3);
        r.detail = prefix + "://";
        if (prefix == "ftps") {
            r.site.encryption = remote_encryption::implicit;
        } else if (prefix == "ftpes") {
            // What other clients call explicit TLS that must not fall back.
            r.site.encryption = remote_encryption::require_explicit;
        } else if (prefix == "sftp") {
            r.site.protocol = remote_protocol::sftp;
        } else if (prefix != "ftp") {
            r.error = quick_bad_prefix;
            return r;
        }
        r.detail.clear();
    }
    // The folder, then who logs in, then where.
    std::string_view address = rest;
    if (const size_t slash = rest.find('/'); slash != std::string_view::npos) {
        address = rest.substr(0, slash);
        r.site.initial_folder.set_bytes(rest.substr(slash));
    }
    std::string url_user;
    std::string url_password;
    if (const size_t at = address.rfind('@'); at != std::string_view::npos) {
        const std::string_view who = address.substr(0, at);
        const size_t colon = who.find(':');
        url_user = decoded(who.substr(0, colon));
        if (colon != std::string_view::npos)
            url_password = decoded(who.substr(colon + 1));
        address.remove_prefix(at + 1);
    }
    std::string_view host = address;
    std::string_view port_text;
    bool port_given = false;  // "host:" names a port, an empty one
    if (!address.empty() && address.front() == '[') {
        const size_t close = address.find(']');
        if (close == std::string_view::npos) {
            r.error = quick_no_host;
            return r;
        }
        host = address.substr(1, close - 1);
        const std::string_view after = address.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                r.error = quick_bad_port;
                return r;
            }
            port_text = after.substr(1);
            port_given = true;
        }
    } else if (const size_t colon = address.find(':');
               colon != std::string_view::npos && address.find(':', colon + 1) == std::string_view::npos) {
        host = address.substr(0, colon);
        port_text = address.substr(colon + 1);
        port_given = true;
    }
    // A bare v6 address (two colons or more) is all host.
    if (trimmed(host).empty()) {
        r.error = quick_no_host;
        return r;
    }
    int32_t port = r.site.protocol == remote_protocol::sftp           ? 22
                   : r.site.encryption == remote_encryption::implicit ? implicit_tls_port
                                                                      : 21;
    const std::string_view typed_port = trimmed(port_field);
    if (!typed_port.empty() || port_given) {
        port = port_of(typed_port.empty() ? port_text : typed_port);
        if (port == 0) {
            r.error = quick_bad_port;
            return r;
        }
    }
    r.site.host.set_bytes(trimmed(host));
    r.site.port = port;
    const std::string_view typed_user = trimmed(user);
    r.site.user_name.set_bytes(typed_user.empty() ? std::string_view(url_user) : typed_user);
    r.site.password.set_bytes(password.empty() ? std::string_view(url_password) : password);
    return r;
}

std::string quick_connect_host_text(const remote_site& site)
{
    const std::string host = site.host.str();
    const char* prefix = site.protocol == remote_protocol::sftp                   ? "sftp://"
                         : site.encryption == remote_encryption::implicit         ? "ftps://"
                         : site.encryption == remote_encryption::require_explicit ? "ftpes://"
                                                                                  : "";
    if (!*prefix)
        return host;
    return prefix + (host.find(':') != std::string::npos ? "[" + host + "]" : host);
}

void remember_connection(std::vector<quick_connect_entry>& list, const quick_connect_entry& entry)
{
    std::erase(list, entry);
    list.insert(list.begin(), entry);
    if (list.size() > quick_connect_kept)
        list.resize(quick_connect_kept);
}

std::string connections_text(const std::vector<quick_connect_entry>& list)
{
    std::string out;
    for (const quick_connect_entry& e : list) {
        // Tabs and line ends cannot be typed into the fields; a pasted one is dropped.
        if (e.host.find_first_of("\t\r\n") != std::string::npos || e.user.find_first_of("\t\r\n") != std::string::npos)
            continue;
        out += e.host + "\t" + std::to_string(e.port) + "\t" + e.user + "\n";
    }
    return out;
}

std::vector<quick_connect_entry> parse_connections(std::string_view text)
{
    std::vector<quick_connect_entry> list;
    while (!text.empty() && list.size() < quick_connect_kept) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const size_t a = line.find('\t');
        const size_t b = a == std::string_view::npos ? a : line.find('\t', a + 1);
        if (b == std::string_view::npos)
            continue;
        quick_connect_entry e;
        e.host = line.substr(0, a);
        e.port = port_of(line.substr(a + 1, b - a - 1));
        e.user = line.substr(b + 1);
        if (!e.host.empty() && e.port != 0)
            list.push_back(std::move(e));
    }
    return list;
}

bool save_connections(const std::string& path, const std::vector<quick_connect_entry>& list)
{
    return make_private_folders_for(path) && write_file_atomic(qxval(path), connections_text(list));
}

std::vector<quick_connect_entry> load_connections(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return parse_connections(text.str());
}

}  // namespace qvtf
