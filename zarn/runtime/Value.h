// Values of running programs: a 16-byte tagged record holding scalars inline
// and heap objects by plain pointer. Copying a Value never touches the heap and
// never counts references; reachability from the collector's roots alone keeps
// objects alive (see GC.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zarn {

class GcObject;
class StringObject;

enum class ValueKind : uint8_t { Null = 0, Bool = 1, Int = 2, Float = 3, String = 4, Object = 5 };

struct Value {
    ValueKind kind = ValueKind::Null;
    union {
        bool boolean;
        int64_t integer;
        double number;
        GcObject* object;
    } as{.integer = 0};

    Value() = default;
    // A null pointer gives Null; a string object gives kind String; any other object kind Object.
    explicit Value(GcObject* object);

    static Value null() { return Value(); }
    static Value fromBool(bool b) {
        Value v;
        v.kind = ValueKind::Bool;
        v.as.integer = 0;
        v.as.boolean = b;
        return v;
    }
    static Value fromInt(int64_t i) {
        Value v;
        v.kind = ValueKind::Int;
        v.as.integer = i;
        return v;
    }
    static Value fromFloat(double d) {
        Value v;
        v.kind = ValueKind::Float;
        v.as.number = d;
        return v;
    }

    bool isNull() const { return kind == ValueKind::Null; }
    bool isBool() const { return kind == ValueKind::Bool; }
    bool isInt() const { return kind == ValueKind::Int; }
    bool isFloat() const { return kind == ValueKind::Float; }
    bool isNumber() const { return kind == ValueKind::Int || kind == ValueKind::Float; }
    bool isString() const { return kind == ValueKind::String; }
    bool isObject() const { return kind == ValueKind::Object; }
    // Whether the value refers to a heap object (String or Object with a pointer).
    bool isHeap() const {
        return (kind == ValueKind::String || kind == ValueKind::Object) && as.object != nullptr;
    }

    // The number as a double: an Int converted, a Float as is, anything else 0.0.
    double toDouble() const {
        return kind == ValueKind::Int     ? static_cast<double>(as.integer)
               : kind == ValueKind::Float ? as.number
                                          : 0.0;
    }
    // The integer payload (Int), else 0.
    int64_t toInt() const { return kind == ValueKind::Int ? as.integer : 0; }
    // The text of a String value; every other value reads as the empty text.
    std::string_view stringView() const;
    // The object pointer for kind Object (null otherwise).
    GcObject* asObject() const { return kind == ValueKind::Object ? as.object : nullptr; }
};

static_assert(sizeof(Value) == 16, "a Value copy must stay 16 bytes");

// Value equality of "==", switch and lookups: same kind by payload (strings by text,
// objects by identity), Int against Float as doubles, other mixed kinds unequal.
bool valuesEqual(const Value& a, const Value& b);

// Truthiness of conditions: Null false, Bool its value, numbers non-zero, String
// non-empty, Object any non-null pointer.
bool isTruthyHeap(const Value& v);
inline bool isTruthy(const Value& v) {
    switch (v.kind) {
    case ValueKind::Null: return false;
    case ValueKind::Bool: return v.as.boolean;
    case ValueKind::Int: return v.as.integer != 0;
    case ValueKind::Float: return v.as.number != 0.0;
    default: return isTruthyHeap(v);
    }
}

// The text form used by print, concatenation and interpolation.
std::string toString(const Value& v);
// Appends the text form to out (no intermediate string for scalars and strings).
void appendText(std::string& out, const Value& v);

// Float text: as a default-formatted stream writes it ("%g"), with ".0" appended
// when the result holds no ".", so 3.0 is "3.0" and 1e20 is "1e+20.0".
std::string formatFloat(double d);
// Room for the text of any Int or Float.
using NumberText = std::array<char, 40>;
// The same written into buffer; the view points into it.
std::string_view formatFloat(double d, NumberText& buffer);
// The text form of a value that is not an object (numbers written into buffer,
// strings viewed in place); empty for a non-null object.
std::string_view scalarText(const Value& v, NumberText& buffer);

} // namespace zarn
