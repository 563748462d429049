#include "zarn/stdlib/HttpClient.h"

#include <memory>
#include <optional>

#include "zarn/stdlib/Socket.h"
#include "zarn/stdlib/Tls.h"
#include "zarn/stdlib/Url.h"

namespace zarn::stdlib {
namespace {

HttpResponse failure(const std::string& text) {
    HttpResponse response;
    response.setStatus(502);
    response.send(text);
    return response;
}

// The plain or the TLS stream of one exchange.
class Stream {
public:
    explicit Stream(NativeSocket& socket) : socket_(socket) {}
    bool startTls(std::string_view host, std::string& error) {
        tls_ = TlsSession::start(socket_, host, error);
        return tls_ != nullptr;
    }
    int64_t send(std::string_view data) { return tls_ ? tls_->send(data) : socket_.send(data); }
    std::string receive(size_t max) { return tls_ ? tls_->receive(max) : socket_.receive(max); }

private:
    NativeSocket& socket_;
    std::unique_ptr<TlsSession> tls_;
};

// Whether an answer to this method with this status carries no body,
// whatever its Content-Length says.
bool hasNoBody(std::string_view method, int32_t status) {
    bool head = method.size() == 4 && (method[0] | 0x20) == 'h' && (method[1] | 0x20) == 'e' &&
                (method[2] | 0x20) == 'a' && (method[3] | 0x20) == 'd';
    return head || (status >= 100 && status < 200) || status == 204 || status == 304;
}

// Reads until the peer stops sending or the announced body is complete
// (with headOnly, once the head is complete).
std::string receiveAnswer(Stream& stream, bool headOnly) {
    std::string buffer;
    std::optional<uint64_t> length;
    size_t end = std::string::npos;
    for (;;) {
        std::string chunk = stream.receive(16384);
        if (chunk.empty()) break;
        buffer += chunk;
        if (end == std::string::npos) {
            end = headEnd(buffer);
            if (end == std::string::npos) continue;
            length = contentLengthOf(std::string_view(buffer).substr(0, end));
            if (headOnly) break;
        }
        if (length && buffer.size() - (end + 4) >= *length) break;
    }
    return buffer;
}

} // namespace

HttpResponse HttpClient::request(std::string_view method, std::string_view urlText,
                                 std::string_view body) const {
    ParsedURL url = ParsedURL::parse(urlText);
    int64_t port = url.port;
    if (port < 1) port = url.protocol == "https" ? 443 : 80;
    // A bracketed IPv6 host connects without its brackets.
    std::string host = url.hostname;
    bool ipv6 = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    if (ipv6) host = host.substr(1, host.size() - 2);

    NativeSocket socket(ipv6 ? SocketFamily::IPv6 : SocketFamily::IPv4, SocketKind::Stream);
    socket.setTimeout(timeoutMs);
    const std::string refused = "Failed to connect to " + url.hostname;
    if (host.empty() || !socket.connect(host, port)) return failure(refused);
    Stream stream(socket);
    if (url.protocol == "https") {
        std::string error;
        // A failed handshake or verification is a failed connection.
        if (!stream.startTls(host, error)) return failure(refused);
    }

    std::string target = url.pathname;
    if (!url.query.empty()) target += "?" + url.query;
    std::string text = requestText(method, target, url.host, defaultHeaders, body);
    if (stream.send(text) != static_cast<int64_t>(text.size()))
        return failure("Failed to send the request to " + url.hostname);

    std::string answer = receiveAnswer(stream, hasNoBody(method, 200));
    if (answer.empty()) return failure("Empty response from " + url.hostname);
    HttpResponse response;
    if (!parseResponse(answer, response)) return failure("Malformed response from " + url.hostname);
    // A head without its blank line, or a body shorter than announced, is a
    // cut-off answer: never reported as complete.
    size_t end = headEnd(answer);
    if (end == std::string::npos)
        return failure("Incomplete response from " + url.hostname + ": the head did not end");
    std::optional<uint64_t> length = contentLengthOf(std::string_view(answer).substr(0, end));
    uint64_t received = answer.size() - end - 4;
    if (length && received < *length && !hasNoBody(method, response.statusCode))
        return failure("Incomplete response from " + url.hostname + ": expected " +
                       std::to_string(*length) + " body bytes, received " +
                       std::to_string(received));
    return response;
}

} // namespace zarn::stdlib
