#include "zarn/stdlib/HttpMessage.h"

#include <algorithm>

namespace zarn::stdlib {
namespace {

const std::string kEmpty;

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

// Calls visit(line) for each line of a head after the first one, each
// without its line end, up to the first empty line.
template <typename Visit>
void forEachHeaderLine(std::string_view head, Visit visit) {
    size_t start = head.find('\n');
    while (start != std::string_view::npos) {
        ++start;
        size_t end = head.find('\n', start);
        std::string_view line = head.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) return;
        visit(line);
        start = end;
    }
}

// Splits "name: value" at the first colon, both trimmed; false without a colon.
bool splitHeaderLine(std::string_view line, std::string_view& name, std::string_view& value) {
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    name = trimHeaderSpace(line.substr(0, colon));
    value = trimHeaderSpace(line.substr(colon + 1));
    return true;
}

std::string_view firstLine(std::string_view head) {
    std::string_view line = head.substr(0, head.find('\n'));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The next word separated by spaces or tabs, advancing text past it.
std::string_view nextWord(std::string_view& text) {
    size_t start = 0;
    while (start < text.size() && isBlank(text[start])) ++start;
    size_t end = start;
    while (end < text.size() && !isBlank(text[end])) ++end;
    std::string_view word = text.substr(start, end - start);
    text.remove_prefix(end);
    return word;
}

// A message's head and the first two words of its first line.
struct StartLine {
    explicit StartLine(std::string_view text) : end(headEnd(text)) {
        head = end == std::string_view::npos ? text : text.substr(0, end);
        rest = firstLine(head);
        first = nextWord(rest);
        second = nextWord(rest);
    }
    size_t end;
    std::string_view head, first, second, rest;
};

std::optional<uint64_t> parseUnsigned(std::string_view text) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

// The body part of a message: the bytes after the blank line, cut to the
// announced length when there is one.
std::string bodyOf(std::string_view text, size_t end, const HttpHeaders& headers) {
    if (end == std::string_view::npos) return {};
    std::string_view body = text.substr(end + 4);
    std::optional<uint64_t> length = parseUnsigned(trimHeaderSpace(headers.get("Content-Length")));
    if (length && *length < body.size()) body = body.substr(0, *length);
    return std::string(body);
}

} // namespace

bool breaksHeaderLine(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string_view trimHeaderSpace(std::string_view text) {
    auto isTrimmed = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isTrimmed(text.front())) text.remove_prefix(1);
    while (!text.empty() && isTrimmed(text.back())) text.remove_suffix(1);
    return text;
}

template <NameMatch Match>
bool NamedPairs<Match>::sameName(std::string_view a, std::string_view b) {
    return Match == NameMatch::IgnoringCase ? equalsIgnoringCase(a, b) : a == b;
}

template <NameMatch Match>
const std::string& NamedPairs<Match>::get(std::string_view name) const {
    for (const auto& pair : pairs_)
        if (sameName(pair.first, name)) return pair.second;
    return kEmpty;
}

template <NameMatch Match>
bool NamedPairs<Match>::has(std::string_view name) const {
    return std::any_of(pairs_.begin(), pairs_.end(),
                       [&](const HeaderPair& p) { return sameName(p.first, name); });
}

template <NameMatch Match>
bool NamedPairs<Match>::set(std::string_view name, std::string_view value) {
    // A header name may not hold ":"; a cookie name may not hold "=" or ";".
    std::string_view forbidden = Match == NameMatch::IgnoringCase ? ":" : "=;";
    if (name.empty() || breaksHeaderLine(name) || breaksHeaderLine(value) ||
        name.find_first_of(forbidden) != std::string_view::npos)
        return false;
    for (auto& pair : pairs_) {
        if (sameName(pair.first, name)) {
            pair.second.assign(value);
            return true;
        }
    }
    pairs_.emplace_back(std::string(name), std::string(value));
    return true;
}

template <NameMatch Match>
void NamedPairs<Match>::remove(std::string_view name) {
    std::erase_if(pairs_, [&](const HeaderPair& p) { return sameName(p.first, name); });
}

template <NameMatch Match>
std::vector<std::string> NamedPairs<Match>::keys() const {
    std::vector<std::string> names;
    names.reserve(pairs_.size());
    for (const auto& pair : pairs_) names.push_back(pair.first);
    return names;
}

template class NamedPairs<NameMatch::IgnoringCase>;
template class NamedPairs<NameMatch::Exactly>;

std::string HttpRequest::param(std::string_view name) const {
    if (auto it = routeParams.find(std::string(name)); it != routeParams.end()) return it->second;
    for (const auto& pair : queryParams)
        if (pair.first == name) return pair.second;
    return {};
}

std::string_view statusTextFor(int64_t code) {
    switch (code) {
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "OK";
    }
}

void HttpResponse::setStatus(int64_t code) {
    statusCode = static_cast<int32_t>(code);
    statusText = std::string(statusTextFor(code));
}

void HttpResponse::send(std::string_view text) {
    body.assign(text);
    if (!headers.has("Content-Type")) headers.set("Content-Type", "text/plain; charset=utf-8");
}

void HttpResponse::sendAs(std::string_view contentType, std::string_view text) {
    headers.set("Content-Type", contentType);
    body.assign(text);
}

std::optional<uint64_t> contentLengthOf(std::string_view head) {
    std::optional<uint64_t> length;
    bool found = false;
    forEachHeaderLine(head, [&](std::string_view line) {
        std::string_view name, value;
        if (found || !splitHeaderLine(line, name, value)) return;
        if (!equalsIgnoringCase(name, "Content-Length")) return;
        found = true;
        length = parseUnsigned(value);
    });
    return length;
}

bool headHasHeader(std::string_view head, std::string_view wanted) {
    bool found = false;
    forEachHeaderLine(head, [&](std::string_view line) {
        std::string_view name, value;
        if (splitHeaderLine(line, name, value) && equalsIgnoringCase(name, wanted)) found = true;
    });
    return found;
}

std::string requestText(std::string_view method, std::string_view target, std::string_view host,
                        const HttpHeaders& headers, std::string_view body) {
    std::string text;
    text.reserve(128 + body.size());
    text.append(method).append(" ").append(target).append(" HTTP/1.1\r\n");
    if (!headers.has("Host")) text.append("Host: ").append(host).append("\r\n");
    if (!headers.has("User-Agent")) text.append("User-Agent: Zarn-HttpClient/1.0\r\n");
    if (!headers.has("Connection")) text.append("Connection: close\r\n");
    if (!body.empty() && !headers.has("Content-Length"))
        text.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
    for (const auto& [name, value] : headers.pairs())
        text.append(name).append(": ").append(value).append("\r\n");
    text.append("\r\n").append(body);
    return text;
}

bool parseResponse(std::string_view text, HttpResponse& response) {
    StartLine start(text);
    std::optional<uint64_t> code = parseUnsigned(start.second);
    if (start.first.empty() || !code || *code > 999) return false;
    response.statusCode = static_cast<int32_t>(*code);
    response.statusText = std::string(trimHeaderSpace(start.rest));
    std::string_view head = start.head;
    forEachHeaderLine(head, [&](std::string_view headerLine) {
        std::string_view name, value;
        if (!splitHeaderLine(headerLine, name, value)) return;
        response.headers.set(name, value);
        if (!equalsIgnoringCase(name, "set-cookie")) return;
        std::string_view cookie = value.substr(0, value.find(';'));
        size_t equals = cookie.find('=');
        if (equals == std::string_view::npos) return;
        response.cookies.set(trimHeaderSpace(cookie.substr(0, equals)),
                             trimHeaderSpace(cookie.substr(equals + 1)));
    });
    response.body = bodyOf(text, start.end, response.headers);
    return true;
}

bool parseRequest(std::string_view text, HttpRequest& request) {
    StartLine start(text);
    std::string_view method = start.first;
    std::string_view target = start.second;
    if (method.empty() || target.empty()) return false;
    std::string_view head = start.head;
    request.method.assign(method);
    request.url.assign(target);
    size_t question = target.find('?');
    request.path.assign(target.substr(0, question));
    if (question != std::string_view::npos) {
        request.query.assign(target.substr(question + 1));
        request.queryParams = parseQuery(request.query);
    }
    forEachHeaderLine(head, [&](std::string_view headerLine) {
        std::string_view name, value;
        if (splitHeaderLine(headerLine, name, value)) request.headers.set(name, value);
    });
    if (request.headers.has("Cookie")) {
        std::string_view rest = request.headers.get("Cookie");
        while (!rest.empty()) {
            size_t semicolon = rest.find(';');
            std::string_view piece = trimHeaderSpace(rest.substr(0, semicolon));
            rest = semicolon == std::string_view::npos ? std::string_view()
                                                       : rest.substr(semicolon + 1);
            if (piece.empty()) continue;
            size_t equals = piece.find('=');
            if (equals == std::string_view::npos) request.cookies.set(piece, "");
            else
                request.cookies.set(trimHeaderSpace(piece.substr(0, equals)),
                                    trimHeaderSpace(piece.substr(equals + 1)));
        }
    }
    request.body = bodyOf(text, start.end, request.headers);
    return true;
}

std::string responseText(const HttpResponse& response) {
    std::string text;
    text.reserve(128 + response.body.size());
    text.append("HTTP/1.1 ")
        .append(std::to_string(response.statusCode))
        .append(" ")
        .append(response.statusText)
        .append("\r\n");
    if (!response.headers.has("Content-Length"))
        text.append("Content-Length: ").append(std::to_string(response.body.size())).append("\r\n");
    if (!response.headers.has("Connection")) text.append("Connection: close\r\n");
    for (const auto& [name, value] : response.headers.pairs())
        text.append(name).append(": ").append(value).append("\r\n");
    for (const auto& [name, value] : response.cookies.pairs())
        text.append("Set-Cookie: ").append(name).append("=").append(value).append("; Path=/\r\n");
    text.append("\r\n").append(response.body);
    return text;
}

} // namespace zarn::stdlib
