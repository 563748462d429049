// Heap objects of running programs. Every object is created by the GC
// (GC::allocate) and destroyed only by it; values and containers hold plain
// pointers. Each class reports what it refers to (trace), how many bytes the
// collector accounts for it (size) and its text form (toString).
#pragma once

#include "zarn/diagnostics/SourceLocation.h"
#include "zarn/runtime/Value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zarn {

class GC;
class Interpreter;
class BlockStmt;
class FunctionDeclStmt;

enum class ObjectKind : uint8_t {
    String = 0,
    Array = 1,
    ClassInstance = 3,
    Function = 4,
    NativeFunction = 5,
    Environment = 6,
    NativeHolder = 7,
};

class GcObject {
public:
    explicit GcObject(ObjectKind kind) : objectKind(kind) {}
    GcObject(const GcObject&) = delete;
    GcObject& operator=(const GcObject&) = delete;
    virtual ~GcObject() = default;

    // Marks every heap object this one refers to (GC::markValue / markObject).
    virtual void trace(GC& gc) { (void)gc; }
    // Bytes the collector accounts for this object.
    virtual size_t size() const = 0;
    virtual std::string toString() const = 0;

    ObjectKind objectKind;
    bool marked = false;
    uint8_t sizeClass = 0;    // the collector's storage class (0: plain heap)
    GcObject* next = nullptr; // the collector's list of all objects
};

inline Value::Value(GcObject* object) {
    if (object == nullptr) return;
    kind = object->objectKind == ObjectKind::String ? ValueKind::String : ValueKind::Object;
    as.object = object;
}

// The text of a string lives right after the object, in the same allocation
// (GC::allocateExtra): a string is one block of 32 bytes plus its length.
// Make one with makeStringObject (GC.h), which sizes the allocation.
class StringObject final : public GcObject {
public:
    // The object only: the caller allocated length bytes after it and fills
    // them (data()) before anything else can read the text.
    explicit StringObject(size_t length) : GcObject(ObjectKind::String), length(length) {}
    size_t size() const override { return sizeof(StringObject) + length; }
    std::string toString() const override { return std::string(view()); }

    std::string_view view() const { return {data(), length}; }
    const char* data() const { return reinterpret_cast<const char*>(this + 1); }
    char* data() { return reinterpret_cast<char*>(this + 1); }

    // Never changed after creation: strings are shared freely.
    const size_t length;
};

class ArrayObject final : public GcObject {
public:
    ArrayObject() : GcObject(ObjectKind::Array) {}
    explicit ArrayObject(std::vector<Value> elements)
        : GcObject(ObjectKind::Array), elements(std::move(elements)) {}
    void trace(GC& gc) override;
    size_t size() const override { return 48 + 16 * elements.capacity(); }
    std::string toString() const override;

    std::vector<Value> elements;
};

class NativeFunctionObject;
struct ClassInfo;

// The fields of an instance in creation order: the first few live inside the
// instance itself, so most instances need no storage of their own.
class FieldList {
public:
    using Field = std::pair<uint32_t, Value>;

    Field* begin() { return spill_.empty() ? inline_ : spill_.data(); }
    Field* end() { return begin() + count_; }
    const Field* begin() const { return spill_.empty() ? inline_ : spill_.data(); }
    const Field* end() const { return begin() + count_; }
    size_t size() const { return count_; }

    void reserve(size_t count) {
        if (count > kInline && spill_.empty()) {
            spill_.reserve(count);
            spill_.assign(inline_, inline_ + count_);
        }
    }
    void emplace_back(uint32_t name, Value value) {
        if (spill_.empty() && count_ < kInline) {
            inline_[count_++] = Field(name, value);
            return;
        }
        if (spill_.empty()) spill_.assign(inline_, inline_ + count_);
        spill_.emplace_back(name, value);
        ++count_;
    }

private:
    static constexpr size_t kInline = 4;
    Field inline_[kInline];
    std::vector<Field> spill_; // holds every field once there are more than kInline
    size_t count_ = 0;
};

class ClassInstanceObject final : public GcObject {
public:
    // className points into the interpreter's name table, which outlives every object.
    ClassInstanceObject(uint32_t classSymbol, const std::string* className)
        : GcObject(ObjectKind::ClassInstance), classSymbol(classSymbol), className(className) {}
    void trace(GC& gc) override;
    size_t size() const override { return 120 + 48 * fields.size(); }
    std::string toString() const override { return "<instance of " + *className + ">"; }

    // The field with that name id, or null.
    Value* findField(uint32_t symbol) {
        for (auto& field : fields)
            if (field.first == symbol) return &field.second;
        return nullptr;
    }
    // Sets the field, creating it at the end when missing.
    void setField(uint32_t symbol, Value value) {
        if (Value* slot = findField(symbol)) *slot = value;
        else fields.emplace_back(symbol, value);
    }

    uint32_t classSymbol;
    const std::string* className;
    FieldList fields;
    // Bound methods handed to the method scopes of this instance, made once on
    // the first method call; valid for boundFor (class information is never freed).
    const ClassInfo* boundFor = nullptr;
    std::vector<NativeFunctionObject*> boundMethods;
};

class Environment;

// What a declared function or lambda shares between all its function objects:
// built once per declaration node.
struct FunctionShape {
    std::string name;             // empty for a lambda
    std::vector<uint32_t> params; // parameter name ids in order
    std::shared_ptr<BlockStmt> body;
};

class FunctionObject final : public GcObject {
public:
    FunctionObject(std::shared_ptr<const FunctionShape> shape, Environment* closure)
        : GcObject(ObjectKind::Function), shape(std::move(shape)), closure(closure) {}
    void trace(GC& gc) override;
    size_t size() const override { return 104; }
    std::string toString() const override {
        return "<function " + (shape->name.empty() ? std::string("anonymous") : shape->name) + ">";
    }

    std::shared_ptr<const FunctionShape> shape;
    Environment* closure;
};

// The arguments of one native call. Reading past the end gives Null, so a
// native function only states the defaults it wants.
class NativeArgs {
public:
    NativeArgs(std::span<const Value> values, NativeFunctionObject& self,
               const SourceLocation& location)
        : values_(values), self_(self), location_(location) {}

    size_t size() const { return values_.size(); }
    bool has(size_t i) const { return i < values_.size(); }
    Value operator[](size_t i) const { return i < values_.size() ? values_[i] : Value(); }
    std::span<const Value> all() const { return values_; }

    // Readers following the library's argument rules.
    int64_t intAt(size_t i, int64_t fallback = 0) const {
        return i < values_.size() ? values_[i].toInt() : fallback;
    }
    // A float parameter accepts an Int (converted); any other value reads as 0.0.
    double floatAt(size_t i, double fallback = 0.0) const {
        return i < values_.size() ? values_[i].toDouble() : fallback;
    }
    // A string parameter: non-strings read as the empty text.
    std::string_view stringAt(size_t i) const {
        return i < values_.size() ? values_[i].stringView() : std::string_view();
    }

    // The function being called, for its captured values.
    NativeFunctionObject& self() const { return self_; }
    const SourceLocation& location() const { return location_; }

private:
    std::span<const Value> values_;
    NativeFunctionObject& self_;
    const SourceLocation& location_;
};

using NativeCallable = std::function<Value(Interpreter&, const NativeArgs&)>;

class NativeFunctionObject final : public GcObject {
public:
    NativeFunctionObject(std::string name, NativeCallable callable,
                         std::vector<Value> captures = {})
        : GcObject(ObjectKind::NativeFunction), name(std::move(name)),
          callable(std::move(callable)), captures(std::move(captures)) {}
    // Captured values (a bound method's receiver) are traced, so they live as
    // long as the function does.
    void trace(GC& gc) override;
    size_t size() const override { return 120; }
    std::string toString() const override { return "<native function " + name + ">"; }

    std::string name;
    NativeCallable callable;
    std::vector<Value> captures;
};

// A native object of the library reached from scripts (a widget, a window).
// The member hook answers `handle.name`; it is a plain function so the holder
// stays small, and it receives the holder to reach the object.
class NativeHolderBase : public GcObject {
public:
    using MemberHook = Value (*)(Interpreter&, NativeHolderBase& self, std::string_view member);

    NativeHolderBase(std::string typeName, MemberHook hook)
        : GcObject(ObjectKind::NativeHolder), typeName(std::move(typeName)), memberHook(hook) {}
    size_t size() const override { return 72; }
    std::string toString() const override { return "<Tavi " + typeName + ">"; }

    std::string typeName;
    MemberHook memberHook; // may be null: every member then reads as Null
};

template <typename T>
class NativeHolder final : public NativeHolderBase {
public:
    NativeHolder(std::shared_ptr<T> object, std::string typeName, MemberHook hook = nullptr)
        : NativeHolderBase(std::move(typeName), hook), object(std::move(object)) {}
    // A native object that has `void trace(GC&) const` marks the script values
    // it keeps (TracedValue, NativeApi.h) whenever its holder is marked.
    void trace(GC& gc) override {
        if constexpr (requires(const T& native, GC& collector) { native.trace(collector); }) {
            if (object) object->trace(gc);
        }
    }

    std::shared_ptr<T> object;
};

} // namespace zarn
