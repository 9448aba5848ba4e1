// Transfers of a synchronisation as items of the transfer queue, so its
// worker connections run them in parallel.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "sync/sync_run.h"

namespace qvtf {

class ftp_queue_process_manager;
struct queue_item_result;

class sync_queue_sink : public sync_transfer_sink {
public:
    // queue: set up by the owner (panes, view, log sink, threads) but not
    // opened. Its finished callback is chained: the owner's still runs.
    explicit sync_queue_sink(ftp_queue_process_manager& queue);
    ~sync_queue_sink() override;

    void add(std::size_t index, const sync_action& action) override;
    // Opens the queue, queues every transfer, runs it until empty, closes it.
    void run_until_done(const std::function<void(std::size_t, const sync_action_result&)>& done) override;

private:
    using key = std::tuple<int, std::string, std::string>;  // download, local, remote
    void finished(const queue_item_result& r);

    ftp_queue_process_manager& queue_;
    std::function<void(const queue_item_result&)> owner_finished_;
    std::vector<std::pair<std::size_t, sync_action>> pending_;
    std::mutex mutex_;
    std::map<key, std::size_t> index_of_;
    std::map<std::size_t, sync_action_result> results_;
};

}  // namespace qvtf
