// The 227 and 229 replies from untrusted server text: never a crash, and
// whatever is accepted is a dotted address of four numbers and a port that
// fits 16 bits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ftp/ftp_control.h"

using namespace qvtf;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view line(reinterpret_cast<const char*>(data), size);
    qxval host{""};
    int32_t port = -1;
    const int status = ftp_control::parse_pasv_reply(line, host, port);
    if (status == 0) {
        if (port < 0 || port > 65535)
            std::abort();
        int dots = 0;
        for (char c : host.view()) {
            if (c == '.')
                ++dots;
            else if (c < '0' || c > '9')
                std::abort();
        }
        if (dots != 3)
            std::abort();
    } else if (status != 6009) {
        std::abort();
    }
    // The 229 reply's port, likewise: a port that fits, or 6009.
    const int extended = ftp_control::parse_epsv_reply(line, port = -1);
    if (extended == 0 ? port < 1 || port > 65535 : extended != 6009)
        std::abort();
    return 0;
}
