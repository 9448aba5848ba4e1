// Operations that need listings and uploads over data connections. Until
// those are built they report that the session cannot do them; each is
// replaced by its real definition with the data connections (and this file
// removed with the last of them).
#include "ftp/ftp_control.h"

namespace qvtf {

int ftp_control::delete_entry(qxfile_node&)
{
    return logged_in ? status_unexpected_reply : status_not_connected;
}

int ftp_control::change_mode_entry(qxfile_node&)
{
    return logged_in ? status_unexpected_reply : status_not_connected;
}

int ftp_control::measure_time_difference()
{
    time_difference = 0;
    return current_folder ? status_unexpected_reply : 1;
}

}  // namespace qvtf
