// fake_remote_session: a remote_session over a file system in memory, for
// tests that drive the panes, the queue and sync without a network. Every
// operation is recorded as a line ("CWD /a", "LIST /a", "GET /a/f", ...), the
// way the scripted server records the wire.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "remote/remote_session.h"

namespace qvtf::test {

class fake_remote_session : public remote_session {
public:
    struct stored_file {
        bool folder = false;
        std::string bytes;
        std::time_t modified = 0;
    };

    fake_remote_session();

    // The server's files by absolute path ("/a/b"); the root exists always.
    void add_folder(const std::string& path, std::time_t modified = 1600000000);
    void add_file(const std::string& path, const std::string& bytes, std::time_t modified = 1600000000);
    bool exists(const std::string& path) const;
    std::string bytes_of(const std::string& path) const;
    // What the session was asked to do, in order.
    std::vector<std::string> calls() const;
    // Operations whose path is in here are refused (6011 with a 550 reply).
    void refuse(const std::string& path);
    // What the session reports about the server.
    int32_t styles = 1;
    bool chmod = true;

    // ---- remote_session ----
    void configure(const remote_site& site, const remote_options& options) override;
    const remote_site& site() const override { return site_; }
    const remote_options& options() const override { return options_; }
    void set_observer(remote_observer* observer) override { observer_ = observer; }
    void set_language(const qxlang* language) override { language_ = language; }
    std::string_view phrase(int number) const override;
    remote_state state() const override { return state_; }
    void stop(int reason) override { stop_.request(reason); }
    remote_result log_in() override;
    remote_result enter_start_folder() override;
    remote_result quit() override;
    void disconnect(int wait_ms = 10000) override;
    remote_result keep_alive() override;
    remote_result measure_time_difference(const qxval& probe) override;
    int32_t time_difference() const override { return site_.time_difference; }
    qxfile_tree& folder_tree() override { return tree_; }
    qxfile_node* current_folder() const override { return current_; }
    qxval current_path() const override { return current_path_; }
    remote_result change_folder(const qxval& path) override;
    remote_result print_folder() override;
    remote_result list_directory(const qxval& path) override;
    listing_report last_listing() const override { return last_listing_; }
    int32_t listing_styles() const override { return styles; }
    void forget_folders() override;
    remote_result make_folder(const qxval& path) override;
    remote_result remove_folder(const qxval& path) override;
    remote_result delete_file(const qxval& path) override;
    remote_result rename(const qxval& from, const qxval& to) override;
    remote_result change_mode(const qxval& path, const qxval& mode) override;
    remote_result delete_entry(qxfile_node& entry) override;
    remote_result change_mode_entry(qxfile_node& entry, const chmod_request& change) override;
    bool chmod_supported() const override { return chmod; }
    remote_result file_size(const qxval& path, int64_t& out) override;
    remote_result modification_time(const qxval& path, int64_t& out) override;
    transfer_record transfer_file(const transfer_request& request) override;
    remote_result run_script(const qxval& text) override;
    remote_result raw_command(std::string_view line) override;
    void error_text(const remote_result& failure, qxval& out) const override;
    void log(int kind, std::string_view text) override;

private:
    // Absolute, without a trailing "/" ("/" for the root).
    std::string absolute(std::string_view path) const;
    // One step: recorded, refused when its path is, or not logged in.
    remote_result step(const std::string& what, const std::string& path);
    void set_state(remote_state to);

    mutable std::mutex mutex_;  // files_, calls_, refused_
    std::map<std::string, stored_file> files_;
    std::vector<std::string> calls_;
    std::vector<std::string> refused_;

    remote_site site_;
    remote_options options_;
    remote_observer* observer_ = nullptr;
    const qxlang* language_ = nullptr;
    std::atomic<remote_state> state_{remote_state::disconnected};
    qxfile_tree tree_;
    qxfile_node* current_ = nullptr;
    qxval current_path_{""};
    listing_report last_listing_;
};

}  // namespace qvtf::test
