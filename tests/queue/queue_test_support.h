// Shared by the queue tests: a view and panes that record what the queue
// asks of them, and helpers for trees of files on both sides.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/qxfile_tree.h"
#include "core/qxfiles.h"
#include "ftp/ftp_control.h"
#include "ftp/test_data_support.h"
#include "queue/ftp_queue_process_manager.h"
#include "support/file_text.h"
#include "support/queue_finished.h"
#include "support/test_phrases.h"

namespace qvtf::test {

struct view_call {
    std::string what;  // "add", "update", "remove"
    std::string name;
    int32_t tries = 0;
    uint32_t state = 0;
    int32_t is_folder = 0;
    std::string local_path;
    std::string remote_path;
    int64_t size = 0;
    int32_t is_link = 0;
    int32_t transfer_type = 0;
};

class recording_view : public queue_view {
public:
    void add_row(ftp_queue_item& item) override { note("add", item, ++next_row_); }
    void update_row(ftp_queue_item& item) override { note("update", item, item.view_row); }
    void remove_row(ftp_queue_item& item) override { note("remove", item, no_view_id); }
    void progress(ftp_queue_item&, int64_t, int32_t) override { ++progress_calls; }
    void begin_update() override { ++updates_open; }
    void end_update() override { --updates_open; }
    void show_error(int caption, const qxval& text) override
    {
        std::lock_guard lock(mutex_);
        errors_.push_back(std::to_string(caption) + " " + text.str());
    }
    std::vector<view_call> calls() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<std::string> errors() const
    {
        std::lock_guard lock(mutex_);
        return errors_;
    }
    std::atomic<int> progress_calls{0};
    std::atomic<int> updates_open{0};

private:
    void note(const char* what, ftp_queue_item& item, qxview_id row)
    {
        std::lock_guard lock(mutex_);
        item.view_row = row;
        calls_.push_back({what, item.name.str(), item.tries, item.state(), item.is_folder, item.local_path.str(),
                          item.remote_path.str(), item.size, item.is_link, item.transfer_type});
    }
    mutable std::mutex mutex_;
    std::vector<view_call> calls_;
    std::vector<std::string> errors_;
    qxview_id next_row_ = 0;
};

// The path of a node of a tree whose root is "/".
inline std::string tree_path(const qxfile_node* node)
{
    std::vector<std::string> parts;
    for (; node && node->parent; node = node->parent)
        parts.push_back(node->name.str());
    std::string out;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it)
        out += "/" + *it;
    return out.empty() ? "/" : out;
}

// A folder node for an absolute local path, created along the way.
inline qxfile_node* local_folder_node(qxfile_tree& tree, const std::string& path)
{
    if (!tree.root) {
        auto* root = new qxfile_node;
        root->name.set_string("/");
        root->is_folder = 1;
        tree.append_top(root);
    }
    qxfile_node* node = tree.root;
    for (const auto& part : std::filesystem::path(path)) {
        const std::string name = part.string();
        if (name == "/" || name.empty())
            continue;
        qxfile_node* child = node->first_child;
        while (child && child->name.str() != name)
            child = child->next;
        if (!child) {
            child = new qxfile_node;
            child->name.set_bytes(name);
            child->is_folder = 1;
            tree.append_child(child, node);
        }
        node = child;
    }
    return node;
}

// Panes over one browsing session (or none); worker connections log in
// to the given ports in turn.
class recording_panes : public queue_panes {
public:
    remote_session* session = nullptr;
    std::map<const qxfile_node*, std::string> paths;  // override tree paths
    std::vector<uint16_t> worker_ports;
    std::string user = "u";
    std::string password = "p";
    std::atomic<int> sounds{0};
    std::atomic<int> relists{0};
    std::atomic<int> next_port{0};

    remote_session* browser() override { return session; }
    int local_path_of(const qxfile_node* node, qxval& out) override { return path_of(node, out); }
    int remote_path_of(const qxfile_node* node, qxval& out) override { return path_of(node, out); }
    void play_transfer_sound() override { ++sounds; }
    void relist_remote() override { ++relists; }
    void prepare_worker(remote_site& site, remote_options& options) override
    {
        site.host.set_string("127.0.0.1");
        if (!worker_ports.empty())
            site.port = worker_ports[static_cast<size_t>(next_port++) % worker_ports.size()];
        site.user_name.set_bytes(user);
        site.password.set_bytes(password);
        options.timeout = 5;
        options.passive = true;
    }

private:
    int path_of(const qxfile_node* node, qxval& out)
    {
        auto found = paths.find(node);
        out.set_bytes(found != paths.end() ? found->second : tree_path(node));
        return 0;
    }
};

// A browsing session logged in to a test server, and panes whose worker
// connections log in there too; base is the login folder, ending in "/".
struct server_panes {
    ftp_control browser;
    recording_panes panes;
    std::string base;
    // 0 when logged in.
    int log_in(uint16_t port, const std::string& user, const std::string& password)
    {
        browser.set_language(&test_phrases());
        if (int code = log_in_to(browser, port, user, password))
            return code;
        base = browser.current_path().str();
        if (base.empty() || base.back() != '/')
            base += '/';
        panes.session = &browser;
        panes.worker_ports = {port};
        panes.user = user;
        panes.password = password;
        return 0;
    }
    // A file item between local_folder (ending in "/") and base.
    std::unique_ptr<ftp_queue_item> file_item(bool download, const std::string& name,
                                              const std::string& local_folder, int64_t size) const
    {
        auto item = std::make_unique<ftp_queue_item>();
        item->is_download = download ? 1 : 0;
        item->name.set_bytes(name);
        item->local_folder.set_bytes(local_folder);
        item->local_path.set_bytes(local_folder + name);
        item->remote_folder.set_bytes(base);
        item->remote_path.set_bytes(base + name);
        item->size = size;
        return item;
    }
};

// The results of the items a queue finishes, taken in turn.
class finished_results {
public:
    void attach(ftp_queue_process_manager& q)
    {
        when_finished(q, [this](const queue_item_result& r) {
            std::lock_guard held(mutex_);
            results_.push_back(r);
        });
    }
    std::size_t count() const
    {
        std::lock_guard held(mutex_);
        return results_.size();
    }
    // The results so far, which are then forgotten.
    std::vector<queue_item_result> take()
    {
        std::lock_guard held(mutex_);
        return std::exchange(results_, {});
    }

private:
    mutable std::mutex mutex_;
    std::vector<queue_item_result> results_;
};

// Finished-item log lines.
struct log_record {
    int kind;
    std::string text;
};

class log_capture {
public:
    static void sink(void* user, std::string_view lines, int kind)
    {
        auto* self = static_cast<log_capture*>(user);
        std::lock_guard lock(self->mutex_);
        self->records_.push_back({kind, std::string(lines)});
    }
    // Lines of the finished-item kinds (3, 4, 5).
    std::vector<log_record> finished() const
    {
        std::lock_guard lock(mutex_);
        std::vector<log_record> out;
        for (const auto& r : records_)
            if (r.kind >= 3 && r.kind <= 5)
                out.push_back(r);
        return out;
    }
    // Lines of one kind.
    std::vector<log_record> of_kind(int kind) const
    {
        std::lock_guard lock(mutex_);
        std::vector<log_record> out;
        for (const auto& r : records_)
            if (r.kind == kind)
                out.push_back(r);
        return out;
    }
    void attach(ftp_queue_process_manager& q)
    {
        q.log_sink = &log_capture::sink;
        q.sink_context = this;
    }

private:
    mutable std::mutex mutex_;
    std::vector<log_record> records_;
};

inline void write_text(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace qvtf::test
