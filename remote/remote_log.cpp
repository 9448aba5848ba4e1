#include "remote/remote_log.h"

#include <memory>

#include "remote/remote_observer.h"

namespace qvtf {

void remote_observer::on_log_text(remote_session& session, std::string_view text, int kind)
{
    auto lines = std::make_unique<qxarr>();
    while (!text.empty()) {
        const size_t end = text.find("\r\n");
        const size_t length = end == std::string_view::npos ? text.size() : end + 2;
        qxval line(text.substr(0, length));
        lines->push(line);
        text.remove_prefix(length);
    }
    on_log(session, std::move(lines), kind);
}

void log_to_observer(remote_observer* observer, remote_session& session, int kind, std::string_view text)
{
    if (observer)
        observer->on_log_text(session, text, kind);
}

}  // namespace qvtf
