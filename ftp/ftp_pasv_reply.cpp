// The address of a 227 reply: "h1,h2,h3,h4,p1,p2" anywhere in the line.
#include <cstdlib>
#include <string>

#include "core/qxregex.h"
#include "ftp/ftp_control.h"

namespace qvtf {

int ftp_control::parse_pasv_reply(std::string_view line, qxval& host_out, int32_t& port_out)
{
    const std::string subject(line);
    qxarr groups;
    if (regex_match("([0-9]{1,3},[0-9]{1,3},[0-9]{1,3},[0-9]{1,3}),([0-9]{1,3}),([0-9]{1,3})", 0, subject.c_str(),
                    static_cast<int32_t>(subject.size()), &groups) != 0 ||
        groups.count() < 4)
        return status_bad_pasv_reply;
    const int high = std::atoi(groups.at(2).c_str());
    const int low = std::atoi(groups.at(3).c_str());
    if (high >= 256 || low >= 256)
        return status_bad_pasv_reply;
    port_out = high * 256 + low;
    // The address is used as the server gives it.
    std::string address = groups.at(1).str();
    for (char& c : address)
        if (c == ',')
            c = '.';
    host_out.set_bytes(address);
    return status_ok;
}

}  // namespace qvtf
