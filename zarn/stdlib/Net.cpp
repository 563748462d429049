#include "zarn/stdlib/Net.h"

namespace zarn::stdlib {

std::shared_ptr<TCPConnection> TCPConnection::connect(std::string_view host, int64_t port) {
    auto socket = std::make_shared<NativeSocket>(SocketFamily::IPv4, SocketKind::Stream);
    if (!socket->connect(host, port)) return nullptr;
    return std::make_shared<TCPConnection>(std::move(socket));
}

std::string TCPConnection::read(size_t max) {
    if (!buffer_.empty()) {
        std::string taken = buffer_.substr(0, max);
        buffer_.erase(0, taken.size());
        return taken;
    }
    return socket_ ? socket_->receive(max) : std::string();
}

std::string TCPConnection::readLine() {
    if (!socket_) return {};
    for (;;) {
        if (size_t feed = buffer_.find('\n'); feed != std::string::npos) {
            std::string line = buffer_.substr(0, feed);
            buffer_.erase(0, feed + 1);
            dropCarriageReturn(line);
            return line;
        }
        std::string chunk = socket_->receive(1024);
        if (chunk.empty()) {
            std::string rest = std::move(buffer_);
            buffer_.clear();
            dropCarriageReturn(rest);
            return rest;
        }
        buffer_ += chunk;
    }
}

std::shared_ptr<TCPServer> TCPServer::listen(std::string_view host, int64_t port) {
    auto server = std::make_shared<TCPServer>();
    server->socket_ = std::make_shared<NativeSocket>(SocketFamily::IPv4, SocketKind::Stream);
    if (!server->socket_->bind(host, port) || !server->socket_->listen(128)) return nullptr;
    server->address_ = host.empty() ? std::string("0.0.0.0") : std::string(host);
    server->port_ = port == 0 ? server->socket_->localPort() : port;
    return server;
}

std::shared_ptr<TCPConnection> TCPServer::accept() {
    auto client = socket_->accept();
    if (!client) return nullptr;
    return std::make_shared<TCPConnection>(std::move(client));
}

} // namespace zarn::stdlib
