// What the transfer queue tells the list that shows it, and the little it
// asks back. The window layer implements it with widgets; tests record the
// calls. Every call may come from any of the queue's threads, and a call
// made while the queue holds its own lock takes the view's lock after it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/qxval.h"
#include "queue/ftp_queue_item.h"

namespace qvtf {

class queue_view {
public:
    virtual ~queue_view() = default;

    // A row at the end for item; the view sets item.view_row.
    virtual void add_row(ftp_queue_item& item) { (void)item; }
    // State, tries and a fresh progress for item's row.
    virtual void update_row(ftp_queue_item& item) { (void)item; }
    // Deletes item's row and clears item.view_row.
    virtual void remove_row(ftp_queue_item& item) { (void)item; }
    // From the transfer's thread: bytes so far, seconds since the start.
    virtual void progress(ftp_queue_item& item, int64_t bytes, int32_t seconds)
    {
        (void)item;
        (void)bytes;
        (void)seconds;
    }
    // Bracket many additions.
    virtual void begin_update() {}
    virtual void end_update() {}
    // The items of the selected rows, in row order.
    virtual std::vector<ftp_queue_item*> selected_items() { return {}; }
    // An error box with the caption phrase.
    virtual void show_error(int caption_phrase, const qxval& text)
    {
        (void)caption_phrase;
        (void)text;
    }
};

}  // namespace qvtf
