// transfer_rate: the smoothed rate of one running transfer and the time it
// still needs. The queue reports bytes in bursts (a buffer at a time, and
// whole seconds of elapsed time), so the rate of the last burst alone jumps
// about and whole seconds make small files look finished. The rate here is
// the average over the last few seconds, from samples kept in a small ring.
#pragma once

#include <array>
#include <cstdint>

namespace qvtf {

class transfer_rate {
public:
    // bytes: done so far; at: seconds on any steady clock, not decreasing.
    void add(std::int64_t bytes, double at);
    // Bytes per second; 0 while not known.
    double rate() const;
    // Whole seconds still needed for total bytes, rounded up: 0 once all are
    // done, -1 while the rate is not known.
    std::int64_t remaining(std::int64_t total) const;

    static constexpr double span = 5;     // seconds the average covers
    static constexpr double step = 0.25;  // seconds between kept samples

private:
    struct sample {
        double at = 0;
        std::int64_t bytes = 0;
    };
    static constexpr int ring_size = int(span / step) + 2;
    std::array<sample, ring_size> ring_{};
    int kept_ = 0;    // samples in the ring
    int newest_ = 0;  // the ring's index of the newest
    sample now_;
};

}  // namespace qvtf
