// HTTP/1.1 messages shared by the client and the server: header and cookie
// lists, request and response records, the status-text table, and the texts
// both sides write and parse. Nothing here touches the network.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zarn/stdlib/UrlCodec.h"

namespace zarn::stdlib {

using HeaderPair = std::pair<std::string, std::string>;

// True when a header or cookie name or value could end its line early (CR,
// LF or NUL) and so inject text into the message.
bool breaksHeaderLine(std::string_view text);

enum class NameMatch { IgnoringCase, Exactly };

// An ordered list of (name, value) pairs. Look-up, replacement and removal
// compare names by Match; a stored name keeps its first spelling.
template <NameMatch Match>
class NamedPairs {
public:
    // Value of the first pair with that name, or "".
    const std::string& get(std::string_view name) const;
    bool has(std::string_view name) const;
    // Replaces the first match, else appends. Refused (false, nothing
    // changed) when the name is empty, either text breaks the line, or the
    // name holds a character that would split it (":" in a header name, "="
    // or ";" in a cookie name).
    bool set(std::string_view name, std::string_view value);
    // Removes every pair with that name.
    void remove(std::string_view name);
    std::vector<std::string> keys() const;
    const std::vector<HeaderPair>& pairs() const { return pairs_; }

private:
    static bool sameName(std::string_view a, std::string_view b);
    std::vector<HeaderPair> pairs_;
};

// Header names compare ignoring ASCII case; cookie names exactly.
using HttpHeaders = NamedPairs<NameMatch::IgnoringCase>;
using HttpCookies = NamedPairs<NameMatch::Exactly>;

struct HttpRequest {
    std::string method;
    std::string url; // the target as sent
    std::string path;
    std::string query;
    HttpHeaders headers;
    HttpCookies cookies;
    std::string body;
    std::map<std::string, std::string> routeParams;
    std::vector<QueryPair> queryParams;

    // The route parameter, else the first query parameter, else "".
    std::string param(std::string_view name) const;
};

struct HttpResponse {
    int32_t statusCode = 200;
    std::string statusText = "OK";
    HttpHeaders headers;
    HttpCookies cookies;
    std::string body;

    // Sets the code and its text from the table.
    void setStatus(int64_t code);
    // body = text, with a plain-text Content-Type unless one is present.
    void send(std::string_view text);
    // Content-Type replaced with contentType, body = text.
    void sendAs(std::string_view contentType, std::string_view text);
};

// The text of a status code: "Created", "Not Found", ...; "OK" for codes
// the table does not know.
std::string_view statusTextFor(int64_t code);

// Text trimmed of spaces, tabs, CR and LF at both ends.
std::string_view trimHeaderSpace(std::string_view text);

// Where a message's head ends: the offset of the first "\r\n\r\n", or npos.
inline size_t headEnd(std::string_view message) { return message.find("\r\n\r\n"); }

// The announced body length in a head: the value of the first Content-Length
// line (any letter case) as an unsigned decimal; nothing when absent or not
// a number.
std::optional<uint64_t> contentLengthOf(std::string_view head);

// Whether a head has a line for that header (any letter case).
bool headHasHeader(std::string_view head, std::string_view name);

// The client's request text for method, target and body, adding Host,
// User-Agent, Connection and Content-Length lines unless headers has them.
std::string requestText(std::string_view method, std::string_view target, std::string_view host,
                        const HttpHeaders& headers, std::string_view body);

// Parses a response. False when the first line holds no version and status
// code; the record then keeps what it had.
bool parseResponse(std::string_view text, HttpResponse& response);

// Parses a request; false when the first line is empty or lacks a method or
// target.
bool parseRequest(std::string_view text, HttpRequest& request);

// The server's response text.
std::string responseText(const HttpResponse& response);

} // namespace zarn::stdlib
