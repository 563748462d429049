// Heap objects of running programs. Every object is created by the GC
// (GC::allocate) and destroyed only by it; values and containers hold plain
// pointers. Each class reports what it refers to (trace), how many bytes the
// collector accounts for it (size) and its text form (toString).
#pragma once

#include "zarn/diagnostics/SourceLocation.h"
#include "zarn/frontend/NodeRef.h"
#include "zarn/runtime/Value.h"

#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
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

    // The link comes first so that the three small members end the header and
    // a derived class may place a 32-bit member in the padding behind them.
    GcObject* next = nullptr; // the collector's list of all objects
    ObjectKind objectKind;
    bool marked = false;
    uint8_t sizeClass = 0; // the collector's storage class (0: plain heap)
};

inline Value::Value(GcObject* object) {
    if (object == nullptr) return;
    kind = object->objectKind == ObjectKind::String ? ValueKind::String : ValueKind::Object;
    as.object = object;
}

// The text of a string lives right after the object, in the same allocation
// (GC::allocateExtra): a string is one block of 24 bytes plus its length.
// Make one with makeStringObject (GC.h), which sizes the allocation.
class StringObject final : public GcObject {
public:
    // The object only: the caller allocated length bytes after it and fills
    // them (data()) before anything else can read the text. The length is kept
    // in 32 bits, in the padding of the header; a longer text is refused as
    // memory that cannot be had.
    explicit StringObject(size_t length)
        : GcObject(ObjectKind::String), length(checkedLength(length)) {}
    size_t size() const override { return sizeof(StringObject) + length; }
    std::string toString() const override { return std::string(view()); }

    std::string_view view() const { return {data(), length}; }
    const char* data() const { return reinterpret_cast<const char*>(this + 1); }
    char* data() { return reinterpret_cast<char*>(this + 1); }

    // Never changed after creation: strings are shared freely.
    const uint32_t length;

private:
    static uint32_t checkedLength(size_t length) {
        if (length > UINT32_MAX) throw std::bad_alloc();
        return static_cast<uint32_t>(length);
    }
};
static_assert(sizeof(StringObject) == 24, "a string's length sits in the header's padding");

// The elements of an array, stored by what they hold: all Bool as bytes, all
// Int as int64_t, all Float as double, anything else (or a mix) as Values. The
// first element that does not fit the current storage converts the array to
// Values once; an emptied array picks its storage again at the next push. Only
// the Values storage refers to heap objects, so only it is traced.
class ArrayObject final : public GcObject {
public:
    // The scalar storages carry the number of the ValueKind they hold, so a
    // value fits a scalar storage exactly when the numbers are equal.
    enum class Storage : uint8_t { Values = 0, Bool = 1, Int = 2, Float = 3 };

    ArrayObject() : GcObject(ObjectKind::Array) {}
    explicit ArrayObject(std::span<const Value> elements);
    explicit ArrayObject(const std::vector<Value>& elements)
        : ArrayObject(std::span<const Value>(elements)) {}
    ~ArrayObject() override;
    void trace(GC& gc) override;
    size_t size() const override { return sizeof(ArrayObject) + capacity_ * width(); }
    std::string toString() const override;

    // The number of elements.
    size_t length() const { return length_; }
    bool empty() const { return length_ == 0; }
    Storage storage() const { return storage_; }

    // The element at index i (i < length()).
    Value get(size_t i) const {
        switch (storage_) {
        case Storage::Bool: return Value::fromBool(data_[i] != 0);
        case Storage::Int: return Value::fromInt(words()[i]);
        case Storage::Float: return Value::fromFloat(std::bit_cast<double>(words()[i]));
        case Storage::Values: break;
        }
        return values()[i];
    }
    // Replaces the element at index i (i < length()).
    void set(size_t i, const Value& value) {
        if (!fits(value)) generalise();
        store(i, value);
    }
    void push(const Value& value) {
        // An empty array takes the storage of its first element.
        if (length_ == 0 || !fits(value)) [[unlikely]] {
            if (length_ == 0) reuseAs(storageFor(value));
            else generalise();
        }
        if (length_ == capacity_) [[unlikely]]
            grow(length_ + 1);
        store(length_++, value);
    }
    // Removes and returns the last element; Null when there is none.
    Value pop() {
        if (length_ == 0) return Value();
        Value last = get(length_ - 1);
        --length_;
        return last;
    }
    void clear() { length_ = 0; }

private:
    static Storage storageFor(const Value& value) {
        return value.kind <= ValueKind::Float ? static_cast<Storage>(value.kind) : Storage::Values;
    }
    bool fits(const Value& value) const {
        return storage_ == Storage::Values ||
               static_cast<uint8_t>(value.kind) == static_cast<uint8_t>(storage_);
    }
    size_t width() const {
        return storage_ == Storage::Values ? sizeof(Value)
               : storage_ == Storage::Bool ? 1
                                           : sizeof(int64_t);
    }
    // Writes a value that fits the storage.
    void store(size_t i, const Value& value) {
        switch (storage_) {
        case Storage::Bool: data_[i] = value.as.boolean ? 1 : 0; return;
        case Storage::Int: words()[i] = value.as.integer; return;
        case Storage::Float: words()[i] = std::bit_cast<int64_t>(value.as.number); return;
        case Storage::Values: values()[i] = value; return;
        }
    }
    int64_t* words() const { return reinterpret_cast<int64_t*>(data_); }
    Value* values() const { return reinterpret_cast<Value*>(data_); }
    // Enlarges the storage to hold at least count elements, at least doubling
    // it and taking at least minimumBytes: an array that grows by pushes starts
    // with room for a few elements instead of reallocating at one, two and four.
    void grow(size_t count, size_t minimumBytes = kFirstGrowth);
    static constexpr size_t kFirstGrowth = 64;
    // Converts the elements to Values storage.
    void generalise();
    // Switches an empty array to another storage, keeping its buffer.
    void reuseAs(Storage storage);

    unsigned char* data_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0; // in elements of the current storage
    Storage storage_ = Storage::Values;
};

class NativeFunctionObject;
struct ClassInfo;

// The fixed part shared by the instances of one class: its name and the
// fields every instance holds, one value slot each, in declaration order.
// Owned by the interpreter and never freed while it lives.
struct InstanceLayout {
    static constexpr uint32_t kNoSlot = UINT32_MAX;

    uint32_t classSymbol = 0;
    const std::string* className = nullptr; // in the interpreter's name table
    std::vector<uint32_t> fieldNames;       // distinct name ids, slot order

    uint32_t slotOf(uint32_t name) const {
        for (size_t i = 0; i < fieldNames.size(); ++i)
            if (fieldNames[i] == name) return static_cast<uint32_t>(i);
        return kNoSlot;
    }
};

// What only some instances need: fields beyond their class's (natives build
// objects by name) and the bound methods handed to their method scopes.
struct InstanceExtras {
    std::vector<std::pair<uint32_t, Value>> fields; // in creation order
    // Made once, on the first method call; valid for boundFor (class
    // information is never freed).
    const ClassInfo* boundFor = nullptr;
    std::vector<NativeFunctionObject*> boundMethods;
};

// An instance: its layout, then exactly its layout's field values, stored
// right behind the object (GC::allocateSized with bytesFor).
class ClassInstanceObject final : public GcObject {
public:
    static size_t bytesFor(const InstanceLayout& layout) {
        return sizeof(ClassInstanceObject) + sizeof(Value) * layout.fieldNames.size();
    }
    // Every field starts as Null.
    explicit ClassInstanceObject(const InstanceLayout& layout)
        : GcObject(ObjectKind::ClassInstance),
          slotCount_(static_cast<uint32_t>(layout.fieldNames.size())), layout(&layout) {
        for (uint32_t i = 0; i < slotCount_; ++i) new (slots() + i) Value();
    }
    ~ClassInstanceObject() override { delete extras_; }
    void trace(GC& gc) override;
    size_t size() const override;
    std::string toString() const override { return "<instance of " + *layout->className + ">"; }

    uint32_t classSymbol() const { return layout->classSymbol; }
    const std::string& className() const { return *layout->className; }
    Value* slots() { return reinterpret_cast<Value*>(this + 1); }
    const Value* slots() const { return reinterpret_cast<const Value*>(this + 1); }

    // The field with that name id, or null.
    Value* findField(uint32_t symbol) {
        const uint32_t* names = layout->fieldNames.data();
        for (uint32_t i = 0; i < slotCount_; ++i)
            if (names[i] == symbol) return slots() + i;
        return extras_ ? findExtraField(symbol) : nullptr;
    }
    // The field in a layout slot, when the layout gives that slot this name.
    Value* fieldAt(uint32_t slot, uint32_t symbol) {
        return slot < slotCount_ && layout->fieldNames[slot] == symbol ? slots() + slot : nullptr;
    }
    // The layout slot of one of this instance's field values, or kNoSlot for
    // a field beyond the layout.
    uint32_t slotIndexOf(const Value* field) const {
        // Compared as addresses: a field beyond the layout is in another block.
        auto first = reinterpret_cast<uintptr_t>(slots());
        auto at = reinterpret_cast<uintptr_t>(field);
        if (at < first || at >= first + sizeof(Value) * slotCount_) return InstanceLayout::kNoSlot;
        return static_cast<uint32_t>((at - first) / sizeof(Value));
    }
    // A field that is not one of the layout's, or null.
    Value* findExtraField(uint32_t symbol) {
        if (extras_ == nullptr) return nullptr;
        for (auto& field : extras_->fields)
            if (field.first == symbol) return &field.second;
        return nullptr;
    }
    // Sets the field, creating it after the others when missing.
    void setField(uint32_t symbol, Value value) {
        if (Value* slot = findField(symbol)) *slot = value;
        else extras().fields.emplace_back(symbol, value);
    }
    // Calls visit(name id, value) for every field in creation order.
    template <typename Visit>
    void forEachField(Visit&& visit) const {
        for (uint32_t i = 0; i < slotCount_; ++i) visit(layout->fieldNames[i], slots()[i]);
        if (extras_)
            for (const auto& field : extras_->fields) visit(field.first, field.second);
    }

    InstanceExtras& extras() {
        if (extras_ == nullptr) extras_ = new InstanceExtras();
        return *extras_;
    }
    InstanceExtras* extrasIfAny() const { return extras_; }

private:
    uint32_t slotCount_; // first, so it fits in the padding behind the header

public:
    const InstanceLayout* const layout;

private:
    InstanceExtras* extras_ = nullptr;
};
static_assert(alignof(Value) <= alignof(ClassInstanceObject) &&
                  sizeof(ClassInstanceObject) % alignof(Value) == 0,
              "the field values follow the instance directly");

class Environment;

// What a declared function or lambda shares between all its function objects:
// built once per declaration node.
struct FunctionShape {
    std::string name;             // empty for a lambda
    std::vector<uint32_t> params; // parameter name ids in order
    NodeRef<BlockStmt> body;
    // A call runs in a frame with this many fixed places (see FrameLayout.h),
    // the parameters first; false: in a scope that holds names.
    bool frame = false;
    uint8_t framePlaces = 0;
};

class FunctionObject final : public GcObject {
public:
    FunctionObject(const FunctionShape* shape, Environment* closure)
        : GcObject(ObjectKind::Function), shape(shape), closure(closure) {}
    void trace(GC& gc) override;
    size_t size() const override { return 104; }
    std::string toString() const override {
        return "<function " + (shape->name.empty() ? std::string("anonymous") : shape->name) + ">";
    }

    // Kept by the interpreter that made the object for as long as its
    // collector lives (see Interpreter::keptShapes_): a plain pointer spares
    // every closure made the atomic counting of a shared one.
    const FunctionShape* shape;
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
