// String literals: plain ones are made once per literal and shared (strings
// never change); ones with placeholders are expanded at every evaluation. The
// expression inside a placeholder is parsed once per literal and position.
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"
#include "zarn/runtime/Interpreter.h"

#include <unordered_map>
#include <vector>

namespace zarn {

namespace {

struct Placeholder {
    size_t end = std::string::npos; // index of the matching "}", npos when there is none
    ExprPtr expression;             // empty: the placeholder stays unexpanded
    NameId bareName = kNoName;      // set when the expression is a bare name
};

struct LiteralCache {
    bool plain = false;
    Value text; // the shared string of a plain literal (also retained)
    std::unordered_map<size_t, Placeholder> placeholders;
    bool bracesMatched = false;
    std::unordered_map<size_t, size_t> closeOf; // "{" index -> its matching "}" index
};

// Pairs every "{" of the text with its matching "}" (nested braces counted) in
// one pass; a "{" without a match has no entry. Scanning forward from each "{"
// instead would take quadratic time on a long run of unmatched braces.
void matchBraces(const std::string& text, std::unordered_map<size_t, size_t>& closeOf) {
    std::vector<size_t> open;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{') {
            open.push_back(i);
        } else if (text[i] == '}' && !open.empty()) {
            closeOf.emplace(open.back(), i);
            open.pop_back();
        }
    }
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

Value Interpreter::stringLiteral(LiteralExpr& literal) {
    if (literal.cache.owner != this || !literal.cache.data) {
        auto cache = std::make_shared<LiteralCache>();
        cache->plain = literal.text.find_first_of("{\\") == std::string::npos;
        if (cache->plain) {
            cache->text = makeString(literal.text);
            retain(cache->text);
        }
        literal.cache.owner = this;
        literal.cache.data = std::move(cache);
    }
    auto* cache = static_cast<LiteralCache*>(literal.cache.data.get());
    if (cache->plain) return cache->text;
    return makeString(interpolate(literal));
}

std::string Interpreter::interpolate(const LiteralExpr& literal) {
    const std::string& text = literal.text;
    if (text.find_first_of("{\\") == std::string::npos) return text;
    LiteralCache* cache = literal.cache.owner == this
                              ? static_cast<LiteralCache*>(literal.cache.data.get())
                              : nullptr;
    LiteralCache scratch;
    if (cache == nullptr) cache = &scratch;
    if (!cache->bracesMatched) {
        matchBraces(text, cache->closeOf);
        cache->bracesMatched = true;
    }

    auto placeholderAt = [&](size_t open) -> const Placeholder& {
        auto found = cache->placeholders.find(open);
        if (found != cache->placeholders.end()) return found->second;
        Placeholder placeholder;
        if (auto close = cache->closeOf.find(open); close != cache->closeOf.end())
            placeholder.end = close->second;
        if (placeholder.end != std::string::npos) {
            size_t begin = open + 1, end = placeholder.end;
            while (begin < end && isBlank(text[begin])) ++begin;
            while (end > begin && isBlank(text[end - 1])) --end;
            if (begin < end) {
                // Parsed with diagnostics of its own: nothing of it is reported.
                DiagnosticEngine scratchDiagnostics;
                Lexer lexer(text.substr(begin, end - begin), "<interpolation>", scratchDiagnostics);
                std::vector<Token> tokens = lexer.tokenize();
                if (!scratchDiagnostics.hasErrors()) {
                    Parser parser(std::move(tokens), scratchDiagnostics);
                    ExprPtr expression = parser.parseExpression();
                    if (expression && !scratchDiagnostics.hasErrors()) {
                        if (auto* name = dynamic_cast<IdentifierExpr*>(expression.get()))
                            placeholder.bareName = symbols_.intern(name->name);
                        placeholder.expression = std::move(expression);
                    }
                }
            }
        }
        return cache->placeholders.emplace(open, std::move(placeholder)).first->second;
    };

    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == '\\' && (next == '{' || next == '}')) {
            out += next;
            i += 2;
        } else if ((c == '{' && next == '{') || (c == '}' && next == '}')) {
            out += c;
            i += 2;
        } else if (c == '{') {
            const Placeholder& placeholder = placeholderAt(i);
            if (placeholder.expression &&
                (placeholder.bareName == kNoName || current_->contains(placeholder.bareName))) {
                // The expression tree lives in the cache, which outlives this call.
                Value value = evaluate(placeholder.expression.get());
                appendText(out, value);
                i = placeholder.end + 1;
            } else {
                out += '{'; // unexpanded: scanning goes on right after the brace
                ++i;
            }
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

} // namespace zarn
