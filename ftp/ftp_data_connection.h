// Data connections: one per listing or file transfer. The worker thread
// moves bytes between the data socket and the session's pipe; the file or
// listing thread sits on the pipe's other end. A transfer that fits in a few
// buffers runs its connection on the calling thread instead (on_caller): it
// moves the bytes between socket and file itself, with no pipe and no
// worker, since each hand-over between threads costs a wake-up that a small
// file does not pay back.
//
//   ftp_data_connection.cpp  configuration, the transfer loop, closing
//   ftp_data_passive.cpp     PASV: connect out (directly or SOCKS CONNECT)
//   ftp_data_active.cpp      PORT: listen and accept (or SOCKS BIND)
//   ftp_data_prepare.cpp     prepare_data_connection, finish_transfer
//   ftp_data_inline.cpp      the loops of a connection on the calling thread
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>

#include "core/qxarr.h"
#include "core/qxpipe.h"
#include "core/qxval.h"
#include "core/transformation.h"
#include "ftp/ftp_control.h"
#include "net/qx_inet_server.h"
#include "net/qxsocket.h"
#include "net/qxsocks_client.h"
#include "net/tls_context.h"

namespace qvtf {

class ftp_inline_sink;

// Transfer types: the low 16 bits select, type 3 takes its converter row
// from the high 16 bits.
enum ftp_transfer_type : int32_t {
    transfer_binary = 0,
    transfer_ascii = 1,
    transfer_automatic = 2,
    transfer_converted = 3,
};

// One row of the converter table.
struct ftp_converter_row {
    int32_t size_tolerance;
    std::unique_ptr<transformation> (*make)(qxarr* target);
};
// The table; row 0 turns bare line feeds into CR LF (ASCII uploads), row 1
// CR LF into bare line feeds (ASCII downloads).
int ftp_converter_count();
const ftp_converter_row& ftp_converter(int index);
// The row for a transfer type and direction, or -1 for none.
int ftp_converter_index(int32_t type, int receiving);

class ftp_data_connection : public ftp_data_connection_virtual {
public:

    // The fields, in the order the connection is described.
    qxsocket* data_socket = nullptr;  // once connected: outgoing or accepted
    qxsocks_client* socks = nullptr;  // when the session's proxy is SOCKS
    std::unique_ptr<qx_inet_client> outgoing;
    qxpipe* pipe = nullptr;  // none on the calling thread
    // Set before start: the connection runs on the calling thread (run_here)
    // and its bits stay in own_bits, with the pipe's meaning.
    bool on_caller = false;
    uint32_t own_bits = 0;
    // On the calling thread: the errno where the local file failed, or 0.
    int file_errno = 0;
    // The session's stop; on the calling thread it ends the loops as a
    // stopped pipe does a worker's. Not owned; may be null.
    const remote_stop* stop_token = nullptr;
    int receiving = 1;
    int32_t timeout = 60;
    int converter_index = -1;
    // The transfer's listener, if its request has one (listings and the
    // clock probe report no progress).
    transfer_progress* progress = nullptr;
    // The worker's times and failure are read by the session while the worker
    // may still be closing its sockets after raising its bits.
    std::atomic<int32_t> start_time{0};
    std::atomic<int64_t> bytes_transferred{0};
    qxval remote_host{""};
    int32_t remote_port = 0;
    qxval local_address{""};
    int32_t local_port = 0;
    // Recorded by the worker once connected; the session takes them over in
    // finish_transfer, so the two threads never share the session's fields.
    qxval connected_address{""};  // local address of the data socket
    qxval peer_host{""};
    int32_t peer_port = 0;
    std::atomic<int32_t> end_time{0};
    // Why this side failed (a transport status: no connection, a reset, a
    // time-out), 0 while it has not. Written before the side's bits are
    // raised, so whoever has seen them may read it.
    std::atomic<int32_t> failure{0};
    // Protected data (PROT P): the handshake as the TLS client on the data
    // socket, resuming the control connection's session. A connection that
    // is not resumed must show the control connection's certificate.
    std::shared_ptr<tls_context> tls;
    std::string tls_host;
    std::string tls_fingerprint;
    // Why the handshake failed; written before the failed bits are raised.
    std::string tls_error;
    bool tls_resumed = false;

    ftp_data_connection() = default;
    ftp_data_connection(const ftp_data_connection&) = delete;
    ftp_data_connection& operator=(const ftp_data_connection&) = delete;
    // Joins the worker thread; the owner aborts it first when it must end early.
    ~ftp_data_connection() override;

    // On the calling thread, once the command's preliminary reply is read:
    // reaches the peer when not yet connected (active mode accepts), then
    // moves the bytes between the data socket and file, which it takes over
    // and closes (stamped with stamp when set_time). Ends with both sides'
    // finished bits in own_bits.
    void run_here(file_handle file, bool set_time, std::time_t stamp);
    // Raises bits on the pipe, or in own_bits on the calling thread.
    void raise(uint32_t bits);
    // A listing on the calling thread: as run_here, into a pipe that nobody
    // else reads yet. True when the data has ended (its bits are raised on
    // into); false when it outgrew the pipe's budget with the connection
    // still open: the caller then starts a reader on into and continue_on.
    bool gather_here(qxpipe& into);
    // Goes on receiving into into, which another thread now reads, as a
    // worker's loop does; ends with the connection's finished bit.
    void continue_on(qxpipe& into);
    // Pipe, direction, time-out, converter and progress listener; socks:
    // the session's client when its proxy is SOCKS, copied with its
    // destination for this connection. Without a pipe it runs on the caller.
    void configure(qxpipe* transfer_pipe, int receive, int32_t type, int32_t timeout_seconds,
                   transfer_progress* listener, const qxsocks_client* socks_template);
    // What this connection lets the queue accept beyond the size.
    int32_t size_tolerance() const;

    void close_sockets() override;
    void abort_socket() override;

    // The bits this side raises: 1 / 3 receiving, 16 / 48 sending.
    uint32_t done_bit() const { return receiving ? pipe_producer_done : pipe_consumer_done; }
    uint32_t failed_bits() const { return receiving ? pipe_producer_failed : pipe_consumer_failed; }

protected:
    // Runs body on the worker thread (a pooled one); 0, or 1099 when no
    // thread can be had.
    int start_worker(void (ftp_data_connection::*body)());
    // Each final class joins in its own destructor: the worker makes virtual
    // calls, which must not reach an object whose derived part is gone.
    void join_worker();
    // The socket is up: the loop in the connection's direction, then close.
    void transfer_loop();
    // Makes sock the data socket (or fails the side when it is null).
    void adopt(qxsocket* sock);
    // Records why (or the socket's own reason) and raises the side's failed bits.
    void fail_side(int32_t why = 0);
    // The data socket's TLS handshake when the data is protected; false
    // after failing the side.
    bool secure_here();
    // On the calling thread: true once a data socket is there; active mode
    // waits for the server's connection here.
    virtual bool reach_peer_here() { return data_socket != nullptr; }
    // The side gives up: an abort, or the other side failed.
    bool given_up(uint32_t bits) const;
    // On the calling thread: the session stopped, or the socket was aborted.
    bool stopped_here() const;

    std::unique_ptr<qxsocket> accepted_;  // active mode without SOCKS
    qxsocks_client socks_copy_;           // the session's, with this destination
    mutable std::mutex socket_mutex_;     // data_socket against abort_socket
    bool aborted_ = false;                // under socket_mutex_
    bool ascii_ = false;

private:
    void receive_loop();
    void send_loop();
    // Moves each chunk of the list into the pipe, waiting for room; false
    // once a flag shows.
    bool drain_into_pipe(qxarr& chunks);
    // Sends each chunk of the list; false on a short send.
    bool send_chunks(qxarr& chunks);
    void report_progress();
    // The calling thread's loops. receive_here: socket to sink; true when
    // the data has ended, false when the sink asked to go on elsewhere.
    bool receive_here(ftp_inline_sink& sink);
    void send_here(file_handle file);
    // Hands chunk to sink; false (and the local side failed) when it cannot.
    bool deliver(ftp_inline_sink& sink, qxval& chunk);
    // The line-end converter of this connection, made on first use; null
    // for a transfer without one.
    transformation* line_converter();

    pooled_job worker_;
    std::unique_ptr<transformation> converter_;
    qxarr produced_;  // the converter's output
};

class ftp_data_passive : public ftp_data_connection {
public:
    ~ftp_data_passive() override { join_worker(); }
    int start() override;

private:
    void connect_worker();
    // Connects (and asks the SOCKS proxy); false after failing the side.
    bool connect_out();
};

class ftp_data_active : public ftp_data_connection {
public:
    std::unique_ptr<qx_inet_server> server;
    int32_t accept_tries = 30;
    int32_t first_port = 0;  // where the port walk begins

    ~ftp_data_active() override { join_worker(); }
    int start() override;
    void close_sockets() override;
    // Also wakes a worker that is still waiting for the server's connection.
    void abort_socket() override;

protected:
    bool reach_peer_here() override;

private:
    void accept_worker();
    // Waits for the server (or the proxy's second reply); false after
    // failing the side.
    bool accept_in();
};

}  // namespace qvtf
