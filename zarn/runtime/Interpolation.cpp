// String literals: plain ones are made once per literal and shared (strings
// never change); ones with placeholders are expanded at every evaluation. The
// expression inside a placeholder is parsed once per literal and position.
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"
#include "zarn/runtime/Interpreter.h"

#include <unordered_map>

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
};

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

    auto placeholderAt = [&](size_t open) -> const Placeholder& {
        auto found = cache->placeholders.find(open);
        if (found != cache->placeholders.end()) return found->second;
        Placeholder placeholder;
        int depth = 0;
        for (size_t j = open; j < text.size(); ++j) {
            if (text[j] == '{') ++depth;
            else if (text[j] == '}' && --depth == 0) {
                placeholder.end = j;
                break;
            }
        }
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
