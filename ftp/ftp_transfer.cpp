// File transfers: one RETR or STOR over a data connection, with the file
// thread on the other end of the pipe.
#include <ctime>

#include "core/file_reader_writer.h"
#include "ftp/ftp_data_connection.h"
#include "queue/ftp_queue_item.h"

namespace qvtf {

namespace {

// The reply to RETR or STOR: 0 when the server opens the data connection.
int transfer_reply_status(ftp_control& session)
{
    switch (session.reply_code) {
    case 125:
    case 150: return status_ok;
    case 421: session.logged_in = 0; return status_not_connected;
    case 450:
    case 452:
    case 532:
    case 550:
    case 553: return status_refused;
    default: return status_unexpected_reply;
    }
}

}  // namespace

int ftp_control::transfer_file(int receiving, const qxval& remote, int32_t type,
                               int (ftp_control::*command)(const qxval&))
{
    ftp_session_lock hold(*this);
    if (!hold)
        return hold.status();
    if (stop_request)
        return status_stopped;
    pipe_flags_at_end = 0;
    bytes_transferred = 0;
    if (!logged_in)
        return status_not_connected;
    if (int status = prepare_data_connection(receiving, type))
        return status;

    bool accepted = false;
    int result = (this->*command)(remote);
    if (result == status_ok) {
        result = transfer_reply_status(*this);
        accepted = result == status_ok;
    }
    if (accepted) {
        auto file = std::make_unique<file_reader_writer>(
            pipe.get(), receiving ? file_reader_writer::writing : file_reader_writer::reading, local_path);
        file->append = receiving && (transfer_option == 1 || transfer_option == 2);
        if (receiving && stamp_downloads) {
            file->set_time = true;
            file->time = current_item ? current_item->modified_time : std::time(nullptr);
        }
        if (file->open() != 0) {
            result = status_local_file;
        } else {
            std::thread file_thread = file_reader_writer::start(std::move(file));
            finish_transfer(receiving, &file_thread);
            if (file_thread.joinable())
                file_thread.join();
            if (int status = read_reply())
                return status;
            return reply_code == 226 || reply_code == 250 ? status_ok : status_unexpected_reply;
        }
    }

    // The command or the local file failed: stop the connection's side too.
    {
        std::lock_guard lock(critical_section());
        if (pipe)
            pipe->raise(pipe_stop | (receiving ? pipe_consumer_failed : pipe_producer_failed));
        if (passive_data)
            passive_data->abort_socket();
        if (active_data)
            active_data->abort_socket();
    }
    finish_transfer(receiving);
    if (accepted)
        read_reply();
    return result;
}

int ftp_control::run_item(int32_t type)
{
    const int status = transfer_file(direction, remote_path, type,
                                     direction ? &ftp_control::retrieve : &ftp_control::store);
    result_code = status;
    if (completion_hook)
        completion_hook(completion_user_data, *this);
    return status;
}

void ftp_control::take_item(ftp_queue_item& item)
{
    stop_request = 0;
    current_item = &item;
    direction = item.is_download;
    local_path = item.local_path;
    remote_path = item.remote_path;
    transfer_type = item.transfer_type;
    transfer_option = item.transfer_option;
}

}  // namespace qvtf
