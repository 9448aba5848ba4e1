// The program's own small images, drawn once at 16x16: the queue's direction
// and state images, the progress bar steps, and the toolbar's commands.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace program_icons {

// Numbers as the queue view and the toolbar use them.
enum image : int {
    download = 0,
    upload = 1,
    waiting = 2,
    running = 3,
    stopped = 4,
    folder_download = 5,
    folder_upload = 6,
    kill_all = 7,
    site_manager = 8,
    connect = 9,
    disconnect = 10,
    new_site = 11,
    bookmark = 12,
    sync = 13,
    queue_current = 14,
    settings = 15,
    help = 16,
    // 20 plus the transfer type: binary, ASCII, automatic.
    type_binary = 20,
    type_ascii = 21,
    type_automatic = 22,
};

constexpr int progress_steps = 15;

QIcon icon(int image);
// Step 0 is the empty bar; step i (1..14) has red columns at x = 1..i.
const QPixmap& progress(int step);

}  // namespace program_icons
