// The socket layer over BSD sockets. Sends use MSG_NOSIGNAL so that a peer
// that has gone never ends the process with SIGPIPE.
#include "zarn/stdlib/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zarn::stdlib {
namespace {

// Names with a NUL byte would be cut short by the C interface and name
// another host, so they resolve to nothing.
struct AddressList {
    addrinfo* head = nullptr;
    AddressList(std::string_view host, std::string_view service, int family, int type, int flags) {
        if (host.find('\0') != std::string_view::npos) return;
        addrinfo hints{};
        hints.ai_family = family;
        hints.ai_socktype = type;
        hints.ai_flags = flags;
        std::string node(host);
        std::string port(service);
        bool noNode = (flags & AI_PASSIVE) != 0 && (node.empty() || node == "0.0.0.0");
        if (getaddrinfo(noNode ? nullptr : node.c_str(), port.empty() ? nullptr : port.c_str(),
                        &hints, &head) != 0)
            head = nullptr;
    }
    ~AddressList() {
        if (head) freeaddrinfo(head);
    }
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;
};

// Numeric text and port of an address; "" and 0 for other families.
void describe(const sockaddr* address, std::string& text, uint32_t& port) {
    char buffer[65] = {};
    text.clear();
    port = 0;
    if (address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        if (inet_ntop(AF_INET, &in->sin_addr, buffer, sizeof buffer)) text = buffer;
        port = ntohs(in->sin_port);
    } else if (address->sa_family == AF_INET6) {
        const auto* in = reinterpret_cast<const sockaddr_in6*>(address);
        if (inet_ntop(AF_INET6, &in->sin6_addr, buffer, sizeof buffer)) text = buffer;
        port = ntohs(in->sin6_port);
    }
}

// One receive never asks for more than this, so that a script asking for a
// huge count gets what arrived instead of a failed allocation.
constexpr size_t kMaxReceive = 1 << 20;

// Ports outside 0..65535 name no service.
std::string portText(int64_t port) {
    return port < 0 || port > 65535 ? std::string() : std::to_string(port);
}

} // namespace

NativeSocket::NativeSocket(SocketFamily family, SocketKind kind) {
    handle_ = ::socket(family == SocketFamily::IPv6 ? AF_INET6 : AF_INET,
                       (kind == SocketKind::Datagram ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
}

NativeSocket::~NativeSocket() { close(); }

void NativeSocket::close() {
    if (handle_ < 0) return;
    ::close(handle_);
    handle_ = -1;
}

bool NativeSocket::connect(std::string_view host, int64_t port) {
    if (handle_ < 0) return false;
    std::string service = portText(port);
    if (service.empty()) return false;
    AddressList list(host, service, AF_UNSPEC, SOCK_STREAM, 0);
    for (addrinfo* entry = list.head; entry; entry = entry->ai_next) {
        if (::connect(handle_, entry->ai_addr, entry->ai_addrlen) == 0) {
            describe(entry->ai_addr, remoteAddress_, remotePort_);
            return true;
        }
    }
    return false;
}

bool NativeSocket::bind(std::string_view host, int64_t port) {
    if (handle_ < 0) return false;
    int reuse = 1;
    setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    std::string service = portText(port);
    if (service.empty()) return false;
    AddressList list(host, service, AF_UNSPEC, 0, AI_PASSIVE);
    for (addrinfo* entry = list.head; entry; entry = entry->ai_next) {
        if (::bind(handle_, entry->ai_addr, entry->ai_addrlen) == 0) return true;
    }
    return false;
}

bool NativeSocket::listen(int backlog) { return handle_ >= 0 && ::listen(handle_, backlog) == 0; }

std::shared_ptr<NativeSocket> NativeSocket::accept() {
    if (handle_ < 0) return nullptr;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    int client;
    do {
        client = ::accept4(handle_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    } while (client < 0 && errno == EINTR);
    if (client < 0) return nullptr;
    auto socket = std::shared_ptr<NativeSocket>(new NativeSocket(client));
    describe(reinterpret_cast<sockaddr*>(&peer), socket->remoteAddress_, socket->remotePort_);
    return socket;
}

int64_t NativeSocket::send(std::string_view data) {
    if (handle_ < 0) return -1;
    size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = ::send(handle_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return sent > 0 ? static_cast<int64_t>(sent) : -1;
        sent += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(sent);
}

std::string NativeSocket::receive(size_t max) {
    if (handle_ < 0 || max == 0) return {};
    max = std::min(max, kMaxReceive);
    std::string buffer(max, '\0');
    ssize_t n;
    do {
        n = ::recv(handle_, buffer.data(), max, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return {};
    buffer.resize(static_cast<size_t>(n));
    return buffer;
}

int64_t NativeSocket::sendTo(std::string_view data, std::string_view host, int64_t port) {
    if (handle_ < 0) return -1;
    std::string service = portText(port);
    if (service.empty()) return -1;
    AddressList list(host, service, AF_UNSPEC, SOCK_DGRAM, 0);
    for (addrinfo* entry = list.head; entry; entry = entry->ai_next) {
        ssize_t n = ::sendto(handle_, data.data(), data.size(), MSG_NOSIGNAL, entry->ai_addr,
                             entry->ai_addrlen);
        if (n >= 0) return n;
    }
    return -1;
}

Datagram NativeSocket::receiveFrom(size_t max) {
    Datagram packet;
    if (handle_ < 0 || max == 0) return packet;
    max = std::min(max, kMaxReceive);
    std::string buffer(max, '\0');
    sockaddr_storage sender{};
    socklen_t length = sizeof sender;
    ssize_t n;
    do {
        n = ::recvfrom(handle_, buffer.data(), max, 0, reinterpret_cast<sockaddr*>(&sender),
                       &length);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return packet;
    buffer.resize(static_cast<size_t>(n));
    packet.data = std::move(buffer);
    uint32_t port = 0;
    describe(reinterpret_cast<sockaddr*>(&sender), packet.address, port);
    packet.port = port;
    return packet;
}

void NativeSocket::shutdownSend() {
    if (handle_ >= 0) ::shutdown(handle_, SHUT_WR);
}

bool NativeSocket::setNonBlocking(bool on) {
    if (handle_ < 0) return false;
    int flags = fcntl(handle_, F_GETFL, 0);
    if (flags < 0) return false;
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(handle_, F_SETFL, flags) == 0;
}

void NativeSocket::setTimeout(int64_t milliseconds) {
    if (handle_ < 0) return;
    timeval time{};
    if (milliseconds > 0) {
        time.tv_sec = static_cast<time_t>(milliseconds / 1000);
        time.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    }
    setsockopt(handle_, SOL_SOCKET, SO_RCVTIMEO, &time, sizeof time);
    setsockopt(handle_, SOL_SOCKET, SO_SNDTIMEO, &time, sizeof time);
}

bool NativeSocket::waitReadable(int milliseconds) {
    if (handle_ < 0) return false;
    pollfd entry{handle_, POLLIN, 0};
    int n;
    do {
        n = ::poll(&entry, 1, milliseconds < 0 ? 0 : milliseconds);
    } while (n < 0 && errno == EINTR);
    return n > 0;
}

std::string NativeSocket::localAddress() const {
    if (handle_ < 0) return {};
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return {};
    std::string text;
    uint32_t port = 0;
    describe(reinterpret_cast<sockaddr*>(&local), text, port);
    return text;
}

int64_t NativeSocket::localPort() const {
    if (handle_ < 0) return 0;
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    std::string text;
    uint32_t port = 0;
    describe(reinterpret_cast<sockaddr*>(&local), text, port);
    return port;
}

std::string resolveHost(std::string_view host) {
    AddressList list(host, "", AF_INET, SOCK_STREAM, 0);
    if (!list.head) return {};
    std::string text;
    uint32_t port = 0;
    describe(list.head->ai_addr, text, port);
    return text;
}

std::vector<std::string> lookupHost(std::string_view host) {
    std::vector<std::string> addresses;
    AddressList list(host, "", AF_UNSPEC, SOCK_STREAM, 0);
    for (addrinfo* entry = list.head; entry; entry = entry->ai_next) {
        std::string text;
        uint32_t port = 0;
        describe(entry->ai_addr, text, port);
        addresses.push_back(std::move(text));
    }
    return addresses;
}

} // namespace zarn::stdlib
