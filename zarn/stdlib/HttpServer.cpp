#include "zarn/stdlib/HttpServer.h"

#include <chrono>
#include <exception>
#include <optional>
#include <utility>

namespace zarn::stdlib {
namespace {

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

void refuse(HttpResponse& response, int32_t code, std::string_view text, std::string_view body) {
    response.statusCode = code;
    response.statusText = std::string(text);
    response.send(body);
}

} // namespace

std::vector<std::string> pathSegments(std::string_view path) {
    std::vector<std::string> segments;
    while (!path.empty()) {
        size_t slash = path.find('/');
        std::string_view piece = path.substr(0, slash);
        if (!piece.empty()) segments.emplace_back(piece);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return segments;
}

Route makeRoute(std::string_view method, std::string_view pattern) {
    Route route;
    route.method = lowerCase(method);
    route.pattern.assign(pattern);
    route.segments = pathSegments(pattern);
    if (!route.segments.empty() && route.segments.back() == "*") {
        route.segments.pop_back();
        route.wildcard = true;
    }
    return route;
}

bool matchRoute(const Route& route, std::string_view method, std::string_view path,
                std::map<std::string, std::string>& params) {
    if (route.method != "*" && route.method != "any" && route.method != lowerCase(method))
        return false;
    std::vector<std::string> segments = pathSegments(path);
    if (route.wildcard ? segments.size() < route.segments.size()
                       : segments.size() != route.segments.size())
        return false;
    std::map<std::string, std::string> bound;
    for (size_t i = 0; i < route.segments.size(); ++i) {
        const std::string& expected = route.segments[i];
        if (!expected.empty() && expected.front() == ':') {
            bound[expected.substr(1)] = percentDecode(segments[i]);
        } else if (expected != segments[i]) {
            return false;
        }
    }
    params = std::move(bound);
    return true;
}

void HttpServer::addRoute(std::string_view method, std::string_view pattern, Handler handler) {
    routes_.push_back(Entry{makeRoute(method, pattern), std::move(handler)});
}

bool HttpServer::listen(std::string_view host, int64_t port) {
    auto listener = TCPServer::listen(host, port);
    if (!listener) return false;
    if (listener_) listener_->close();
    listener_ = std::move(listener);
    return true;
}

void HttpServer::close() {
    if (listener_) listener_->close();
}

void HttpServer::answer(const std::shared_ptr<HttpRequest>& requestRecord,
                        const std::shared_ptr<HttpResponse>& responseRecord) {
    HttpRequest& request = *requestRecord;
    HttpResponse& response = *responseRecord;
    for (size_t i = 0; i < routes_.size(); ++i) {
        std::map<std::string, std::string> params;
        if (!matchRoute(routes_[i].route, request.method, request.path, params)) continue;
        request.routeParams = std::move(params);
        // A copy: the handler may add routes while it runs.
        Handler handler = routes_[i].handler;
        try {
            if (handler) handler(requestRecord, responseRecord);
        } catch (const std::exception& failure) {
            response.setStatus(500);
            response.send(std::string("500 Internal Server Error: ") + failure.what());
            failure_ = std::current_exception();
        } catch (...) {
            response.setStatus(500);
            response.send("500 Internal Server Error");
            failure_ = std::current_exception();
        }
        return;
    }
    response.setStatus(404);
    response.send("404 Not Found: " + request.path);
}

bool HttpServer::readRequest(NativeSocket& client, std::string& text, HttpResponse& response) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(limits.requestDeadlineMs);
    size_t end = std::string::npos;
    std::optional<uint64_t> length;
    bool lengthAnnounced = false;
    for (;;) {
        if (end != std::string::npos && !lengthAnnounced) break; // ends at the blank line
        if (length && text.size() - end - 4 >= *length) break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        int wait = static_cast<int>(std::min<int64_t>(left.count(), limits.receiveTimeoutMs));
        if (wait <= 0 || !client.waitReadable(wait)) break;
        std::string chunk = client.receive(16384);
        if (chunk.empty()) break;
        text += chunk;
        if (end == std::string::npos) {
            end = headEnd(text);
            if (end == std::string::npos) {
                if (text.size() > limits.maxHeadBytes) {
                    refuse(response, 413, "Payload Too Large", "Request head too large");
                    return false;
                }
                continue;
            }
            if (end > limits.maxHeadBytes) {
                refuse(response, 413, "Payload Too Large", "Request head too large");
                return false;
            }
            std::string_view head = std::string_view(text).substr(0, end);
            length = contentLengthOf(head);
            // A length that does not convert reads until the client stops.
            lengthAnnounced = length.has_value() || headHasHeader(head, "Content-Length");
        }
        if (text.size() - end - 4 > limits.maxBodyBytes ||
            (length && *length > limits.maxBodyBytes)) {
            refuse(response, 413, "Payload Too Large", "Request body too large");
            return false;
        }
    }
    if (end != std::string::npos && length && text.size() - end - 4 < *length) {
        refuse(response, 400, "Bad Request", "Bad Request");
        return false;
    }
    return true;
}

bool HttpServer::handleNext(int timeoutMs) {
    if (!isOpen()) return false;
    NativeSocket& listening = listener_->socket();
    if (timeoutMs > 0 && !listening.waitReadable(timeoutMs)) return false;
    listening.setNonBlocking(true);
    std::shared_ptr<NativeSocket> client = listening.accept();
    if (!client) return false;
    client->setNonBlocking(false);
    client->setTimeout(limits.receiveTimeoutMs);

    auto request = std::make_shared<HttpRequest>();
    auto response = std::make_shared<HttpResponse>();
    std::string text;
    bool complete = readRequest(*client, text, *response);
    if (complete) {
        if (parseRequest(text, *request)) answer(request, response);
        else refuse(*response, 400, "Bad Request", "Bad Request");
    }
    client->send(responseText(*response));
    if (!complete) {
        // Unread bytes would make the close a reset that can destroy the
        // answer before the client reads it: read a little of what is left.
        client->shutdownSend();
        for (int i = 0; i < 16 && client->waitReadable(50); ++i)
            if (client->receive(65536).empty()) break;
    }
    client->close();
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    return true;
}

} // namespace zarn::stdlib
