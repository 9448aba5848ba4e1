// quick_connect: the quick-connect bar's fields turned into a site, and the
// list of the last connections it remembers (never their passwords).
//
// The host field takes a bare host, "host:port", "[v6 address]:port", a
// bare v6 address, and "ftp://[user[:password]@]host[:port][/folder]";
// "ftps://" is FTP over implicit TLS (port 990), "sftp://" SFTP (port 22).
// Without a prefix the site tries TLS where offered, as a new site does.
// Fields typed into the user, password and port boxes win over the same
// parts of the address.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "remote/remote_site.h"

namespace qvtf {

enum quick_connect_error : int32_t {
    quick_ok = 0,
    quick_no_host,
    quick_bad_port,
    quick_bad_prefix,  // a prefix that names no protocol at all
};

struct quick_connect_result {
    quick_connect_error error = quick_ok;
    std::string detail;  // the prefix refused
    remote_site site;
};

quick_connect_result parse_quick_connect(std::string_view host_field, std::string_view user, std::string_view password,
                                         std::string_view port_field);

// The host as the history keeps it: with the prefix that brings back the
// protocol and the encryption ("sftp://[::1]"), bare for FTP.
std::string quick_connect_host_text(const remote_site& site);

struct quick_connect_entry {
    std::string host;
    int32_t port = 21;
    std::string user;
    bool operator==(const quick_connect_entry&) const = default;
};

constexpr size_t quick_connect_kept = 10;

// entry first, an older copy of it dropped, at most quick_connect_kept.
void remember_connection(std::vector<quick_connect_entry>& list, const quick_connect_entry& entry);
// One "host<TAB>port<TAB>user" line each; unreadable lines are skipped.
std::string connections_text(const std::vector<quick_connect_entry>& list);
std::vector<quick_connect_entry> parse_connections(std::string_view text);
bool save_connections(const std::string& path, const std::vector<quick_connect_entry>& list);
std::vector<quick_connect_entry> load_connections(const std::string& path);

}  // namespace qvtf
