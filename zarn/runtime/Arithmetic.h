// The arithmetic of Ints and Floats that never allocates, shared by the
// interpreter's operators, assignments and loop conditions.
#pragma once

#include "zarn/frontend/Token.h"
#include "zarn/runtime/Value.h"

#include <cstdint>

namespace zarn::arithmetic {

inline int64_t wrapAdd(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
inline int64_t wrapSub(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}
inline int64_t wrapMul(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}
// Truncating division; a zero divisor gives 0 and the smallest value divided
// by -1 wraps to itself instead of trapping.
inline int64_t safeDiv(int64_t a, int64_t b) {
    if (b == 0) return 0;
    if (b == -1) return wrapSub(0, a);
    return a / b;
}
// Remainder with the dividend's sign; a zero divisor and -1 give 0.
inline int64_t safeMod(int64_t a, int64_t b) {
    if (b == 0 || b == -1) return 0;
    return a % b;
}

// The comparisons of two Ints or two doubles; false for any other operator.
template <typename N>
[[gnu::always_inline]] inline bool compareNumbers(TokenType op, N a, N b, Value& out) {
    switch (op) {
    case TokenType::Less: out = Value::fromBool(a < b); return true;
    case TokenType::LessEqual: out = Value::fromBool(a <= b); return true;
    case TokenType::Greater: out = Value::fromBool(a > b); return true;
    case TokenType::GreaterEqual: out = Value::fromBool(a >= b); return true;
    case TokenType::Equal: out = Value::fromBool(a == b); return true;
    case TokenType::NotEqual: out = Value::fromBool(a != b); return true;
    default: return false;
    }
}

// The operators on two numbers, which never allocate: false (and out left
// alone) when an operand is not a number or the operator needs the general
// path. The results are the ones binaryOperation gives.
[[gnu::always_inline]] inline bool numericOperation(TokenType op, const Value& left,
                                                    const Value& right, Value& out) {
    if (left.kind == ValueKind::Int && right.kind == ValueKind::Int) {
        const int64_t a = left.as.integer, b = right.as.integer;
        switch (op) {
        case TokenType::Plus: out = Value::fromInt(wrapAdd(a, b)); return true;
        case TokenType::Minus: out = Value::fromInt(wrapSub(a, b)); return true;
        case TokenType::Star: out = Value::fromInt(wrapMul(a, b)); return true;
        case TokenType::Slash: out = Value::fromInt(safeDiv(a, b)); return true;
        case TokenType::Percent: out = Value::fromInt(safeMod(a, b)); return true;
        default: return compareNumbers(op, a, b, out);
        }
    }
    if (!left.isNumber() || !right.isNumber()) return false;
    // An Int meeting a Float counts as a double.
    const double a = left.toDouble(), b = right.toDouble();
    switch (op) {
    case TokenType::Plus: out = Value::fromFloat(a + b); return true;
    case TokenType::Minus: out = Value::fromFloat(a - b); return true;
    case TokenType::Star: out = Value::fromFloat(a * b); return true;
    case TokenType::Slash: out = Value::fromFloat(b == 0.0 ? 0.0 : a / b); return true;
    default: return compareNumbers(op, a, b, out);
    }
}

// "++" and "--" change only an Int; false (and nothing to store) for any other value.
inline bool stepped(const Value& old, TokenType op, Value& updated) {
    if (old.kind != ValueKind::Int) return false;
    updated = Value::fromInt(op == TokenType::PlusPlus ? wrapAdd(old.as.integer, 1)
                                                       : wrapSub(old.as.integer, 1));
    return true;
}

} // namespace zarn::arithmetic
