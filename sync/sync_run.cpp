#include "sync/sync_run.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <ctime>
#include <memory>

#include "browse/local_paths.h"
#include "core/qxfile_node.h"
#include "ftp/ftp_control.h"

namespace qvtf {

namespace {

sync_action_result outcome(ftp_control& s, int status)
{
    sync_action_result r;
    r.done = true;
    r.status = status;
    if (status != 0) {
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

int remote_delete(ftp_control& s, const sync_action& a)
{
    qxfile_node entry;
    entry.name.set_bytes(a.remote_path);
    entry.is_folder = a.is_folder ? 1 : 0;
    if (a.is_link)
        entry.attributes |= ATTR_LINK;
    return s.delete_entry(entry);
}

}  // namespace

std::vector<sync_action_result> carry_out_sync_plan(const sync_plan& plan, int32_t direction, ftp_control& browser,
                                                    sync_transfer_sink& sink, const sync_log_fn& log)
{
    std::vector<sync_action_result> results(plan.actions.size());
    auto finish = [&](std::size_t i, const sync_action_result& r) {
        results[i] = r;
        if (log)
            log(plan.actions[i], r);
    };
    for (std::size_t i = 0; i < plan.actions.size(); ++i) {
        const sync_action& a = plan.actions[i];
        if (a.kind == sync_action_kind::make_remote_folder)
            finish(i, outcome(browser, browser.make_folder(qxval(a.remote_path))));
        else if (a.kind == sync_action_kind::make_local_folder)
            finish(i, local_outcome(::mkdir(a.local_path.c_str(), 0777) == 0, "create " + a.local_path));
        else if (a.is_transfer())
            sink.add(i, a);
    }
    // Each index is stamped once, by whichever thread sees it succeed first.
    auto stamped = std::make_unique<std::atomic<bool>[]>(plan.actions.size());
    auto stamp = [&](std::size_t i) {
        if (stamped[i].exchange(true))
            return;
        const sync_action& a = plan.actions[i];
        if (a.kind == sync_action_kind::download)
            set_time(a.local_path, static_cast<std::time_t>(a.modified));
        else if (direction == sync_rule::both)
            set_time(a.local_path, std::time(nullptr));
    };
    sink.on_each_success(stamp);
    sink.run_until_done([&](std::size_t i, const sync_action_result& r) {
        if (r.status == 0)
            stamp(i);
        finish(i, r);
    });
    sink.on_each_success(nullptr);
    for (std::size_t i = 0; i < plan.actions.size(); ++i) {
        const sync_action& a = plan.actions[i];
        if (a.kind == sync_action_kind::delete_remote)
            finish(i, outcome(browser, remote_delete(browser, a)));
        else if (a.kind == sync_action_kind::delete_local)
            finish(i, local_outcome(remove_path(a.local_path), "delete " + a.local_path));
    }
    return results;
}

}  // namespace qvtf
