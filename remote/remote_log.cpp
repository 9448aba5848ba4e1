#include "remote/remote_log.h"

#include <memory>

#include "remote/remote_observer.h"

namespace qvtf {

std::string_view take_log_line(std::string_view& text)
{
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

void remote_observer::on_log_text(remote_session& session, std::string_view text, int kind)
{
    auto lines = std::make_unique<qxarr>();
    while (!text.empty()) {
        qxval line(std::string(take_log_line(text)) + "\r\n");
        lines->push(line);
    }
    on_log(session, std::move(lines), kind);
}

void log_to_observer(remote_observer* observer, remote_session& session, int kind, std::string_view text)
{
    if (observer)
        observer->on_log_text(session, text, kind);
}

}  // namespace qvtf
