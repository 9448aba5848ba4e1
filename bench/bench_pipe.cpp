// Pipe throughput: one producer and one consumer thread move 1 GiB in
// transfer-sized chunks through a qxpipe, as a data connection and a file thread do.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "core/qxpipe.h"

namespace {

using qvtf::qxpipe;
using qvtf::qxval;

constexpr int32_t chunk_bytes = qvtf::qxpipe::transfer_chunk;
constexpr int64_t total_bytes = int64_t(1) << 30;

// Chunks come from the pipe's buffer reuse, as the file reader's do. fill:
// copy a whole chunk into every chunk (a receive's copy); otherwise only the first
// and last bytes are written, so the pipe itself is what is measured.
void run_pipe(benchmark::State& state, bool fill)
{
    std::vector<char> source(chunk_bytes);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<char>(i * 131);
    double seconds = 0;
    int64_t moved_total = 0;
    for (auto _ : state) {
        qxpipe pipe;
        int64_t received = 0;
        uint64_t checksum = 0;
        auto t0 = std::chrono::steady_clock::now();
        std::thread producer([&] {
            for (int64_t sent = 0; sent < total_bytes; sent += chunk_bytes) {
                // A fresh buffer per chunk, as a socket receive makes one.
                qxval chunk;
                pipe.make_chunk(chunk, chunk_bytes);
                if (fill)
                    std::memcpy(chunk.text.data, source.data(), chunk_bytes);
                else
                    chunk.text.data[0] = chunk.text.data[chunk_bytes - 1] = static_cast<char>(sent >> 18);
                if (!pipe.push_waiting(chunk, qvtf::pipe_stop))
                    break;
            }
            pipe.raise(qvtf::pipe_producer_done);
        });
        std::thread consumer([&] {
            qxval chunk;
            for (;;) {
                uint32_t seen;
                if (pipe.shift_or_status(chunk, seen)) {
                    received += chunk.text.length;
                    checksum += static_cast<unsigned char>(chunk.text.data[chunk.text.length - 1]);
                    pipe.recycle(chunk);
                    continue;
                }
                if (seen & qvtf::pipe_producer_done)
                    break;
                pipe.wait_for_chunk(qvtf::pipe_producer_done);
            }
            pipe.raise(qvtf::pipe_consumer_done);
        });
        producer.join();
        consumer.join();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        benchmark::DoNotOptimize(checksum);
        if (received != total_bytes)
            state.SkipWithError("bytes lost in the pipe");
        moved_total += received;
    }
    state.counters["GiB/s"] = static_cast<double>(moved_total) / double(int64_t(1) << 30) / seconds;
    state.SetBytesProcessed(moved_total);
}

void BM_PipeOneGiB(benchmark::State& state)
{
    run_pipe(state, false);
}
void BM_PipeOneGiBFilled(benchmark::State& state)
{
    run_pipe(state, true);
}

BENCHMARK(BM_PipeOneGiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PipeOneGiBFilled)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
