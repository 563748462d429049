#include "zarn/frontend/Token.h"

namespace zarn {

const char* tokenTypeName(TokenType type) {
    // ORDER TokenType
    static const char* const names[] = {
        "EndOfFile",    "Invalid",
        "Newline",      "IntegerLiteral",
        "FloatLiteral", "StringLiteral",
        "True",         "False",
        "Null",         "Identifier",
        "Int",          "Float",
        "String",       "Boolean",
        "Void",         "Let",
        "Function",     "Class",
        "New",          "If",
        "Else",         "While",
        "Do",           "For",
        "Foreach",      "Switch",
        "Case",         "Default",
        "Break",        "Continue",
        "Return",       "Use",
        "Not",          "Plus",
        "Minus",        "Star",
        "Slash",        "Percent",
        "PlusPlus",     "MinusMinus",
        "Assign",       "PlusAssign",
        "MinusAssign",  "StarAssign",
        "SlashAssign",  "PercentAssign",
        "Equal",        "NotEqual",
        "Less",         "Greater",
        "LessEqual",    "GreaterEqual",
        "And",          "Or",
        "LeftParen",    "RightParen",
        "LeftBrace",    "RightBrace",
        "LeftBracket",  "RightBracket",
        "Colon",        "Comma",
        "Dot",          "Semicolon",
    };
    static_assert(sizeof(names) / sizeof(names[0]) == 64, "one name per token kind");
    auto index = static_cast<size_t>(type);
    return index < 64 ? names[index] : "?";
}

} // namespace zarn
