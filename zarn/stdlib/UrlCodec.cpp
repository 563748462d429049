#include "zarn/stdlib/UrlCodec.h"

#include <array>

namespace zarn::stdlib {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// One table per encoding: true where the byte is copied as it is.
using KeepTable = std::array<bool, 256>;

KeepTable makeKeepTable(std::string_view extra) {
    KeepTable table{};
    for (int c = 0; c < 256; ++c) table[c] = isUnreserved(static_cast<unsigned char>(c));
    for (char c : extra) table[static_cast<unsigned char>(c)] = true;
    return table;
}

std::string encodeWith(std::string_view text, const KeepTable& keep) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (keep[c]) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHexDigits[c >> 4]);
            out.push_back(kHexDigits[c & 0x0F]);
        }
    }
    return out;
}

} // namespace

std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            int high = hexValue(static_cast<unsigned char>(text[i + 1]));
            int low = hexValue(static_cast<unsigned char>(text[i + 2]));
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(c == '+' ? ' ' : c);
    }
    return out;
}

std::string percentEncode(std::string_view text) {
    static const KeepTable keep = makeKeepTable("");
    return encodeWith(text, keep);
}

std::string encodeURIText(std::string_view text) {
    static const KeepTable keep = makeKeepTable("#$&+,/:;=?@");
    return encodeWith(text, keep);
}

void appendQueryPairs(std::string_view query, std::vector<QueryPair>& out) {
    if (!query.empty() && query.front() == '?') query.remove_prefix(1);
    while (!query.empty()) {
        size_t amp = query.find('&');
        std::string_view piece = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        if (piece.empty()) continue;
        size_t eq = piece.find('=');
        if (eq == std::string_view::npos) {
            out.emplace_back(percentDecode(piece), std::string{});
        } else {
            out.emplace_back(percentDecode(piece.substr(0, eq)),
                             percentDecode(piece.substr(eq + 1)));
        }
    }
}

std::vector<QueryPair> parseQuery(std::string_view query) {
    std::vector<QueryPair> pairs;
    appendQueryPairs(query, pairs);
    return pairs;
}

std::string serializeQuery(const std::vector<QueryPair>& pairs) {
    std::string out;
    bool first = true;
    for (const auto& [key, value] : pairs) {
        if (!first) out.push_back('&');
        first = false;
        out += percentEncode(key);
        out.push_back('=');
        out += percentEncode(value);
    }
    return out;
}

} // namespace zarn::stdlib
