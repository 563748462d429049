// The routing HTTP server: a route table over a TCP listener. Each
// handleNext accepts at most one connection, reads and parses one request,
// answers it through the first matching route (or 400, 404, 413, 500) and
// closes the connection.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zarn/stdlib/HttpMessage.h"
#include "zarn/stdlib/Net.h"

namespace zarn::stdlib {

struct Route {
    std::string method; // lower-cased; "*" or "any" matches every method
    std::string pattern;
    std::vector<std::string> segments;
    bool wildcard = false; // the pattern ended in "/*"
};

// The non-empty pieces of a path between "/".
std::vector<std::string> pathSegments(std::string_view path);
Route makeRoute(std::string_view method, std::string_view pattern);
// Whether the route answers method and path; fills params from ":name"
// segments (percent-decoded) when it does.
bool matchRoute(const Route& route, std::string_view method, std::string_view path,
                std::map<std::string, std::string>& params);

// What one request may cost the server.
struct HttpServerLimits {
    size_t maxHeadBytes = 64 * 1024;
    size_t maxBodyBytes = 16 * 1024 * 1024;
    int receiveTimeoutMs = 1000;  // each wait for bytes
    int requestDeadlineMs = 5000; // the whole request
};

class HttpServer {
public:
    // Called with the request and the response of a matched route. A thrown
    // exception answers 500 with its text; handleNext then throws it on once
    // the answer is written, because such failures end the script's run.
    using Handler = std::function<void(const std::shared_ptr<HttpRequest>&,
                                       const std::shared_ptr<HttpResponse>&)>;

    void addRoute(std::string_view method, std::string_view pattern, Handler handler);
    bool listen(std::string_view host, int64_t port);
    // Serves at most one connection, waiting up to timeoutMs for one (no wait
    // at 0 or less); false when none came or the server is not listening.
    bool handleNext(int timeoutMs);
    void close();
    bool isOpen() const { return listener_ && listener_->isOpen(); }
    int64_t port() const { return listener_ ? listener_->port() : 0; }

    // Answers a parsed request: the first matching route's handler, else 404;
    // a handler that throws gives 500.
    void answer(const std::shared_ptr<HttpRequest>& request,
                const std::shared_ptr<HttpResponse>& response);

    HttpServerLimits limits;

private:
    struct Entry {
        Route route;
        Handler handler;
    };
    // Reads one request; sets the status of a request that must be refused
    // (400, 413) in response and returns false then.
    bool readRequest(NativeSocket& client, std::string& text, HttpResponse& response);

    std::shared_ptr<TCPServer> listener_;
    std::exception_ptr failure_; // of the handler that just ran
    std::vector<Entry> routes_;
};

} // namespace zarn::stdlib
