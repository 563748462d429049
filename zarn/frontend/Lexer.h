// Lexer: turns the bytes of one source text into tokens, inserting Newline
// tokens where a statement may end, and reports lexical errors to the engine.
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/Token.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

class Lexer {
public:
    // Registers the source under the file name in the engine.
    Lexer(std::string source, std::string fileName, DiagnosticEngine& engine);

    // Scans the whole text once; errors go to the engine. Call once.
    std::vector<Token> tokenize();

private:
    // Consumes one byte, keeping line and column up to date.
    void advance();
    bool atEnd() const { return position_ >= source_.size(); }
    // The byte `ahead` places after the current one, or 0 past the end.
    char peekAt(size_t ahead) const {
        size_t index = position_ + ahead;
        return index < source_.size() ? source_[index] : '\0';
    }
    void scanToken();
    void scanString(const SourceLocation& start);
    void scanNumber(const SourceLocation& start);
    void scanWord(const SourceLocation& start);
    void skipBlockComment();
    void skipToLineEnd();

    SourceLocation here() const;
    // Appends a token covering the bytes from `start` up to the current position.
    void addToken(TokenType type, std::string lexeme, SourceLocation start);
    bool lastTokenEndsStatement() const;

    std::string source_;
    std::string fileName_;
    DiagnosticEngine& engine_;
    size_t position_ = 0;
    uint64_t line_ = 1;
    uint64_t column_ = 1;
    std::vector<Token> tokens_;
};

} // namespace zarn
