// The inputs of a remote session, as values: the site (where and as whom it
// logs in) and the options (how it behaves on the way). The profile with the
// settings, and qvtf-cli's options, each turn into these in one place; a
// session keeps its own copies, so nothing edits them under it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "core/qxfile_tree.h"
#include "core/qxfiles.h"
#include "core/qxpipe.h"
#include "core/qxval.h"
#include "remote/certificate_trust.h"
#include "remote/listing_report.h"
#include "remote/remote_proxy.h"

namespace qvtf {

// Which implementation of remote_session serves a site (remote_factory).
enum class remote_protocol : int32_t {
    ftp = 0,
    sftp = 1,
};

// How an SFTP session proves who it is. automatic tries the SSH agent and
// the key file (or the default identities), then keyboard-interactive and
// the password.
enum class ssh_auth_method : int32_t {
    automatic = 0,
    password = 1,
    key_file = 2,
    agent = 3,
    keyboard_interactive = 4,
};

// The SSH side of a site; FTP sessions ignore it.
struct ssh_login {
    ssh_auth_method method = ssh_auth_method::automatic;
    qxval key_file{""};
    qxval key_passphrase{""};
    // Host aliases, port, user and identities from the user's own SSH
    // configuration file.
    bool use_config = false;
};

// How a session protects its connections. A site saved before encryption
// existed is plain; new sites start with explicit_if_available.
enum class remote_encryption : int32_t {
    plain = 0,                  // plain FTP, nothing encrypted
    explicit_if_available = 1,  // AUTH TLS; a refusal goes on in plain FTP, logged as such
    require_explicit = 2,       // AUTH TLS or fail with the server's reply
    implicit = 3,               // TLS from the first byte (port 990)
};
constexpr int32_t implicit_tls_port = 990;

struct remote_site {
    remote_protocol protocol = remote_protocol::ftp;
    qxval host{""};
    int32_t port = 21;
    qxval user_name{""};
    qxval password{""};
    // The proxy or FTP firewall on the way; none for a direct connection.
    std::optional<ftp_proxy> proxy;
    // SOCKS 4: let the proxy resolve the host name (4a).
    bool socks_4a = true;
    remote_encryption encryption = remote_encryption::plain;
    qxval initial_folder{""};
    // Sent after the login, one command a line.
    qxval custom_commands{""};
    // Server clock minus ours in seconds, as far as the profile knows it.
    int32_t time_difference = 0;
    ssh_login ssh;
};

class host_key_judge;

// The listing thread's body: parses the pipe's chunks into entries under
// folder, raises the consumer bits when done, returns the style bits and
// fills in the report. The parser lives with the panes, so whoever makes
// the session supplies it.
// format says what the lines are: a listing for people (LIST) or for
// machines (MLSD).
enum class listing_format : int32_t { list = 0, machine = 1 };
using remote_listing_reader = int (*)(qxpipe& pipe, qxfile_tree& tree, qxfile_node* folder, int32_t time_difference,
                                      listing_format format, file_handle dump, listing_report* report);
// Listing lines are bounded like reply lines. A reader ORs this bit into
// its result when it dropped a longer line; the session logs it and keeps
// it out of the listing styles.
constexpr int32_t listing_line_limit = 65536;
constexpr int listing_line_dropped = 0x100;

struct remote_options {
    // Data connections: passive (PASV) or active (PORT); a refused PASV may
    // switch the session to PORT; the PASV reply's address may be trusted
    // instead of the control connection's peer.
    bool passive = false;
    bool allow_passive_drop_to_port = false;
    bool trust_pasv_address = false;
    // On IPv4, try EPSV and EPRT first (IPv6 always uses them).
    bool extended_data = false;
    int32_t timeout = 60;         // seconds, control and data sockets
    int32_t accept_tries = 30;    // one-second waits for an active connection
    qxval list_parameters{""};    // between LIST and the path
    int32_t listing_tries = 1;    // attempts per listing that breaks off
    qxval listing_dump_path{""};  // raw copy of each listing; empty: none
    remote_listing_reader listing_reader = nullptr;
    int32_t idle_limit = 60;  // seconds, for the owners' idle logic
    // A file transfer of a known size up to this many bytes runs its data
    // connection on the calling thread; larger ones, and those of unknown
    // size, on a worker with the file side across a pipe. -1: never (and
    // listings too go to a worker); the largest value: every transfer.
    int64_t inline_limit = 1048576;
    // FEAT after the login, and the extensions it finds; off, the session
    // speaks only the commands every server knows.
    bool ask_features = true;
    // MLSD/MLST listings where offered; off for servers that misreport them.
    bool use_mlsd = true;
    // SFTP host keys: the program's own known-hosts file (remembered keys
    // are added to it; empty: none), whether the user's SSH known-hosts
    // file counts too, and who decides on a key neither knows (null:
    // refused). Not owned.
    qxval known_hosts_file{""};
    bool user_known_hosts = true;
    host_key_judge* host_keys = nullptr;
    // The certificates accepted beyond the system's authorities, shared by
    // every session of one connection (browser and queue workers). None:
    // only what the authorities vouch for.
    std::shared_ptr<certificate_trust> trust;
};

}  // namespace qvtf
