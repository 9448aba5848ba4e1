#include "queue/exists_plan.h"

#include <sys/stat.h>

#include "remote/remote_session.h"

namespace qvtf {

namespace {

constexpr int phrase_ascii_resume = 1401;
constexpr int phrase_no_restart = 1402;

bool plain_name(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace

exists_needs needs_of(exists_action action)
{
    exists_needs needs;
    needs.time = action == exists_action::newer || action == exists_action::size_or_time || action == exists_action::ask;
    needs.size = action != exists_action::newer;
    return needs;
}

file_facts local_facts(const qxval& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return {true, static_cast<int64_t>(st.st_size), static_cast<int64_t>(st.st_mtime), 1};
}

file_facts remote_facts(remote_session& c, const qxval& path, exists_needs needs)
{
    const server_features offered = c.features();
    int64_t size = -1;
    int64_t time = -1;
    const bool asks_size = needs.size && (!offered.known || offered.size);
    if (asks_size)
        (void)c.file_size(path, size);
    // Only a file that exists has a time worth asking for; without SIZE the
    // time alone tells whether it exists.
    if ((needs.time || !asks_size) && (size >= 0 || !asks_size) && (!offered.known || offered.mdtm || offered.mlst))
        (void)c.modification_time(path, time);
    file_facts facts;
    facts.exists = size >= 0 || time > 0;
    facts.size = size;
    facts.time = time > 0 ? time - c.time_difference() : 0;
    return facts;
}

exists_target exists_target::at(bool download, bool binary, const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t split = slash == std::string::npos ? 0 : slash + 1;
    return {download, binary, path.substr(0, split), path.substr(split)};
}

std::string free_name(remote_session& c, const exists_target& target)
{
    return next_free_name(target.name, [&](const std::string& name) {
        const qxval path(target.folder + name);
        struct stat st {};
        return target.download ? ::lstat(path.c_str(), &st) == 0 : remote_facts(c, path, {true, false}).exists;
    });
}

exists_plan plan_exists(remote_session& c, const exists_decision& decision, const exists_target& target,
                        const std::string& typed)
{
    exists_plan plan;
    plan.outcome = decision.outcome;
    if (decision.outcome == exists_outcome::resume) {
        if (!target.binary)
            plan = {exists_outcome::overwrite, {}, phrase_ascii_resume};
        else if (target.download && c.features().known && !c.features().rest_stream)
            plan = {exists_outcome::overwrite, {}, phrase_no_restart};
    } else if (decision.outcome == exists_outcome::rename) {
        plan.new_name = plain_name(typed) ? typed : free_name(c, target);
        if (plan.new_name.empty())
            plan.outcome = exists_outcome::skip;
    }
    return plan;
}

void continue_target(transfer_request& request)
{
    if (request.direction)
        request.continue_target = true;
    else
        request.resume = true;
}

}  // namespace qvtf
