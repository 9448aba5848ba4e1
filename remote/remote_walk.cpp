#include "remote/remote_walk.h"

#include "core/folder_trail.h"
#include "remote/chmod_plan.h"

namespace qvtf {

namespace {

constexpr int phrase_entering = 39;
constexpr int phrase_listing = 40;
constexpr int phrase_entry = 41;
constexpr int phrase_returning = 43;
constexpr int phrase_folder_done = 44;

std::string reply_text(const remote_result& failure)
{
    std::string text;
    for (const std::string& line : failure.reply)
        text += line + "\r\n";
    return text;
}

}  // namespace

bool is_tree_ancestor(const qxfile_node* maybe, const qxfile_node* node)
{
    for (const qxfile_node* n = node ? node->parent : nullptr; n; n = n->parent)
        if (n == maybe)
            return true;
    return false;
}

const qxval* chmod_mode_for(const chmod_request& change, bool is_folder)
{
    if (!chmod_plan{0, 0, change.targets}.changes(is_folder))
        return nullptr;
    return !is_folder && !change.file_mode.view().empty() ? &change.file_mode : &change.mode;
}

remote_result remote_walk::walk(const qxval& path)
{
    remote_session_lock hold(session);
    if (!hold)
        return hold.status();
    auto tell = [this](int number, std::string_view what) {
        if (status)
            status(std::string(session.phrase(number)) + std::string(what));
    };
    const qxval remembered = session.current_path();
    tell(phrase_entering, path.view());
    bool inside = false;
    remote_result result = session.change_folder(path);
    std::string bound_text;
    if (result.ok()) {
        inside = true;
        const std::string here = session.current_path().str();
        // Back where we came from, in a folder the walk is inside, or above
        // one of them: a loop.
        if (path_covers(here, remembered.view()) || leads_back(here, trail))
            bound_text = "The folder " + here + " contains itself; it is not entered again.\r\n";
        else if (trail.size() >= static_cast<size_t>(folder_depth_limit))
            bound_text = "Folders nest deeper than " + std::to_string(folder_depth_limit) + " levels at " + here + "\r\n";
    }
    auto stopped = [this] { return session.stop_reason() != stop_reason_none; };
    if (!bound_text.empty()) {
        result = status_recursive_failed;
        result.detail = bound_text;
        session.log(log_error, bound_text);
    } else if (result.ok()) {
        trail.push_back(session.current_path().str());
        if (stopped())
            result = status_stopped;
        else {
            tell(phrase_listing, path.view());
            result = session.list_directory(qxval(""));
        }
        qxfile_node* folder_node = session.current_folder();
        for (qxfile_node* child = (result.ok() && folder_node) ? folder_node->first_child : nullptr;
             child && result.ok(); child = child->next) {
            if (stopped()) {
                result = status_stopped;
                break;
            }
            tell(phrase_entry, child->name.view());
            result = entry(*child);
        }
        if (result.ok() && stopped())
            result = status_stopped;
        if (result.ok()) {
            tell(phrase_returning, remembered.view());
            result = session.change_folder(remembered);
            inside = result.ok() ? false : inside;
        }
        if (result.ok() && stopped())
            result = status_stopped;
        trail.pop_back();
        if (result.ok()) {
            tell(phrase_folder_done, "");
            result = folder(path);
        }
    }
    if (result.status == status_refused) {
        const std::string text = reply_text(result);
        result = status_recursive_failed;
        result.detail = text;
    }
    // Back out of a folder the walk broke off in: a stop never refuses the
    // steps that put things back.
    if (inside && !result.ok())
        (void)session.change_folder(remembered);
    return result;
}

}  // namespace qvtf
