// Transfers of a synchronisation as items of the transfer queue, so its
// worker connections run them in parallel.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "queue/ftp_queue_process_manager.h"
#include "sync/sync_run.h"

namespace qvtf {

class ftp_queue_process_manager;

class sync_queue_sink : public sync_transfer_sink, private queue_observer {
public:
    // queue: set up by the owner (panes, view, log sink, threads) but not
    // opened. Its observer is chained: the owner's still sees every item.
    explicit sync_queue_sink(ftp_queue_process_manager& queue);
    ~sync_queue_sink() override;

    void add(std::size_t index, const sync_action& action) override;
    // Opens the queue, queues every transfer, runs it until empty, closes it.
    void run_until_done(sync_transfer_events& events) override;
    // Any thread: transfers not yet queued are left out (6001), the queued
    // ones are killed.
    void stop();

private:
    using key = std::tuple<int, std::string, std::string>;  // download, local, remote
    void on_finished(const queue_item_result& r) override;

    ftp_queue_process_manager& queue_;
    queue_observer* owner_observer_;
    sync_transfer_events* events_ = nullptr;
    std::vector<std::pair<std::size_t, sync_action>> pending_;
    std::mutex mutex_;
    // Under mutex_, so no transfer is queued after a stop killed the queue.
    bool stopped_ = false;
    std::map<key, std::size_t> index_of_;
    std::map<std::size_t, sync_action_result> results_;
};

}  // namespace qvtf
