// The syntax tree: the only interface between the parser and the two tree
// walkers (type checker and interpreter). A parsed tree's nodes belong to its
// parse's NodeArena, which the root owns: the links from parents to children
// (shared pointers for the walkers' convenience) count no references, so a
// part of a tree is good only while its root is kept. Nothing points upward.
// Type annotations are type-name strings. Names and literal texts are
// SharedText: the parser makes one per distinct spelling and every node that
// spells it shares it.
#pragma once

#include "zarn/diagnostics/SourceLocation.h"
#include "zarn/frontend/NodeRef.h"
#include "zarn/frontend/Token.h"
#include "zarn/types/Type.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zarn {

class ASTVisitor;

// Scratch space that the interpreter fills the first time it runs a node (the
// id it gave a name, how a loop or a block runs). It belongs to the
// interpreter whose run id is in owner (0: none); any other one recomputes it.
struct RuntimeCache {
    uint32_t owner = 0;
    uint32_t id = 0;
};

// The same, for the few kinds of node that also keep something the
// interpreter builds (a parsed interpolation, a function's shape, where a
// field was found). Kept apart so that the many other nodes stay small.
struct RuntimeDataCache : RuntimeCache {
    std::shared_ptr<void> data;
};

// Where the interpreter last found the variable a name refers to: how many
// scopes up from the current one, and which entry of that scope. It is only
// trusted while epoch equals the interpreter's own (0: not found yet). Packed
// into seven bytes, it fits in the padding at the end of an Expression.
struct [[gnu::packed]] NamePlace {
    uint8_t depth = 0;
    uint16_t slot = 0;
    uint32_t epoch = 0;
};

class ASTNode {
public:
    explicit ASTNode(SourceLocation location) : location(std::move(location)) {}
    virtual ~ASTNode() = default;
    virtual void accept(ASTVisitor& visitor) = 0;
    // The size of the whole node, for the arena that destroys it.
    virtual size_t nodeSize() const = 0;

    SourceLocation location;
};

class Expression : public ASTNode {
public:
    using ASTNode::ASTNode;
    void accept(ASTVisitor& visitor) override = 0;

    TypePtr type; // set by the type checker
    // Set by the interpreter on first evaluation: lets it read names and
    // integer literals without a visit.
    mutable uint8_t runtimeShape = 0;
};

class Statement : public ASTNode {
public:
    using ASTNode::ASTNode;
    void accept(ASTVisitor& visitor) override = 0;
};

using ExprPtr = NodeRef<Expression>;
using StmtPtr = NodeRef<Statement>;

struct Parameter {
    SharedText name;
    SharedText typeName;
    SourceLocation location;
    TypePtr resolvedType; // when set, the checker takes it over typeName
};

class Program;
class ClassDeclStmt;
class FunctionDeclStmt;
class UseStmt;
class ContinueStmt;
class BreakStmt;
class ReturnStmt;
class SwitchStmt;
class ForeachStmt;
class ForStmt;
class DoWhileStmt;
class WhileStmt;
class IfStmt;
class ExprStmt;
class AssignStmt;
class VarDeclStmt;
class BlockStmt;
class LambdaExpr;
class ArrayLiteralExpr;
class NewExpr;
class IndexExpr;
class MemberExpr;
class CallExpr;
class UnaryExpr;
class BinaryExpr;
class IdentifierExpr;
class LiteralExpr;

// One operation per node class, in this fixed slot order.
class ASTVisitor {
public:
    virtual ~ASTVisitor() = default;
    virtual void visitProgram(Program& node) = 0;
    virtual void visitClassDeclStmt(ClassDeclStmt& node) = 0;
    virtual void visitFunctionDeclStmt(FunctionDeclStmt& node) = 0;
    virtual void visitUseStmt(UseStmt& node) = 0;
    virtual void visitContinueStmt(ContinueStmt& node) = 0;
    virtual void visitBreakStmt(BreakStmt& node) = 0;
    virtual void visitReturnStmt(ReturnStmt& node) = 0;
    virtual void visitSwitchStmt(SwitchStmt& node) = 0;
    virtual void visitForeachStmt(ForeachStmt& node) = 0;
    virtual void visitForStmt(ForStmt& node) = 0;
    virtual void visitDoWhileStmt(DoWhileStmt& node) = 0;
    virtual void visitWhileStmt(WhileStmt& node) = 0;
    virtual void visitIfStmt(IfStmt& node) = 0;
    virtual void visitExprStmt(ExprStmt& node) = 0;
    virtual void visitAssignStmt(AssignStmt& node) = 0;
    virtual void visitVarDeclStmt(VarDeclStmt& node) = 0;
    virtual void visitBlockStmt(BlockStmt& node) = 0;
    virtual void visitLambdaExpr(LambdaExpr& node) = 0;
    virtual void visitArrayLiteralExpr(ArrayLiteralExpr& node) = 0;
    virtual void visitNewExpr(NewExpr& node) = 0;
    virtual void visitIndexExpr(IndexExpr& node) = 0;
    virtual void visitMemberExpr(MemberExpr& node) = 0;
    virtual void visitCallExpr(CallExpr& node) = 0;
    virtual void visitUnaryExpr(UnaryExpr& node) = 0;
    virtual void visitBinaryExpr(BinaryExpr& node) = 0;
    virtual void visitIdentifierExpr(IdentifierExpr& node) = 0;
    virtual void visitLiteralExpr(LiteralExpr& node) = 0;
};

#define ZARN_ACCEPT(Name)                                                                          \
    void accept(ASTVisitor& visitor) override { visitor.visit##Name(*this); }                      \
    size_t nodeSize() const override { return sizeof(Name); }

class Program final : public ASTNode {
public:
    Program(std::vector<StmtPtr> statements, SourceLocation location)
        : ASTNode(std::move(location)), statements(std::move(statements)) {}
    ZARN_ACCEPT(Program)

    std::vector<StmtPtr> statements;
};

class BlockStmt final : public Statement {
public:
    BlockStmt(std::vector<StmtPtr> statements, SourceLocation location)
        : Statement(std::move(location)), statements(std::move(statements)) {}
    ZARN_ACCEPT(BlockStmt)

    std::vector<StmtPtr> statements;
    mutable RuntimeCache cache;
};

class VarDeclStmt final : public Statement {
public:
    VarDeclStmt(SharedText name, SharedText typeName, ExprPtr initializer, SourceLocation location)
        : Statement(std::move(location)), name(std::move(name)), typeName(std::move(typeName)),
          initializer(std::move(initializer)) {}
    ZARN_ACCEPT(VarDeclStmt)

    SharedText name;
    SharedText typeName;
    ExprPtr initializer; // may be empty
    TypePtr resolvedType;
    mutable RuntimeCache cache;
};

class FunctionDeclStmt final : public Statement {
public:
    FunctionDeclStmt(SharedText name, std::vector<Parameter> parameters, SharedText returnType,
                     NodeRef<BlockStmt> body, SourceLocation location)
        : Statement(std::move(location)), name(std::move(name)), parameters(std::move(parameters)),
          returnType(std::move(returnType)), body(std::move(body)) {}
    ZARN_ACCEPT(FunctionDeclStmt)

    SharedText name;
    std::vector<Parameter> parameters;
    SharedText returnType;
    NodeRef<BlockStmt> body;
    TypePtr resolvedType;
    mutable RuntimeDataCache cache;
};

class ClassDeclStmt final : public Statement {
public:
    ClassDeclStmt(SharedText name, std::vector<NodeRef<VarDeclStmt>> fields,
                  std::vector<NodeRef<FunctionDeclStmt>> methods, SourceLocation location)
        : Statement(std::move(location)), name(std::move(name)), fields(std::move(fields)),
          methods(std::move(methods)) {}
    ZARN_ACCEPT(ClassDeclStmt)

    SharedText name;
    std::vector<NodeRef<VarDeclStmt>> fields;
    std::vector<NodeRef<FunctionDeclStmt>> methods;
    TypePtr resolvedType;
    mutable RuntimeCache cache;
};

class UseStmt final : public Statement {
public:
    UseStmt(SharedText moduleName, SourceLocation location)
        : Statement(std::move(location)), moduleName(std::move(moduleName)) {}
    ZARN_ACCEPT(UseStmt)

    SharedText moduleName;
};

class ContinueStmt final : public Statement {
public:
    explicit ContinueStmt(SourceLocation location) : Statement(std::move(location)) {}
    ZARN_ACCEPT(ContinueStmt)
};

class BreakStmt final : public Statement {
public:
    explicit BreakStmt(SourceLocation location) : Statement(std::move(location)) {}
    ZARN_ACCEPT(BreakStmt)
};

class ReturnStmt final : public Statement {
public:
    ReturnStmt(ExprPtr value, SourceLocation location)
        : Statement(std::move(location)), value(std::move(value)) {}
    ZARN_ACCEPT(ReturnStmt)

    ExprPtr value; // empty for a bare return
};

struct SwitchCase {
    ExprPtr value; // empty for default
    std::vector<StmtPtr> body;
    SourceLocation location;
};

class SwitchStmt final : public Statement {
public:
    SwitchStmt(ExprPtr value, std::vector<SwitchCase> cases, SourceLocation location)
        : Statement(std::move(location)), value(std::move(value)), cases(std::move(cases)) {}
    ZARN_ACCEPT(SwitchStmt)

    ExprPtr value;
    std::vector<SwitchCase> cases;
    mutable RuntimeDataCache cache;
};

class ForeachStmt final : public Statement {
public:
    ForeachStmt(SharedText variable, ExprPtr iterable, NodeRef<BlockStmt> body,
                SourceLocation location)
        : Statement(std::move(location)), variable(std::move(variable)),
          iterable(std::move(iterable)), body(std::move(body)) {}
    ZARN_ACCEPT(ForeachStmt)

    SharedText variable;
    ExprPtr iterable;
    NodeRef<BlockStmt> body;
    mutable RuntimeCache cache;
};

class ForStmt final : public Statement {
public:
    ForStmt(StmtPtr initializer, ExprPtr condition, StmtPtr increment, NodeRef<BlockStmt> body,
            SourceLocation location)
        : Statement(std::move(location)), initializer(std::move(initializer)),
          condition(std::move(condition)), increment(std::move(increment)), body(std::move(body)) {}
    ZARN_ACCEPT(ForStmt)

    StmtPtr initializer; // may be empty
    ExprPtr condition;   // may be empty
    StmtPtr increment;   // may be empty
    NodeRef<BlockStmt> body;
    mutable RuntimeCache cache;
};

class DoWhileStmt final : public Statement {
public:
    DoWhileStmt(NodeRef<BlockStmt> body, ExprPtr condition, SourceLocation location)
        : Statement(std::move(location)), body(std::move(body)), condition(std::move(condition)) {}
    ZARN_ACCEPT(DoWhileStmt)

    NodeRef<BlockStmt> body;
    ExprPtr condition;
};

class WhileStmt final : public Statement {
public:
    WhileStmt(ExprPtr condition, NodeRef<BlockStmt> body, SourceLocation location)
        : Statement(std::move(location)), condition(std::move(condition)), body(std::move(body)) {}
    ZARN_ACCEPT(WhileStmt)

    ExprPtr condition;
    NodeRef<BlockStmt> body;
};

class IfStmt final : public Statement {
public:
    IfStmt(ExprPtr condition, NodeRef<BlockStmt> thenBranch, StmtPtr elseBranch,
           SourceLocation location)
        : Statement(std::move(location)), condition(std::move(condition)),
          thenBranch(std::move(thenBranch)), elseBranch(std::move(elseBranch)) {}
    ZARN_ACCEPT(IfStmt)

    ExprPtr condition;
    NodeRef<BlockStmt> thenBranch;
    StmtPtr elseBranch; // BlockStmt, IfStmt (else if), or empty
    // Whether elseBranch is a block (set by the parser), so that the
    // interpreter runs it as one without a visit.
    bool elseIsBlock = false;
};

class ExprStmt final : public Statement {
public:
    ExprStmt(ExprPtr expression, SourceLocation location)
        : Statement(std::move(location)), expression(std::move(expression)) {}
    ZARN_ACCEPT(ExprStmt)

    ExprPtr expression;
};

class AssignStmt final : public Statement {
public:
    AssignStmt(TokenType op, ExprPtr target, ExprPtr value, SourceLocation location)
        : Statement(std::move(location)), op(op), target(std::move(target)),
          value(std::move(value)) {}
    ZARN_ACCEPT(AssignStmt)

    TokenType op;
    ExprPtr target; // IdentifierExpr, MemberExpr or IndexExpr (not checked by the parser)
    ExprPtr value;
    mutable RuntimeCache cache;
};

class LambdaExpr final : public Expression {
public:
    LambdaExpr(std::vector<Parameter> parameters, SharedText returnType, NodeRef<BlockStmt> body,
               SourceLocation location)
        : Expression(std::move(location)), parameters(std::move(parameters)),
          returnType(std::move(returnType)), body(std::move(body)) {}
    ZARN_ACCEPT(LambdaExpr)

    std::vector<Parameter> parameters;
    SharedText returnType;
    NodeRef<BlockStmt> body;
    TypePtr resolvedType;
    mutable RuntimeDataCache cache;
};

class ArrayLiteralExpr final : public Expression {
public:
    ArrayLiteralExpr(std::vector<ExprPtr> elements, SourceLocation location)
        : Expression(std::move(location)), elements(std::move(elements)) {}
    ZARN_ACCEPT(ArrayLiteralExpr)

    std::vector<ExprPtr> elements;
};

class NewExpr final : public Expression {
public:
    NewExpr(SharedText className, std::vector<ExprPtr> arguments, SourceLocation location)
        : Expression(std::move(location)), className(std::move(className)),
          arguments(std::move(arguments)) {}
    ZARN_ACCEPT(NewExpr)

    SharedText className;
    std::vector<ExprPtr> arguments;
    mutable RuntimeCache cache;
};

class IndexExpr final : public Expression {
public:
    IndexExpr(ExprPtr object, ExprPtr index, SourceLocation location)
        : Expression(std::move(location)), object(std::move(object)), index(std::move(index)) {}
    ZARN_ACCEPT(IndexExpr)

    ExprPtr object;
    ExprPtr index;
};

class MemberExpr final : public Expression {
public:
    MemberExpr(ExprPtr object, SharedText member, SourceLocation location)
        : Expression(std::move(location)), object(std::move(object)), member(std::move(member)) {}
    ZARN_ACCEPT(MemberExpr)

    ExprPtr object;
    SharedText member;
    mutable RuntimeDataCache cache;
};

class CallExpr final : public Expression {
public:
    CallExpr(ExprPtr callee, std::vector<ExprPtr> arguments, SourceLocation location)
        : Expression(std::move(location)), callee(std::move(callee)),
          arguments(std::move(arguments)) {}
    ZARN_ACCEPT(CallExpr)

    ExprPtr callee;
    std::vector<ExprPtr> arguments;
    mutable RuntimeCache cache;
};

class UnaryExpr final : public Expression {
public:
    UnaryExpr(TokenType op, ExprPtr operand, bool prefix, SourceLocation location)
        : Expression(std::move(location)), prefix(prefix), op(op), operand(std::move(operand)) {}
    ZARN_ACCEPT(UnaryExpr)

    bool prefix; // false for postfix ++ and --; first, to fill the Expression's padding
    TokenType op;
    ExprPtr operand;
    mutable RuntimeCache cache;
};

class BinaryExpr final : public Expression {
public:
    BinaryExpr(TokenType op, ExprPtr left, ExprPtr right, SourceLocation location)
        : Expression(std::move(location)), op(op), left(std::move(left)), right(std::move(right)) {}
    ZARN_ACCEPT(BinaryExpr)

    TokenType op;
    ExprPtr left;
    ExprPtr right;
};

class IdentifierExpr final : public Expression {
public:
    IdentifierExpr(SharedText name, SourceLocation location)
        : Expression(std::move(location)), name(std::move(name)) {}
    ZARN_ACCEPT(IdentifierExpr)

    mutable NamePlace place; // first, so that it goes into the Expression's padding
    SharedText name;
    mutable RuntimeCache cache;
};

enum class LiteralKind : uint8_t { Integer = 0, Float = 1, String = 2, Boolean = 3, Null = 4 };

class LiteralExpr final : public Expression {
public:
    // Integer and Float literals convert their text here; a text out of range
    // leaves the value at 0 without a diagnostic.
    LiteralExpr(LiteralKind kind, SharedText text, SourceLocation location);
    ZARN_ACCEPT(LiteralExpr)

    // The kind and the owner come first, into the Expression's padding.
    LiteralKind kind;
    mutable uint32_t cacheOwner = 0; // see stringCache
    SharedText text;
    // The value of an Integer or a Float literal, by its kind. A String
    // literal keeps there what the interpreter built for it instead (its
    // string, or its parsed placeholders), owned by the interpreter whose run
    // id is in cacheOwner.
    union {
        int64_t intValue = 0;
        double floatValue;
        mutable void* stringCache;
    };
};

#undef ZARN_ACCEPT

} // namespace zarn
