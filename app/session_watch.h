// session_watch: watches a session for the window. Its log lines go to the
// log view, and the browser connection's state to the window's title and
// commands.
#pragma once

#include "remote/remote_observer.h"

class log_view;
class TqorxVTF;

class session_watch : public qvtf::remote_observer {
public:
    // Without a window, the watch is the queue workers'.
    session_watch(log_view* log, TqorxVTF* window) : log_(log), window_(window) {}

    void on_log_text(qvtf::remote_session& session, std::string_view lines, int kind) override;
    void on_state(qvtf::remote_session& session, qvtf::remote_state from, qvtf::remote_state to) override;

private:
    log_view* log_;
    TqorxVTF* window_;
};
