#include "core/transfer_rate.h"

#include <cmath>

namespace qvtf {

void transfer_rate::add(std::int64_t bytes, double at)
{
    now_ = {at, bytes};
    if (kept_ > 0 && at - ring_[std::size_t(newest_)].at < step)
        return;
    newest_ = kept_ == 0 ? 0 : (newest_ + 1) % ring_size;
    ring_[std::size_t(newest_)] = now_;
    if (kept_ < ring_size)
        ++kept_;
}

double transfer_rate::rate() const
{
    if (kept_ == 0)
        return 0;
    // The newest sample at least span old, or the oldest there is.
    sample base = ring_[std::size_t((newest_ - kept_ + 1 + ring_size) % ring_size)];
    for (int i = 0; i < kept_; ++i) {
        const sample& s = ring_[std::size_t((newest_ - i + ring_size) % ring_size)];
        if (now_.at - s.at >= span) {
            base = s;
            break;
        }
    }
    const double seconds = now_.at - base.at;
    return seconds > 0 && now_.bytes > base.bytes ? double(now_.bytes - base.bytes) / seconds : 0;
}

std::int64_t transfer_rate::remaining(std::int64_t total) const
{
    const std::int64_t left = total - now_.bytes;
    if (left <= 0)
        return 0;
    const double r = rate();
    if (r <= 0)
        return -1;
    return std::int64_t(std::ceil(double(left) / r));
}

}  // namespace qvtf
