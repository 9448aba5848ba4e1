// The remote pane's silent reconnect: a server that was restarted, or that
// dropped an idle client, closes the control connection between two of the
// user's commands. The command that meets the closed connection logs in
// again once, returns to the folder it was in, and runs again.
#include <string>

#include "browse/qx_ftp_file_lister.h"

namespace qvtf {

namespace {

constexpr int phrase_connecting = 249;

}  // namespace

int qx_ftp_file_lister::run_operation(const std::function<int()>& op)
{
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
    session().log(log_info,
                  line + "\r\n" + std::string(phrase(phrase_connecting)) + session().site().host.str() + "\r\n");
    if (session().log_in() != status_ok || !session().logged_in())
        return code;
    start_keepalive();
    if (!folder.view().empty())
        (void)session().change_folder(folder);
    return op();
}

}  // namespace qvtf
