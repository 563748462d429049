#include "zarn/tools/Formatter.h"

#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

namespace zarn {

namespace {

using format_detail::kLineWidth;

constexpr size_t kNone = std::numeric_limits<size_t>::max();
// A width that never fits: the span holds a line break or is too long.
constexpr size_t kTooWide = std::numeric_limits<size_t>::max() / 4;
// How far the scan for the generic arguments of a call looks ahead. Longer
// runs only lose the tight spacing of the angle brackets.
constexpr size_t kGenericScanLimit = 4096;
// A list this narrow stays on one line even where the line is too long.
constexpr size_t kShortList = 24;

struct Comment {
    std::string_view text;
    bool ownLine = false;    // a line break separates it from what comes before
    bool breakAfter = false; // a line break follows it
    bool blankBefore = false;
};

// What an opening bracket starts.
enum class Opens { None, Group, Call, Params, Array, Index, TypeBrackets, Block };

// The construct whose body a brace opens.
enum class Header { None, If, Else, Loop, Do, Switch, Function, Class, Lambda, Bare };

// One token of the source with the comments and line breaks in front of it,
// and what the layout needs to know about its place in the program.
struct Item {
    TokenType type = TokenType::EndOfFile;
    std::string_view text;         // the token exactly as written
    std::vector<Comment> comments; // the comments between the previous token and this one
    bool breakBefore = false;      // a line break after the last comment (or token)
    bool blankBefore = false;      // ... and an empty line
    bool newlineBefore = false;    // the lexer ended a statement in front of it

    size_t match = kNone; // the partner of a bracket
    Opens opens = Opens::None;
    Header header = Header::None; // braces: the construct of the block
    bool statementStart = false;
    bool headerJoin = false; // `{`, `else`, the `while` of a do loop: stays on the line before
    bool unary = false;      // a prefix operator
    bool postfix = false;
    bool typePart = false; // part of a type name: no spaces around < > [ ]
    bool useName = false;  // part of the module name of a `use`: no spaces
    bool caseColon = false;
};

bool isOpener(TokenType type) {
    return type == TokenType::LeftParen || type == TokenType::LeftBracket ||
           type == TokenType::LeftBrace;
}

bool isCloser(TokenType type) {
    return type == TokenType::RightParen || type == TokenType::RightBracket ||
           type == TokenType::RightBrace;
}

TokenType closerOf(TokenType opener) {
    switch (opener) {
    case TokenType::LeftParen: return TokenType::RightParen;
    case TokenType::LeftBracket: return TokenType::RightBracket;
    default: return TokenType::RightBrace;
    }
}

// Display width: UTF-8 continuation bytes take no column of their own.
size_t widthOf(std::string_view text) {
    size_t width = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++width;
    return width;
}

std::string_view trimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// Splits the text between two tokens into its comments and line breaks. The
// lexer accepted the text, so the gap holds only blanks, line breaks and the
// three comment forms.
void scanGap(std::string_view gap, bool atFileStart, Item& item) {
    size_t breaks = 0;
    size_t pos = 0;
    while (pos < gap.size()) {
        char c = gap[pos];
        bool twoSlashes = c == '/' && pos + 1 < gap.size() && gap[pos + 1] == '/';
        bool block = c == '/' && pos + 1 < gap.size() && gap[pos + 1] == '*';
        if (c == '\n') ++breaks;
        if (c != '!' && !twoSlashes && !block) {
            ++pos;
            continue;
        }
        size_t end = gap.size();
        if (block) {
            size_t close = gap.find("*/", pos + 2);
            if (close != std::string_view::npos) end = close + 2;
        } else {
            end = std::min(gap.find('\n', pos), gap.size());
        }
        if (!item.comments.empty() && breaks > 0) item.comments.back().breakAfter = true;
        Comment comment;
        std::string_view text = gap.substr(pos, end - pos);
        comment.text = block ? text : trimRight(text);
        comment.ownLine = breaks > 0 || (atFileStart && item.comments.empty());
        comment.blankBefore = breaks > 1;
        comment.breakAfter = !block;
        item.comments.push_back(comment);
        breaks = 0;
        pos = end;
    }
    if (!item.comments.empty() && breaks > 0) item.comments.back().breakAfter = true;
    item.breakBefore = breaks > 0;
    item.blankBefore = breaks > 1;
}

// The tokens without the lexer's Newline tokens, each with its gap, ending
// with the end-of-file token (whose gap holds the comments at the end).
std::vector<Item> buildItems(std::string_view text, const std::vector<Token>& tokens) {
    std::vector<Item> items;
    items.reserve(tokens.size());
    size_t end = 0;
    bool newline = false;
    for (const Token& token : tokens) {
        if (token.type == TokenType::Newline) {
            newline = true;
            continue;
        }
        Item item;
        item.type = token.type;
        size_t offset = std::min<size_t>(token.location.offset, text.size());
        size_t length = token.type == TokenType::EndOfFile
                            ? 0
                            : std::min<size_t>(token.location.length, text.size() - offset);
        if (offset >= end) scanGap(text.substr(end, offset - end), items.empty(), item);
        item.text = text.substr(offset, length);
        item.newlineBefore = newline;
        newline = false;
        end = std::max(end, offset + length);
        items.push_back(std::move(item));
        if (token.type == TokenType::EndOfFile) break;
    }
    if (items.empty() || items.back().type != TokenType::EndOfFile) items.emplace_back();
    return items;
}

// After this token, a `-` is a subtraction and a `++` a postfix increment.
bool endsOperand(const Item& item) {
    switch (item.type) {
    case TokenType::IntegerLiteral:
    case TokenType::FloatLiteral:
    case TokenType::StringLiteral:
    case TokenType::True:
    case TokenType::False:
    case TokenType::Null:
    case TokenType::Identifier:
    case TokenType::RightParen:
    case TokenType::RightBracket: return true;
    case TokenType::PlusPlus:
    case TokenType::MinusMinus: return item.postfix;
    case TokenType::RightBrace: return item.header == Header::Lambda;
    default: return false;
    }
}

// Works out, in one pass, the role of every token the way the parser sees it:
// brackets and what they open, statement starts, block headers, type names,
// prefix and postfix operators. Returns false when the brackets do not pair up.
class Annotator {
public:
    explicit Annotator(std::vector<Item>& items) : items_(items) {}

    bool run() {
        contexts_.push_back({kNone, Header::Bare, {}, false});
        const size_t last = items_.size() - 1; // the end-of-file item
        for (size_t i = 0; i < last; ++i) {
            Item& item = items_[i];
            markStatementStart(i);
            markHeader(i);
            switch (item.type) {
            case TokenType::Minus:
            case TokenType::Plus: item.unary = !item.useName && !followsOperand(i); break;
            case TokenType::PlusPlus:
            case TokenType::MinusMinus:
                item.postfix = followsOperand(i);
                item.unary = !item.postfix;
                break;
            case TokenType::Colon: markColon(i); break;
            case TokenType::New: markNewGeneric(i); break;
            case TokenType::Identifier: markCallGeneric(i); break;
            default: break;
            }
            if (isOpener(item.type)) open(i);
            else if (isCloser(item.type) && !close(i)) return false;
        }
        return contexts_.size() == 1;
    }

private:
    struct Context {
        size_t open;                 // the opening bracket, kNone for the program
        Header header;               // None for parentheses and brackets
        std::vector<Header> pending; // headers whose brace is still to come
        bool wantCaseColon;
    };

    const Item* previous(size_t i) const { return i > 0 ? &items_[i - 1] : nullptr; }

    bool followsOperand(size_t i) const {
        const Item* prev = previous(i);
        return prev && !items_[i].newlineBefore && endsOperand(*prev);
    }

    void markStatementStart(size_t i) {
        Item& item = items_[i];
        Context& context = contexts_.back();
        if (context.header == Header::None || isCloser(item.type)) return;
        const Item* prev = previous(i);
        bool start = false;
        if (!prev || i - 1 == context.open || prev->type == TokenType::Semicolon || prev->caseColon)
            start = true;
        else if (prev->type == TokenType::RightBrace && prev->header != Header::Lambda)
            start = !((item.type == TokenType::Else && prev->header == Header::If) ||
                      (item.type == TokenType::While && prev->header == Header::Do));
        else start = item.newlineBefore;
        if (item.type == TokenType::LeftBrace && !context.pending.empty()) start = false;
        if (item.type == TokenType::If && prev && prev->type == TokenType::Else) start = false;
        item.statementStart = start;
    }

    void markHeader(size_t i) {
        Item& item = items_[i];
        Context& context = contexts_.back();
        const Item* prev = previous(i);
        if (item.statementStart) {
            context.wantCaseColon = false;
            switch (item.type) {
            case TokenType::If: context.pending.push_back(Header::If); break;
            case TokenType::While:
            case TokenType::For:
            case TokenType::Foreach: context.pending.push_back(Header::Loop); break;
            case TokenType::Do: context.pending.push_back(Header::Do); break;
            case TokenType::Switch: context.pending.push_back(Header::Switch); break;
            case TokenType::Class: context.pending.push_back(Header::Class); break;
            case TokenType::Function: context.pending.push_back(Header::Function); break;
            case TokenType::Use: markUseName(i); break;
            case TokenType::Case:
            case TokenType::Default:
                context.wantCaseColon = context.header == Header::Switch;
                break;
            default: break;
            }
            return;
        }
        bool afterBlock = prev && prev->type == TokenType::RightBrace;
        if (item.type == TokenType::Else && afterBlock) {
            item.headerJoin = true;
            if (i + 1 < items_.size() && items_[i + 1].type != TokenType::If)
                context.pending.push_back(Header::Else);
        } else if (item.type == TokenType::If && prev && prev->type == TokenType::Else) {
            item.headerJoin = true;
            context.pending.push_back(Header::If);
        } else if (item.type == TokenType::While && afterBlock && prev->header == Header::Do) {
            item.headerJoin = true;
        } else if (item.type == TokenType::Function) {
            context.pending.push_back(Header::Lambda);
        } else if (item.type == TokenType::LeftBrace && !context.pending.empty()) {
            item.headerJoin = true;
        }
    }

    void open(size_t i) {
        Item& item = items_[i];
        const Item* prev = previous(i);
        Context& context = contexts_.back();
        Header header = Header::None;
        if (item.type == TokenType::LeftBrace) {
            item.opens = Opens::Block;
            if (context.pending.empty()) {
                header = Header::Bare;
            } else {
                header = context.pending.back();
                context.pending.pop_back();
            }
            item.header = header;
        } else if (item.type == TokenType::LeftBracket) {
            item.opens = item.typePart       ? Opens::TypeBrackets
                         : followsOperand(i) ? Opens::Index
                                             : Opens::Array;
        } else {
            item.opens = Opens::Group;
            if (prev && !item.newlineBefore) {
                bool declaredName = prev->type == TokenType::Identifier && i >= 2 &&
                                    items_[i - 2].type == TokenType::Function;
                if (prev->type == TokenType::Function || declaredName) item.opens = Opens::Params;
                else if (endsOperand(*prev) || (prev->typePart && prev->type == TokenType::Greater))
                    item.opens = Opens::Call;
            }
        }
        contexts_.push_back({i, header, {}, false});
    }

    bool close(size_t i) {
        if (contexts_.size() < 2) return false;
        size_t open = contexts_.back().open;
        Item& opener = items_[open];
        Item& closer = items_[i];
        if (closerOf(opener.type) != closer.type) return false;
        opener.match = i;
        closer.match = open;
        closer.opens = opener.opens;
        closer.header = opener.header;
        closer.typePart = opener.typePart;
        contexts_.pop_back();
        return true;
    }

    // A colon that introduces a type: after a parameter name, after the name
    // of a `let`, after the parameter list of a function or lambda. A colon
    // that ends a case label lets the case's statements follow.
    void markColon(size_t i) {
        Context& context = contexts_.back();
        const Item* prev = previous(i);
        if (context.wantCaseColon) {
            items_[i].caseColon = true;
            context.wantCaseColon = false;
            return;
        }
        bool inParams = context.open != kNone && items_[context.open].opens == Opens::Params;
        bool afterLetName = prev && prev->type == TokenType::Identifier && i >= 2 &&
                            items_[i - 2].type == TokenType::Let;
        bool afterParams =
            prev && prev->type == TokenType::RightParen && prev->opens == Opens::Params;
        if (inParams || afterLetName || afterParams) markType(i + 1);
    }

    // A type name from `start`: a name, generic arguments in angle brackets,
    // then any number of "[]".
    void markType(size_t start) {
        const size_t last = items_.size() - 1;
        size_t k = start;
        if (k >= last) return;
        items_[k++].typePart = true;
        if (k < last && items_[k].type == TokenType::Less) {
            int depth = 0;
            for (; k < last; ++k) {
                items_[k].typePart = true;
                if (items_[k].type == TokenType::Less) ++depth;
                if (items_[k].type == TokenType::Greater && --depth == 0) {
                    ++k;
                    break;
                }
            }
        }
        while (k + 1 < last && items_[k].type == TokenType::LeftBracket &&
               items_[k + 1].type == TokenType::RightBracket) {
            items_[k].typePart = items_[k + 1].typePart = true;
            k += 2;
        }
    }

    // `new Box<int>(...)`: the parser skips up to the first ">".
    void markNewGeneric(size_t i) {
        const size_t last = items_.size() - 1;
        if (i + 2 >= last || items_[i + 1].type != TokenType::Identifier ||
            items_[i + 2].type != TokenType::Less)
            return;
        for (size_t k = i + 2; k < last; ++k) {
            items_[k].typePart = true;
            if (items_[k].type == TokenType::Greater) break;
        }
    }

    // `max<int>(a, b)`: angle brackets right after a name, closed before the
    // statement ends and followed by "(", are generic arguments of a call.
    void markCallGeneric(size_t i) {
        const size_t last = items_.size() - 1;
        const Item* prev = previous(i);
        if (items_[i].typePart || items_[i].useName || i + 1 >= last ||
            items_[i + 1].type != TokenType::Less || items_[i + 1].newlineBefore)
            return;
        if (prev) {
            switch (prev->type) {
            case TokenType::Dot:
            case TokenType::Let:
            case TokenType::Function:
            case TokenType::Class:
            case TokenType::New:
            case TokenType::Foreach: return;
            default: break;
            }
        }
        int depth = 0;
        for (size_t k = i + 1; k < last && k - i < kGenericScanLimit; ++k) {
            const Item& item = items_[k];
            if ((k > i + 1 && item.newlineBefore) || item.type == TokenType::Semicolon) return;
            if (item.type == TokenType::Less) ++depth;
            if (item.type == TokenType::Greater && --depth == 0) {
                if (items_[k + 1].type != TokenType::LeftParen || items_[k + 1].newlineBefore)
                    return;
                for (size_t m = i + 1; m <= k; ++m) items_[m].typePart = true;
                return;
            }
        }
    }

    void markUseName(size_t i) {
        const size_t last = items_.size() - 1;
        for (size_t k = i + 1; k < last && !items_[k].newlineBefore; ++k) {
            TokenType type = items_[k].type;
            if (type != TokenType::Identifier && type != TokenType::StringLiteral &&
                type != TokenType::Minus && type != TokenType::Slash && type != TokenType::Dot)
                break;
            items_[k].useName = true;
        }
    }

    std::vector<Item>& items_;
    std::vector<Context> contexts_;
};

// Whether two tokens on one line are separated by a space.
bool spaced(const Item& a, const Item& b) {
    TokenType left = a.type;
    TokenType right = b.type;
    if (right == TokenType::EndOfFile) return false;
    if (a.useName && b.useName) return false;
    switch (right) {
    case TokenType::RightParen:
    case TokenType::RightBracket:
    case TokenType::Comma:
    case TokenType::Semicolon:
    case TokenType::Dot:
    case TokenType::Colon: return false;
    default: break;
    }
    switch (left) {
    case TokenType::LeftParen:
    case TokenType::LeftBracket:
    case TokenType::Dot: return false;
    case TokenType::Comma:
    case TokenType::Semicolon:
    case TokenType::Colon: return true;
    default: break;
    }
    bool angleOrBracket = right == TokenType::Less || right == TokenType::Greater ||
                          right == TokenType::LeftBracket || right == TokenType::RightBracket;
    if (b.typePart && angleOrBracket) return false;
    if (a.typePart && left == TokenType::Less) return false;
    if (a.typePart && (left == TokenType::Greater || left == TokenType::RightBracket))
        return right != TokenType::LeftParen;
    if (right == TokenType::LeftParen) return b.opens == Opens::Group && !a.unary;
    if (right == TokenType::LeftBracket) return b.opens == Opens::Array && !a.unary;
    if (a.unary) return false;
    if (b.postfix) return false;
    return true;
}

// Writes the items out in the house style. Line breaks come from the rules
// of the style where the parser ignores them (around block bodies, between
// statements, in bracketed lists), and from the source where they matter to
// the parser (a statement continued after an operator) or hold a comment.
class Printer {
public:
    explicit Printer(const std::vector<Item>& items) : items_(items) {}

    std::string run() {
        frames_.push_back(Frame{kNone, true, false, false, 0, 0, 0, 1});
        for (size_t i = 0; i < items_.size(); ++i) place(i);
        if (!out_.empty() && out_.back() != '\n') out_ += '\n';
        return std::move(out_);
    }

private:
    enum class Want { None, Space, Break, Continue };

    struct Frame {
        size_t open;
        bool block;    // statements inside: a brace or the program
        bool perLine;  // a list laid out one element per line
        bool isSwitch; // case labels inside, their statements one level deeper
        int inner;     // indent of the lines inside
        int close;     // indent of the closing bracket's line
        int statement; // indent of the current statement (blocks)
        int cont;      // indent of a continued line
    };

    struct Decision {
        Want want = Want::None;
        bool blankAllowed = false;
    };

    Decision decide(size_t i) const {
        const Item& item = items_[i];
        const Frame& frame = frames_.back();
        if (i == 0) return {Want::Break, true};
        const Item& prev = items_[i - 1];
        if (item.type == TokenType::EndOfFile) return {Want::Break, false};
        if (isCloser(item.type)) {
            if (item.match == i - 1 && item.comments.empty()) return {Want::None, false};
            return {frame.block || frame.perLine ? Want::Break : Want::None, false};
        }
        if (i - 1 == frame.open)
            return {frame.block || frame.perLine ? Want::Break : Want::None, false};
        // An empty statement written right after another stays on its line.
        bool trailingSemicolon = item.type == TokenType::Semicolon && !item.breakBefore &&
                                 item.comments.empty() && prev.type != TokenType::LeftBrace &&
                                 !prev.caseColon;
        if (item.statementStart && !trailingSemicolon) return {Want::Break, !prev.caseColon};
        if (item.headerJoin) return {Want::Space, false};
        if (item.type == TokenType::Comma) return {Want::None, false};
        if (prev.type == TokenType::Comma && frame.perLine) return {Want::Break, false};
        if (frame.block && item.breakBefore) return {Want::Continue, false};
        return {spaced(prev, item) ? Want::Space : Want::None, false};
    }

    int indentFor(size_t i, Want want) const {
        const Item& item = items_[i];
        const Frame& frame = frames_.back();
        if (item.type == TokenType::EndOfFile) return 0;
        if (isCloser(item.type) && (frame.block || frame.perLine)) return frame.close;
        if (want == Want::Break) {
            if (!frame.block) return frame.inner;
            bool label = item.type == TokenType::Case || item.type == TokenType::Default;
            return frame.isSwitch && !label ? frame.inner + 1 : frame.inner;
        }
        if (item.headerJoin && frame.block) return frame.statement;
        return frame.cont;
    }

    // Own-line comments take the indent of the token after them; before a
    // closing brace, the indent of the statements they follow.
    int commentIndent(size_t i, Want want) const {
        const Item& item = items_[i];
        const Frame& frame = frames_.back();
        if (item.type == TokenType::EndOfFile) return 0;
        if (isCloser(item.type) && frame.block) return frame.statement;
        if (isCloser(item.type) && frame.perLine) return frame.inner;
        return indentFor(i, want == Want::None || want == Want::Space ? Want::Continue : want);
    }

    void place(size_t i) {
        const Item& item = items_[i];
        Decision decision = decide(i);
        Frame& frame = frames_.back();
        bool pendingBreak = false;
        bool afterComment = false;
        for (size_t c = 0; c < item.comments.size(); ++c) {
            const Comment& comment = item.comments[c];
            if (comment.ownLine || pendingBreak) {
                bool firstInside =
                    c == 0 && i > 0 && (i - 1 == frame.open || items_[i - 1].caseColon);
                bool blank = comment.blankBefore && frame.block && !firstInside;
                startLine(blank, commentIndent(i, decision.want));
            } else if (!out_.empty() && !(c == 0 && i > 0 &&
                                          (items_[i - 1].type == TokenType::LeftParen ||
                                           items_[i - 1].type == TokenType::LeftBracket))) {
                write(" ");
            }
            write(comment.text);
            pendingBreak = comment.breakAfter;
            afterComment = true;
        }
        if (item.type == TokenType::EndOfFile) return;

        Want want = decision.want;
        bool lineBreak =
            pendingBreak || want == Want::Break || (want == Want::Continue && item.breakBefore);
        if (lineBreak) {
            bool blank = item.blankBefore && decision.blankAllowed && want == Want::Break;
            int indent =
                indentFor(i, want == Want::None || want == Want::Space ? Want::Continue : want);
            startLine(blank, indent);
        } else if (afterComment) {
            if (!isCloser(item.type) && item.type != TokenType::Comma) write(" ");
        } else if (want == Want::Space) {
            write(" ");
        }
        if (item.statementStart && frame.block) {
            frame.statement = lineIndent_;
            frame.cont = lineIndent_ + 1;
        }
        write(item.text);

        if (isOpener(item.type)) enter(i);
        else if (isCloser(item.type) && frames_.size() > 1) frames_.pop_back();
    }

    void enter(size_t i) {
        const Item& item = items_[i];
        if (item.type == TokenType::LeftBrace) {
            const Frame& outer = frames_.back();
            int base =
                item.header == Header::Lambda || !outer.block ? lineIndent_ : outer.statement;
            frames_.push_back(Frame{i, true, false, item.header == Header::Switch, base + 1, base,
                                    base + 1, base + 2});
            return;
        }
        bool list =
            item.opens == Opens::Call || item.opens == Opens::Params || item.opens == Opens::Array;
        bool perLine = list && onePerLine(i);
        frames_.push_back(Frame{i, false, perLine, false, lineIndent_ + 1, lineIndent_,
                                lineIndent_ + 1, perLine ? lineIndent_ + 2 : lineIndent_ + 1});
    }

    // A list goes one element per line when it does not fit on the rest of
    // the line, unless everything up to a block inside it (a lambda's body)
    // fits: then the block's lines carry the length.
    bool onePerLine(size_t open) const {
        size_t close = items_[open].match;
        if (close == kNone) return false;
        if (close == open + 1 && items_[close].comments.empty()) return false;
        size_t budget = kLineWidth > column_ ? kLineWidth - column_ : 0;
        size_t width = span(open + 1, close, budget, false);
        if (width != kTooWide && width + tail(close) <= budget) return false;
        // Breaking a short list gains nothing: the line is long because of
        // what comes before it.
        if (span(open + 1, close, kShortList, false) != kTooWide) return false;
        return span(open + 1, close, budget, true) == kTooWide;
    }

    // The width of items first..last written on one line, or kTooWide when
    // it exceeds the budget or cannot be one line. With `toBlock`, the width
    // up to the first non-empty block, kTooWide when there is none.
    size_t span(size_t first, size_t last, size_t budget, bool toBlock) const {
        size_t total = 0;
        for (size_t k = first; k <= last; ++k) {
            const Item& item = items_[k];
            for (const Comment& comment : item.comments) {
                if (comment.ownLine || comment.breakAfter) return kTooWide;
                total += widthOf(comment.text) + 1;
            }
            if (spaced(items_[k - 1], item)) ++total;
            total += widthOf(item.text);
            if (item.text.find('\n') != std::string_view::npos) return kTooWide;
            if (total > budget) return kTooWide;
            bool emptyBlock = item.match == k + 1 && items_[k + 1].comments.empty();
            if (item.type == TokenType::LeftBrace && !emptyBlock) return toBlock ? total : kTooWide;
        }
        return toBlock ? kTooWide : total;
    }

    // What must stay on the line after a list: closing brackets, commas, a
    // return type and a header's brace. Whatever else follows (an operator
    // and its operand) is the expression's length, not the list's.
    size_t tail(size_t close) const {
        size_t width = 0;
        for (size_t k = close + 1; k < items_.size() && width <= kLineWidth; ++k) {
            const Item& item = items_[k];
            if (!item.comments.empty()) break;
            bool sticks = item.type == TokenType::RightParen ||
                          item.type == TokenType::RightBracket || item.type == TokenType::Comma ||
                          item.type == TokenType::Semicolon || item.type == TokenType::Colon ||
                          item.typePart;
            if (item.type == TokenType::LeftBrace) width += 2;
            if (!sticks) break;
            if (spaced(items_[k - 1], item)) ++width;
            width += widthOf(item.text);
        }
        return width;
    }

    void startLine(bool blank, int indent) {
        if (!out_.empty()) {
            out_ += '\n';
            if (blank) out_ += '\n';
        }
        out_.append(static_cast<size_t>(indent) * 4, ' ');
        column_ = static_cast<size_t>(indent) * 4;
        lineIndent_ = indent;
    }

    void write(std::string_view text) {
        out_ += text;
        size_t lineEnd = text.rfind('\n');
        if (lineEnd == std::string_view::npos) column_ += widthOf(text);
        else column_ = widthOf(text.substr(lineEnd + 1));
    }

    const std::vector<Item>& items_;
    std::vector<Frame> frames_;
    std::string out_;
    size_t column_ = 0;
    int lineIndent_ = 0;
};

// The tokens of a text (line ends aside) and its comments, for comparison.
struct Fingerprint {
    std::vector<std::pair<TokenType, std::string_view>> tokens;
    std::vector<std::string_view> comments;
    bool operator==(const Fingerprint&) const = default;
};

Fingerprint fingerprintOf(const std::vector<Item>& items) {
    Fingerprint result;
    result.tokens.reserve(items.size());
    for (const Item& item : items) {
        for (const Comment& comment : item.comments) result.comments.push_back(comment.text);
        result.tokens.emplace_back(item.type, item.text);
    }
    return result;
}

// One text lexed and parsed: its items, and whether either stage reported an
// error to `engine` (errors it held before do not count).
struct Scanned {
    std::vector<Item> items;
    bool clean = false;
};

Scanned scan(std::string_view text, const std::string& path, DiagnosticEngine& engine) {
    const size_t known = engine.diagnostics().size();
    Scanned result;
    Lexer lexer(std::string(text), path, engine);
    std::vector<Token> tokens = lexer.tokenize();
    result.items = buildItems(text, tokens);
    if (engine.diagnostics().size() > known) return result;
    Parser parser(std::move(tokens), engine);
    result.clean = parser.parseProgram() && engine.diagnostics().size() == known;
    return result;
}

std::optional<std::string> layOutItems(std::vector<Item>& items) {
    if (!Annotator(items).run()) return std::nullopt;
    return Printer(items).run();
}

} // namespace

namespace format_detail {

std::optional<std::string> layOut(std::string_view text) {
    DiagnosticEngine engine;
    Scanned scanned = scan(text, "<format>", engine);
    return layOutItems(scanned.items);
}

bool sameTokensAndComments(std::string_view original, std::string_view formatted) {
    DiagnosticEngine engine;
    Lexer before(std::string(original), "<original>", engine);
    std::vector<Token> beforeTokens = before.tokenize();
    Lexer after(std::string(formatted), "<formatted>", engine);
    std::vector<Token> afterTokens = after.tokenize();
    return !engine.hasErrors() && fingerprintOf(buildItems(original, beforeTokens)) ==
                                      fingerprintOf(buildItems(formatted, afterTokens));
}

} // namespace format_detail

std::optional<std::string> formatSource(std::string_view text, const std::string& path,
                                        DiagnosticEngine& diagnostics) {
    Scanned source = scan(text, path, diagnostics);
    if (!source.clean) return std::nullopt;
    Fingerprint before = fingerprintOf(source.items);
    std::optional<std::string> formatted = layOutItems(source.items);
    if (!formatted) return std::string(text);

    // Never hand back a text that means something else: the layout must keep
    // every token and comment and still parse.
    DiagnosticEngine check;
    Scanned result = scan(*formatted, path, check);
    if (!result.clean || fingerprintOf(result.items) != before) return std::string(text);
    return formatted;
}

} // namespace zarn
