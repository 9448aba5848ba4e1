#include "sync/sync_run.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <ctime>
#include <memory>

#include "browse/local_paths.h"
#include "core/qxfile_node.h"
#include "remote/remote_session.h"

namespace qvtf {

namespace {

sync_action_result outcome(remote_session& s, const remote_result& status)
{
    sync_action_result r;
    r.done = true;
    r.status = status;
    if (!status.ok()) {
        qxval text;
        s.error_text(status, text);
        r.text = text.str();
        while (!r.text.empty() && (r.text.back() == '\n' || r.text.back() == '\r'))
            r.text.pop_back();
    }
    return r;
}

sync_action_result local_outcome(bool ok, const std::string& what)
{
    sync_action_result r;
    r.done = true;
    r.status = ok ? 0 : 1;
    if (!ok)
        r.text = "cannot " + what;
    return r;
}

void set_time(const std::string& path, std::time_t t)
{
    struct timespec times[2];
    times[0].tv_sec = t;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

remote_result remote_delete(remote_session& s, const sync_action& a)
{
    qxfile_node entry;
    entry.name.set_bytes(a.remote_path);
    entry.is_folder = a.is_folder ? 1 : 0;
    if (a.is_link)
        entry.attributes |= ATTR_LINK;
    return s.delete_entry(entry);
}

// The file times of a run, stamped once per transfer by whichever thread
// sees it succeed first.
class stamping_events : public sync_transfer_events {
public:
    stamping_events(const sync_plan& plan, int32_t direction, std::vector<sync_action_result>& results,
                    sync_observer* observer)
        : plan_(plan), direction_(direction), results_(results), observer_(observer),
          stamped_(std::make_unique<std::atomic<bool>[]>(plan.actions.size()))
    {
    }

    void on_success(std::size_t i) override
    {
        if (stamped_[i].exchange(true))
            return;
        const sync_action& a = plan_.actions[i];
        if (a.kind == sync_action_kind::download)
            set_time(a.local_path, static_cast<std::time_t>(a.modified));
        else if (direction_ == sync_rule::both)
            set_time(a.local_path, std::time(nullptr));
    }
    void on_done(std::size_t i, const sync_action_result& r) override
    {
        if (r.status == 0)
            on_success(i);
        finish(i, r);
    }
    void finish(std::size_t i, const sync_action_result& r)
    {
        results_[i] = r;
        if (observer_)
            observer_->on_action(plan_.actions[i], r);
    }

private:
    const sync_plan& plan_;
    const int32_t direction_;
    std::vector<sync_action_result>& results_;
    sync_observer* observer_;
    std::unique_ptr<std::atomic<bool>[]> stamped_;
};

}  // namespace

std::vector<sync_action_result> carry_out_sync_plan(const sync_plan& plan, int32_t direction, remote_session& browser,
                                                    sync_transfer_sink& sink, sync_observer* observer)
{
    std::vector<sync_action_result> results(plan.actions.size());
    stamping_events events(plan, direction, results, observer);
    for (std::size_t i = 0; i < plan.actions.size(); ++i) {
        const sync_action& a = plan.actions[i];
        if (a.kind == sync_action_kind::make_remote_folder)
            events.finish(i, outcome(browser, browser.make_folder(qxval(a.remote_path))));
        else if (a.kind == sync_action_kind::make_local_folder)
            events.finish(i, local_outcome(::mkdir(a.local_path.c_str(), 0777) == 0, "create " + a.local_path));
        else if (a.is_transfer())
            sink.add(i, a);
    }
    sink.run_until_done(events);
    for (std::size_t i = 0; i < plan.actions.size(); ++i) {
        const sync_action& a = plan.actions[i];
        if (a.kind == sync_action_kind::delete_remote)
            events.finish(i, outcome(browser, remote_delete(browser, a)));
        else if (a.kind == sync_action_kind::delete_local)
            events.finish(i, local_outcome(remove_path(a.local_path), "delete " + a.local_path));
    }
    return results;
}

}  // namespace qvtf
