// The remote pane's silent reconnect: a server that was restarted, or that
// dropped an idle client, closes the control connection between two of the
// user's commands. The command that meets the closed connection logs in
// again once, returns to the folder it was in, and runs again. A drop the
// keep-alive met is kept until the next command, which logs in first.
#include <string>

#include "browse/qx_ftp_file_lister.h"

namespace qvtf {

namespace {

constexpr int phrase_connecting = 249;

}  // namespace

int qx_ftp_file_lister::log_in_again(const qxval& folder)
{
    watch_.dropped = false;
    session().log(log_info, std::string(phrase(phrase_connecting)) + session().site().host.str() + "\r\n");
    if (int code = keep_result(session().log_in()))
        return code;
    if (!session().logged_in())
        return status_not_connected;
    start_keepalive();
    if (!folder.view().empty())
        (void)session().change_folder(folder);
    return status_ok;
}

int qx_ftp_file_lister::resume_dropped()
{
    if (!watch_.dropped || session().logged_in() || !profile_ || watch_.closing)
        return status_ok;
    const int code = log_in_again(session().current_path());
    if (code != status_ok)
        connection_lost();
    return code;
}

int qx_ftp_file_lister::run_operation(const std::function<int()>& op)
{
    // The keep-alive found the connection dropped while idle: this command
    // logs in again first, as one that meets the drop itself does.
    if (int code = resume_dropped())
        return code;
    // Each operation begins afresh: a stop meant for one before it is spent.
    session().clear_stop();
    const bool was_logged_in = session().logged_in();
    const int connects = connects_;
    const qxval folder = session().current_path();
    const int code = op();
    // Only a connection that ended under a failing operation, not one the
    // pane closed or opened itself.
    if (code == status_ok || !was_logged_in || session().logged_in() || !profile_ || connects != connects_ ||
        watch_.closing)
        return code;

    qxval reason;
    error_text(reason, code);
    std::string line = reason.str();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    session().log(log_info, line + "\r\n");
    if (log_in_again(folder) != status_ok)
        return code;
    return op();
}

}  // namespace qvtf
