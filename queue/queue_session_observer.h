// The observer the queue puts on each connection that runs one of its
// items: transfer progress goes to the queue view's row of the running
// item, everything else on to the observer the connection would have had.
#pragma once

#include "ftp/ftp_control.h"
#include "ftp/ftp_observer.h"
#include "queue/queue_view.h"

namespace qvtf {

class queue_session_observer : public ftp_observer {
public:
    queue_session_observer(queue_view* view, ftp_observer* next) : view_(view), next_(next) {}

    void on_log(ftp_control& s, std::unique_ptr<qxarr> lines, int kind) override
    {
        if (next_)
            next_->on_log(s, std::move(lines), kind);
    }
    void on_status(ftp_control& s, qxval message) override
    {
        if (next_)
            next_->on_status(s, std::move(message));
    }
    // On the data connection's thread; the item outlives its transfer.
    void on_progress(ftp_control& s, int64_t bytes, int32_t seconds) override
    {
        if (view_ && s.current_item)
            view_->progress(*s.current_item, bytes, seconds);
    }
    void on_state(ftp_control& s, ftp_state from, ftp_state to) override
    {
        if (next_)
            next_->on_state(s, from, to);
    }
    void on_error(ftp_control& s, int code) override
    {
        if (next_)
            next_->on_error(s, code);
    }
    void on_completion(ftp_control& s) override
    {
        if (next_)
            next_->on_completion(s);
    }

private:
    queue_view* view_;
    ftp_observer* next_;
};

}  // namespace qvtf
