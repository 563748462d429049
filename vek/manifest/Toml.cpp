#include "vek/manifest/Toml.h"

#include "vek/base/Json.h"
#include "vek/base/Utf8.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace vek {
namespace {

constexpr std::string_view kBlank = " \t\r\n";
// Nesting beyond these depths is refused so that no document can exhaust the
// stack, neither while parsing nor while the value is destroyed.
constexpr int kMaxValueDepth = 64;
constexpr std::size_t kMaxHeaderParts = 64;

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlank);
    return text.substr(first, last - first + 1);
}

// Index just past the closing quote of the string that opens at `open`, or
// npos when the string is not closed. A backslash inside a string always
// takes the next character, so "\\" followed by a quote closes the string.
std::size_t skipString(std::string_view text, std::size_t open) {
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

std::string_view stripComment(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            const auto end = skipString(line, i);
            if (end == std::string_view::npos) return line;
            i = end - 1;
        } else if (line[i] == '#') {
            return line.substr(0, i);
        }
    }
    return line;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the hexadecimal code point of a \u or \U escape starting at `pos`;
// nothing when the digits or the code point are not valid.
std::optional<std::uint32_t> unicodeEscape(std::string_view body, std::size_t pos,
                                           std::size_t digits) {
    if (pos + digits > body.size()) return std::nullopt;
    std::uint32_t cp = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const int d = hexDigit(body[pos + i]);
        if (d < 0) return std::nullopt;
        cp = cp * 16 + static_cast<std::uint32_t>(d);
    }
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return cp;
}

// The characters between the quotes of a basic string, with escapes decoded.
std::string decodeString(std::string_view body) {
    std::string out;
    out.reserve(body.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\') {
            out += body[i];
            continue;
        }
        if (++i == body.size()) break; // a trailing backslash is dropped
        switch (const char c = body[i]) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u':
        case 'U': {
            const std::size_t digits = c == 'u' ? 4 : 8;
            if (const auto cp = unicodeEscape(body, i + 1, digits)) {
                appendUtf8(out, *cp);
                i += digits;
            } else {
                out += c;
            }
            break;
        }
        default: out += c; break; // \" \\ and any other character stand for themselves
        }
    }
    return out;
}

// Splits at commas outside strings; with `nested`, also outside brackets and
// braces. Pieces are trimmed; empty pieces are dropped.
std::vector<std::string_view> splitTopLevel(std::string_view text, bool nested) {
    std::vector<std::string_view> pieces;
    int depth = 0;
    std::size_t start = 0;
    auto flush = [&](std::size_t end) {
        const auto piece = trim(text.substr(start, end - start));
        if (!piece.empty()) pieces.push_back(piece);
        start = end + 1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            const auto end = skipString(text, i);
            if (end == std::string_view::npos) break;
            i = end - 1;
        } else if (nested && (c == '[' || c == '{')) {
            ++depth;
        } else if (nested && (c == ']' || c == '}')) {
            --depth;
        } else if (c == ',' && depth == 0) {
            flush(i);
        }
    }
    flush(text.size());
    return pieces;
}

// Splits "key = value" at its "=". A key written in double quotes may itself
// hold "=" and is unquoted; any other key is taken as it stands.
bool splitAssignment(std::string_view line, std::string& key, std::string_view& value) {
    std::size_t eq = std::string_view::npos;
    if (!line.empty() && line.front() == '"') {
        const auto end = skipString(line, 0);
        if (end != std::string_view::npos) {
            const auto next = line.find_first_not_of(kBlank, end);
            if (next != std::string_view::npos && line[next] == '=') {
                key = decodeString(line.substr(1, end - 2));
                value = trim(line.substr(next + 1));
                return true;
            }
        }
    }
    eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = std::string(trim(line.substr(0, eq)));
    value = trim(line.substr(eq + 1));
    return true;
}

std::optional<TomlValue> parseValueAt(std::string_view text, int depth) {
    text = trim(text);
    if (text.empty() || depth > kMaxValueDepth) return std::nullopt;

    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return TomlValue{decodeString(text.substr(1, text.size() - 2))};
    }
    if (text == "true") return TomlValue{true};
    if (text == "false") return TomlValue{false};

    if (text.front() == '[' && text.back() == ']') {
        TomlArray array;
        for (const auto piece : splitTopLevel(text.substr(1, text.size() - 2), true)) {
            auto element = parseValueAt(piece, depth + 1);
            if (!element) return std::nullopt;
            array.push_back(std::move(*element));
        }
        return TomlValue{std::move(array)};
    }

    if (text.front() == '{' && text.back() == '}') {
        TomlTable table;
        for (const auto piece : splitTopLevel(text.substr(1, text.size() - 2), false)) {
            std::string key;
            std::string_view valueText;
            if (!splitAssignment(piece, key, valueText)) return std::nullopt;
            auto value = parseValueAt(valueText, depth + 1);
            if (!value) return std::nullopt;
            table.insert_or_assign(std::move(key), std::move(*value));
        }
        return TomlValue{std::move(table)};
    }

    // A decimal integer with at most one sign.
    std::string_view digits = text;
    if (digits.front() == '+') {
        digits.remove_prefix(1);
        if (!digits.empty() && digits.front() == '-') return std::nullopt;
    }
    std::int64_t number = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return TomlValue{number};
}

std::string linePrefix(std::size_t lineNumber) {
    return "Line " + std::to_string(lineNumber) + ": ";
}

bool fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

// Applies one non-empty, comment-free, trimmed line to the document.
bool applyLine(TomlTable& root, TomlTable*& current, std::string_view line, std::size_t number,
               std::string* error) {
    if (line.size() >= 4 && line.substr(0, 2) == "[[" && line.substr(line.size() - 2) == "]]") {
        const std::string name(trim(line.substr(2, line.size() - 4)));
        auto [it, inserted] = root.try_emplace(name);
        if (inserted) it->second.data.emplace<TomlArray>();
        TomlArray* array = it->second.asArray();
        if (!array) return fail(error, linePrefix(number) + "Expected array of tables for " + name);
        current = &array->emplace_back().data.emplace<TomlTable>();
        return true;
    }

    if (line.front() == '[' && line.back() == ']') {
        const std::string_view inner = line.substr(1, line.size() - 2);
        TomlTable* table = &root;
        std::size_t parts = 0;
        std::size_t start = 0;
        while (start <= inner.size()) {
            const auto dot = std::min(inner.find('.', start), inner.size());
            const auto part = trim(inner.substr(start, dot - start));
            start = dot + 1;
            if (part.empty()) continue;
            if (++parts > kMaxHeaderParts) {
                return fail(error, linePrefix(number) +
                                       "Table header nests too deeply: " + std::string(line));
            }
            auto [it, inserted] = table->try_emplace(std::string(part));
            if (inserted) it->second.data.emplace<TomlTable>();
            table = it->second.asTable();
            if (!table) {
                return fail(error, linePrefix(number) + "Key '" + std::string(part) +
                                       "' already holds a value that is not a table");
            }
        }
        current = table;
        return true;
    }

    std::string key;
    std::string_view valueText;
    if (!splitAssignment(line, key, valueText)) {
        return fail(error, linePrefix(number) + "Expected '=' in statement: " + std::string(line));
    }
    auto value = parseValueAt(valueText, 0);
    if (!value) {
        return fail(error, linePrefix(number) + "Failed to parse value for key '" + key +
                               "': " + std::string(valueText));
    }
    current->insert_or_assign(std::move(key), std::move(*value));
    return true;
}

} // namespace

std::optional<TomlTable> parseText(std::string_view text, std::string* error) {
    TomlTable root;
    TomlTable* current = &root;
    std::size_t number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto newline = std::min(text.find('\n', start), text.size());
        const std::string_view raw = text.substr(start, newline - start);
        start = newline + 1;
        ++number;
        const std::string_view line = trim(stripComment(raw));
        if (line.empty()) continue;
        if (!applyLine(root, current, line, number, error)) return std::nullopt;
    }
    return root;
}

std::optional<TomlTable> parseFile(const std::filesystem::path& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return TomlTable{};
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return parseText(buffer.view(), error);
}

std::optional<TomlValue> parseValue(std::string_view text) { return parseValueAt(text, 0); }

const TomlValue* find(const TomlTable& table, std::string_view key) {
    const auto it = table.find(key);
    return it == table.end() ? nullptr : &it->second;
}

// JSON strings and TOML basic strings share their escapes, so one writer
// serves both.
std::string tomlQuote(std::string_view text) { return jsonQuote(text); }

std::string tomlKey(std::string_view key) {
    bool bare = !key.empty();
    for (const char c : key) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        bare = bare && ok;
    }
    return bare ? std::string(key) : tomlQuote(key);
}

} // namespace vek
