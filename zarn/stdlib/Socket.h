// Blocking TCP and UDP sockets and name look-up: the one layer of the net and
// http modules that calls the operating system (SocketPosix.cpp). No member
// throws; failures come back as false, -1, "" or null as each says.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zarn::stdlib {

enum class SocketFamily { IPv4, IPv6 };
enum class SocketKind { Stream, Datagram };

// A received datagram; all empty when nothing was received.
struct Datagram {
    std::string data;
    std::string address;
    int64_t port = 0;
};

class NativeSocket {
public:
    // A closed socket.
    NativeSocket() = default;
    // A new socket of that family and kind (protocol chosen by the system);
    // closed when the system refuses to create it.
    NativeSocket(SocketFamily family, SocketKind kind);
    ~NativeSocket();
    NativeSocket(const NativeSocket&) = delete;
    NativeSocket& operator=(const NativeSocket&) = delete;

    bool isOpen() const { return handle_ >= 0; }
    // Closes the handle; no effect when already closed.
    void close();

    // Resolves host (any family, stream addresses) and connects to the first
    // address that accepts; records the peer's address and port.
    bool connect(std::string_view host, int64_t port);
    // Binds with address reuse; "" and "0.0.0.0" mean every local address.
    bool bind(std::string_view host, int64_t port);
    bool listen(int backlog);
    // The next connection, or null on failure (or when none is pending on a
    // non-blocking socket).
    std::shared_ptr<NativeSocket> accept();

    // Sends every byte, looping over partial writes. Returns the bytes written,
    // or -1 when the socket is closed or the first write fails. Writing to a
    // peer that has gone never raises a signal.
    int64_t send(std::string_view data);
    // One receive of at most max bytes (and at most 1 MiB); "" when closed,
    // at the end of the stream, on a time-out or on error.
    std::string receive(size_t max);
    // Sends one datagram to the first address of host that takes it; the count
    // sent or -1.
    int64_t sendTo(std::string_view data, std::string_view host, int64_t port);
    Datagram receiveFrom(size_t max);

    // Ends the sending direction: the peer reads the end of the stream.
    void shutdownSend();

    bool setNonBlocking(bool on);
    // Receive and send time-out in milliseconds; 0 or less waits without end.
    void setTimeout(int64_t milliseconds);
    // Waits until a read would not block (data, a connection, or the end);
    // false when nothing came within the time.
    bool waitReadable(int milliseconds);

    std::string localAddress() const;
    int64_t localPort() const;
    const std::string& remoteAddress() const { return remoteAddress_; }
    int64_t remotePort() const { return remotePort_; }
    // The system's handle, for the TLS layer; -1 when closed.
    int handle() const { return handle_; }

private:
    explicit NativeSocket(int handle) : handle_(handle) {}

    int handle_ = -1;
    std::string remoteAddress_;
    uint32_t remotePort_ = 0;
};

// The first IPv4 address of host as dotted text, or "".
std::string resolveHost(std::string_view host);
// Every stream address of host, any family, in the order returned.
std::vector<std::string> lookupHost(std::string_view host);

} // namespace zarn::stdlib
