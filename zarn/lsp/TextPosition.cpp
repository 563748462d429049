#include "zarn/lsp/TextPosition.h"

#include <algorithm>

namespace zarn::lsp {

namespace {

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

size_t utf8SequenceLength(std::string_view text, size_t at) {
    auto lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 1;
    if (at + length > text.size()) return 1;
    for (size_t i = 1; i < length; ++i)
        if (!isContinuation(static_cast<unsigned char>(text[at + i]))) return 1;
    return length;
}

uint32_t utf16Units(std::string_view text, size_t at, size_t length) {
    uint32_t units = 0;
    size_t end = std::min(text.size(), at + length);
    while (at < end) {
        size_t sequence = utf8SequenceLength(text, at);
        // Four bytes are a character outside the basic plane: a surrogate pair.
        // A byte that starts no valid sequence shows as one replacement character.
        units += sequence == 4 ? 2 : 1;
        at += sequence;
    }
    return units;
}

LineIndex::LineIndex(std::string_view text) : text_(text) {
    starts_.push_back(0);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        if (text[i] == '\n' || text[i] == '\r') starts_.push_back(i + 1);
    }
}

size_t LineIndex::lineEnd(size_t line) const {
    if (line + 1 >= starts_.size()) return text_.size();
    size_t end = starts_[line + 1] - 1; // the break's last byte
    if (text_[end] == '\n' && end > starts_[line] && text_[end - 1] == '\r') --end;
    return end;
}

Position LineIndex::position(size_t offset) const {
    offset = std::min(offset, text_.size());
    size_t line = static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                                      starts_.begin()) -
                  1;
    size_t start = starts_[line];
    // Within a line break, or in the middle of a character: count to its start.
    size_t end = std::min(offset, lineEnd(line));
    uint32_t units = 0;
    for (size_t at = start; at < end;) {
        size_t sequence = utf8SequenceLength(text_, at);
        if (at + sequence > end) break;
        units += sequence == 4 ? 2 : 1;
        at += sequence;
    }
    return Position{static_cast<uint32_t>(line), units};
}

size_t LineIndex::offset(Position position) const {
    if (position.line >= starts_.size()) return text_.size();
    size_t at = starts_[position.line];
    size_t end = lineEnd(position.line);
    uint32_t units = 0;
    while (at < end && units < position.character) {
        size_t sequence = utf8SequenceLength(text_, at);
        units += sequence == 4 ? 2 : 1;
        at += sequence;
    }
    return at;
}

std::string uriToPath(std::string_view uri) {
    constexpr std::string_view scheme = "file://";
    if (uri.substr(0, scheme.size()) != scheme) return std::string(uri);
    std::string_view rest = uri.substr(scheme.size());
    // "file://host/path": only the local host (empty or "localhost") is meaningful here.
    size_t slash = rest.find('/');
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    std::string path;
    path.reserve(rest.size());
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && hexValue(rest[i + 1]) >= 0 &&
            hexValue(rest[i + 2]) >= 0) {
            path += static_cast<char>(hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2]));
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

std::string pathToUri(std::string_view path) {
    static const char* const hex = "0123456789ABCDEF";
    std::string uri = "file://";
    for (char c : path) {
        auto byte = static_cast<unsigned char>(c);
        bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                     (byte >= '0' && byte <= '9') || c == '/' || c == '-' || c == '.' || c == '_' ||
                     c == '~';
        if (plain) {
            uri += c;
        } else {
            uri += '%';
            uri += hex[byte >> 4];
            uri += hex[byte & 15];
        }
    }
    return uri;
}

} // namespace zarn::lsp
