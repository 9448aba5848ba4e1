#pragma once
// One outgoing or accepted TCP connection (IPv4 or IPv6) whose every wait is
// bounded by the socket's time-out (each connect by a fixed 10 seconds).

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/qxarr.h"
#include "core/qxval.h"
#include "net/archaic_socket.h"
#include "net/socket_address.h"
#include "net/transport_status.h"

namespace qvtf {

class tls_channel;

class qxsocket : public archaic_socket {
public:
    static constexpr int32_t default_receive_size = 16384;
    static constexpr int32_t connect_timeout_seconds = 10;

    // The last transport_status code; not reset by later successes, so read
    // it only right after a failure.
    int32_t last_error = 0;
    // Where connect goes (after a connect: the address that answered); for
    // an accepted socket, the peer.
    socket_address remote_address;
    // The addresses connect tries, in order; resolve fills them.
    std::vector<socket_address> addresses;
    // One failed address of the last connect and its status.
    struct connect_failure {
        socket_address address;
        int32_t status = 0;
    };
    std::vector<connect_failure> failures;
    // Atomic so another thread may interrupt() a wait on it.
    std::atomic<int> handle{-1};
    // Data that arrives while close_gracefully(true) drains, one chunk a read.
    qxarr drain_sink;

    qxsocket();
    qxsocket(const qxsocket&) = delete;
    qxsocket& operator=(const qxsocket&) = delete;
    ~qxsocket() override;

    // True when a handle exists or one of the family was created; 1001
    // otherwise.
    bool create_handle(int family);
    // The same, the handle non-blocking from the start when asked.
    bool create_handle(int family, bool nonblocking);
    // Stores the port and every address of the host: numeric text (IPv4, or
    // IPv6 with or without brackets) as is, otherwise every address a lookup
    // gives, in the system's order (1002 when there is none).
    bool resolve(int32_t port, std::string_view host);
    bool resolve(int32_t port, const qxval& host) { return resolve(port, host.view()); }
    bool resolve(int32_t port, const char* host) { return resolve(port, std::string_view(host ? host : "")); }
    bool resolve(int32_t port, const std::string& host) { return resolve(port, std::string_view(host)); }
    // Connects to the stored addresses in turn, each within 10 seconds,
    // until one answers. A refused or otherwise failed connect fails at once
    // with 100000 + errno; silence for 10 seconds gives 1000; either moves on
    // to the next address, and last_error is the last address's. Every
    // failed address is in failures. A failed attempt closes the handle, so
    // the next attempt starts with a fresh one.
    bool connect_with_timeout();

    // One send after waiting for room: the count sent, or -1 (length 0, no
    // handle, a failed wait, a time-out with 1000, or a failed send).
    int32_t send_some(const char* bytes, int32_t length);
    // Sends everything: length, or -1 as soon as one send_some fails.
    int32_t send_all(const char* bytes, int32_t length);
    int32_t send_all(std::string_view bytes) { return send_all(bytes.data(), static_cast<int32_t>(bytes.size())); }

    // Reads at most maximum bytes into value (a string of exactly the bytes
    // read). > 0: the count. 0: end of stream (confirmed by three empty
    // reads, or by the first with end_is_final) or time-out (last_error
    // 1000). -1: the connection failed (1003) or another socket error (1100).
    int32_t receive(qxval& value, int32_t maximum = default_receive_size);
    // A data connection's end is the peer's orderly close and nothing else:
    // its first empty read is the end, without two more reads and waits.
    bool end_is_final = false;

    // Shuts the sending side down, optionally reads everything the peer still
    // sends into drain_sink, then closes the handle. After the peer's end was
    // read, without TLS, there is nothing left to wait for: it just closes.
    void close_gracefully(bool drain);
    // Closes with a reset instead of an orderly end, so the peer cannot take
    // what it received so far for the whole of it.
    void close_with_reset();

    // Ends any wait on this socket from another thread (shutdown of both
    // directions), and a running connect_with_timeout tries no further
    // address; the owning thread still closes it.
    void interrupt();

    // The locally bound address and port; empty text and -1 without a handle.
    void local_address(qxval& out) const;
    int32_t local_port() const;
    // The stored remote address (numeric, without brackets) and its port in
    // host order.
    void peer_address(qxval& out) const;
    int32_t peer_port() const;
    // The locally bound address; false without a handle.
    bool local_socket_address(socket_address& out) const;

    // From a successful handshake on, sends, receives and the graceful
    // close go through the channel; closing the handle drops it.
    void attach_tls(std::unique_ptr<tls_channel> channel);
    tls_channel* tls() const { return tls_.get(); }

private:
    std::atomic<bool> interrupted_{false};
    bool peer_ended_ = false;  // receive read the peer's end on this handle
    void close_handle();
    // One connect to address on a fresh handle, or on the existing one.
    bool connect_one(const socket_address& address);

    std::unique_ptr<tls_channel> tls_;
};

// The outgoing socket of a data connection; a qxsocket with nothing added.
class qx_inet_client : public qxsocket {};

}  // namespace qvtf
