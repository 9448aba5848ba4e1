// get and put with a target that is already there (--exists): the queue's
// decision and plan, on the session itself, and a line on stdout for what
// became of the target, in the queue's form ("2 Skipped, ...").
#include "queue/exists_plan.h"
#include "remote/remote_observer.h"
#include "tools/qvtf-cli/cli_session.h"

namespace qvtf::cli {

void cli_session::say_info(const std::string& text)
{
    std::fprintf(out_, "%d %s\n", static_cast<int>(log_info), escaped(text).c_str());
}

bool cli_session::settle_target(transfer_request& request)
{
    const exists_action action = opts_.exists;
    // Overwriting needs no facts: not a byte more on the wire than before.
    if (action == exists_action::overwrite)
        return true;
    remote_session& s = *session_;
    const bool download = request.direction != 0;
    const exists_needs needs = needs_of(action);
    file_facts source;
    file_facts target;
    if (download) {
        // The size is the one get asked for already; MDTM gives the time to the second.
        source = {true, request.expected_size, 0, 1};
        if (needs.time)
            source.time = remote_facts(s, request.remote_path, {false, true}).time;
        target = local_facts(request.local_path);
    } else {
        source = local_facts(request.local_path);
        // A source that cannot be sent fails in the transfer, never as "skipped".
        if (!source.exists)
            return true;
        target = remote_facts(s, request.remote_path, needs);
    }
    qxval& target_path = download ? request.local_path : request.remote_path;
    const exists_target where = exists_target::at(download, (request.transfer_type & 0xffff) == 0, target_path.str());
    const exists_plan plan = plan_exists(s, decide_exists(action, source, target), where);
    if (plan.note)
        say_info(std::string(lang_.text(plan.note)) + where.path());
    switch (plan.outcome) {
    case exists_outcome::skip: say_info(std::string(lang_.text(phrase_exists_skipped)) + where.path()); return false;
    case exists_outcome::resume: continue_target(request); return true;
    case exists_outcome::rename:
        target_path.set_bytes(where.folder + plan.new_name);
        say_info(std::string(lang_.text(phrase_exists_renamed)) + where.path() +
                 std::string(lang_.text(phrase_exists_renamed_as)) + plan.new_name);
        return true;
    default: return true;
    }
}

}  // namespace qvtf::cli
