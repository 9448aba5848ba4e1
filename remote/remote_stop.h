// remote_stop: the one stop of a session. Any thread may raise it; the
// thread that holds the session clears it when it begins a new piece of
// work (a queue item, a pane's operation). While it is raised:
//   stop_reason_stop  the running transfer or listing is cut off and ends
//                     with 6001 once the server has answered; recursive
//                     operations end at their next step. Single commands
//                     still go, so whoever stopped can put things back.
//   stop_reason_kill  as above, and every command and connect is refused
//                     with 6001: the session is being given up.
#pragma once

#include <atomic>

namespace qvtf {

enum remote_stop_reason : int {
    stop_reason_none = 0,
    stop_reason_stop = 4,
    stop_reason_kill = 8,
};

class remote_stop {
public:
    // A kill is never weakened into a stop.
    void request(int reason)
    {
        int seen = reason_.load();
        while (seen < reason && !reason_.compare_exchange_weak(seen, reason)) {
        }
    }
    void clear() { reason_ = stop_reason_none; }
    int reason() const { return reason_.load(); }
    bool requested() const { return reason_.load() != stop_reason_none; }
    bool killed() const { return reason_.load() >= stop_reason_kill; }

private:
    std::atomic<int> reason_{stop_reason_none};
};

}  // namespace qvtf
