// Fuzzes the lexer and the parser over arbitrary bytes: nothing may crash,
// hang or leak, every diagnostic must render, and the tree may never hold an
// empty child where the tree walkers expect one.
#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace zarn;

// Aborts when a child that every walker dereferences is missing.
class TreeChecker final : public ASTVisitor {
public:
    void need(ASTNode* node) {
        if (!node) std::abort();
        node->accept(*this);
    }
    void optional(ASTNode* node) {
        if (node) node->accept(*this);
    }
    template <typename List>
    void all(const List& nodes) {
        for (const auto& node : nodes) need(node.get());
    }

    void visitProgram(Program& n) override { all(n.statements); }
    void visitClassDeclStmt(ClassDeclStmt& n) override {
        all(n.fields);
        all(n.methods);
    }
    void visitFunctionDeclStmt(FunctionDeclStmt& n) override { need(n.body.get()); }
    void visitUseStmt(UseStmt&) override {}
    void visitContinueStmt(ContinueStmt&) override {}
    void visitBreakStmt(BreakStmt&) override {}
    void visitReturnStmt(ReturnStmt& n) override { optional(n.value.get()); }
    void visitSwitchStmt(SwitchStmt& n) override {
        need(n.value.get());
        for (auto& switchCase : n.cases) {
            optional(switchCase.value.get());
            all(switchCase.body);
        }
    }
    void visitForeachStmt(ForeachStmt& n) override {
        need(n.iterable.get());
        need(n.body.get());
    }
    void visitForStmt(ForStmt& n) override {
        optional(n.initializer.get());
        optional(n.condition.get());
        optional(n.increment.get());
        need(n.body.get());
    }
    void visitDoWhileStmt(DoWhileStmt& n) override {
        need(n.body.get());
        need(n.condition.get());
    }
    void visitWhileStmt(WhileStmt& n) override {
        need(n.condition.get());
        need(n.body.get());
    }
    void visitIfStmt(IfStmt& n) override {
        need(n.condition.get());
        need(n.thenBranch.get());
        optional(n.elseBranch.get());
    }
    void visitExprStmt(ExprStmt& n) override { need(n.expression.get()); }
    void visitAssignStmt(AssignStmt& n) override {
        need(n.target.get());
        need(n.value.get());
    }
    void visitVarDeclStmt(VarDeclStmt& n) override { optional(n.initializer.get()); }
    void visitBlockStmt(BlockStmt& n) override { all(n.statements); }
    void visitLambdaExpr(LambdaExpr& n) override { need(n.body.get()); }
    void visitArrayLiteralExpr(ArrayLiteralExpr& n) override { all(n.elements); }
    void visitNewExpr(NewExpr& n) override { all(n.arguments); }
    void visitIndexExpr(IndexExpr& n) override {
        need(n.object.get());
        need(n.index.get());
    }
    void visitMemberExpr(MemberExpr& n) override { need(n.object.get()); }
    void visitCallExpr(CallExpr& n) override {
        need(n.callee.get());
        all(n.arguments);
    }
    void visitUnaryExpr(UnaryExpr& n) override { need(n.operand.get()); }
    void visitBinaryExpr(BinaryExpr& n) override {
        need(n.left.get());
        need(n.right.get());
    }
    void visitIdentifierExpr(IdentifierExpr&) override {}
    void visitLiteralExpr(LiteralExpr&) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string source(reinterpret_cast<const char*>(data), size);
    DiagnosticEngine engine;
    Lexer lexer(source, "fuzz.zarn", engine);
    std::vector<Token> tokens = lexer.tokenize();

    // The driver stops after lexer errors; the parser is run anyway so that it
    // also meets Invalid tokens.
    Parser parser(tokens, engine);
    std::shared_ptr<Program> program = parser.parseProgram();
    if (!program) std::abort();
    TreeChecker().need(program.get());

    // The entries the interpreter uses for interpolated strings.
    Parser expressionParser(tokens, engine);
    if (std::shared_ptr<Expression> expression = expressionParser.parseExpression())
        TreeChecker().need(expression.get());
    Parser typeParser(std::move(tokens), engine);
    if (typeParser.parseType().empty()) std::abort();

    for (const Diagnostic& diagnostic : engine.diagnostics()) {
        if (engine.render(diagnostic).empty()) std::abort();
    }
    return 0;
}
