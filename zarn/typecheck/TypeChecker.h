// The type checker: a declaration pre-pass over a program's top level, then a
// walk that gives every expression its static type and reports type errors.
// It is lenient on purpose: operands and call arguments are not checked, and
// anything typed any or already in error passes every test.
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/AST.h"
#include "zarn/frontend/ModuleCache.h"
#include "zarn/typecheck/Scope.h"
#include "zarn/types/Type.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zarn {

// Told which declaration each name of a checked program refers to (editor
// tooling); the checker works the same without one.
class NameObserver {
public:
    virtual ~NameObserver() = default;
    virtual void nameResolved(const IdentifierExpr& use, const Symbol& symbol) = 0;
};

class TypeChecker final : public ASTVisitor {
public:
    // Registers the global functions and the always-present module `math`.
    explicit TypeChecker(DiagnosticEngine& diagnostics);
    ~TypeChecker() override;

    // The file being checked; `use` of source files resolves relative to it.
    void setFile(const std::string& path);
    // The run's module cache, shared with the interpreter (by default the
    // checker reads modules into one of its own).
    void setModuleCache(std::shared_ptr<ModuleCache> cache) { moduleCache_ = std::move(cache); }

    // Not owned; null (the default) for none.
    void setNameObserver(NameObserver* observer) { observer_ = observer; }

    // The scope of the built-in globals and modules, and the program's own
    // top-level scope (which also holds the names of source modules it uses).
    const Scope& globalScope() const { return *globals_; }
    const Scope& programScope() const { return *program_; }

    // The members the checker knows on a receiver of this type (class fields
    // and methods, module functions, string and array methods), with their types.
    std::vector<std::pair<std::string, TypePtr>> knownMembers(const TypePtr& objectType) const;

    // Declares every top-level `use`, class and function, so that they may be
    // used before the line that declares them.
    void declare(Program& program);
    // Checks the top-level statements in order.
    void check(Program& program);

    // An interactive session: each entry is declared and checked against
    // everything the entries before it made known. An entry may declare a
    // name an earlier entry declared; within one entry the usual rules hold.
    // What the entry declares stays pending until `commitEntry` makes it
    // visible to later entries, or `discardEntry` drops it (a failed entry
    // leaves nothing behind).
    void checkEntry(Program& entry);
    void commitEntry();
    void discardEntry();

    // The type a declared type name stands for; unknown names report "E0014".
    TypePtr resolveType(const std::string& name, const SourceLocation& location);

    // Makes a built-in module, or the top-level names of a source module,
    // known in the current scope (once per scope chain).
    void declareModule(const std::string& name, const SourceLocation& location);

    void visitProgram(Program& node) override;
    void visitClassDeclStmt(ClassDeclStmt& node) override;
    void visitFunctionDeclStmt(FunctionDeclStmt& node) override;
    void visitUseStmt(UseStmt& node) override;
    void visitContinueStmt(ContinueStmt& node) override;
    void visitBreakStmt(BreakStmt& node) override;
    void visitReturnStmt(ReturnStmt& node) override;
    void visitSwitchStmt(SwitchStmt& node) override;
    void visitForeachStmt(ForeachStmt& node) override;
    void visitForStmt(ForStmt& node) override;
    void visitDoWhileStmt(DoWhileStmt& node) override;
    void visitWhileStmt(WhileStmt& node) override;
    void visitIfStmt(IfStmt& node) override;
    void visitExprStmt(ExprStmt& node) override;
    void visitAssignStmt(AssignStmt& node) override;
    void visitVarDeclStmt(VarDeclStmt& node) override;
    void visitBlockStmt(BlockStmt& node) override;
    void visitLambdaExpr(LambdaExpr& node) override;
    void visitArrayLiteralExpr(ArrayLiteralExpr& node) override;
    void visitNewExpr(NewExpr& node) override;
    void visitIndexExpr(IndexExpr& node) override;
    void visitMemberExpr(MemberExpr& node) override;
    void visitCallExpr(CallExpr& node) override;
    void visitUnaryExpr(UnaryExpr& node) override;
    void visitBinaryExpr(BinaryExpr& node) override;
    void visitIdentifierExpr(IdentifierExpr& node) override;
    void visitLiteralExpr(LiteralExpr& node) override;

private:
    class ScopeGuard;
    struct DeclareFrame;

    // Built-in signatures (TypeCheckerBuiltins.cpp).
    void registerBuiltins();
    bool declareBuiltinModule(const std::string& name, const SourceLocation& location);

    // The declaration pre-pass over a stack of programs: a program's `use`s
    // are declared (depth first) before its classes and functions, without
    // recursion, so that a chain of thousands of modules is fine.
    void runDeclarations(std::vector<DeclareFrame>& stack);
    // Starts the declaration of `use name` written in a file of `directory`:
    // declares a built-in module at once, or returns the parsed source module
    // whose declarations must run next (null when there is nothing to do).
    std::shared_ptr<Program> beginModule(const std::string& name, const SourceLocation& location,
                                         const std::string& directory, std::string& modulePath);
    void declareClassesAndFunctions(Program& program);
    void declareClassMembers(ClassDeclStmt& node, ClassType& classType);
    TypePtr functionTypeOf(FunctionDeclStmt& node);
    // A class type that the checker releases the members of when it ends.
    TypeRef<ClassType> newClassType(const std::string& name);
    TypePtr parameterType(Parameter& parameter);

    // The expression's type as stored on its node (null for no expression).
    const TypePtr& checkExpr(const ExprPtr& expression);
    void checkStmt(const StmtPtr& statement);
    void checkStatements(const std::vector<StmtPtr>& statements);
    void checkFunctionBody(FunctionDeclStmt& node);
    void checkCondition(const ExprPtr& condition, const SourceLocation& at, bool whileForm);
    void defineVariable(const std::string& name, const TypePtr& type,
                        const SourceLocation& location);
    TypePtr memberType(const TypePtr& objectType, const std::string& member);
    // The array type of an element type, made once per element type: a large
    // program spells int[] in many places and needs only one such type.
    TypePtr arrayOf(TypePtr elementType);

    DiagnosticEngine& diagnostics_;
    std::unique_ptr<Scope> globals_; // built-in globals and modules
    std::unique_ptr<Scope> program_; // the program's own top-level names
    Scope* current_ = nullptr;
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    using TypeTable = std::unordered_map<std::string, TypePtr, NameHash, std::equal_to<>>;
    TypeTable knownTypes_;
    TypePtr currentReturnType_; // null at top level
    bool inLoop_ = false;
    bool inSwitch_ = false;
    std::string filePath_;
    // The run's source modules, each read and parsed once (shared with the interpreter).
    std::shared_ptr<ModuleCache> moduleCache_;
    std::unordered_set<std::string> unreadableModules_;
    std::vector<TypeRef<ClassType>> classTypes_;
    NameObserver* observer_ = nullptr;
    std::unordered_map<const Type*, TypePtr> arrayTypes_; // by element type
    // The pending entry of a session, its scope a child of the program's, and
    // the known types as they were before it.
    std::unique_ptr<Scope> entry_;
    TypeTable typesBeforeEntry_;
};

} // namespace zarn
