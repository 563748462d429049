#include "zarn/types/Type.h"

namespace zarn {

namespace {

const char* kindWord(TypeKind kind) {
    switch (kind) {
    case TypeKind::Int: return "int";
    case TypeKind::Float: return "float";
    case TypeKind::String: return "string";
    case TypeKind::Boolean: return "Boolean";
    case TypeKind::Void: return "void";
    case TypeKind::Null: return "null";
    case TypeKind::Any: return "any";
    case TypeKind::Unknown: return "unknown";
    default: return "Type";
    }
}

TypePtr makeSingleton(TypeKind kind, const char* name) { return TypePtr(new Type(kind, name)); }

} // namespace

std::string Type::toString() const { return name.empty() ? kindWord(kind) : name; }

bool Type::isCompatibleWith(const TypePtr& target) const {
    if (!target) return false;
    if (target->is(TypeKind::Any)) return true;
    if (is(TypeKind::Any) || is(TypeKind::Unknown) || target->is(TypeKind::Unknown)) return true;
    if (is(TypeKind::Null)) return target->is(TypeKind::Class) || target->is(TypeKind::Null);
    return kind == target->kind;
}

size_t MemberTable::position(const std::string& name) const {
    if (index_) {
        auto it = index_->find(name);
        return it == index_->end() ? entries_.size() : it->second;
    }
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].first == name) return i;
    return entries_.size();
}

void MemberTable::set(const std::string& name, TypePtr type) {
    size_t at = position(name);
    if (at < entries_.size()) {
        entries_[at].second = std::move(type);
        return;
    }
    entries_.emplace_back(name, std::move(type));
    if (index_) {
        index_->emplace(name, static_cast<uint32_t>(at));
    } else if (entries_.size() > kIndexed) {
        index_ = std::make_unique<std::unordered_map<std::string, uint32_t>>();
        for (size_t i = 0; i < entries_.size(); ++i)
            index_->emplace(entries_[i].first, static_cast<uint32_t>(i));
    }
}

TypePtr MemberTable::find(const std::string& name) const {
    size_t at = position(name);
    return at < entries_.size() ? entries_[at].second : nullptr;
}

void MemberTable::clear() {
    entries_.clear();
    index_.reset();
}

bool ClassType::isCompatibleWith(const TypePtr& target) const {
    if (!target) return false;
    if (target->is(TypeKind::Any)) return true;
    // Classes are compared by name only: there is no subtyping.
    const ClassType* other = asClass(target);
    return other && other->name == name;
}

std::string FunctionType::toString() const {
    std::string text = "function(";
    for (size_t i = 0; i < paramTypes.size(); ++i) {
        if (i) text += ", ";
        text += paramTypes[i] ? paramTypes[i]->toString() : "any";
    }
    text += "): ";
    text += returnType ? returnType->toString() : "void";
    return text;
}

bool FunctionType::isCompatibleWith(const TypePtr& target) const {
    if (!target) return false;
    if (target->is(TypeKind::Any)) return true;
    const FunctionType* other = asFunction(target);
    if (!other) return false;
    if (!returnType || !returnType->isCompatibleWith(other->returnType)) return false;
    if (paramTypes.size() != other->paramTypes.size()) return false;
    // Parameters must be spelled alike: any is not a stand-in for int here.
    for (size_t i = 0; i < paramTypes.size(); ++i) {
        const TypePtr& mine = paramTypes[i];
        const TypePtr& theirs = other->paramTypes[i];
        if ((mine ? mine->toString() : "any") != (theirs ? theirs->toString() : "any"))
            return false;
    }
    return true;
}

ArrayType::ArrayType(TypePtr element)
    : Type(TypeKind::Array, ""), elementType(element ? std::move(element) : anyType()) {}

// A long chain of nested array types is released one level at a time rather
// than by destructors calling destructors.
ArrayType::~ArrayType() {
    TypePtr next = std::move(elementType);
    while (next && next.use_count() == 1) {
        auto* array = dynamic_cast<ArrayType*>(next.get());
        if (!array) break;
        TypePtr inner = std::move(array->elementType);
        next = std::move(inner);
    }
}

// Arrays of arrays are walked in a loop rather than by recursion, so that a
// type name with a very long run of "[]" cannot exhaust the stack.
std::string ArrayType::toString() const {
    size_t depth = 1;
    const Type* element = elementType.get();
    while (const auto* inner = dynamic_cast<const ArrayType*>(element)) {
        ++depth;
        element = inner->elementType.get();
    }
    std::string text = element->toString();
    text.reserve(text.size() + 2 * depth);
    for (size_t i = 0; i < depth; ++i) text += "[]";
    return text;
}

bool ArrayType::isCompatibleWith(const TypePtr& target) const {
    if (!target) return false;
    if (target->is(TypeKind::Any)) return true;
    const ArrayType* found = this;
    const ArrayType* expected = asArray(target);
    while (expected) {
        const TypePtr& element = found->elementType;
        const TypePtr& wanted = expected->elementType;
        const ArrayType* nested = asArray(element);
        if (!nested) return element->isCompatibleWith(wanted);
        if (wanted->is(TypeKind::Any)) return true;
        found = nested;
        expected = asArray(wanted);
    }
    return false;
}

const TypePtr& intType() {
    static const TypePtr type = makeSingleton(TypeKind::Int, "int");
    return type;
}
const TypePtr& floatType() {
    static const TypePtr type = makeSingleton(TypeKind::Float, "float");
    return type;
}
const TypePtr& stringType() {
    static const TypePtr type = makeSingleton(TypeKind::String, "string");
    return type;
}
const TypePtr& booleanType() {
    static const TypePtr type = makeSingleton(TypeKind::Boolean, "Boolean");
    return type;
}
const TypePtr& voidType() {
    static const TypePtr type = makeSingleton(TypeKind::Void, "void");
    return type;
}
const TypePtr& nullType() {
    static const TypePtr type = makeSingleton(TypeKind::Null, "null");
    return type;
}
const TypePtr& anyType() {
    static const TypePtr type = makeSingleton(TypeKind::Any, "any");
    return type;
}
const TypePtr& unknownType() {
    static const TypePtr type = makeSingleton(TypeKind::Unknown, "<type-error>");
    return type;
}

TypePtr makeArrayType(TypePtr elementType) {
    return TypePtr(new ArrayType(std::move(elementType)));
}

TypePtr makeFunctionType(TypePtr returnType, std::vector<TypePtr> paramTypes) {
    return TypePtr(new FunctionType(std::move(returnType), std::move(paramTypes)));
}

TypeRef<ClassType> makeClassType(std::string name) {
    return TypeRef<ClassType>(new ClassType(std::move(name)));
}

const ClassType* asClass(const TypePtr& type) {
    return type && type->is(TypeKind::Class) ? dynamic_cast<const ClassType*>(type.get()) : nullptr;
}
const FunctionType* asFunction(const TypePtr& type) {
    return type && type->is(TypeKind::Function) ? dynamic_cast<const FunctionType*>(type.get())
                                                : nullptr;
}
const ArrayType* asArray(const TypePtr& type) {
    return type && type->is(TypeKind::Array) ? dynamic_cast<const ArrayType*>(type.get()) : nullptr;
}

} // namespace zarn
