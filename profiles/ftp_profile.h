// ftp_profile: one node of the site profile tree: a group, a site (everything
// needed to connect) or a bookmark (a remote and a local folder of a site).
#pragma once

#include <cstdint>

#include "core/qxe_tree.h"
#include "core/qxval.h"

namespace qvtf {

enum ftp_profile_kind : int32_t {
    profile_group = 1,
    profile_site = 2,
    profile_bookmark = 3,
};

// States of the time-difference measurement.
enum ftp_time_difference_state : int32_t {
    time_difference_unmeasured = 0,
    time_difference_measured = 1,  // this session
    time_difference_switched_off = 4,
};

// How a site protects its connection (the session's remote_encryption).
enum ftp_profile_encryption : int32_t {
    encryption_plain = 0,
    encryption_explicit_if_available = 1,
    encryption_require_explicit = 2,
    encryption_implicit = 3,
};

// Where a stored password is kept. A file without the marker keeps it in the
// file, scrambled, as it always did.
enum ftp_password_place : int32_t {
    password_in_file = 0,
    password_in_keyring = 1,  // the file holds none; the desktop's keyring has it
};

struct ftp_profile : qxe_links<ftp_profile> {
    int32_t kind = profile_site;
    qxval label{""};
    qxval host{""};
    int32_t host_port = 21;
    qxval user_name{""};
    qxval password{""};  // clear text in memory
    uint8_t anonymous_login = 0;
    uint8_t save_password = 1;
    qxval directory{""};  // start folder (site) or bookmarked folder
    qxval local_dir{""};
    qxval list_params{"-al"};
    int32_t time_difference = 0;  // server clock minus local clock, seconds
    int32_t time_difference_state = time_difference_unmeasured;
    qxval proxy_key{""};  // key of the proxy definition to use
    qxval custom_commands{""};
    // The protocol (0 FTP, 1 SFTP) and, for SFTP, how to log in: the method
    // (0 automatic, 1 password, 2 key file, 3 agent, 4 keyboard-interactive),
    // the key file and its passphrase (kept like the password), and whether
    // the user's own SSH configuration applies.
    int32_t protocol = 0;
    int32_t ssh_auth = 0;
    qxval ssh_key_file{""};
    qxval ssh_key_passphrase{""};
    uint8_t ssh_use_config = 0;
    // Plain unless said otherwise: a site read from a file that does not
    // say stays as it always was; make() gives new sites TLS if available.
    int32_t encryption = encryption_plain;
    // Where the password and the key passphrase are kept (ftp_password_place),
    // and the name of the site's keyring entries: random, so that it survives
    // renaming and moving the site.
    int32_t password_place = password_in_file;
    int32_t passphrase_place = password_in_file;
    qxval keyring_id{""};

    bool is_group() const { return kind == profile_group; }
    bool is_site() const { return kind == profile_site; }
    bool is_bookmark() const { return kind == profile_bookmark; }

    // A fresh node of the given kind with every field at its default; a
    // new site tries TLS.
    static ftp_profile* make(int32_t kind);
};

}  // namespace qvtf
