// The one way a session hands a log entry to its observer: every protocol's
// log() is this, so the entry's shape stays the same whoever writes it.
#pragma once

#include <string_view>

namespace qvtf {

class remote_observer;
class remote_session;

// text: whole lines, each ending in "\r\n"; nothing happens without an observer.
void log_to_observer(remote_observer* observer, remote_session& session, int kind, std::string_view text);

// The first line of an entry's text without its line end, taken off text.
std::string_view take_log_line(std::string_view& text);

}  // namespace qvtf
