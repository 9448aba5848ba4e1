// What may be sent as a command line, and what the log shows of one.
#pragma once

#include <string>
#include <string_view>

namespace qvtf {

class ftp_control;

// True when text holds CR or LF (which would end the command early and start
// another) or NUL (at which a server may cut the argument).
bool holds_line_break(std::string_view text);

// Logs the refusal on the session (phrase 501) and returns 6015.
int refuse_line_break(ftp_control& session);

// The copy of a command line (without its line end) that the log shows: the
// argument of PASS and ACCT becomes "*"s, however the line is spaced.
std::string shown_command(std::string_view line);

}  // namespace qvtf
