// The transfer pipe: its byte budget, moving chunks without copies, waits
// that end as soon as the other side acts, and two threads moving data.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/qxpipe.h"

namespace qvtf {
namespace {

using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

qxval chunk_of(int32_t n, char fill = 'x')
{
    qxval v(std::string(static_cast<size_t>(n), fill));
    return v;
}

TEST(QxPipe, BudgetRefusesWithoutTakingTheChunk)
{
    qxpipe pipe;
    qxval a = chunk_of(qxpipe::default_budget - 10);
    ASSERT_TRUE(pipe.push_bounded(a));
    EXPECT_EQ(a.text.length, 0);  // taken over
    qxval b = chunk_of(11);
    EXPECT_FALSE(pipe.push_bounded(b));
    EXPECT_EQ(b.str(), std::string(11, 'x'));  // still the caller's
    qxval c = chunk_of(10);
    EXPECT_TRUE(pipe.push_bounded(c));  // exactly at the budget
    EXPECT_EQ(pipe.queued_bytes(), qxpipe::default_budget);

    qxval out;
    ASSERT_TRUE(pipe.shift(out));
    EXPECT_EQ(out.text.length, qxpipe::default_budget - 10);
    EXPECT_EQ(pipe.queued_bytes(), 10);
    EXPECT_TRUE(pipe.push_bounded(b));
    ASSERT_TRUE(pipe.shift(out));
    ASSERT_TRUE(pipe.shift(out));
    EXPECT_EQ(out.str(), std::string(11, 'x'));
    EXPECT_FALSE(pipe.shift(out));
    EXPECT_EQ(pipe.queued_bytes(), 0);

    // Larger than the whole budget: refused even when empty.
    qxval huge = chunk_of(qxpipe::default_budget + 1);
    EXPECT_FALSE(pipe.push_bounded(huge));
    EXPECT_FALSE(pipe.push_bounded(huge));
}

TEST(QxPipe, ChunksMoveThroughWithoutCopies)
{
    qxpipe pipe;
    qxval chunk = chunk_of(16384, 'q');
    const char* buffer = chunk.text.data;
    ASSERT_TRUE(pipe.push_bounded(chunk));
    qxval out;
    ASSERT_TRUE(pipe.shift(out));
    EXPECT_EQ(out.text.data, buffer);
    EXPECT_EQ(out.text.length, 16384);
}

TEST(QxPipe, RecycledBuffersComeBackWithinTheBudget)
{
    qxpipe pipe(3 * 20000);
    qxval a, b;
    pipe.make_chunk(a, 16384);
    ASSERT_EQ(a.text.length, 16384);
    const char* buffer = a.text.data;
    pipe.recycle(a);
    EXPECT_EQ(a.text.length, 0);
    EXPECT_EQ(a.text.data, nullptr);
    pipe.make_chunk(b, 100);
    EXPECT_EQ(b.text.data, buffer);  // reused, not allocated
    EXPECT_EQ(b.text.length, 100);

    // Spare buffers never add up to more than the budget.
    std::vector<qxval> chunks(5);
    for (auto& c : chunks)
        pipe.make_chunk(c, 16384);
    for (auto& c : chunks) {
        pipe.recycle(c);
        EXPECT_LE(pipe.spare_bytes(), pipe.budget);
        EXPECT_EQ(c.text.data, nullptr);
    }
    EXPECT_GT(pipe.spare_bytes(), pipe.budget - 20000);
}

TEST(QxPipe, ShiftOrStatusReportsTheBitsSeenWhenEmpty)
{
    qxpipe pipe;
    qxval c = chunk_of(3);
    pipe.push_bounded(c);
    pipe.raise(pipe_producer_done);
    uint32_t seen = 0;
    qxval out;
    ASSERT_TRUE(pipe.shift_or_status(out, seen));
    EXPECT_FALSE(pipe.shift_or_status(out, seen));
    EXPECT_EQ(seen, uint32_t(pipe_producer_done));
    pipe.raise(pipe_consumer_failed);
    EXPECT_EQ(pipe.status(), 49u);
    EXPECT_TRUE(pipe.any(32));
    EXPECT_FALSE(pipe.any(4));
}

TEST(QxPipe, WaitsEndAtOnceWhenTheOtherSideActs)
{
    // Long maximum waits prove that the wake-up comes from the change itself.
    qxpipe pipe;
    auto t0 = steady::now();
    std::thread pusher([&] {
        std::this_thread::sleep_for(20ms);
        qxval c = chunk_of(5);
        pipe.push_bounded(c);
    });
    EXPECT_TRUE(pipe.wait_for_chunk(pipe_stop, 10s));
    pusher.join();
    EXPECT_LT(steady::now() - t0, 2s);

    qxval fill = chunk_of(qxpipe::default_budget - 5);
    ASSERT_TRUE(pipe.push_bounded(fill));
    t0 = steady::now();
    std::thread shifter([&] {
        std::this_thread::sleep_for(20ms);
        qxval out;
        pipe.shift(out);  // the small chunk
        pipe.shift(out);  // the filler
    });
    EXPECT_TRUE(pipe.wait_for_room(16384, pipe_stop, 10s));
    shifter.join();
    EXPECT_LT(steady::now() - t0, 2s);

    t0 = steady::now();
    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        pipe.raise(pipe_stop);
    });
    EXPECT_FALSE(pipe.wait_for_room(qxpipe::default_budget + 1, pipe_stop, 10s));
    EXPECT_TRUE(pipe.wait_for_status(pipe_stop, 10s));
    stopper.join();
    EXPECT_LT(steady::now() - t0, 2s);
}

TEST(QxPipe, RoomWaitsEndOnceTheirChunkFitsAndNotBefore)
{
    // A full pipe of ten 10-byte chunks; the consumer frees one chunk at a
    // time. Each producer must wake as soon as its chunk fits, although
    // room waiters are only notified once their need is met.
    // One waiting producer per need; the last row has two different needs.
    const std::vector<std::vector<int32_t>> rows = {{1}, {35}, {100}, {15, 75}};
    for (const auto& needs : rows) {
        qxpipe pipe(100);
        for (int i = 0; i < 10; ++i) {
            qxval c = chunk_of(10);
            ASSERT_TRUE(pipe.push_bounded(c));
        }
        std::atomic<int> shifted{0};
        std::vector<std::thread> producers;
        std::vector<int> seen(needs.size(), -1);
        for (size_t i = 0; i < needs.size(); ++i)
            producers.emplace_back([&, i] {
                if (pipe.wait_for_room(needs[i], pipe_stop, 10s))
                    seen[i] = shifted.load();
            });
        auto t0 = steady::now();
        std::this_thread::sleep_for(20ms);
        for (int i = 0; i < 10; ++i) {
            qxval out;
            ++shifted;  // first, so a woken producer never counts one short
            ASSERT_TRUE(pipe.shift(out));
            std::this_thread::sleep_for(5ms);
        }
        for (auto& t : producers)
            t.join();
        EXPECT_LT(steady::now() - t0, 2s) << needs.back();
        for (size_t i = 0; i < needs.size(); ++i)
            EXPECT_GE(seen[i], (needs[i] + 9) / 10) << needs[i];
    }
}

TEST(QxPipe, StatusWaitEndsAtOnceWhileChunksFlow)
{
    // The caller's thread waits for the end while both sides move chunks;
    // the chunks must not keep it from seeing the bit.
    qxpipe pipe(4096);
    std::thread producer([&] {
        for (int i = 0; i < 2000; ++i) {
            qxval c = chunk_of(512);
            if (!pipe.push_waiting(c, pipe_stop))
                break;
        }
        pipe.raise(pipe_producer_done);
    });
    std::thread consumer([&] {
        for (;;) {
            qxval c;
            uint32_t seen;
            if (pipe.shift_or_status(c, seen))
                continue;
            if (seen & pipe_producer_done)
                break;
            pipe.wait_for_chunk(pipe_producer_done);
        }
        pipe.raise(pipe_consumer_done);
    });
    bool done = false;
    for (int i = 0; i < 400 && !done; ++i)
        done = pipe.wait_for_status(pipe_consumer_done, 10s);
    producer.join();
    consumer.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(pipe.queued_bytes(), 0);
}

TEST(QxPipe, WaitsNeverOutlastTheirStep)
{
    qxpipe pipe;
    auto t0 = steady::now();
    EXPECT_FALSE(pipe.wait_for_chunk(pipe_stop));
    EXPECT_FALSE(pipe.wait_for_status(pipe_producer_done));
    auto elapsed = steady::now() - t0;
    EXPECT_GE(elapsed, 90ms);
    EXPECT_LT(elapsed, 1s);
}

TEST(QxPipe, TwoThreadsMoveEveryChunkInOrder)
{
    qxpipe pipe(64 * 1024);
    const int chunks = 5000;
    std::thread producer([&] {
        for (int i = 0; i < chunks; ++i) {
            qxval c(std::to_string(i) + std::string(static_cast<size_t>(i % 4000), '.'));
            ASSERT_TRUE(pipe.push_waiting(c, pipe_stop));
        }
        pipe.raise(pipe_producer_done);
    });
    int next = 0;
    bool in_order = true;
    for (;;) {
        qxval c;
        uint32_t seen;
        if (pipe.shift_or_status(c, seen)) {
            std::string s = c.str();
            in_order = in_order && s == std::to_string(next) + std::string(static_cast<size_t>(next % 4000), '.');
            ++next;
            continue;
        }
        if (seen & pipe_producer_done)
            break;
        pipe.wait_for_chunk(pipe_producer_done);
    }
    producer.join();
    EXPECT_TRUE(in_order);
    EXPECT_EQ(next, chunks);
    EXPECT_EQ(pipe.queued_bytes(), 0);
}

TEST(QxPipe, LastChunkBeforeProducerDoneIsNeverLost)
{
    // The producer pushes and raises "done" right away; a consumer that looked
    // at an empty pipe first and at the flag second would drop the chunk.
    for (int round = 0; round < 300; ++round) {
        qxpipe pipe;
        std::thread producer([&] {
            qxval c("last");
            pipe.push_bounded(c);
            pipe.raise(pipe_producer_done);
        });
        int got = 0;
        for (;;) {
            qxval c;
            uint32_t seen;
            if (pipe.shift_or_status(c, seen)) {
                ++got;
                continue;
            }
            if (seen & pipe_producer_done)
                break;
            pipe.wait_for_chunk(pipe_producer_done);
        }
        producer.join();
        ASSERT_EQ(got, 1) << "round " << round;
    }
}

TEST(QxPipe, StopReleasesAProducerWaitingForRoom)
{
    qxpipe pipe(100);
    qxval full = chunk_of(100);
    ASSERT_TRUE(pipe.push_bounded(full));
    std::thread stopper([&] {
        std::this_thread::sleep_for(30ms);
        pipe.raise(pipe_stop);
    });
    qxval more = chunk_of(1);
    EXPECT_FALSE(pipe.push_waiting(more, pipe_stop));
    EXPECT_EQ(more.text.length, 1);
    stopper.join();
}

}  // namespace
}  // namespace qvtf
