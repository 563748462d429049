// The type model: text forms, resolution of type names and the compatibility
// relation that every check of the type checker goes through.
#include "zarn/types/Type.h"
#include "zarn/typecheck/TypeChecker.h"

#include <gtest/gtest.h>

using namespace zarn;

namespace {

TEST(TypeTest, SingletonsAreSharedAndSpelledAsInSource) {
    EXPECT_EQ(intType(), intType());
    EXPECT_EQ(intType()->toString(), "int");
    EXPECT_EQ(booleanType()->toString(), "Boolean");
    EXPECT_EQ(unknownType()->toString(), "<type-error>");
    EXPECT_EQ(unknownType()->kind, TypeKind::Unknown);
    EXPECT_EQ(nullType()->toString(), "null");
    EXPECT_EQ(Type(TypeKind::Class, "").toString(), "Type");
    EXPECT_EQ(Type(TypeKind::Unknown, "").toString(), "unknown");
    EXPECT_EQ(static_cast<uint32_t>(TypeKind::Null), 9u);
    EXPECT_EQ(static_cast<uint32_t>(TypeKind::Unknown), 11u);
}

TEST(TypeTest, CompositeTextForms) {
    EXPECT_EQ(makeFunctionType(booleanType(), {intType(), stringType()})->toString(),
              "function(int, string): Boolean");
    EXPECT_EQ(makeFunctionType(voidType(), {})->toString(), "function(): void");
    EXPECT_EQ(makeArrayType(makeArrayType(intType()))->toString(), "int[][]");
    EXPECT_EQ(makeArrayType(nullptr)->toString(), "any[]");
    EXPECT_EQ(makeClassType("Point")->toString(), "Point");
}

TEST(TypeTest, PrimitiveCompatibility) {
    EXPECT_TRUE(intType()->isCompatibleWith(intType()));
    EXPECT_FALSE(intType()->isCompatibleWith(floatType())); // no widening
    EXPECT_FALSE(floatType()->isCompatibleWith(intType()));
    EXPECT_FALSE(intType()->isCompatibleWith(nullptr));
    for (const TypePtr& type : {intType(), stringType(), nullType(), voidType()}) {
        EXPECT_TRUE(type->isCompatibleWith(anyType())) << type->toString();
        EXPECT_TRUE(anyType()->isCompatibleWith(type)) << type->toString();
        EXPECT_TRUE(type->isCompatibleWith(unknownType())) << type->toString();
        EXPECT_TRUE(unknownType()->isCompatibleWith(type)) << type->toString();
    }
}

TEST(TypeTest, NullOnlyIntoClassesAndNull) {
    EXPECT_TRUE(nullType()->isCompatibleWith(makeClassType("Node")));
    EXPECT_TRUE(nullType()->isCompatibleWith(nullType()));
    EXPECT_FALSE(nullType()->isCompatibleWith(stringType()));
    EXPECT_FALSE(nullType()->isCompatibleWith(makeArrayType(intType())));
    EXPECT_FALSE(nullType()->isCompatibleWith(intType()));
}

TEST(TypeTest, ArraysCompareElementsAndRefuseTheErrorType) {
    TypePtr ints = makeArrayType(intType());
    EXPECT_TRUE(ints->isCompatibleWith(makeArrayType(intType())));
    EXPECT_FALSE(ints->isCompatibleWith(makeArrayType(floatType())));
    EXPECT_TRUE(ints->isCompatibleWith(makeArrayType(anyType())));
    EXPECT_TRUE(ints->isCompatibleWith(anyType()));
    EXPECT_FALSE(ints->isCompatibleWith(unknownType()));
    EXPECT_FALSE(ints->isCompatibleWith(intType()));
    TypePtr nested = makeArrayType(makeArrayType(intType()));
    EXPECT_TRUE(nested->isCompatibleWith(makeArrayType(makeArrayType(intType()))));
    EXPECT_TRUE(nested->isCompatibleWith(makeArrayType(anyType())));
    EXPECT_FALSE(nested->isCompatibleWith(makeArrayType(makeArrayType(stringType()))));
    EXPECT_FALSE(nested->isCompatibleWith(makeArrayType(unknownType())));
    EXPECT_TRUE(makeArrayType(unknownType())->isCompatibleWith(makeArrayType(intType())));
}

TEST(TypeTest, ClassesCompareByNameOnly) {
    EXPECT_TRUE(makeClassType("A")->isCompatibleWith(makeClassType("A")));
    EXPECT_FALSE(makeClassType("A")->isCompatibleWith(makeClassType("B")));
    EXPECT_FALSE(makeClassType("A")->isCompatibleWith(unknownType()));
    EXPECT_FALSE(makeClassType("A")->isCompatibleWith(nullType()));
    EXPECT_TRUE(makeClassType("A")->isCompatibleWith(anyType()));
}

TEST(TypeTest, FunctionsCompareReturnsAndParameterSpellings) {
    TypePtr f = makeFunctionType(intType(), {intType()});
    EXPECT_TRUE(f->isCompatibleWith(makeFunctionType(intType(), {intType()})));
    EXPECT_TRUE(f->isCompatibleWith(makeFunctionType(anyType(), {intType()})));
    EXPECT_FALSE(f->isCompatibleWith(makeFunctionType(intType(), {intType(), intType()})));
    EXPECT_FALSE(f->isCompatibleWith(makeFunctionType(stringType(), {intType()})));
    // Parameters are compared by their text forms: any does not stand in for int.
    EXPECT_FALSE(makeFunctionType(intType(), {anyType()})->isCompatibleWith(f));
    EXPECT_FALSE(f->isCompatibleWith(unknownType()));
}

// A type lives while a reference holds it: the count is in the type, and
// references of a derived class share it with references of the base.
TEST(TypeTest, ReferencesCountTheTypeInPlace) {
    TypeRef<ClassType> shape = makeClassType("Shape");
    EXPECT_EQ(shape.use_count(), 1);
    TypePtr asBase = shape;
    EXPECT_EQ(shape.use_count(), 2);
    EXPECT_EQ(asBase, shape);
    TypePtr moved = std::move(asBase);
    EXPECT_FALSE(asBase);
    EXPECT_EQ(shape.use_count(), 2);
    moved.reset();
    EXPECT_EQ(shape.use_count(), 1);
    EXPECT_EQ(asClass(TypePtr(shape))->name, "Shape");
    static_assert(sizeof(TypePtr) == sizeof(void*));
}

// Members keep their order, a later one replaces an earlier of the same
// name, and past the scanned size the index finds the same members.
TEST(TypeTest, ClassMembersByNameAtAnySize) {
    TypeRef<ClassType> big = makeClassType("Big");
    big->addField("b", intType());
    big->addField("a", floatType());
    big->addField("b", stringType());
    std::vector<std::string> order;
    for (const auto& [name, type] : big->fields()) order.push_back(name + ":" + type->toString());
    EXPECT_EQ(order, (std::vector<std::string>{"b:string", "a:float"}));
    EXPECT_EQ(big->field("a"), floatType());
    EXPECT_FALSE(big->field("c"));
    EXPECT_FALSE(big->method("a")); // fields and methods are apart
    const size_t count = MemberTable::kIndexed * 4;
    for (size_t i = 0; i < count; ++i) big->addMethod("m" + std::to_string(i), intType());
    big->addMethod("m3", booleanType()); // replaced after the index exists
    EXPECT_EQ(big->methods().size(), count);
    EXPECT_EQ(big->method("m3"), booleanType());
    EXPECT_EQ(big->method("m" + std::to_string(count - 1)), intType());
    EXPECT_FALSE(big->method("m" + std::to_string(count)));
    big->clearMembers();
    EXPECT_FALSE(big->method("m3"));
    EXPECT_EQ(big->fields().size(), 0u);
}

TEST(TypeTest, DeepArrayTypesDoNotRecurse) {
    TypePtr type = intType();
    for (int i = 0; i < 200000; ++i) type = makeArrayType(type);
    EXPECT_EQ(type->toString().size(), 3u + 2u * 200000u);
    EXPECT_TRUE(type->isCompatibleWith(type));
    type.reset(); // releasing the chain must not recurse either
}

class ResolveTypeTest : public ::testing::Test {
protected:
    DiagnosticEngine engine;
    TypeChecker checker{engine};
    SourceLocation at;

    std::string resolved(const std::string& name) {
        return checker.resolveType(name, at)->toString();
    }
};

TEST_F(ResolveTypeTest, BuiltinNamesListsAndArrays) {
    EXPECT_EQ(checker.resolveType("", at), voidType());
    EXPECT_EQ(checker.resolveType("bool", at), booleanType());
    EXPECT_EQ(resolved("List<string>"), "string[]");
    EXPECT_EQ(resolved("string[]"), "string[]");
    EXPECT_EQ(resolved("int[][]"), "int[][]");
    EXPECT_EQ(resolved("List<List<int>>[]"), "int[][][]");
    EXPECT_EQ(resolved("List<int[]>"), "int[][]");
    EXPECT_FALSE(engine.hasErrors());
}

TEST_F(ResolveTypeTest, UnknownNamesReportOnceWithTheInnerName) {
    EXPECT_EQ(checker.resolveType("Map<string>", at), unknownType());
    EXPECT_EQ(resolved("Foo[]"), "<type-error>[]");
    ASSERT_EQ(engine.diagnostics().size(), 2u);
    EXPECT_EQ(engine.diagnostics()[0].code, "E0014");
    EXPECT_EQ(engine.diagnostics()[0].message, "unknown type name 'Map<string>'");
    EXPECT_EQ(engine.diagnostics()[1].message, "unknown type name 'Foo'");
}

TEST_F(ResolveTypeTest, LibraryClassesAreKnownOnlyAfterTheirModule) {
    EXPECT_EQ(checker.resolveType("Response", at), unknownType());
    checker.declareModule("http", at);
    EXPECT_EQ(resolved("Response"), "Response");
    EXPECT_EQ(resolved("List<Request>"), "Request[]");
    EXPECT_EQ(engine.diagnostics().size(), 1u);
}

} // namespace
