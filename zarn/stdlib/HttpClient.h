// The HTTP/1.1 client: one request per connection, answered when the peer
// closes or the announced body has arrived. "https" URLs go through TLS.
#pragma once

#include <cstdint>
#include <string_view>

#include "zarn/stdlib/HttpMessage.h"

namespace zarn::stdlib {

class HttpClient {
public:
    // Sends one request and returns the answer. Every failure is an answer
    // too: 502 "Bad Gateway" with a plain body naming the host and what went
    // wrong ("Failed to connect to HOST" when no connection could be made).
    HttpResponse request(std::string_view method, std::string_view url,
                         std::string_view body) const;

    // Applies to connecting and to each send and receive; 0 or less waits
    // without end.
    int64_t timeoutMs = 10000;
    // Sent with every request.
    HttpHeaders defaultHeaders;
};

} // namespace zarn::stdlib
