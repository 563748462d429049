// The HTTP transport of the registry client: one request at a time, no
// handle shared between calls. HttpClientCurl.cpp implements it over libcurl
// (certificates are always verified; proxies come from the usual environment
// variables).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vek {

struct HttpResult {
    long status = 0;
    std::string body;
    std::string error; // empty when the exchange itself succeeded
};

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::string> headers; // "Name: value"
    std::string body;
    std::uint64_t maxBody = 0; // bodies above this many bytes fail; 0: no limit
};

// Bytes received so far and the announced total (0 when unknown).
using ProgressFunction = std::function<void(std::uint64_t received, std::uint64_t total)>;
// Receives the body in pieces; false stops the transfer.
using BodySink = std::function<bool(const char* data, std::size_t size)>;

// Sends the request and collects the body. A failure to reach the server or
// to finish the exchange sets `error` to a text naming the host and the cause.
HttpResult httpSend(const HttpRequest& request);
// Like httpSend, but hands the body of a 200 answer to `sink` instead of
// collecting it; other answers are collected as usual (up to maxBody).
HttpResult httpStream(const HttpRequest& request, const BodySink& sink,
                      const ProgressFunction& progress);

// The host (and port) part of a URL, for messages.
std::string urlHost(const std::string& url);
// Percent-encodes everything but unreserved characters, for path segments and
// query values.
std::string percentEncode(const std::string& text);

} // namespace vek
