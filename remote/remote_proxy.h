// A proxy definition as a value: an FTP firewall (login by command script)
// or a SOCKS proxy through which a session reaches its server. The settings
// keep the collection of them (ftp/ftp_proxy.h); a site carries a copy of
// the one it uses.
#pragma once

#include <cstdint>

#include "core/qxval.h"

namespace qvtf {

enum ftp_proxy_type : int32_t {
    proxy_type_unset = -1,
    // 0..3: FTP firewalls; they differ only in their command script.
    proxy_type_firewall_first = 0,
    proxy_type_firewall_last = 3,
    proxy_type_socks4 = 4,
    proxy_type_socks5 = 5,
};

struct ftp_proxy {
    static constexpr int key_size = 12;

    qxval key{""};  // 12 bytes: sequence, creation time, random
    qxval label{""};
    int32_t type = proxy_type_unset;
    qxval proxy_host{""};
    int32_t proxy_port = 21;
    qxval proxy_username{""};
    qxval proxy_password{""};
    int32_t password_place = 0;  // 1: in the desktop's keyring, not in the settings file
    qxval ftp_command{""};  // command script of a firewall (types 0..3)

    bool is_firewall() const { return type >= proxy_type_firewall_first && type <= proxy_type_firewall_last; }
    bool is_socks() const { return type == proxy_type_socks4 || type == proxy_type_socks5; }
};

}  // namespace qvtf
