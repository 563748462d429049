// The native records behind the net module's objects: a TCP connection with
// its read-ahead buffer, a TCP listener and a UDP socket, over the socket
// layer of Socket.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "zarn/stdlib/Socket.h"

namespace zarn::stdlib {

class TCPConnection {
public:
    explicit TCPConnection(std::shared_ptr<NativeSocket> socket) : socket_(std::move(socket)) {}

    // A new IPv4 connection to host and port, or null when it fails.
    static std::shared_ptr<TCPConnection> connect(std::string_view host, int64_t port);

    int64_t write(std::string_view data) { return socket_ ? socket_->send(data) : -1; }
    // Up to max bytes: first from the read-ahead buffer, else one receive.
    std::string read(size_t max);
    // The bytes up to the next line feed (one carriage return before it
    // dropped); at the end of the stream, whatever is left.
    std::string readLine();
    void close() {
        if (socket_) socket_->close();
    }
    bool isOpen() const { return socket_ && socket_->isOpen(); }
    std::string remoteAddress() const { return socket_ ? socket_->remoteAddress() : ""; }
    int64_t remotePort() const { return socket_ ? socket_->remotePort() : 0; }
    const std::shared_ptr<NativeSocket>& socket() const { return socket_; }

private:
    std::shared_ptr<NativeSocket> socket_;
    std::string buffer_;
};

class TCPServer {
public:
    // Listens on host and port (backlog 128), or null when it cannot.
    static std::shared_ptr<TCPServer> listen(std::string_view host, int64_t port);

    std::shared_ptr<TCPConnection> accept();
    void close() { socket_->close(); }
    bool isOpen() const { return socket_->isOpen(); }
    int64_t port() const { return port_; }
    const std::string& address() const { return address_; }
    NativeSocket& socket() { return *socket_; }

private:
    std::shared_ptr<NativeSocket> socket_;
    std::string address_;
    int64_t port_ = 0;
};

// Strips one carriage return from the end of a line.
inline void dropCarriageReturn(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

} // namespace zarn::stdlib
