#include "vek/base/Json.h"

#include "vek/base/Utf8.h"

namespace vek {
namespace {

constexpr int kMaxDepth = 64;

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r')) {
            ++pos_;
        }
    }

    bool consume(char c) {
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool peek(char c) {
        skipSpace();
        return pos_ < text_.size() && text_[pos_] == c;
    }

    bool atEnd() {
        skipSpace();
        return pos_ == text_.size();
    }

    std::optional<std::string> string() {
        if (!consume('"')) return std::nullopt;
        std::string out;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ == text_.size()) return std::nullopt;
            switch (const char e = text_[pos_++]) {
            case '"':
            case '\\':
            case '/': out += e; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                auto cp = hex4();
                if (!cp) return std::nullopt;
                if (*cp >= 0xD800 && *cp <= 0xDBFF) { // a surrogate pair
                    if (pos_ + 2 > text_.size() || text_[pos_] != '\\' || text_[pos_ + 1] != 'u') {
                        return std::nullopt;
                    }
                    pos_ += 2;
                    const auto low = hex4();
                    if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
                    cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
                } else if (*cp >= 0xDC00 && *cp <= 0xDFFF) {
                    return std::nullopt;
                }
                appendUtf8(out, *cp);
                break;
            }
            default: return std::nullopt;
            }
        }
        return std::nullopt;
    }

    // Skips any value without keeping it.
    bool skipValue(int depth) {
        if (depth > kMaxDepth) return false;
        skipSpace();
        if (pos_ == text_.size()) return false;
        const char c = text_[pos_];
        if (c == '"') return string().has_value();
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++pos_;
            if (consume(close)) return true;
            do {
                if (c == '{' && (!string() || !consume(':'))) return false;
                if (!skipValue(depth + 1)) return false;
            } while (consume(','));
            return consume(close);
        }
        // A number, true, false or null: a run of their characters.
        const std::size_t start = pos_;
        while (pos_ < text_.size() &&
               std::string_view("+-.0123456789eEtruefalsn").find(text_[pos_]) !=
                   std::string_view::npos) {
            ++pos_;
        }
        return pos_ > start;
    }

private:
    std::optional<unsigned> hex4() {
        if (pos_ + 4 > text_.size()) return std::nullopt;
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[pos_++];
            value <<= 4;
            if (h >= '0' && h <= '9') value |= static_cast<unsigned>(h - '0');
            else if (h >= 'a' && h <= 'f') value |= static_cast<unsigned>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F') value |= static_cast<unsigned>(h - 'A' + 10);
            else return std::nullopt;
        }
        return value;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

} // namespace

// Escapes quotes, backslashes and control characters (\b \f \n \r \t, and
// \u00XX for the others).
std::string jsonQuote(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::optional<std::map<std::string, std::string>> readStringMembers(std::string_view text) {
    Reader reader(text);
    std::map<std::string, std::string> members;
    if (!reader.consume('{')) return std::nullopt;
    if (!reader.consume('}')) {
        do {
            auto name = reader.string();
            if (!name || !reader.consume(':')) return std::nullopt;
            if (reader.peek('"')) {
                auto value = reader.string();
                if (!value) return std::nullopt;
                members.try_emplace(std::move(*name), std::move(*value));
            } else if (!reader.skipValue(1)) {
                return std::nullopt;
            }
        } while (reader.consume(','));
        if (!reader.consume('}')) return std::nullopt;
    }
    if (!reader.atEnd()) return std::nullopt;
    return members;
}

} // namespace vek
