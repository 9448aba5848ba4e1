#include "ftp/ftp_command_text.h"

#include "ftp/ftp_control.h"

namespace qvtf {

namespace {

constexpr int phrase_line_break = 501;
constexpr std::string_view blanks = " \t";

}  // namespace

bool holds_line_break(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

int refuse_line_break(ftp_control& session)
{
    session.log(log_error, std::string(session.phrase(phrase_line_break)) + "\r\n");
    return status_line_break;
}

std::string shown_command(std::string_view line)
{
    std::string shown(line);
    const std::size_t verb = shown.find_first_not_of(blanks);
    if (verb == std::string::npos)
        return shown;
    const int kind = ftp_control::command_kind(line.substr(verb));
    if (kind != cmd_pass && kind != cmd_acct)
        return shown;
    // The secret is everything after the first blank past the verb; with no
    // blank, everything after the verb's four letters.
    const std::size_t blank = shown.find_first_of(blanks, verb);
    std::size_t i = blank == std::string::npos ? verb + 4 : blank + 1;
    for (; i < shown.size() && shown[i] != '\r' && shown[i] != '\n'; ++i)
        shown[i] = '*';
    return shown;
}

}  // namespace qvtf
