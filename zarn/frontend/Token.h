// Tokens produced by the lexer. The order of TokenType is fixed: other code
// (and stored token dumps in tests) rely on its numbering.
#pragma once

#include "zarn/diagnostics/SourceLocation.h"

#include <cstdint>
#include <string>

namespace zarn {

enum class TokenType : int32_t {
    EndOfFile,
    Invalid,
    Newline,
    IntegerLiteral,
    FloatLiteral,
    StringLiteral,
    True,
    False,
    Null,
    Identifier,
    Int,
    Float,
    String,
    Boolean,
    Void,
    Let,
    Function,
    Class,
    New,
    If,
    Else,
    While,
    Do,
    For,
    Foreach,
    Switch,
    Case,
    Default,
    Break,
    Continue,
    Return,
    Use,
    Not,
    Plus,
    Minus,
    Star,
    Slash,
    Percent,
    PlusPlus,
    MinusMinus,
    Assign,
    PlusAssign,
    MinusAssign,
    StarAssign,
    SlashAssign,
    PercentAssign,
    Equal,
    NotEqual,
    Less,
    Greater,
    LessEqual,
    GreaterEqual,
    And,
    Or,
    LeftParen,
    RightParen,
    LeftBrace,
    RightBrace,
    LeftBracket,
    RightBracket,
    Colon,
    Comma,
    Dot,
    Semicolon,
};

struct Token {
    TokenType type = TokenType::EndOfFile;
    std::string lexeme;
    SourceLocation location;
};

// The name of a token kind as written in this enum ("PlusAssign"), for tests and dumps.
const char* tokenTypeName(TokenType type);

// One of the six comparisons ("==" "!=" "<" ">" "<=" ">="), which the
// enumeration keeps consecutive.
constexpr bool isComparison(TokenType type) {
    return type >= TokenType::Equal && type <= TokenType::GreaterEqual;
}

} // namespace zarn
