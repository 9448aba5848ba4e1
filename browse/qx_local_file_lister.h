// qx_local_file_lister: the local browser pane. Its tree starts at the file
// system root "/"; a watcher notices changes in the shown folder (not its
// subfolders) and a refresher lists it again.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "browse/local_paths.h"
#include "browse/qx_file_lister.h"

namespace qvtf {

// Error codes of the local pane.
enum local_status : int {
    local_no_root = 6201,  // the path is not absolute
    local_missing = 6202,  // a component of the path does not exist
    local_verb_failed = 6206,
};

// Names sort by the user's locale collation, as file managers show them;
// the other keys keep the file sort order.
class local_file_tree : public qxfile_tree {
public:
    // Natural order with the text between numbers in the user's collation.
    int compare_names(std::string_view a, std::string_view b, bool nocase) const override;
};

namespace detail {
struct local_tree_holder {
    local_file_tree local_tree;
};
}  // namespace detail

class qx_local_file_lister : private detail::local_tree_holder, public qx_file_lister {
public:
    // platform: trash and verbs (not owned; null: the engine's own, which
    // deletes for real).
    qx_local_file_lister(global_ftp_settings& settings, const qxlang* language, qx_lister_view* view,
                         local_file_platform* platform = nullptr);
    ~qx_local_file_lister() override;

    void error_text(qxval& out, int code) const override;
    int enter(qxfile_node* node, bool relist) override;
    // An absolute path, or one starting with "~" (the home folder).
    int change_folder(const qxval& path, bool relist) override;
    int reload() override;
    // A user's operation waits out the refresher's and a background
    // refresh's short hold instead of being told the pane is busy; another
    // operation still refuses it at once.
    int acquire() override;
    int open(qxfile_node* node) override;
    // Fills the entry's type text once: the desktop's name for its kind, or
    // "Folder" and "EXT file" without one.
    int icon_of(qxfile_node* node) override;
    int move_pairs(const move_files_structure& moves, const move_done_callback& done) override;
    int delete_entries(const std::vector<qxfile_node*>& entries) override;
    int make_folder(const qxval& name) override;
    void save_settings() override;
    // The properties dialog's permission bits, with chmod(2).
    int change_permissions(const std::vector<qxfile_node*>& entries, unsigned bits, bool recursive);
    int change_permissions(const std::vector<qxfile_node*>& entries, const chmod_plan& plan, bool recursive);

    // Starts the refresher; from then on every change of folder also starts
    // a watcher on the new folder.
    void start_watching();
    void stop_watching();
    // Kept by the main window: changes count only while the pane is active.
    std::atomic<bool> active{true};
    bool changed() const;
    void set_changed();

protected:
    bool folder_sizes_shown() const override { return false; }

private:
    void reset();
    int list(qxfile_node* folder);
    int change_to(const std::string& path);
    void restart_watcher(const std::string& folder);
    void stop_watcher();
    void stop_watcher_locked();
    void watcher_body(int notify_fd, int stop_fd);
    void refresher_body();

    global_ftp_settings& settings_store_;
    local_file_platform own_platform_;
    local_file_platform* platform_;

    mutable std::mutex watch_mutex_;
    std::condition_variable watch_cv_;
    bool changed_ = false;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> watching_{false};
    std::atomic<bool> refreshing_{false};  // the refresher holds the busy lock
    std::mutex watcher_mutex_;             // the watcher thread and its stop handle
    std::thread refresher_;
    std::thread watcher_;
    int watcher_stop_fd_ = -1;
};

}  // namespace qvtf
