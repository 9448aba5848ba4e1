// Tests hear of a queue's finished items through a function.
#pragma once

#include <functional>
#include <memory>

#include "queue/ftp_queue_process_manager.h"

namespace qvtf::test {

// Hears of the queue's finished items through call, for as long as the
// queue lives.
inline void when_finished(ftp_queue_process_manager& q, std::function<void(const queue_item_result&)> call)
{
    struct hook : queue_observer {
        std::function<void(const queue_item_result&)> call;
        void on_finished(const queue_item_result& r) override { call(r); }
    };
    auto kept = std::make_shared<hook>();
    kept->call = std::move(call);
    q.observer = kept.get();
    q.keep_observer(std::move(kept));
}

}  // namespace qvtf::test
