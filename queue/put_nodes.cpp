// Queueing a pane's selection: a short-lived thread takes the local pane's
// lock and then the browser connection's, so nothing re-lists the entries
// while their items are made.
#include <optional>

#include "queue/ftp_queue_process_manager.h"

namespace qvtf {

namespace {
constexpr int phrase_error_caption = 12;
constexpr int browser_wait_ms = 60000;
constexpr int browser_wait_step_ms = 500;
}  // namespace

void ftp_queue_process_manager::put_nodes(int32_t from_remote, std::vector<qxfile_node*> nodes,
                                          qxfile_node* destination, int32_t transfer_option)
{
    auto request = std::make_shared<PUT_NODES_QUEUE_STRUCT>();
    request->from_remote = from_remote;
    request->nodes = std::move(nodes);
    request->destination = destination;
    request->transfer_option = transfer_option;
    tasks_.start([this, request] {
        remote_session* browser = panes ? panes->browser() : nullptr;
        if (!browser || !open_)
            return;
        int code = panes->lock_local();
        if (code == status_ok) {
            // The queue's own expansions and the pane's refreshes hold the
            // browser connection for short spells: wait them out.
            std::optional<remote_session_lock> hold;
            hold.emplace(*browser, browser_wait_step_ms);
            for (int waited = browser_wait_step_ms; !*hold && open_ && waited < browser_wait_ms;
                 waited += browser_wait_step_ms)
                hold.emplace(*browser, browser_wait_step_ms);
            code = *hold ? panes->resume_browser() : hold->status();
            // Without a connection nothing is queued, as before.
            if (code == status_ok && browser->logged_in())
                code = add_nodes(*request);
            hold.reset();
            panes->unlock_local();
        }
        if (code != status_ok && view) {
            qxval text;
            panes->error_text(code, text);
            view->show_error(phrase_error_caption, text);
        }
    });
}

}  // namespace qvtf
