// The working folder: CWD/CDUP followed by PWD, the path in PWD's reply, and
// the session's tree of the remote folders it has seen.
#include <string>
#include <vector>

#include "core/qxtext.h"
#include "ftp/ftp_control.h"
#include "remote/remote_folders.h"

namespace qvtf {

remote_result ftp_control::change_folder(const qxval& path)
{
    remote_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (!logged_in())
        return status_not_connected;
    remote_result status = path.view().empty() ? send_command("CDUP") : send_command(command_line("CWD", path.view()));
    if (!status.ok())
        return status;
    switch (reply_code_) {
    // The folder is what the server says it is, not what was asked for.
    case 200:
    case 250: return print_folder();
    case 550: return reply_failure(status_refused);
    default: return unexpected_reply();
    }
}

remote_result ftp_control::print_folder()
{
    if (!logged_in())
        return status_not_connected;
    if (remote_result status = send_command("PWD"); !status.ok())
        return status;
    switch (reply_code_) {
    case 257: {
        qxval path;
        if (reply_lines_.empty() || !parse_pwd_reply(reply_lines_.head->value.view(), path))
            return unexpected_reply();
        set_current_path(path, true);
        return status_ok;
    }
    default: return unexpected_reply();
    }
}

remote_result ftp_control::enter_start_folder()
{
    if (!site_.initial_folder.view().empty())
        return change_folder(site_.initial_folder);
    return print_folder();
}

bool ftp_control::parse_pwd_reply(std::string_view line, qxval& path)
{
    int32_t cursor = 0;
    qxval code;
    next_word(line, cursor, code);
    path.set_bytes("", 0);
    next_word(line, cursor, path);
    unescape_backslashes(path);
    return !path.view().empty();
}

void ftp_control::set_current_path(const qxval& path, bool make_current)
{
    if (make_current)
        current_path_ = path;
    const bool was_empty = !folder_tree_.root;
    qxfile_node* node = folder_node_at(folder_tree_, current_folder_, path.view());
    if (make_current)
        current_folder_ = node;
    else if (was_empty && !path.view().starts_with('/'))
        current_folder_ = folder_tree_.root;  // a relative path starts at the new root
}

}  // namespace qvtf
