#include "zarn/frontend/Lexer.h"

#include <utility>

namespace zarn {

namespace {

// Kinds after which a line break may end a statement.
constexpr bool endsStatement(TokenType type) {
    switch (type) {
    case TokenType::IntegerLiteral:
    case TokenType::FloatLiteral:
    case TokenType::StringLiteral:
    case TokenType::True:
    case TokenType::False:
    case TokenType::Null:
    case TokenType::Identifier:
    case TokenType::Int:
    case TokenType::Float:
    case TokenType::String:
    case TokenType::Boolean:
    case TokenType::Void:
    case TokenType::Break:
    case TokenType::Continue:
    case TokenType::Return:
    case TokenType::PlusPlus:
    case TokenType::MinusMinus:
    case TokenType::Greater:
    case TokenType::RightParen:
    case TokenType::RightBrace:
    case TokenType::RightBracket: return true;
    default: return false;
    }
}

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isWordStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
constexpr bool isWordChar(char c) { return isWordStart(c) || isDigit(c); }

// Keywords are case-sensitive; "Class"/"class" and "Boolean"/"bool" share a kind.
TokenType keywordOrIdentifier(std::string_view word) {
    struct Keyword {
        std::string_view text;
        TokenType type;
    };
    static constexpr Keyword keywords[] = {
        {"true", TokenType::True},
        {"false", TokenType::False},
        {"null", TokenType::Null},
        {"int", TokenType::Int},
        {"float", TokenType::Float},
        {"string", TokenType::String},
        {"Boolean", TokenType::Boolean},
        {"bool", TokenType::Boolean},
        {"void", TokenType::Void},
        {"let", TokenType::Let},
        {"function", TokenType::Function},
        {"class", TokenType::Class},
        {"Class", TokenType::Class},
        {"new", TokenType::New},
        {"if", TokenType::If},
        {"else", TokenType::Else},
        {"while", TokenType::While},
        {"do", TokenType::Do},
        {"for", TokenType::For},
        {"foreach", TokenType::Foreach},
        {"switch", TokenType::Switch},
        {"case", TokenType::Case},
        {"default", TokenType::Default},
        {"break", TokenType::Break},
        {"continue", TokenType::Continue},
        {"return", TokenType::Return},
        {"use", TokenType::Use},
        {"not", TokenType::Not},
    };
    // Every keyword is 2 to 8 bytes long and starts with a lower-case letter,
    // 'B' or 'C'; most identifiers are rejected by these two tests alone.
    if (word.size() < 2 || word.size() > 8) return TokenType::Identifier;
    char first = word[0];
    if (!((first >= 'a' && first <= 'z') || first == 'B' || first == 'C'))
        return TokenType::Identifier;
    for (const Keyword& keyword : keywords) {
        if (keyword.text.size() == word.size() && keyword.text[0] == first && keyword.text == word)
            return keyword.type;
    }
    return TokenType::Identifier;
}

} // namespace

Lexer::Lexer(std::string source, std::string fileName, DiagnosticEngine& engine) : engine_(engine) {
    // A text read in pieces may have grown its buffer to twice its size.
    if (source.capacity() > source.size() + source.size() / 4) source.shrink_to_fit();
    source_ = std::make_shared<const std::string>(std::move(source));
    text_ = *source_;
    // Locations find their lines in the text through the name.
    file_ = FileName(fileName, source_);
    // The engine quotes excerpts from the same text, not from a copy of it.
    engine_.registerSource(fileName, source_);
}

void Lexer::restore(const Mark& mark) {
    position_ = mark.position;
    last_ = mark.last;
}

void Lexer::report(const DiagnosticMessage& message, const SourceLocation& location,
                   std::initializer_list<std::string_view> values) {
    if (quiet_) return;
    ++errors_;
    engine_.report(message, location, values);
}

SourceLocation Lexer::here() const { return SourceLocation{file_, clampPosition(position_), 0}; }

void Lexer::addToken(TokenType type, std::string lexeme, SourceLocation start) {
    start.length = clampPosition(position_ - start.offset);
    out_->type = type;
    out_->lexeme = std::move(lexeme);
    out_->location = std::move(start);
    produced_ = true;
}

std::vector<Token> Lexer::tokenize() {
    std::vector<Token> tokens;
    // Typical source has one token per four to six bytes.
    tokens.reserve(text_.size() / 5 + 2);
    do {
        tokens.push_back(next());
    } while (tokens.back().type != TokenType::EndOfFile);
    return tokens;
}

Token Lexer::next() {
    Token token;
    next(token);
    return token;
}

void Lexer::next(Token& token) {
    out_ = &token;
    if (!scanNext()) {
        // After the text: a Newline when the last token may end a statement, then EndOfFile.
        if (endsStatement(last_)) addToken(TokenType::Newline, "\\n", here());
        else addToken(TokenType::EndOfFile, "", here());
    }
    produced_ = false;
    last_ = token.type;
}

bool Lexer::scanNext() {
    while (!atEnd()) {
        char c = text_[position_];
        switch (c) {
        case '!':
            if (peekAt(1) == '=') {
                scanToken();
            } else {
                skipToLineEnd(); // a remark up to the end of the line
            }
            break;
        case '/':
            if (peekAt(1) == '*') {
                skipBlockComment();
            } else {
                scanToken();
            }
            break;
        case ' ':
        case '\t':
        case '\r': {
            // A run of blanks (indentation, mostly) in one step.
            size_t end = position_ + 1;
            while (end < text_.size() &&
                   (text_[end] == ' ' || text_[end] == '\t' || text_[end] == '\r'))
                ++end;
            position_ = end;
            break;
        }
        case '\n':
            if (endsStatement(last_)) {
                SourceLocation at = here();
                advance();
                addToken(TokenType::Newline, "\\n", std::move(at));
            } else {
                advance();
            }
            break;
        default: scanToken(); break;
        }
        if (produced_) return true;
    }
    return false;
}

void Lexer::skipToLineEnd() {
    size_t end = text_.find('\n', position_);
    if (end == std::string_view::npos) end = text_.size();
    position_ = end;
}

// /* ... */ does not nest: the first "*/" ends it.
void Lexer::skipBlockComment() {
    advance(); // '/'
    SourceLocation star = here();
    advance(); // '*'
    while (!atEnd()) {
        if (text_[position_] == '*' && peekAt(1) == '/') {
            advance();
            advance();
            return;
        }
        advance();
    }
    star.length = clampPosition(text_.size() - star.offset);
    report(diag::UnterminatedComment, star);
}

void Lexer::scanToken() {
    SourceLocation start = here();
    tokenStart_ = position_;
    char c = text_[position_];
    advance();
    auto single = [&](TokenType type) { addToken(type, std::string(1, c), start); };
    // A two-byte token: consumes the second byte.
    auto pair = [&](TokenType type) {
        char second = text_[position_];
        advance();
        addToken(type, std::string{c, second}, start);
    };
    // Yields `twoBytes` when `second` follows, else `alone`.
    auto either = [&](char second, TokenType twoBytes, TokenType alone) {
        if (peekAt(0) == second) {
            pair(twoBytes);
        } else {
            single(alone);
        }
    };
    switch (c) {
    case '(': single(TokenType::LeftParen); break;
    case ')': single(TokenType::RightParen); break;
    case '{': single(TokenType::LeftBrace); break;
    case '}': single(TokenType::RightBrace); break;
    case '[': single(TokenType::LeftBracket); break;
    case ']': single(TokenType::RightBracket); break;
    case ':': single(TokenType::Colon); break;
    case ';': single(TokenType::Semicolon); break;
    case ',': single(TokenType::Comma); break;
    case '.': single(TokenType::Dot); break;
    case '+': // "++" is tested before "+="
        if (peekAt(0) == '+') pair(TokenType::PlusPlus);
        else either('=', TokenType::PlusAssign, TokenType::Plus);
        break;
    case '-':
        if (peekAt(0) == '-') pair(TokenType::MinusMinus);
        else either('=', TokenType::MinusAssign, TokenType::Minus);
        break;
    case '*': either('=', TokenType::StarAssign, TokenType::Star); break;
    case '%': either('=', TokenType::PercentAssign, TokenType::Percent); break;
    case '/':
        if (peekAt(0) == '/') {
            // A "//" remark ends the statement: it yields a Newline covering it.
            skipToLineEnd();
            addToken(TokenType::Newline, "\\n", start);
        } else {
            either('=', TokenType::SlashAssign, TokenType::Slash);
        }
        break;
    case '=': either('=', TokenType::Equal, TokenType::Assign); break;
    case '<': either('=', TokenType::LessEqual, TokenType::Less); break;
    case '>': either('=', TokenType::GreaterEqual, TokenType::Greater); break;
    case '!': // only reached for "!="
        pair(TokenType::NotEqual);
        break;
    case '&':
    case '|':
        if (peekAt(0) == c) {
            pair(c == '&' ? TokenType::And : TokenType::Or);
            break;
        }
        [[fallthrough]];
    default:
        if (c == '"') {
            scanString(start);
        } else if (isDigit(c)) {
            scanNumber(start);
        } else if (isWordStart(c)) {
            scanWord(start);
        } else {
            SourceLocation at = start;
            at.length = 1;
            report(diag::UnexpectedCharacter, at, {std::string_view(&c, 1)});
            single(TokenType::Invalid);
        }
        break;
    }
}

void Lexer::scanNumber(const SourceLocation& start) {
    while (!atEnd() && isDigit(text_[position_])) advance();
    TokenType type = TokenType::IntegerLiteral;
    if (peekAt(0) == '.' && isDigit(peekAt(1))) {
        advance();
        while (!atEnd() && isDigit(text_[position_])) advance();
        type = TokenType::FloatLiteral;
    }
    addToken(type, std::string(text_.substr(tokenStart_, position_ - tokenStart_)), start);
}

void Lexer::scanWord(const SourceLocation& start) {
    size_t end = position_;
    while (end < text_.size() && isWordChar(text_[end])) ++end;
    position_ = end;
    std::string_view word = text_.substr(tokenStart_, position_ - tokenStart_);
    addToken(keywordOrIdentifier(word), std::string(word), start);
}

// Called after the opening quote; the value collects the processed text.
void Lexer::scanString(const SourceLocation& start) {
    std::string value;
    while (!atEnd()) {
        char c = text_[position_];
        if (c == '"') {
            advance();
            addToken(TokenType::StringLiteral, std::move(value), start);
            return;
        }
        if (c != '\\') {
            // Copy the run of plain bytes in one go.
            size_t runStart = position_;
            while (!atEnd() && text_[position_] != '"' && text_[position_] != '\\') advance();
            value.append(text_.substr(runStart, position_ - runStart));
            continue;
        }
        advance();          // the backslash
        if (atEnd()) break; // a backslash as the last byte ends the scan
        char escaped = text_[position_];
        advance();
        switch (escaped) {
        case 'n': value += '\n'; break;
        case 't': value += '\t'; break;
        case 'r': value += '\r'; break;
        case '0': value += '\0'; break;
        case '{': value += "\\{"; break; // kept for interpolation to see
        case '}': value += "\\}"; break;
        default: value += escaped; break; // '"', '\\' and any other byte
        }
    }
    SourceLocation at = start;
    at.length = clampPosition(text_.size() - start.offset);
    report(diag::UnterminatedString, at);
    addToken(TokenType::Invalid, std::move(value), start);
}

} // namespace zarn
