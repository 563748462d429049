// String literals: plain ones are made once per literal and shared (strings
// never change); ones with placeholders are expanded at every evaluation.
//
// A literal with placeholders is compiled once into segments: the text from
// one position up to the next placeholder (escapes already applied), then that
// placeholder. Expanding is then a run of appends. A placeholder naming a
// variable that is not in scope stays unexpanded: its "{" is written and the
// text is read again from right after the brace, which is a segment of its own,
// compiled the first time it is needed. A function laid out in a frame has
// all of its literals' segments compiled before its first call, so that names
// in placeholders are bound to its places like any other use.
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"
#include "zarn/runtime/Interpreter.h"

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zarn {

namespace {

constexpr uint32_t kNotBuilt = UINT32_MAX;

struct Segment {
    std::string text; // written first
    // The placeholder after the text, which owns its tree; empty at the end
    // of the literal.
    std::shared_ptr<Expression> expression;
    bool bareName = false;         // the expression is a bare name
    uint32_t resume = 0;           // text position right after the placeholder's "}"
    uint32_t unexpanded = 0;       // text position right after its "{"
    uint32_t next = kNotBuilt;     // segment after an expanded placeholder
    uint32_t fallback = kNotBuilt; // segment after a bare name not in scope
};

struct LiteralCache {
    bool plain = false;
    Value text;                    // the shared string of a plain literal (also retained)
    std::vector<Segment> segments; // segments[0] starts at the beginning of the text
    std::vector<uint32_t> closeOf; // "{" index -> its matching "}" index, or kNotBuilt
    // Text position -> the segment that starts there. Paths through expanded
    // and unexpanded placeholders meet again, and share their segments.
    std::unordered_map<uint32_t, uint32_t> segmentAt;
};

// Compiling every segment of a literal ahead stops here; such a literal is
// left to be compiled as it is expanded.
constexpr size_t kMostAheadSegments = 256;

// Pairs every "{" of the text with its matching "}" (nested braces counted) in
// one pass. Scanning forward from each "{" instead would take quadratic time on
// a long run of unmatched braces.
std::vector<uint32_t> matchBraces(std::string_view text) {
    std::vector<uint32_t> closeOf(text.size(), kNotBuilt);
    std::vector<uint32_t> open;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{') {
            open.push_back(static_cast<uint32_t>(i));
        } else if (text[i] == '}' && !open.empty()) {
            closeOf[open.back()] = static_cast<uint32_t>(i);
            open.pop_back();
        }
    }
    return closeOf;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The expression between the braces at open and close, or empty when it is
// blank or does not parse. Parsed with diagnostics of its own: nothing of it
// is reported.
std::shared_ptr<Expression> parsePlaceholder(std::string_view text, size_t open, size_t close) {
    size_t begin = open + 1, end = close;
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    if (begin == end) return nullptr;
    DiagnosticEngine scratchDiagnostics;
    Lexer lexer(std::string(text.substr(begin, end - begin)), "<interpolation>",
                scratchDiagnostics);
    std::vector<Token> tokens = lexer.tokenize();
    if (scratchDiagnostics.hasErrors()) return nullptr;
    Parser parser(std::move(tokens), scratchDiagnostics);
    std::shared_ptr<Expression> expression = parser.parseExpression();
    if (!expression || scratchDiagnostics.hasErrors()) return nullptr;
    return expression;
}

// Reads the text from position start up to the first placeholder that parses
// (or the end) into a new segment and returns its index. A "{" without a
// match or with nothing valid inside is plain text.
uint32_t buildSegment(LiteralCache& cache, std::string_view text, size_t start) {
    auto [known, fresh] = cache.segmentAt.try_emplace(static_cast<uint32_t>(start),
                                                      static_cast<uint32_t>(cache.segments.size()));
    if (!fresh) return known->second;
    Segment segment;
    size_t i = start;
    while (i < text.size()) {
        char c = text[i];
        char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == '\\' && (next == '{' || next == '}')) {
            segment.text += next;
            i += 2;
        } else if ((c == '{' && next == '{') || (c == '}' && next == '}')) {
            segment.text += c;
            i += 2;
        } else if (c == '{') {
            uint32_t close = cache.closeOf[i];
            std::shared_ptr<Expression> expression =
                close == kNotBuilt ? nullptr : parsePlaceholder(text, i, close);
            if (expression) {
                segment.bareName = dynamic_cast<IdentifierExpr*>(expression.get()) != nullptr;
                segment.expression = std::move(expression);
                segment.resume = close + 1;
                segment.unexpanded = static_cast<uint32_t>(i + 1);
                break;
            }
            segment.text += '{';
            ++i;
        } else {
            segment.text += c;
            ++i;
        }
    }
    cache.segments.push_back(std::move(segment));
    return static_cast<uint32_t>(cache.segments.size() - 1);
}

} // namespace

void* Interpreter::literalCache(LiteralExpr& literal) {
    if (literal.cacheOwner != runId_) {
        auto cache = std::make_unique<LiteralCache>();
        cache->plain = literal.text.find_first_of("{\\") == std::string::npos;
        if (cache->plain) {
            cache->text = makeString(literal.text);
            retain(cache->text);
        } else {
            cache->closeOf = matchBraces(literal.text);
            buildSegment(*cache, literal.text, 0);
        }
        literal.cacheOwner = runId_;
        literal.stringCache = cache.get();
        stringLiteralCaches_.push_back(std::shared_ptr<void>(std::move(cache)));
    }
    return literal.stringCache;
}

bool Interpreter::placeholdersOf(LiteralExpr& literal, std::vector<Expression*>& expressions) {
    auto* cache = static_cast<LiteralCache*>(literalCache(literal));
    if (cache->plain) return true;
    // Every segment reachable from the first, whether a bare name is found or
    // not; new ones are appended, so the loop reaches them too.
    for (size_t index = 0; index < cache->segments.size(); ++index) {
        if (cache->segments.size() > kMostAheadSegments) return false;
        if (cache->segments[index].expression == nullptr) continue;
        const uint32_t next = buildSegment(*cache, literal.text, cache->segments[index].resume);
        cache->segments[index].next = next;
        if (cache->segments[index].bareName) {
            const uint32_t fallback =
                buildSegment(*cache, literal.text, cache->segments[index].unexpanded);
            cache->segments[index].fallback = fallback;
        }
        expressions.push_back(cache->segments[index].expression.get());
    }
    return true;
}

Value Interpreter::stringLiteral(LiteralExpr& literal) {
    // Made already for this run, but for a literal's first evaluation.
    auto* cache = static_cast<LiteralCache*>(literal.cacheOwner == runId_ ? literal.stringCache
                                                                          : literalCache(literal));
    if (cache->plain) return cache->text;
    // The expansion is written into a buffer kept between evaluations; an
    // expansion nested in a placeholder finds it taken and uses its own.
    std::string buffer = std::move(expansionBuffer_);
    buffer.clear();
    interpolate(literal, buffer);
    Value result = makeString(buffer);
    if (buffer.capacity() <= kKeptExpansionBuffer) expansionBuffer_ = std::move(buffer);
    return result;
}

void Interpreter::interpolate(const LiteralExpr& literal, std::string& out) {
    // The cache was made by stringLiteral; it outlives this call, as do the
    // expression trees it holds. Placeholders may run code that expands this
    // same literal and adds segments, so segments are reached by index only.
    auto* cache = static_cast<LiteralCache*>(literal.stringCache);
    uint32_t index = 0;
    while (true) {
        const Segment& segment = cache->segments[index];
        out += segment.text;
        Expression* expression = segment.expression.get();
        if (expression == nullptr) break;
        uint32_t follow;
        if (segment.bareName) {
            // The placeholder's tree belongs to this interpreter's cache.
            auto* name = static_cast<IdentifierExpr*>(expression);
            Value* slot = variableOf(*name);
            if (slot == nullptr) {
                out += '{';
                follow = segment.fallback;
                if (follow == kNotBuilt) {
                    follow = buildSegment(*cache, literal.text, segment.unexpanded);
                    cache->segments[index].fallback = follow;
                }
                index = follow;
                continue;
            }
            appendText(out, signal_ == ControlSignal::None ? *slot : Value());
        } else {
            // Calls in the placeholder are placed at the literal: the
            // placeholder's own locations count from the start of its text.
            interpolations_.push_back(&literal.location);
            Value value = evaluate(expression);
            interpolations_.pop_back();
            appendText(out, value);
        }
        const Segment& done = cache->segments[index];
        follow = done.next;
        if (follow == kNotBuilt) {
            follow = buildSegment(*cache, literal.text, done.resume);
            cache->segments[index].next = follow;
        }
        index = follow;
    }
}

} // namespace zarn
