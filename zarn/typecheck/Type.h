// Static types: the primitive singletons, class, function and array types, and
// the one compatibility relation every check of the type checker uses.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
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
using TypePtr = std::shared_ptr<Type>;

class Type {
public:
    Type(TypeKind kind, std::string name) : kind(kind), name(std::move(name)) {}
    virtual ~Type() = default;

    // The spelling used in messages: the name when there is one, else the kind's word.
    virtual std::string toString() const;

    // Whether a value of this (found) type may be stored where `target` is expected.
    virtual bool isCompatibleWith(const TypePtr& target) const;

    bool is(TypeKind k) const { return kind == k; }

    const TypeKind kind;
    const std::string name;
};

// A user class, a library class or a module: fields and methods by name.
class ClassType final : public Type {
public:
    explicit ClassType(std::string className) : Type(TypeKind::Class, std::move(className)) {}

    std::string toString() const override { return name; }
    bool isCompatibleWith(const TypePtr& target) const override;

    // Records a member, replacing one of the same name.
    void addField(const std::string& fieldName, TypePtr type) {
        fields_[fieldName] = std::move(type);
    }
    void addMethod(const std::string& methodName, TypePtr type) {
        methods_[methodName] = std::move(type);
    }

    // The member's type or null when the class has no such member.
    TypePtr field(const std::string& fieldName) const;
    TypePtr method(const std::string& methodName) const;
    const std::unordered_map<std::string, TypePtr>& fields() const { return fields_; }
    const std::unordered_map<std::string, TypePtr>& methods() const { return methods_; }

    // Members refer to classes (often their own), so class types form cycles
    // of shared references; their owner breaks them with this when done.
    void clearMembers() {
        fields_.clear();
        methods_.clear();
    }

private:
    std::unordered_map<std::string, TypePtr> fields_;
    std::unordered_map<std::string, TypePtr> methods_;
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
std::shared_ptr<ClassType> makeClassType(std::string name);

// Null for anything that is not a class, function or array type.
const ClassType* asClass(const TypePtr& type);
const FunctionType* asFunction(const TypePtr& type);
const ArrayType* asArray(const TypePtr& type);

} // namespace zarn
