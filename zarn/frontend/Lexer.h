// Lexer: turns the bytes of one source text into tokens, inserting Newline
// tokens where a statement may end, and reports lexical errors to the engine.
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/Token.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

class Lexer {
public:
    // Registers the source under the file name in the engine.
    Lexer(std::string source, std::string fileName, DiagnosticEngine& engine);

    // Scans the whole text once; errors go to the engine. Call once, and not
    // together with next().
    std::vector<Token> tokenize();

    // Scans and returns the next token, so that a parser can pull the tokens
    // one at a time instead of holding all of them. After the EndOfFile token
    // it returns EndOfFile again.
    Token next();
    // The same, written into `token` (which the caller may keep in place).
    void next(Token& token);

    // How many errors this lexer has reported so far.
    size_t errorCount() const { return errors_; }

    // Where the scan stands: save() and restore() let a caller look ahead and
    // come back. A look-ahead should be quiet, so that the errors it passes
    // are reported once, when the text is scanned for real.
    struct Mark {
        size_t position;
        TokenType last;
    };
    Mark save() const { return Mark{position_, last_}; }
    void restore(const Mark& mark);
    void setQuiet(bool quiet) { quiet_ = quiet; }

private:
    // Consumes one byte.
    void advance() { ++position_; }
    bool atEnd() const { return position_ >= text_.size(); }
    // The byte `ahead` places after the current one, or 0 past the end.
    char peekAt(size_t ahead) const {
        size_t index = position_ + ahead;
        return index < text_.size() ? text_[index] : '\0';
    }
    // Scans from the current byte until one token is produced (in *out_) or
    // the text ends; false at the end.
    bool scanNext();
    void scanToken();
    void scanString(const SourceLocation& start);
    void scanNumber(const SourceLocation& start);
    void scanWord(const SourceLocation& start);
    void skipBlockComment();
    void skipToLineEnd();

    SourceLocation here() const;
    // Produces a token covering the bytes from `start` up to the current position.
    void addToken(TokenType type, std::string lexeme, SourceLocation start);
    void report(const DiagnosticMessage& message, const SourceLocation& location,
                std::initializer_list<std::string_view> values = {});

    std::shared_ptr<const std::string> source_;
    std::string_view text_; // the bytes of source_
    FileName file_;         // shared by every token's location
    DiagnosticEngine& engine_;
    size_t position_ = 0;
    size_t tokenStart_ = 0; // offset of the token scanToken is scanning
    // The kind of the last token produced (EndOfFile before the first): a line
    // break after a statement-ending kind yields a Newline.
    TokenType last_ = TokenType::EndOfFile;
    bool quiet_ = false;
    size_t errors_ = 0;
    Token* out_ = nullptr; // where the token being scanned goes
    bool produced_ = false;
};

} // namespace zarn
