// Static types: the primitive singletons, class, function and array types, and
// the one compatibility relation every check of the type checker uses.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zarn {

enum class TypeKind : uint32_t {
    Int = 0,
    Float = 1,
    String = 2,
    Boolean = 3,
    Void = 4,
    Class = 5,
    Function = 6,
    Array = 7,
    Null = 9,
    Any = 10,
    Unknown = 11,
};

class Type;

// A counted reference to a type. The count lives in the type itself, so a
// reference is one pointer: every expression of a checked tree holds one,
// and a shared pointer would take twice the room. It reads like a shared
// pointer (get, ->, *, a test for null, conversion to a base class,
// use_count); a moved-from reference is empty.
template <typename T>
class TypeRef {
public:
    using element_type = T;

    constexpr TypeRef() noexcept = default;
    constexpr TypeRef(std::nullptr_t) noexcept {}
    // Takes a new type (count 0) or shares one already referenced.
    explicit TypeRef(T* type) noexcept : type_(type) { retain(); }
    TypeRef(const TypeRef& other) noexcept : type_(other.type_) { retain(); }
    TypeRef(TypeRef&& other) noexcept : type_(other.type_) { other.type_ = nullptr; }
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    TypeRef(const TypeRef<U>& other) noexcept : type_(other.get()) {
        retain();
    }
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    TypeRef(TypeRef<U>&& other) noexcept : type_(other.get()) {
        retain();
        other.reset();
    }
    ~TypeRef() { release(); }

    TypeRef& operator=(const TypeRef& other) noexcept {
        TypeRef copy(other);
        std::swap(type_, copy.type_);
        return *this;
    }
    TypeRef& operator=(TypeRef&& other) noexcept {
        std::swap(type_, other.type_);
        return *this;
    }

    T* get() const noexcept { return type_; }
    T& operator*() const noexcept { return *type_; }
    T* operator->() const noexcept { return type_; }
    explicit operator bool() const noexcept { return type_ != nullptr; }
    void reset() noexcept {
        release();
        type_ = nullptr;
    }
    long use_count() const noexcept;

    template <typename U>
    friend bool operator==(const TypeRef& a, const TypeRef<U>& b) noexcept {
        return a.get() == b.get();
    }
    friend bool operator==(const TypeRef& a, std::nullptr_t) noexcept { return !a.type_; }

private:
    void retain() const noexcept;
    void release() const noexcept;

    T* type_ = nullptr;
};

using TypePtr = TypeRef<Type>;

class Type {
public:
    Type(TypeKind kind, std::string name) : kind(kind), name(std::move(name)) {}
    Type(const Type&) = delete;
    Type& operator=(const Type&) = delete;
    virtual ~Type() = default;

    // The spelling used in messages: the name when there is one, else the kind's word.
    virtual std::string toString() const;

    // Whether a value of this (found) type may be stored where `target` is expected.
    virtual bool isCompatibleWith(const TypePtr& target) const;

    bool is(TypeKind k) const { return kind == k; }

    const TypeKind kind;

private:
    template <typename>
    friend class TypeRef;
    // How many TypeRefs hold this type; the last one to go deletes it. Types
    // may be shared between threads (the primitive types are process-wide).
    mutable std::atomic<uint32_t> refs_{0};

public:
    const std::string name;
};

template <typename T>
void TypeRef<T>::retain() const noexcept {
    if (type_) static_cast<const Type*>(type_)->refs_.fetch_add(1, std::memory_order_relaxed);
}

template <typename T>
void TypeRef<T>::release() const noexcept {
    if (type_ &&
        static_cast<const Type*>(type_)->refs_.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete type_;
}

template <typename T>
long TypeRef<T>::use_count() const noexcept {
    return type_ ? static_cast<const Type*>(type_)->refs_.load(std::memory_order_relaxed) : 0;
}

// Members of a class by name, in the order they were added. A class has a
// few, so they are found by a scan: a hash table per class would take several
// times the memory of a checked program's classes. Past kIndexed members an
// index by name is kept too, so that a class with thousands of members is
// still checked in linear time.
class MemberTable {
public:
    using Entry = std::pair<std::string, TypePtr>;

    // Records a member, replacing one of the same name.
    void set(const std::string& name, TypePtr type);
    // The member's type or null.
    TypePtr find(const std::string& name) const;

    std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
    std::vector<Entry>::const_iterator end() const { return entries_.end(); }
    size_t size() const { return entries_.size(); }
    void clear();

    static constexpr size_t kIndexed = 16;

private:
    // The position of a member, or entries_.size().
    size_t position(const std::string& name) const;

    std::vector<Entry> entries_;
    std::unique_ptr<std::unordered_map<std::string, uint32_t>> index_;
};

// A user class, a library class or a module: fields and methods by name.
class ClassType final : public Type {
public:
    explicit ClassType(std::string className) : Type(TypeKind::Class, std::move(className)) {}

    std::string toString() const override { return name; }
    bool isCompatibleWith(const TypePtr& target) const override;

    // Records a member, replacing one of the same name.
    void addField(const std::string& fieldName, TypePtr type) {
        fields_.set(fieldName, std::move(type));
    }
    void addMethod(const std::string& methodName, TypePtr type) {
        methods_.set(methodName, std::move(type));
    }

    // The member's type or null when the class has no such member.
    TypePtr field(const std::string& fieldName) const { return fields_.find(fieldName); }
    TypePtr method(const std::string& methodName) const { return methods_.find(methodName); }
    const MemberTable& fields() const { return fields_; }
    const MemberTable& methods() const { return methods_; }

    // Members refer to classes (often their own), so class types form cycles
    // of shared references; their owner breaks them with this when done.
    void clearMembers() {
        fields_.clear();
        methods_.clear();
    }

private:
    MemberTable fields_;
    MemberTable methods_;
};

class FunctionType final : public Type {
public:
    FunctionType(TypePtr returnType, std::vector<TypePtr> paramTypes)
        : Type(TypeKind::Function, ""), returnType(std::move(returnType)),
          paramTypes(std::move(paramTypes)) {}

    std::string toString() const override;
    bool isCompatibleWith(const TypePtr& target) const override;

    const TypePtr returnType;
    const std::vector<TypePtr> paramTypes;
};

class ArrayType final : public Type {
public:
    // A missing element type stands for any.
    explicit ArrayType(TypePtr elementType);
    ~ArrayType() override;

    std::string toString() const override;
    bool isCompatibleWith(const TypePtr& target) const override;

    TypePtr elementType; // never null; not changed after construction
};

// Shared, immutable singletons, created on first use.
const TypePtr& intType();
const TypePtr& floatType();
const TypePtr& stringType();
const TypePtr& booleanType();
const TypePtr& voidType();
const TypePtr& nullType();
const TypePtr& anyType();
const TypePtr& unknownType(); // "<type-error>": the type of anything that already failed

TypePtr makeArrayType(TypePtr elementType);
TypePtr makeFunctionType(TypePtr returnType, std::vector<TypePtr> paramTypes);
TypeRef<ClassType> makeClassType(std::string name);

// Null for anything that is not a class, function or array type.
const ClassType* asClass(const TypePtr& type);
const FunctionType* asFunction(const TypePtr& type);
const ArrayType* asArray(const TypePtr& type);

} // namespace zarn
