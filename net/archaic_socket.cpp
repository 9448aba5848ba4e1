#include "net/archaic_socket.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>

namespace qvtf {

int64_t archaic_socket::timeout_ms() const
{
    int64_t ms = int64_t(timeout_seconds) * 1000 + (int64_t(timeout_microseconds) + 999) / 1000;
    return ms < 0 ? 0 : ms;
}

int wait_ready(int fd, bool for_write, int64_t timeout_ms)
{
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    int64_t left = timeout_ms;
    for (;;) {
        pollfd p{fd, static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
        const int slice = static_cast<int>(std::min<int64_t>(left, std::numeric_limits<int>::max()));
        int r = ::poll(&p, 1, slice);
        if (r > 0) {
            if (p.revents & POLLNVAL) {
                errno = EBADF;
                return -1;
            }
            return 1;
        }
        if (r < 0 && errno != EINTR)
            return -1;
        left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0)
            return 0;
    }
}

}  // namespace qvtf
