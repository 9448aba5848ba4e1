#include "remote/remote_log.h"

#include <memory>

#include "remote/remote_observer.h"

namespace qvtf {

void log_to_observer(remote_observer* observer, remote_session& session, int kind, std::string_view text)
{
    if (!observer)
        return;
    auto lines = std::make_unique<qxarr>();
    lines->push_copy(qxval(text));
    observer->on_log(session, std::move(lines), kind);
}

}  // namespace qvtf
