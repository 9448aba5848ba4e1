#include "app/session_watch.h"

#include "app/log_view.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "remote/remote_session.h"

void session_watch::on_log_text(qvtf::remote_session& session, std::string_view lines, int kind)
{
    // State changes are the title's business, not the log's.
    if (kind <= qvtf::log_download_done)
        log_->write(lines, kind, {&session, window_ == nullptr});
}

void session_watch::on_state(qvtf::remote_session& session, qvtf::remote_state, qvtf::remote_state to)
{
    if (!window_) {
        if (to == qvtf::remote_state::disconnected)
            log_->source_ended(&session);
        return;
    }
    const QString host = to_qt(session.site().host);
    const qvtf::connection_security security = session.security();
    QMetaObject::invokeMethod(
        window_,
        [w = window_, to, host, security] {
            w->set_security(security);
            w->set_connection_state(to, host);
        },
        Qt::QueuedConnection);
}
