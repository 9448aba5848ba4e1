// The failures of one queue run, gathered into one box when the run ends:
// a tree of files that cannot be written must not open a box per file.
#include "queue/queue_worker.h"

namespace qvtf {

namespace {

constexpr int phrase_error_caption = 12;
// Lines of one box; the log has every failure.
constexpr std::size_t shown_failures = 20;

}  // namespace

void ftp_queue_process_manager::report(const std::string& text)
{
    std::lock_guard held(lock_);
    run_failures_.push_back(text);
}

void ftp_queue_process_manager::report_run_failures()
{
    std::vector<std::string> failures;
    {
        std::lock_guard held(lock_);
        if (!open_ || expanding_)
            return;
        for (auto& item : items_)
            if (item->state() == item_waiting || item->state() == item_running)
                return;
        failures.swap(run_failures_);
    }
    if (failures.empty() || !view)
        return;
    std::string text;
    for (std::size_t i = 0; i < failures.size() && i < shown_failures; ++i) {
        if (!text.empty())
            text += '\n';
        text += failures[i];
    }
    if (failures.size() > shown_failures)
        text += "\n... (" + std::to_string(failures.size() - shown_failures) + ")";
    view->show_error(phrase_error_caption, qxval(text));
}

}  // namespace qvtf
