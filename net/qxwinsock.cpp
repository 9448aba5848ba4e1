#include "net/qxwinsock.h"

#include <signal.h>

namespace qvtf {

qxwinsock::qxwinsock()
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    started_ = ::sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

}  // namespace qvtf
