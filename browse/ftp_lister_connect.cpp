// The remote pane's connection: connect with a profile, the clock
// difference, disconnect, the lost-connection path, keep-alive and sounds.
#include <chrono>
#include <string>

#include "browse/listing_parser.h"
#include "browse/qx_ftp_file_lister.h"
#include "core/qxfiles.h"
#include "protocols/remote_factory.h"
#include "settings/session_options.h"

namespace qvtf {

namespace {

constexpr int phrase_connected = 7;
constexpr int phrase_disconnect_caption = 194;
constexpr int phrase_queue_busy = 195;
constexpr int phrase_not_connected = 196;
constexpr int phrase_connecting = 249;
constexpr int phrase_measuring = 262;
constexpr int lost_wait_ms = 10000;
// How long a user's operation waits for the keep-alive's one round trip.
constexpr int keepalive_wait_ms = 2000;

}  // namespace

void detail::pane_watch::on_log_text(remote_session& s, std::string_view lines, int kind)
{
    if (remote_observer* o = next)
        o->on_log_text(s, lines, kind);
}

void detail::pane_watch::on_status(remote_session& s, qxval message)
{
    if (remote_observer* o = next)
        o->on_status(s, std::move(message));
}

void detail::pane_watch::on_state(remote_session& s, remote_state from, remote_state to)
{
    const bool ended = to == remote_state::disconnected && from != remote_state::disconnected && !closing;
    if (ended && idle) {
        // Nobody waits on the connection: the window keeps showing the site.
        dropped = true;
        return;
    }
    if (remote_observer* o = next)
        o->on_state(s, from, to);
    if (ended)
        pane_.connection_lost();
}

void detail::pane_watch::on_error(remote_session& s, int code)
{
    if (remote_observer* o = next)
        o->on_error(s, code);
    // The session reports only what ends it: a failed send or read (it is
    // reset) or the server closing it (6003).
    if (!closing && !idle)
        pane_.connection_lost();
}

void detail::pane_watch::on_listing(remote_session& s, qxfile_node& folder)
{
    // Re-listing a folder makes its tree items stale.
    if (view_)
        view_->folder_listed(&folder);
    if (remote_observer* o = next)
        o->on_listing(s, folder);
}

qx_ftp_file_lister::qx_ftp_file_lister(global_ftp_settings& settings, const qxlang* language, qx_lister_view* view,
                                       lister_sound* sound, std::unique_ptr<remote_session> connection)
    : detail::remote_session_holder{connection ? std::move(connection) : make_remote_session(remote_protocol::ftp)},
      qx_file_lister(owned->folder_tree(), language, view), settings_store_(settings), sound_(sound ? sound : &silent_),
      watch_(view, *this)
{
    session().set_observer(&watch_);
    session().set_language(language);
    bind_settings(pane_settings::remote(settings));
}

qx_ftp_file_lister::~qx_ftp_file_lister()
{
    watch_.closing = true;
    stop_background_refreshes();
    wait_for_operations();
    stop_keepalive();
    session().disconnect();
    session().set_observer(nullptr);
}

bool qx_ftp_file_lister::open_listing_dump(const program_folders& folders)
{
    const qxval path(folders.user_file(listing_dump_name));
    const file_handle dump = folders.ensure_user_folder() ? qvtf::open_listing_dump(path) : invalid_file_handle;
    if (dump == invalid_file_handle)
        return false;
    close_file(dump);
    listing_dump_path_ = path;
    return true;
}

int qx_ftp_file_lister::acquire()
{
    const int code = session().acquire();
    if (code == status_ok || !(keepalive_holding_ || background_holding()))
        return code;
    // The keep-alive holds the session for one command, or the pane shows
    // a listing afresh: the user's operation waits that out instead of
    // being refused as busy.
    return session().acquire_waiting(keepalive_wait_ms);
}

int qx_ftp_file_lister::acquire_waiting(int ms)
{
    return session().acquire_waiting(ms);
}

void qx_ftp_file_lister::release_lock()
{
    session().release();
}

void qx_ftp_file_lister::abort_operation()
{
    qx_file_lister::abort_operation();
    session().stop(stop_reason_stop);
}

int qx_ftp_file_lister::keep_result(const remote_result& result)
{
    if (!result.ok()) {
        std::lock_guard hold(failure_mutex_);
        last_failure_ = result;
    }
    return result.status;
}

void qx_ftp_file_lister::show_banner(int phrase_number, std::string_view detail)
{
    std::string text(phrase(phrase_number));
    text += detail;
    view_->banner_changed(true, qxval(text));
}

void qx_ftp_file_lister::play_event(int kind)
{
    if (!(settings_store_.sounds & kind))
        return;
    switch (kind) {
    case sound_connect: sound_->play_file(settings_store_.sound_path("connect.wav")); break;
    case sound_disconnect: sound_->play_file(settings_store_.sound_path("disconnect.wav")); break;
    case sound_transfer: sound_->play_file(settings_store_.sound_path("transfer.wav")); break;
    case sound_beep: sound_->beep(); break;
    default: break;
    }
}

int qx_ftp_file_lister::connect_profile(ftp_profile* profile)
{
    if (!profile || profile->is_group())
        return status_ok;
    if (profile_ || session().connected())
        close_connection(0);
    const remote_site site = site_of(settings_store_, *profile);
    if (int code = use_protocol(site.protocol))
        return code;
    profile_ = profile;
    remote_options options = options_of(settings_store_, profile);
    options.listing_reader = &read_listing;
    options.listing_dump_path = listing_dump_path_;
    options.trust = trust_;
    options.host_keys = host_keys_;
    options.known_hosts_file = known_hosts_file_;
    session().configure(site, options);
    int code = connect();
    if (code != status_ok || profile->anonymous_login || profile->time_difference_state != 0)
        return code;
    show_banner(phrase_measuring, "");
    code = measure_time_difference();
    if (code == status_ok) {
        profile->time_difference = session().time_difference();
        profile->time_difference_state = time_difference_measured;
    }
    const int reloaded = reload();
    return code ? code : reloaded;
}

int qx_ftp_file_lister::use_protocol(remote_protocol protocol)
{
    if (session().site().protocol == protocol)
        return status_ok;
    if (session().busy() && !session().held_by_caller())
        return status_busy;
    reset_pane();
    std::unique_ptr<remote_session> fresh = make_remote_session(protocol);
    fresh->set_language(language_);
    fresh->set_observer(&watch_);
    session().set_observer(nullptr);
    tree_ = &fresh->folder_tree();
    owned.swap(fresh);
    retired_sessions_.push_back(std::move(fresh));
    return status_ok;
}

int qx_ftp_file_lister::measure_time_difference()
{
    qxval probe;
    if (!temp_file_name(probe, true))
        return status_local_file;
    const int code = keep_result(session().measure_time_difference(probe));
    qvtf::delete_file(probe);
    return code;
}

int qx_ftp_file_lister::connect()
{
    ++connects_;
    watch_.dropped = false;
    idle_ticks_ = 0;
    std::string connecting(phrase(phrase_connecting));
    connecting += session().site().host.view();
    view_->title_changed(qxval(connecting));
    view_->banner_changed(true, qxval(connecting));
    // The failure keeps the reply that said why; closing reads the server's
    // goodbye after it.
    int code = keep_result(session().log_in());
    if (!session().logged_in() && session().connected()) {
        // A refused login leaves no half-open connection that the title, the
        // header and Disconnect would show as connected.
        watch_.closing = true;
        session().disconnect();
        watch_.closing = false;
        if (code == status_ok)
            code = status_not_connected;
    }
    if (session().connected()) {
        view_->title_changed(qxval(std::string(phrase(phrase_connected)) + session().site().host.str()));
    } else {
        view_->title_changed(qxval(phrase(phrase_not_connected)));
    }
    view_->toolbar_changed(false, is_ready());
    if (code != status_ok || !session().logged_in())
        return code ? code : int(status_not_connected);
    start_keepalive();
    code = keep_result(session().enter_start_folder());
    if (code == status_ok)
        code = change_folder(session().current_path(), true);
    if (code == status_ok)
        play_event(sound_connect);
    return code;
}

void qx_ftp_file_lister::reset_pane()
{
    view_->tree_cleared();
    set_current(nullptr);
    session().forget_folders();
    refresh_view(false);
    view_->status_text_changed(qxval(""));
    view_->title_changed(qxval(phrase(phrase_not_connected)));
}

int qx_ftp_file_lister::close_connection(int wait_ms)
{
    {
        // The caller may already hold the session (counted); otherwise wait for it.
        remote_session_lock hold(session(), wait_ms);
        if (!hold)
            return hold.status();
        watch_.closing = true;
        stop_keepalive();
        if (session().logged_in())
            (void)session().quit();
        session().disconnect();
        watch_.closing = false;
        watch_.dropped = false;
        if (queue)
            queue->connection_ended();
        reset_pane();
        profile_ = nullptr;
    }
    play_event(sound_disconnect);
    return status_ok;
}

int qx_ftp_file_lister::disconnect(bool confirm)
{
    if (confirm && queue && queue->has_work() &&
        !view_->question_asked(phrase_disconnect_caption, qxval(phrase(phrase_queue_busy))))
        return status_ok;
    return close_connection(0);
}

void qx_ftp_file_lister::connection_lost()
{
    // Once per drop; the operation that saw it may still hold the session,
    // so this waits for it rather than taking the busy lock at once.
    if (lost_pending_.exchange(true))
        return;
    const bool started = start_task([this] {
        int code = status_ok;
        {
            remote_session_lock hold(session(), lost_wait_ms);
            // Unless the operation that met the drop logged in again meanwhile.
            if (!hold)
                code = hold.status();
            else if (!session().logged_in())
                code = close_connection(0);
        }
        lost_pending_ = false;
        if (code != status_ok) {
            qxval text;
            error_text(text, code);
            view_->error_shown(code, text);
        }
    });
    if (!started)
        lost_pending_ = false;
}

void qx_ftp_file_lister::start_keepalive()
{
    stop_keepalive();
    std::lock_guard lock(keepalive_mutex_);
    keepalive_stop_ = false;
    idle_ticks_ = 0;
    keepalive_ = std::thread([this] { keepalive_body(); });
}

void qx_ftp_file_lister::stop_keepalive()
{
    std::thread ending;
    {
        std::lock_guard lock(keepalive_mutex_);
        keepalive_stop_ = true;
        ending = std::move(keepalive_);
    }
    keepalive_cv_.notify_all();
    if (ending.joinable() && ending.get_id() != std::this_thread::get_id())
        ending.join();
    else if (ending.joinable())
        ending.detach();
}

void qx_ftp_file_lister::keepalive_body()
{
    for (;;) {
        {
            std::unique_lock lock(keepalive_mutex_);
            if (keepalive_cv_.wait_for(lock, std::chrono::milliseconds(keepalive_tick_ms.load()),
                                       [this] { return keepalive_stop_; }))
                return;
        }
        if (!session().logged_in())
            return;
        if (session().busy()) {
            idle_ticks_ = 0;
            continue;
        }
        // Ticks per second times the interval: more than that many seconds idle.
        if (++idle_ticks_ <= (1000 / keepalive_tick_ms) * keepalive_interval)
            continue;
        // Never waits: the user's operations come first.
        // Cleared only after hold lets go, so no user's operation that
        // meets the hold is refused for it.
        struct holding_guard {
            std::atomic<bool>& flag;
            ~holding_guard() { flag = false; }
        } holding{keepalive_holding_};
        remote_session_lock hold(session());
        if (!hold)
            continue;
        keepalive_holding_ = true;
        watch_.idle = true;
        const remote_result result = session().keep_alive();
        watch_.idle = false;
        idle_ticks_ = 0;
        if (!result.ok()) {
            // A drop is only noted: the next command logs in again.
            qxval text;
            session().error_text(result, text);
            session().log(watch_.dropped ? log_info : log_error, text.str() + "\r\n");
        }
    }
}

}  // namespace qvtf
