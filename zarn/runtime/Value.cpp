#include "zarn/runtime/Value.h"

#include "zarn/runtime/Environment.h"
#include "zarn/runtime/GC.h"
#include "zarn/runtime/Object.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

namespace zarn {

std::string_view Value::stringView() const {
    if (kind != ValueKind::String || as.object == nullptr) return {};
    return static_cast<const StringObject*>(as.object)->view();
}

bool valuesEqual(const Value& a, const Value& b) {
    if (a.kind == b.kind) {
        switch (a.kind) {
        case ValueKind::Null: return true;
        case ValueKind::Bool: return a.as.boolean == b.as.boolean;
        case ValueKind::Int: return a.as.integer == b.as.integer;
        case ValueKind::Float: return a.as.number == b.as.number;
        case ValueKind::String: return a.stringView() == b.stringView();
        case ValueKind::Object: return a.as.object == b.as.object;
        }
        return false;
    }
    if (a.kind == ValueKind::Int && b.kind == ValueKind::Float)
        return static_cast<double>(a.as.integer) == b.as.number;
    if (a.kind == ValueKind::Float && b.kind == ValueKind::Int)
        return a.as.number == static_cast<double>(b.as.integer);
    return false;
}

bool isTruthyHeap(const Value& v) {
    if (v.kind == ValueKind::String) return !v.stringView().empty();
    return v.kind == ValueKind::Object && v.as.object != nullptr;
}

std::string_view formatFloat(double d, NumberText& buffer) {
    int n = std::snprintf(buffer.data(), buffer.size() - 2, "%g", d);
    size_t length = n > 0 ? std::min(static_cast<size_t>(n), buffer.size() - 3) : 0;
    if (std::string_view(buffer.data(), length).find('.') == std::string_view::npos) {
        buffer[length++] = '.';
        buffer[length++] = '0';
    }
    return {buffer.data(), length};
}

std::string formatFloat(double d) {
    NumberText buffer;
    return std::string(formatFloat(d, buffer));
}

std::string_view scalarText(const Value& v, NumberText& buffer) {
    switch (v.kind) {
    case ValueKind::Null: return "null";
    case ValueKind::Bool: return v.as.boolean ? "true" : "false";
    case ValueKind::Int: {
        auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v.as.integer);
        return {buffer.data(), static_cast<size_t>(result.ptr - buffer.data())};
    }
    case ValueKind::Float: return formatFloat(v.as.number, buffer);
    case ValueKind::String: return v.stringView();
    case ValueKind::Object: return v.as.object == nullptr ? "null" : std::string_view();
    }
    return {};
}

namespace {

// Nesting deeper than this prints as "[...]", as does an array inside itself:
// printing never recurses without bound.
constexpr size_t kMaxTextDepth = 1000;

void appendValue(std::string& out, const Value& v, std::vector<const ArrayObject*>& open);

void appendArray(std::string& out, const ArrayObject& array,
                 std::vector<const ArrayObject*>& open) {
    if (open.size() >= kMaxTextDepth) {
        out += "[...]";
        return;
    }
    for (const ArrayObject* outer : open) {
        if (outer == &array) {
            out += "[...]";
            return;
        }
    }
    open.push_back(&array);
    out += '[';
    bool first = true;
    // Index-based: the array is not changed while printing.
    for (size_t i = 0; i < array.length(); ++i) {
        if (!first) out += ", ";
        first = false;
        const Value element = array.get(i);
        if (element.kind == ValueKind::String) {
            out += '"';
            out += element.stringView();
            out += '"';
        } else {
            appendValue(out, element, open);
        }
    }
    out += ']';
    open.pop_back();
}

void appendValue(std::string& out, const Value& v, std::vector<const ArrayObject*>& open) {
    if (v.kind != ValueKind::Object || v.as.object == nullptr) {
        NumberText buffer;
        out += scalarText(v, buffer);
    } else if (v.as.object->objectKind == ObjectKind::Array) {
        appendArray(out, *static_cast<const ArrayObject*>(v.as.object), open);
    } else {
        out += v.as.object->toString();
    }
}

} // namespace

void appendText(std::string& out, const Value& v) {
    std::vector<const ArrayObject*> open;
    appendValue(out, v, open);
}

std::string toString(const Value& v) {
    std::string out;
    appendText(out, v);
    return out;
}

std::string ArrayObject::toString() const {
    std::string out;
    std::vector<const ArrayObject*> open;
    appendArray(out, *this, open);
    return out;
}

void ClassInstanceObject::trace(GC& gc) {
    for (uint32_t i = 0; i < slotCount_; ++i) gc.markValue(slots()[i]);
    if (extras_ == nullptr) return;
    for (auto& field : extras_->fields) gc.markValue(field.second);
    for (NativeFunctionObject* method : extras_->boundMethods) gc.markObject(method);
}

size_t ClassInstanceObject::size() const {
    size_t bytes = sizeof(ClassInstanceObject) + sizeof(Value) * slotCount_;
    if (extras_ != nullptr)
        bytes += sizeof(InstanceExtras) + sizeof(extras_->fields[0]) * extras_->fields.capacity() +
                 sizeof(NativeFunctionObject*) * extras_->boundMethods.capacity();
    return bytes;
}

void FunctionObject::trace(GC& gc) { gc.markObject(closure); }

void NativeFunctionObject::trace(GC& gc) {
    for (const Value& v : captures) gc.markValue(v);
}

} // namespace zarn
