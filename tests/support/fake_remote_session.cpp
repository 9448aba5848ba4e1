#include "support/fake_remote_session.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "core/qxfiles.h"
#include "markup/qxlang.h"
#include "remote/remote_folders.h"
#include "remote/remote_log.h"

namespace qvtf::test {

namespace {

std::string parent_of(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path)
{
    return path.substr(path.find_last_of('/') + 1);
}

remote_result refused_reply()
{
    remote_result failure(status_refused);
    failure.reply = {"550 refused"};
    return failure;
}

}  // namespace

fake_remote_session::fake_remote_session()
{
    files_["/"] = stored_file{true, "", 1600000000};
}

void fake_remote_session::add_folder(const std::string& path, std::time_t modified)
{
    std::lock_guard lock(mutex_);
    files_[path] = stored_file{true, "", modified};
}

void fake_remote_session::add_file(const std::string& path, const std::string& bytes, std::time_t modified)
{
    std::lock_guard lock(mutex_);
    files_[path] = stored_file{false, bytes, modified};
}

bool fake_remote_session::exists(const std::string& path) const
{
    std::lock_guard lock(mutex_);
    return files_.count(path) != 0;
}

std::string fake_remote_session::bytes_of(const std::string& path) const
{
    std::lock_guard lock(mutex_);
    const auto it = files_.find(path);
    return it == files_.end() ? std::string() : it->second.bytes;
}

std::vector<std::string> fake_remote_session::calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

void fake_remote_session::refuse(const std::string& path)
{
    std::lock_guard lock(mutex_);
    refused_.push_back(path);
}

void fake_remote_session::configure(const remote_site& site, const remote_options& options)
{
    site_ = site;
    options_ = options;
    publish_inputs(site_, options_);
}

std::string_view fake_remote_session::phrase(int number) const
{
    return language_ ? language_->text(number) : std::string_view();
}

void fake_remote_session::set_state(remote_state to)
{
    const remote_state from = state_.exchange(to);
    if (from != to && observer_)
        observer_->on_state(*this, from, to);
}

std::string fake_remote_session::absolute(std::string_view path) const
{
    std::string text(path);
    if (text.empty() || text[0] != '/') {
        const std::string here = current_path_.view().empty() ? "/" : current_path_.str();
        text = here == "/" ? "/" + text : here + "/" + text;
    }
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

remote_result fake_remote_session::step(const std::string& what, const std::string& path)
{
    std::lock_guard lock(mutex_);
    calls_.push_back(what + (path.empty() ? "" : " " + path));
    if (!logged_in())
        return status_not_connected;
    for (const std::string& r : refused_)
        if (r == path)
            return refused_reply();
    return status_ok;
}

remote_result fake_remote_session::log_in()
{
    {
        std::lock_guard lock(mutex_);
        calls_.push_back("LOGIN " + site_.user_name.str() + "@" + site_.host.str());
    }
    if (stop_.killed())
        return status_stopped;
    set_state(remote_state::logged_in);
    return status_ok;
}

remote_result fake_remote_session::enter_start_folder()
{
    const qxval start = site_.initial_folder.view().empty() ? qxval("/") : site_.initial_folder;
    return change_folder(start);
}

remote_result fake_remote_session::quit()
{
    {
        std::lock_guard lock(mutex_);
        calls_.push_back("QUIT");
    }
    set_state(remote_state::disconnected);
    return status_ok;
}

void fake_remote_session::disconnect(int wait_ms)
{
    remote_session_lock hold(*this, wait_ms);
    if (hold && connected())
        (void)quit();
}

remote_result fake_remote_session::keep_alive()
{
    return step("NOOP", "");
}

remote_result fake_remote_session::measure_time_difference(const qxval&)
{
    return step("CLOCK", "");
}

remote_result fake_remote_session::change_folder(const qxval& path)
{
    const std::string target = path.view().empty() ? parent_of(absolute("")) : absolute(path.view());
    if (remote_result r = step("CWD", target); !r.ok())
        return r;
    {
        std::lock_guard lock(mutex_);
        const auto it = files_.find(target);
        if (it == files_.end() || !it->second.folder)
            return refused_reply();
    }
    current_path_.set_bytes(target);
    current_ = folder_node_at(tree_, current_, target);
    return status_ok;
}

remote_result fake_remote_session::print_folder()
{
    return step("PWD", "");
}

remote_result fake_remote_session::list_directory(const qxval& path)
{
    const std::string folder = absolute(path.view());
    remote_session_lock hold(*this);
    if (remote_result r = step("LIST", folder); !r.ok())
        return r;
    if (stop_.requested())
        return status_stopped;
    if (!current_)
        return status_not_connected;
    if (observer_)
        observer_->on_listing(*this, *current_);
    qxfile_node staging;
    qxfile_node* last = nullptr;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [name, e] : files_) {
            if (name == "/" || parent_of(name) != folder)
                continue;
            auto* node = new qxfile_node;
            node->name.set_bytes(name_of(name));
            node->is_folder = e.folder ? 1 : 0;
            node->set_size(e.bytes.size());
            node->modified = e.modified;
            node->attributes = e.folder ? 0755 : 0644;
            node->needs_listing = e.folder ? 1 : 0;
            node->set_extension_from_name();
            node->prev = last;
            (last ? last->next : staging.first_child) = node;
            last = node;
        }
    }
    tree_.adopt_children(current_, staging);
    last_listing_ = listing_report{};
    last_listing_.complete = true;
    last_listing_.exact_times = true;
    return status_ok;
}

void fake_remote_session::forget_folders()
{
    qxfile_tree::reader hold(tree_);
    current_ = nullptr;
    tree_.clear();
}

remote_result fake_remote_session::make_folder(const qxval& path)
{
    const std::string target = absolute(path.view());
    if (remote_result r = step("MKD", target); !r.ok())
        return r;
    std::lock_guard lock(mutex_);
    files_[target] = stored_file{true, "", 1600000000};
    return status_ok;
}

remote_result fake_remote_session::remove_folder(const qxval& path)
{
    const std::string target = absolute(path.view());
    if (remote_result r = step("RMD", target); !r.ok())
        return r;
    std::lock_guard lock(mutex_);
    return files_.erase(target) ? remote_result(status_ok) : refused_reply();
}

remote_result fake_remote_session::delete_file(const qxval& path)
{
    const std::string target = absolute(path.view());
    if (remote_result r = step("DELE", target); !r.ok())
        return r;
    std::lock_guard lock(mutex_);
    return files_.erase(target) ? remote_result(status_ok) : refused_reply();
}

remote_result fake_remote_session::rename(const qxval& from, const qxval& to)
{
    const std::string source = absolute(from.view());
    if (remote_result r = step("RENAME", source + " " + absolute(to.view())); !r.ok())
        return r;
    std::lock_guard lock(mutex_);
    auto node = files_.extract(source);
    if (node.empty())
        return refused_reply();
    node.key() = absolute(to.view());
    files_.insert(std::move(node));
    return status_ok;
}

remote_result fake_remote_session::change_mode(const qxval& path, const qxval& mode)
{
    return step("CHMOD " + mode.str(), absolute(path.view()));
}

remote_result fake_remote_session::delete_entry(qxfile_node& entry)
{
    const std::string target = absolute(entry.name.view());
    if (!entry.is_folder)
        return delete_file(qxval(target));
    // Everything below first, then the folder itself.
    std::vector<std::string> below;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [name, e] : files_)
            if (name.rfind(target + "/", 0) == 0)
                below.push_back(name);
    }
    for (auto it = below.rbegin(); it != below.rend(); ++it) {
        if (stop_.requested())
            return status_stopped;
        if (remote_result r = step("DELE", *it); !r.ok())
            return r;
        std::lock_guard lock(mutex_);
        files_.erase(*it);
    }
    return remove_folder(qxval(target));
}

remote_result fake_remote_session::change_mode_entry(qxfile_node& entry, const chmod_request& change)
{
    return change_mode(entry.name, change.mode);
}

remote_result fake_remote_session::file_size(const qxval& path, int64_t& out)
{
    const std::string target = absolute(path.view());
    out = -1;
    if (remote_result r = step("SIZE", target); !r.ok())
        return r;
    std::lock_guard lock(mutex_);
    if (const auto it = files_.find(target); it != files_.end() && !it->second.folder)
        out = static_cast<int64_t>(it->second.bytes.size());
    return status_ok;
}

remote_result fake_remote_session::modification_time(const qxval& path, int64_t& out)
{
    const std::string target = absolute(path.view());
    out = -1;
    if (remote_result r = step("MDTM", target); !r.ok())
        return r;
    std::lock_guard lock(mutex_);
    if (const auto it = files_.find(target); it != files_.end())
        out = it->second.modified;
    return status_ok;
}

transfer_record fake_remote_session::transfer_file(const transfer_request& request)
{
    transfer_record record;
    const std::string remote = absolute(request.remote_path.view());
    const std::string local = request.local_path.str();
    remote_session_lock hold(*this);
    if (!hold) {
        record.result = hold.status();
        return record;
    }
    record.result = step(request.direction ? "GET" : "PUT", remote);
    if (!record.result.ok())
        return record;
    if (stop_.requested()) {
        record.result = status_stopped;
        return record;
    }
    if (request.direction) {
        std::string bytes;
        {
            std::lock_guard lock(mutex_);
            const auto it = files_.find(remote);
            if (it == files_.end() || it->second.folder) {
                record.result = refused_reply();
                return record;
            }
            bytes = it->second.bytes;
        }
        std::ofstream out(local, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            record.result = status_local_file;
            record.failed_side = transfer_side::local;
            return record;
        }
        record.bytes = static_cast<int64_t>(bytes.size());
    } else {
        std::ifstream in(local, std::ios::binary);
        if (!in) {
            record.result = status_local_file;
            record.failed_side = transfer_side::local;
            return record;
        }
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        {
            std::lock_guard lock(mutex_);
            files_[remote] = stored_file{false, bytes, std::time(nullptr)};
        }
        record.bytes = static_cast<int64_t>(bytes.size());
    }
    if (request.progress)
        request.progress->on_progress(record.bytes, 0);
    return record;
}

remote_result fake_remote_session::run_script(const qxval& text)
{
    return step("SCRIPT", text.str());
}

remote_result fake_remote_session::raw_command(std::string_view line)
{
    return step("RAW", std::string(line));
}

void fake_remote_session::error_text(const remote_result& failure, qxval& out) const
{
    std::string text = "status " + std::to_string(failure.status);
    for (const std::string& line : failure.reply)
        text += "\r\n" + line;
    if (!failure.detail.empty())
        text += "\r\n" + failure.detail;
    out.set_bytes(text);
}

void fake_remote_session::log(int kind, std::string_view text)
{
    log_to_observer(observer_, *this, kind, text);
}

}  // namespace qvtf::test
