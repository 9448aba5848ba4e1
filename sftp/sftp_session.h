// sftp_session: the SFTP implementation of remote_session, on libssh. One
// SSH connection with one SFTP channel; everything runs on the thread that
// holds the session, and another thread ends it by shutting the socket.
//
// Where each part lives:
//   sftp_session.cpp     inputs, state, log, stop, disconnect, keep-alive
//   sftp_connect.cpp     the socket (direct or SOCKS), SSH, host key, login
//   sftp_host_keys.cpp   the known-hosts files and the judge
//   sftp_entries.cpp     folders, single operations, failures of the channel
//   sftp_list.cpp        listings into the folder tree
//   sftp_walk.cpp        recursive delete and permission change
//   sftp_transfer.cpp    downloads and uploads, pipelined
//   sftp_write_pipeline  the writes in flight that libssh 0.10 lacks
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/qxfile_tree.h"
#include "core/qxval.h"
#include "remote/remote_session.h"

struct ssh_session_struct;
struct sftp_session_struct;

namespace qvtf {

class sftp_session : public remote_session {
public:
    sftp_session();
    sftp_session(const remote_site& site, const remote_options& options);
    ~sftp_session() override;

    // ---- inputs and state ----
    void configure(const remote_site& site, const remote_options& options) override;
    const remote_site& site() const override { return site_; }
    const remote_options& options() const override { return options_; }
    void set_observer(remote_observer* observer) override { observer_ = observer; }
    void set_language(const qxlang* language) override { language_ = language; }
    std::string_view phrase(int number) const override;
    remote_state state() const override { return state_.load(); }
    // A kill shuts the socket, which ends any wait inside libssh.
    void stop(int reason) override;

    // ---- connection ----
    remote_result log_in() override;
    remote_result enter_start_folder() override;
    remote_result quit() override;
    void disconnect(int wait_ms = 10000) override;
    // Resolves "." on the server: a round trip that also proves the channel.
    remote_result keep_alive() override;
    // SFTP times are UTC on both ends: nothing to measure.
    remote_result measure_time_difference(const qxval& probe) override;
    int32_t time_difference() const override { return 0; }

    // ---- folders ----
    qxfile_tree& folder_tree() override { return folder_tree_; }
    qxfile_node* current_folder() const override { return current_folder_; }
    qxval current_path() const override { return current_path_; }
    remote_result change_folder(const qxval& path) override;
    remote_result print_folder() override;
    remote_result list_directory(const qxval& path) override;
    listing_report last_listing() const override { return last_listing_; }
    int32_t listing_styles() const override { return 0; }
    void forget_folders() override;

    // ---- entries ----
    remote_result make_folder(const qxval& path) override;
    remote_result remove_folder(const qxval& path) override;
    remote_result delete_file(const qxval& path) override;
    remote_result rename(const qxval& from, const qxval& to) override;
    remote_result change_mode(const qxval& path, const qxval& mode) override;
    remote_result delete_entry(qxfile_node& entry) override;
    remote_result change_mode_entry(qxfile_node& entry, const chmod_request& change) override;
    bool chmod_supported() const override { return true; }
    remote_result file_size(const qxval& path, int64_t& out) override;
    remote_result modification_time(const qxval& path, int64_t& out) override;

    // ---- transfers ----
    transfer_record transfer_file(const transfer_request& request) override;

    // ---- commands: SFTP has none of the user's own ----
    remote_result run_script(const qxval& text) override;
    remote_result raw_command(std::string_view line) override;

    void error_text(const remote_result& failure, qxval& out) const override;
    void log(int kind, std::string_view text) override;

    // A path of the server: absolute as given, else under the current folder.
    std::string absolute(const qxval& path) const;

private:
    void set_state(remote_state to);
    // Frees the channel and the connection; back to disconnected.
    void close_connection();
    // The failure of the last SFTP request: refused (with the server's
    // words) while the connection lives; otherwise the connection is gone,
    // the observer hears of it and the session is reset.
    // A question's refusal (a probe for a size or a time) is an answer, and
    // is logged as the server's reply, not as an error.
    remote_result sftp_failure(const std::string& what, bool question = false);
    // Makes the next sftp_failure take the connection for gone. Always true.
    bool lose_connection();
    // The failure of an SSH step (connecting, logging in).
    remote_result ssh_failure();
    bool stopped() const { return stop_.requested(); }
    remote_result check_ready();
    // One request on a path made absolute, under the session's claim: 0 from
    // the request is success, anything else the server's refusal.
    remote_result on_path(const qxval& path, const std::function<int(const char* full)>& request,
                          bool question = false);

    // sftp_connect.cpp
    remote_result open_socket(const std::string& host, int port, int& fd);
    // sftp_host_keys.cpp
    void set_known_hosts_options();
    std::vector<std::string> known_hosts_files() const;
    remote_result check_host_key();
    // Adds the server's key to the program's file; replace drops the
    // host's other lines there first.
    bool remember_host_key(bool replace);
    remote_result authenticate();
    bool try_key_file(const std::string& path);
    bool try_keyboard();

    // sftp_list.cpp
    remote_result list_once(const std::string& path);

    // sftp_walk.cpp
    using entry_hook = remote_result (sftp_session::*)(qxfile_node& entry);
    using folder_hook = remote_result (sftp_session::*)(const qxval& path);
    remote_result walk_folder(const qxval& path, entry_hook entry, folder_hook folder);
    remote_result delete_entry_hook(qxfile_node& entry) { return delete_entry(entry); }
    remote_result change_mode_entry_hook(qxfile_node& entry) { return change_mode_entry(entry, walk_change_); }
    remote_result remove_folder_hook(const qxval& path) { return remove_folder(path); }
    remote_result change_mode_folder_hook(const qxval& path);
    const qxval* mode_for(bool is_folder) const;

    // sftp_transfer.cpp
    transfer_record download(const transfer_request& request);
    transfer_record upload(const transfer_request& request);

    remote_site site_;
    remote_options options_;
    const qxlang* language_ = nullptr;     // not owned
    remote_observer* observer_ = nullptr;  // not owned
    std::atomic<remote_state> state_{remote_state::disconnected};

    // Every server takes writes of 32 KiB; OpenSSH's take messages up to
    // 256 KiB, and fewer, larger writes cost fewer round trips.
    static constexpr std::size_t small_write = 32 * 1024;
    static constexpr std::size_t large_write = 192 * 1024;
    std::size_t write_chunk_ = small_write;
    ssh_session_struct* ssh_ = nullptr;
    sftp_session_struct* sftp_ = nullptr;
    // The connection's socket, for a kill from another thread.
    std::mutex socket_mutex_;
    int socket_ = -1;

    qxfile_tree folder_tree_;
    qxfile_node* current_folder_ = nullptr;
    qxval current_path_{""};
    listing_report last_listing_;
    std::vector<std::string> walk_trail_;
    chmod_request walk_change_;
};

}  // namespace qvtf
