#include "zarn/stdlib/Url.h"

#include <algorithm>
#include <limits>

namespace zarn::stdlib {
namespace {

const std::string kEmpty;

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a signed decimal number the way the C library's integer conversion
// does: leading white space, an optional sign, then digits up to the first
// non-digit. No digits or a value out of range give 0.
int64_t parsePort(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate as a negative number so that the minimum fits.
    int64_t value = 0;
    bool anyDigit = false;
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        if (value < (kMin + digit) / 10) return 0;
        value = value * 10 - digit;
        anyDigit = true;
    }
    if (!anyDigit) return 0;
    if (!negative) {
        if (value == kMin) return 0;
        return -value;
    }
    return value;
}

} // namespace

const std::string& URLSearchParams::get(std::string_view key) const {
    for (const auto& pair : pairs_) {
        if (pair.first == key) return pair.second;
    }
    return kEmpty;
}

bool URLSearchParams::has(std::string_view key) const {
    return std::any_of(pairs_.begin(), pairs_.end(),
                       [&](const QueryPair& p) { return p.first == key; });
}

void URLSearchParams::set(std::string_view key, std::string_view value) {
    for (auto& pair : pairs_) {
        if (pair.first == key) {
            pair.second.assign(value);
            return;
        }
    }
    pairs_.emplace_back(std::string(key), std::string(value));
}

void URLSearchParams::remove(std::string_view key) {
    std::erase_if(pairs_, [&](const QueryPair& p) { return p.first == key; });
}

std::vector<std::string> URLSearchParams::keys() const {
    std::vector<std::string> out;
    out.reserve(pairs_.size());
    for (const auto& pair : pairs_) out.push_back(pair.first);
    return out;
}

std::vector<std::string> URLSearchParams::values() const {
    std::vector<std::string> out;
    out.reserve(pairs_.size());
    for (const auto& pair : pairs_) out.push_back(pair.second);
    return out;
}

int64_t defaultPort(std::string_view protocol) {
    if (protocol == "http") return 80;
    if (protocol == "https") return 443;
    return 0;
}

ParsedURL ParsedURL::parse(std::string_view text) {
    ParsedURL url;
    url.href.assign(text);
    std::string_view s = text;

    // The fragment is cut first, so a "?" inside it stays part of it.
    if (size_t hashAt = s.find('#'); hashAt != std::string_view::npos) {
        url.hash.assign(s.substr(hashAt));
        s = s.substr(0, hashAt);
    }
    if (size_t queryAt = s.find('?'); queryAt != std::string_view::npos) {
        url.search.assign(s.substr(queryAt));
        url.query.assign(s.substr(queryAt + 1));
        url.params = URLSearchParams::fromQuery(url.query);
        s = s.substr(0, queryAt);
    }
    if (size_t schemeEnd = s.find("://"); s.size() >= 3 && schemeEnd != std::string_view::npos) {
        url.protocol.assign(s.substr(0, schemeEnd));
        for (char& c : url.protocol) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        s = s.substr(schemeEnd + 3);

        std::string_view authority;
        if (size_t slash = s.find('/'); slash != std::string_view::npos) {
            authority = s.substr(0, slash);
            s = s.substr(slash);
        } else {
            authority = s;
            s = "/";
        }
        // User information ("user:pw@") is not part of the host, and a
        // bracketed IPv6 host ("[::1]:8080") holds colons of its own.
        if (size_t at = authority.rfind('@'); at != std::string_view::npos) {
            url.userInfo.assign(authority.substr(0, at));
            authority.remove_prefix(at + 1);
        }
        url.host.assign(authority);
        size_t close = !authority.empty() && authority.front() == '[' ? authority.find(']')
                                                                      : std::string_view::npos;
        if (close != std::string_view::npos) {
            url.hostname.assign(authority.substr(0, close + 1));
            std::string_view rest = authority.substr(close + 1);
            url.port = !rest.empty() && rest.front() == ':' ? parsePort(rest.substr(1))
                                                            : defaultPort(url.protocol);
        } else if (size_t colon = authority.find(':'); colon != std::string_view::npos) {
            url.hostname.assign(authority.substr(0, colon));
            url.port = parsePort(authority.substr(colon + 1));
        } else {
            url.hostname.assign(authority);
            url.port = defaultPort(url.protocol);
        }
    }

    if (s.empty()) {
        url.pathname = "/";
    } else if (s.front() != '/') {
        url.pathname = "/";
        url.pathname.append(s);
    } else {
        url.pathname.assign(s);
    }
    return url;
}

std::string ParsedURL::toString() const {
    std::string out;
    if (!protocol.empty()) {
        out += protocol;
        out += "://";
    }
    if (!hostname.empty()) {
        if (!userInfo.empty()) out += userInfo + "@";
        out += hostname;
        if (port > 0 && port != defaultPort(protocol)) {
            out.push_back(':');
            out += std::to_string(port);
        }
    }
    out += pathname;
    if (!query.empty()) {
        out.push_back('?');
        out += query;
    } else if (!params.empty()) {
        out.push_back('?');
        out += params.toString();
    }
    if (!hash.empty()) {
        if (hash.front() != '#') out.push_back('#');
        out += hash;
    }
    return out;
}

} // namespace zarn::stdlib
