// qvtf-cli's "sync": a rule file's folders compared, the plan printed, and
// unless it is a dry run carried out, one line per action as it ends.
#include <algorithm>
#include <cstdio>

#include "browse/local_paths.h"
#include "sync/sync_engine.h"
#include "tools/qvtf-cli/cli_queue.h"
#include "tools/qvtf-cli/cli_session.h"

namespace qvtf::cli {

namespace {

constexpr int phrase_nothing_to_sync = 281;
constexpr int phrase_sync_succeeded = 282;
constexpr int phrase_sync_failed = 283;

// One line per action as it ends.
class cli_sync_lines : public sync_observer {
public:
    explicit cli_sync_lines(std::FILE* out) : out_(out) {}
    void on_action(const sync_action& a, const sync_action_result& r) override
    {
        if (r.status == 0)
            std::fprintf(out_, "done: %s\n", escaped(a.describe()).c_str());
        else
            std::fprintf(out_, "failed: %s: %s (status %d)\n", escaped(a.describe()).c_str(), escaped(r.text).c_str(),
                         r.status);
        std::fflush(out_);
    }

private:
    std::FILE* out_;
};

}  // namespace

bool parse_sync_words(const std::vector<std::string>& w, sync_request& out, std::string& error)
{
    out = sync_request{};
    for (size_t i = 1; i < w.size(); ++i) {
        if (w[i] == "--dry-run") {
            out.dry_run = true;
        } else if (w[i] == "--local" || w[i] == "--remote") {
            if (i + 1 >= w.size()) {
                error = "sync: " + w[i] + " needs a folder";
                return false;
            }
            std::string& folder = w[i] == "--local" ? out.local : out.remote;
            folder = w[++i];
        } else if (w[i].size() > 1 && w[i][0] == '-') {
            error = "sync: unknown option " + w[i];
            return false;
        } else if (out.rule_file.empty()) {
            out.rule_file = w[i];
        } else {
            error = "sync: extra argument \"" + w[i] + "\"";
            return false;
        }
    }
    if (out.rule_file.empty()) {
        error = "sync: missing argument (usage: sync RULEFILE [--local DIR] [--remote DIR] [--dry-run])";
        return false;
    }
    return true;
}

remote_result cli_session::sync(const std::vector<std::string>& words)
{
    sync_request request;
    if (!parse_sync_words(words, request, usage_error_))
        return -1;
    dir_sync_settings_ex settings;
    qxval error;
    const int32_t loaded = settings.load_rule_file(qxval(request.rule_file), &error);
    if (loaded != rule_file_ok) {
        usage_error_ = "sync: cannot load the rule file " + request.rule_file + ": " +
                       (loaded == rule_file_unreadable ? error.str()
                        : loaded == rule_file_bad_value
                            ? std::string("a value is not a number of its range, or a mask does not compile")
                            : std::string("an element is missing"));
        return -1;
    }
    if (!request.local.empty())
        settings.local_folder.set_string(request.local.c_str());
    if (!request.remote.empty())
        settings.remote_folder.set_string(request.remote.c_str());
    const std::string local = absolute_local_path(settings.local_folder.str());
    if (local.empty()) {
        usage_error_ = "sync: the local folder must be an absolute path";
        return -1;
    }
    settings.local_folder.set_string(local.c_str());
    std::string remote = settings.remote_folder.str();
    if (remote.empty() || remote[0] != '/')
        remote = sync_side::join(session_->current_path().str(), remote);
    settings.remote_folder.set_string(remote.c_str());

    sync_plan_options options;
    options.global_transfer_type = type_ == transfer_kind::ascii ? 1 : type_ == transfer_kind::automatic ? 2 : 0;
    options.resolver = &resolver_;
    options.time_equal_interval = user_settings().sync_time_equal_interval;
    // A listing that breaks off is tried again like a transfer: a plan made
    // without a folder's entries is no plan.
    const global_ftp_settings& values = user_settings();
    queue_run_options run;
    run.threads = opts_.threads >= 0 ? opts_.threads : std::max(0, values.max_download_threads);
    run.retries = opts_.retries >= 1 ? opts_.retries : std::max(1, values.retry_count);
    run.transfer_type = options.global_transfer_type;
    // The transfers run in the queue, with the workers the settings or
    // --threads give; each finished item also prints the queue's log line.
    cli_queue queue(*session_, lang_, &resolver_, run, out_, err_,
                    opts_.log ? static_cast<remote_observer*>(this) : nullptr);
    cli_sync_lines lines(out_);
    sync_engine engine(*session_, queue.manager(), &lines);
    sync_plan plan;
    engine.compare(settings, options, plan);
    for (const std::string& n : plan.notes)
        std::fprintf(out_, "note: %s\n", escaped(n).c_str());
    if (plan.status != 0) {
        std::fprintf(err_, "qvtf-cli: sync: %s\n", escaped(plan.failure).c_str());
        return plan.cause;
    }
    for (const sync_action& a : plan.actions)
        std::fprintf(out_, "%s\n", escaped(a.describe()).c_str());
    if (plan.actions.empty())
        std::fprintf(out_, "%s\n", std::string(lang_.text(phrase_nothing_to_sync)).c_str());
    if (request.dry_run || plan.actions.empty())
        return status_ok;

    const sync_summary summary = engine.run(plan, settings.direction());
    if (summary.failed == 0) {
        std::fprintf(out_, "%s\n", std::string(lang_.text(phrase_sync_succeeded)).c_str());
        return status_ok;
    }
    usage_error_ = std::string(lang_.text(phrase_sync_failed)) + std::to_string(summary.failed) + " of " +
                   std::to_string(summary.actions);
    return -1;
}

}  // namespace qvtf::cli
