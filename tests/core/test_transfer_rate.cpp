// The remaining time of a transfer from its smoothed rate.
#include <gtest/gtest.h>

#include <vector>

#include "core/transfer_rate.h"

namespace qvtf {
namespace {

struct sample {
    double at;
    std::int64_t bytes;
};

TEST(TransferRate, RemainingFromASmoothedRate)
{
    const struct {
        const char* what;
        std::vector<sample> samples;
        std::int64_t total;
        std::int64_t remaining;
    } rows[] = {
        {"nothing yet", {{0, 0}}, 1000, -1},
        {"no time passed", {{0, 0}, {0, 500}}, 1000, -1},
        // Two thirds in 0.2 s: a third more takes 0.1 s, shown as a whole second, never 0.
        {"fast start", {{0, 0}, {0.1, 3000}, {0.2, 6600}}, 10000, 1},
        {"steady", {{0, 0}, {0.5, 500}, {1, 1000}, {1.5, 1500}, {2, 2000}}, 10000, 8},
        {"bursts even out", {{0, 0}, {0.5, 0}, {1, 2000}, {1.5, 2000}, {2, 4000}, {2.5, 4000}, {3, 6000}}, 20000, 7},
        {"done", {{0, 0}, {1, 1000}}, 1000, 0},
        {"more than listed", {{0, 0}, {1, 1500}}, 1000, 0},
    };
    for (const auto& r : rows) {
        transfer_rate rate;
        for (const sample& s : r.samples)
            rate.add(s.bytes, s.at);
        const std::int64_t left = rate.remaining(r.total);
        EXPECT_EQ(left, r.remaining) << r.what;
    }

    // A stall lowers the rate step by step instead of at once.
    transfer_rate stall;
    for (int i = 0; i <= 10; ++i)
        stall.add(i * 1000, i * 0.5);
    const double before = stall.rate();
    stall.add(10000, 5.5);
    EXPECT_LT(stall.rate(), before);
    EXPECT_GT(stall.rate(), before / 2);
}

}  // namespace
}  // namespace qvtf
