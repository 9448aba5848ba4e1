// ftp_control: one FTP session, the FTP implementation of remote_session.
// The control connection and its replies, the login state, the remote
// folders seen so far, and the data connection of the transfer in progress.
// Its inputs come in as values (configure) and its protocol state changes
// only through its own operations; nothing outside ftp/ writes it.
//
// Where each part lives:
//   ftp_control.cpp         construction, connect, disconnect, reset, stop, log
//   ftp_control_stream.cpp  reading replies, sending commands, command_kind
//   ftp_error_text.cpp      messages for failures
//   ftp_commands.cpp        the single commands (USER ... SITE CHMOD)
//   ftp_folders.cpp         CWD/PWD, the PWD reply, the remote folder tree
//   ftp_login.cpp           log_in, firewall and custom command scripts
//   ftp_pasv_reply.cpp      the 227 reply
//   ftp_extended.cpp        EPSV and EPRT, and the choice between them and
//                           PASV and PORT
//   ftp_walk.cpp            recursive delete and permission change
//   ftp_timediff.cpp        the server's clock offset
//   ftp_tls.cpp             TLS on the control connection, AUTH TLS, PBSZ/PROT
//   ftp_features.cpp        FEAT and the features the server offers
// Data connections and transfers (ftp_data*.cpp, ftp_transfer*.cpp) add the
// rest of the operations declared below.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/folder_trail.h"
#include "core/pooled_job.h"
#include "core/qxarr.h"
#include "core/qxfile_tree.h"
#include "core/qxpipe.h"
#include "core/qxval.h"
#include "ftp/net_stream.h"
#include "net/qxsocket.h"
#include "net/qxsocks_client.h"
#include "remote/remote_session.h"

namespace qvtf {

class tls_context;

// The verb of a command line (command_kind).
// clang-format off
enum ftp_command_kind : int {
    cmd_other = 0,
    cmd_user = 1, cmd_pass = 2, cmd_acct = 3, cmd_cwd = 4, cmd_cdup = 5, cmd_smnt = 6,
    cmd_quit = 7, cmd_rein = 8, cmd_port = 9, cmd_pasv = 10, cmd_type = 11, cmd_stru = 12,
    cmd_mode = 13, cmd_retr = 14, cmd_stor = 15, cmd_stou = 16, cmd_appe = 17, cmd_allo = 18,
    cmd_rest = 19, cmd_rnfr = 20, cmd_rnto = 21, cmd_abor = 22, cmd_dele = 23, cmd_rmd = 24,
    cmd_mkd = 25, cmd_pwd = 26, cmd_list = 27, cmd_nlst = 28, cmd_site = 29, cmd_syst = 30,
    cmd_stat = 31, cmd_help = 32, cmd_noop = 33,
};
// clang-format on

// What the session needs of a data connection (active or passive); the
// connections themselves, their fields and worker threads are built with
// the transfers.
class ftp_data_connection_virtual {
public:
    virtual ~ftp_data_connection_virtual() = default;
    // Begins the connection and its worker thread.
    virtual int start() = 0;
    virtual void close_sockets() = 0;
    // Called from another thread to stop a transfer: ends every wait on the
    // data socket (the worker then closes it).
    virtual void abort_socket() = 0;
};

class ftp_data_connection;

class ftp_control : public remote_session, public net_stream {
public:
    static constexpr int reply_line_limit = 65536;
    // A reply of many continuation lines is bounded like unread input.
    static constexpr std::size_t max_reply_bytes = max_buffered;

    ftp_control();
    ftp_control(const remote_site& site, const remote_options& options);
    ~ftp_control() override;

    // ---- remote_session: inputs and state ----
    void configure(const remote_site& site, const remote_options& options) override;
    const remote_site& site() const override { return site_; }
    const remote_options& options() const override { return options_; }
    void set_observer(remote_observer* observer) override { observer_ = observer; }
    void set_language(const qxlang* language) override { language_ = language; }
    std::string_view phrase(int number) const override;
    remote_state state() const override { return state_.load(); }
    connection_security security() const override;
    void stop(int reason) override;

    // ---- remote_session: connection ----
    remote_result log_in() override;
    remote_result enter_start_folder() override;
    remote_result quit() override;
    void disconnect(int wait_ms = 10000) override;
    // One of a rotation of harmless commands (TYPE, HELP, SYST, PWD, REST 0).
    remote_result keep_alive() override;
    remote_result measure_time_difference(const qxval& probe) override;
    int32_t time_difference() const override { return time_difference_; }
    server_features features() const override { return features_; }

    // ---- remote_session: folders ----
    qxfile_tree& folder_tree() override { return folder_tree_; }
    qxfile_node* current_folder() const override { return current_folder_; }
    qxval current_path() const override { return current_path_; }
    remote_result change_folder(const qxval& path) override;  // empty path: CDUP
    remote_result print_folder() override;
    // Tries up to listing_tries times while the listing breaks off (its data
    // connection reset or stalled, or the server answered 425, 426 or 451).
    remote_result list_directory(const qxval& path) override;
    listing_report last_listing() const override { return last_listing_; }
    int32_t listing_styles() const override { return listing_styles_; }
    void forget_folders() override;

    // ---- remote_session: entries ----
    remote_result make_folder(const qxval& path) override;
    remote_result remove_folder(const qxval& path) override;
    remote_result delete_file(const qxval& path) override;
    remote_result rename(const qxval& from, const qxval& to) override;
    // SITE CHMOD; once refused as unknown, not asked again on this connection.
    remote_result change_mode(const qxval& path, const qxval& mode) override;
    remote_result delete_entry(qxfile_node& entry) override;
    remote_result change_mode_entry(qxfile_node& entry, const chmod_request& change) override;
    bool chmod_supported() const override { return chmod_supported_; }
    // SIZE: the file's size, or -1 when the server does not say (refused,
    // unknown command, a number out of range).
    remote_result file_size(const qxval& path, int64_t& out) override;
    // MDTM, likewise.
    remote_result modification_time(const qxval& path, int64_t& out) override;

    // ---- remote_session: transfers ----
    // One RETR or STOR. The local file is opened (an upload's checked to be
    // a readable regular file) before anything is sent; a download goes to
    // a temporary file that replaces the local file only on success. Fails
    // when either side of the pipe failed, whatever the server's final reply
    // says: 6001 after a stop, 6010 for the local file, the transport status
    // of the data connection (1000 when it stalled).
    transfer_record transfer_file(const transfer_request& request) override;

    // ---- remote_session: commands, messages, log ----
    remote_result run_script(const qxval& text) override;
    // As above; kinds_mask gets bit k for each verb k (1..31) sent.
    remote_result run_script(const qxval& text, int32_t& kinds_mask);
    remote_result raw_command(std::string_view line) override;
    void error_text(const remote_result& failure, qxval& out) const override;
    void log(int kind, std::string_view text) override;
    // Progress text of a recursive operation, for the observer.
    void status(std::string_view text);

    // ---- TLS (ftp_tls.cpp) ----
    // After the greeting: AUTH TLS as the site's mode asks (the handshake
    // and the certificate's judgement), then PBSZ 0 and PROT P.
    remote_result negotiate_tls();

    // ---- stream ----
    // One receive (16,384 bytes at most) from the control socket; nothing
    // received (end of stream, time-out, error) marks the end.
    void fill_input() override;

    // ---- the control connection ----
    // Connects (directly, or through the proxy) and reads the greeting.
    // 0 for a greeting of class 2; 6003 for any other; or a failure status.
    remote_result connect_and_greet();
    // Reads one whole reply. A 421 reply (the server is closing) gives 6003
    // and clears the login.
    remote_result read_reply();
    // Sends text + "\r\n" and reads the reply. A text holding CR, LF or NUL
    // is refused with 6015 and nothing is sent.
    remote_result send_command(std::string_view text);
    // As above; the log shows `shown` (the line with secrets hidden) instead.
    remote_result send_command(std::string_view text, std::string_view shown);
    static int command_kind(std::string_view line);
    // The last reply: its code, digits and lines (without line ends).
    int32_t reply_code() const { return reply_code_; }
    uint8_t reply_class() const { return reply_class_; }  // first digit 1..5, else 9
    uint8_t reply_group() const { return reply_group_; }  // second digit 0..5, else 9
    uint8_t reply_detail() const { return reply_detail_; }
    const qxarr& reply_lines() const { return reply_lines_; }
    // Failures that carry the last reply: 6005, or another status.
    remote_result unexpected_reply() const { return reply_failure(status_unexpected_reply); }
    // The answer to a data command, as a failure: 6005, or 6003 when the
    // login had to end (a 522 to a protected data connection; read_reply
    // turns a 421 into 6003 before this is asked).
    remote_result data_command_failure();
    remote_result reply_failure(int status) const;
    // Set to 0 each time a command is sent or a reply is read.
    int idle_rounds() const { return idle_rounds_.load(); }
    const qxsocket& control_socket() const { return control_socket_; }
    const qxsocks_client& socks_client() const { return socks_client_; }

    // ---- features ----
    // FEAT, and OPTS UTF8 ON when offered; called once after the login.
    // Only a lost connection fails it: a server without FEAT offers nothing.
    remote_result ask_features();
    // The lines of a 211 reply to FEAT.
    static server_features parse_features(const qxarr& lines);

    // ---- single commands (every one but USER, PASS, QUIT, REIN and scripts
    // needs a login; 421 gives 6003) ----
    remote_result send_user();
    remote_result send_pass();
    remote_result reinitialize();
    remote_result allocate(int64_t size);
    remote_result restart_at(int64_t offset);
    remote_result send_port(const qxval& address, int32_t port_number);
    remote_result send_pasv();
    // EPSV: the port of a 229 reply, the host the control connection's peer
    // (the site's through SOCKS). A reply that says the server does not do
    // it gives 6008 (status_pasv_refused) without the fallback.
    remote_result send_epsv();
    // EPRT for an IPv4 or IPv6 address; a refusal gives 6008 as above.
    remote_result send_eprt(const qxval& address, int32_t port_number);
    remote_result set_type(int32_t type);
    remote_result retrieve(const qxval& path);
    remote_result store(const qxval& path);
    remote_result send_list(const qxval& path);
    remote_result send_mlsd(const qxval& path);
    remote_result site_command(const qxval& text);
    // The TYPE the server last accepted on this login (0 I, 1 A); -1 unknown.
    int32_t type_in_force() const { return type_in_force_; }
    // 1 while data connections use PASV (a refused PASV may turn it off).
    bool passive() const { return passive_; }

    // ---- folders ----
    // Records a folder path in the folder tree, creating the missing folders.
    void set_current_path(const qxval& path, bool make_current);
    // The path of a PWD reply's first line; false when it has none.
    static bool parse_pwd_reply(std::string_view line, qxval& path);
    // The recursive walk of one folder: entry for each listed child, then
    // folder for the folder itself. At most walk_depth_limit levels deep;
    // deeper, or into a folder whose path the walk is already inside, fails
    // with 6013.
    using entry_hook = remote_result (ftp_control::*)(qxfile_node& entry);
    using folder_hook = remote_result (ftp_control::*)(const qxval& path);
    static constexpr int walk_depth_limit = folder_depth_limit;
    remote_result walk_folder(const qxval& path, entry_hook entry, folder_hook folder);

    // ---- data connections ----
    // The 227 reply: host and port; 0 or 6009.
    static int parse_pasv_reply(std::string_view line, qxval& host, int32_t& port_number);
    // The 229 reply's port ("(|||port|)", any delimiter); 0 or 6009.
    static int parse_epsv_reply(std::string_view line, int32_t& port_number);
    // TYPE, PASV or PORT, and a started data connection with its pipe; or,
    // on_caller, a connection that the calling thread runs itself, without
    // a pipe (connected already in passive mode).
    remote_result prepare_data_connection(int receiving, int32_t type, transfer_progress* progress = nullptr,
                                          bool on_caller = false);
    // Waits for both sides of the pipe, then releases connection and pipe;
    // local_side (the file or listing thread) is joined before the pipe it
    // uses goes away.
    void finish_transfer(int receiving, pooled_job* local_side = nullptr);
    // The server side of the last data connection, and the local address
    // and port the next PORT starts from.
    const qxval& data_host() const { return data_host_; }
    int32_t data_port() const { return data_port_; }
    const qxval& local_address() const { return local_address_; }
    int32_t next_port() const { return next_port_; }
    // Whether a data connection or its pipe is still there (none between
    // transfers).
    bool data_connection_open() const { return pipe_ || passive_data_ || active_data_; }

protected:
    // The one place the state changes: logs the change (log_state) and tells
    // the observer, once per change; setting the state it has does nothing.
    void set_state(remote_state to);
    // Back to disconnected: the login, the listing styles, CHMOD support and
    // the stream start afresh.
    void reset_state();
    // A failure the session reports on its own: tells the observer.
    void report_error(int code);

private:
    // The handshake on the control connection and the certificate's
    // judgement; a certificate not accepted closes the connection.
    remote_result start_control_tls();
    void set_security(const connection_security& security);
    // Resolves and connects to the server or the proxy, and negotiates
    // with a SOCKS proxy: 0, a failure status, or 6001 when killed.
    remote_result reach_server();
    // Without trust_pasv_address, points data_host at the control
    // connection's peer, logging when the reply named another address.
    void aim_passive_connection(bool via_socks);
    // Whether the server is reached over IPv6 (through SOCKS: the site's
    // host is an IPv6 address).
    bool control_is_ipv6() const;
    // EPSV/EPRT before PASV/PORT: always on IPv6; on IPv4 as the options
    // say, never through an FTP firewall.
    bool extended_data_wanted() const;
    // EPSV, or PASV when EPSV is not wanted or was refused on this
    // connection (the refusal remembered).
    remote_result request_passive();
    // EPRT, or PORT likewise; an IPv6 address has only EPRT.
    remote_result request_active(const qxval& address, int32_t port_number);
    // From any thread: stops the running transfer's pipe and data socket.
    void abort_transfer();
    // SIZE or MDTM: text gets what follows "213 ", or nothing when the
    // server answers otherwise.
    remote_result answer_213(std::string_view verb, const qxval& path, std::string& text);
    // The listing with its tries, as MLSD or LIST.
    remote_result list_with_tries(const qxval& path, bool machine);
    remote_result list_directory_once(const qxval& path, bool machine);
    transfer_record transfer_with(const transfer_request& request);
    // The facts the ended connection recorded become the session's.
    void take_over_facts(const ftp_data_connection& connection);
    // What the transfer's pipe and data connection said, once both ended.
    transfer_record transfer_outcome(int receiving, const remote_result& reply_status) const;
    // The walk's hooks.
    remote_result remove_folder_hook(const qxval& path);
    remote_result change_mode_folder_hook(const qxval& path);
    remote_result delete_entry_hook(qxfile_node& entry);
    remote_result change_mode_entry_hook(qxfile_node& entry);
    const qxval* mode_for(bool is_folder) const;
    // Whether a stop ends the running work (stop or kill).
    bool stopped() const { return stop_.requested(); }
    // verb + " " + argument, even an empty one.
    static std::string command_line(std::string_view verb, std::string_view argument);
    // verb + " " + argument, or the verb alone without an argument.
    static std::string joined(std::string_view verb, std::string_view argument);

    // Inputs.
    remote_site site_;
    remote_options options_;
    const qxlang* language_ = nullptr;     // not owned
    remote_observer* observer_ = nullptr;  // not owned

    // The control connection and its state.
    std::atomic<remote_state> state_{remote_state::disconnected};
    qxsocket control_socket_;
    qxsocks_client socks_client_;  // used when the proxy is SOCKS (type 4 or 5)
    std::atomic<int> idle_rounds_{0};
    int32_t reply_code_ = 0;
    uint8_t reply_class_ = 9;
    uint8_t reply_group_ = 9;
    uint8_t reply_detail_ = 0;
    qxarr reply_lines_;
    std::string reply_log_;  // the last reply as logged, kept for its buffer
    int32_t type_in_force_ = -1;
    bool passive_ = false;
    bool chmod_supported_ = true;
    // The server refused EPSV or EPRT on this connection.
    bool epsv_refused_ = false;
    bool eprt_refused_ = false;
    int keepalive_rotation_ = 0;
    // TLS: the context lives across the session's connections (data
    // connections hold it too); the protection is read from any thread.
    std::shared_ptr<tls_context> tls_context_;
    std::string tls_ca_file_;  // what tls_context_ was made with
    mutable std::mutex security_mutex_;
    connection_security security_;
    server_features features_;
    // MLSD failed where LIST worked: text listings for this login.
    bool machine_listing_refused_ = false;

    // Folders.
    qxfile_tree folder_tree_;
    qxfile_node* current_folder_ = nullptr;
    qxval current_path_{""};
    int32_t listing_styles_ = 0;
    int32_t time_difference_ = 0;
    listing_report last_listing_;
    // The server's paths of the folders the running walk is inside, outermost first.
    std::vector<std::string> walk_trail_;
    // The change the running recursive permission change makes.
    chmod_request walk_change_;

    // The data connection and its pipe: made and destroyed under data_mutex_,
    // which the stop from another thread takes too.
    std::mutex data_mutex_;
    std::unique_ptr<ftp_data_connection_virtual> active_data_;
    std::unique_ptr<ftp_data_connection_virtual> passive_data_;
    std::unique_ptr<qxpipe> pipe_;
    qxval data_host_{""};
    int32_t data_port_ = 0;
    qxval local_address_{""};  // of the control connection, for PORT
    int32_t next_port_ = 0;
    // The last data connection, as finish_transfer found it.
    uint32_t pipe_flags_at_end_ = 0;
    int32_t data_failure_ = 0;
    int64_t bytes_transferred_ = 0;
    int32_t start_time_ = 0;
    int32_t end_time_ = 0;
    int32_t size_tolerance_ = 0;
};

}  // namespace qvtf
