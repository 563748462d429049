// The records behind the url module's URL and URLSearchParams objects:
// parsing a URL text into its parts and rebuilding it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zarn/stdlib/UrlCodec.h"

namespace zarn::stdlib {

// An ordered list of (key, value) pairs. Keys may repeat and compare byte for
// byte.
class URLSearchParams {
public:
    URLSearchParams() = default;
    explicit URLSearchParams(std::vector<QueryPair> pairs) : pairs_(std::move(pairs)) {}

    // Parses a query string; a leading "?" is allowed.
    static URLSearchParams fromQuery(std::string_view query) {
        return URLSearchParams(parseQuery(query));
    }

    // Value of the first pair with this key, or "" when there is none.
    const std::string& get(std::string_view key) const;
    bool has(std::string_view key) const;
    // Replaces the value of the first pair with this key, else appends the pair.
    void set(std::string_view key, std::string_view value);
    // Removes every pair with this key.
    void remove(std::string_view key);
    std::vector<std::string> keys() const;
    std::vector<std::string> values() const;
    std::string toString() const { return serializeQuery(pairs_); }

    const std::vector<QueryPair>& pairs() const { return pairs_; }
    bool empty() const { return pairs_.empty(); }

private:
    std::vector<QueryPair> pairs_;
};

struct ParsedURL {
    std::string href;     // the input exactly as given
    std::string protocol; // scheme, lower-cased; empty without "://"
    std::string host;     // authority, port included
    std::string hostname; // authority without user information and port
    std::string userInfo; // "user:pw" before an "@" of the authority, kept for toString
    int64_t port = 0;     // explicit, else the scheme's default, else 0
    std::string pathname = "/";
    std::string search; // "?" and the query, or empty
    std::string query;  // the query without "?"
    std::string hash;   // "#" and the fragment, or empty
    URLSearchParams params;

    static ParsedURL parse(std::string_view text);

    // pathname followed by search.
    std::string path() const { return pathname + search; }

    // Rebuilds the URL: scheme, host (the port only when it is not the scheme's
    // default), path, the query as parsed or else the serialised parameters, and
    // the fragment.
    std::string toString() const;
};

// 80 for "http", 443 for "https", 0 for anything else.
int64_t defaultPort(std::string_view protocol);

} // namespace zarn::stdlib
