// The local pane's change watcher (inotify on the shown folder only) and the
// refresher that lists the folder again after a change.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>

#include "browse/qx_local_file_lister.h"
#include "remote/remote_status.h"

namespace qvtf {

namespace {

constexpr auto refresh_interval = std::chrono::milliseconds(2000);
// A file being written changes its folder all the time: the folder is
// listed again at most this often.
constexpr auto settle_interval = std::chrono::milliseconds(500);
constexpr int lock_wait_ms = 2000;
constexpr uint32_t watched_events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_MODIFY |
                                    IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

bool qx_local_file_lister::changed() const
{
    std::lock_guard lock(watch_mutex_);
    return changed_;
}

void qx_local_file_lister::set_changed()
{
    {
        std::lock_guard lock(watch_mutex_);
        changed_ = true;
    }
    watch_cv_.notify_all();
}

void qx_local_file_lister::start_watching()
{
    std::lock_guard lock(watch_mutex_);
    if (watching_)
        return;
    watching_ = true;
    stopping_ = false;
    refresher_ = std::thread([this] { refresher_body(); });
}

void qx_local_file_lister::stop_watching()
{
    {
        std::lock_guard lock(watch_mutex_);
        if (!watching_)
            return;
        watching_ = false;
        stopping_ = true;
    }
    watch_cv_.notify_all();
    lock_.wake_waiters();
    if (refresher_.joinable())
        refresher_.join();
    stop_watcher();
}

void qx_local_file_lister::stop_watcher()
{
    std::lock_guard lock(watcher_mutex_);
    stop_watcher_locked();
}

void qx_local_file_lister::stop_watcher_locked()
{
    if (watcher_stop_fd_ >= 0) {
        const uint64_t one = 1;
        (void)!::write(watcher_stop_fd_, &one, sizeof one);
    }
    if (watcher_.joinable())
        watcher_.join();
    if (watcher_stop_fd_ >= 0)
        ::close(watcher_stop_fd_);
    watcher_stop_fd_ = -1;
}

void qx_local_file_lister::restart_watcher(const std::string& folder)
{
    std::lock_guard guard(watcher_mutex_);
    stop_watcher_locked();
    {
        std::lock_guard lock(watch_mutex_);
        changed_ = false;
    }
    const int notify_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify_fd < 0)
        return;
    // Not recursive: changes inside subfolders do not concern this view.
    if (::inotify_add_watch(notify_fd, folder.c_str(), watched_events) < 0) {
        ::close(notify_fd);
        return;
    }
    watcher_stop_fd_ = ::eventfd(0, EFD_CLOEXEC);
    if (watcher_stop_fd_ < 0) {
        ::close(notify_fd);
        return;
    }
    const int stop_fd = watcher_stop_fd_;
    watcher_ = std::thread([this, notify_fd, stop_fd] { watcher_body(notify_fd, stop_fd); });
}

void qx_local_file_lister::watcher_body(int notify_fd, int stop_fd)
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        pollfd fds[2] = {{notify_fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            break;
        bool any = false;
        while (::read(notify_fd, buffer, sizeof buffer) > 0)
            any = true;
        if (any && active)
            set_changed();
    }
    ::close(notify_fd);
}

int qx_local_file_lister::acquire()
{
    const int code = lock_.acquire();
    if (code == status_ok || !(refreshing_ || background_holding()))
        return code;
    return lock_.acquire_waiting(lock_wait_ms);
}

void qx_local_file_lister::refresher_body()
{
    for (;;) {
        {
            std::unique_lock lock(watch_mutex_);
            watch_cv_.wait_for(lock, refresh_interval, [this] { return changed_ || stopping_; });
            if (stopping_)
                return;
            if (!changed_)
                continue;
        }
        // A busy pane is left alone; the flag stays for the next turn.
        if (lock_.acquire_waiting(lock_wait_ms, &stopping_) != status_ok) {
            std::unique_lock lock(watch_mutex_);
            watch_cv_.wait_for(lock, refresh_interval, [this] { return bool(stopping_); });
            continue;
        }
        refreshing_ = true;
        {
            std::lock_guard lock(watch_mutex_);
            changed_ = false;
        }
        if (qxfile_node* folder = current_folder()) {
            list(folder);
            refresh_view(false);
        }
        show_idle();
        refreshing_ = false;
        lock_.release();
        std::unique_lock lock(watch_mutex_);
        watch_cv_.wait_for(lock, settle_interval, [this] { return bool(stopping_); });
    }
}

}  // namespace qvtf
