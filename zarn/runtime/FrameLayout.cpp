#include "zarn/runtime/FrameLayout.h"

#include <string_view>

namespace zarn {

bool definesNames(const std::vector<StmtPtr>& statements) {
    for (const StmtPtr& statement : statements) {
        Statement* s = statement.get();
        if (dynamic_cast<VarDeclStmt*>(s) || dynamic_cast<FunctionDeclStmt*>(s) ||
            dynamic_cast<UseStmt*>(s))
            return true;
        // The cases of a switch run in the scope around it.
        if (auto* choice = dynamic_cast<SwitchStmt*>(s))
            for (const SwitchCase& clause : choice->cases)
                if (definesNames(clause.body)) return true;
    }
    return false;
}

namespace {

// Walks a body as the interpreter would scope it, binding each name to the
// innermost declaration before it; stops at the first construct that rules
// the layout out.
class FrameResolver final : public ASTVisitor {
public:
    FrameResolver(size_t maxPlaces, const PlaceholderSource& placeholders)
        : maxPlaces_(maxPlaces), placeholders_(placeholders) {}

    bool ok() const { return ok_; }
    FrameLayout& layout() { return layout_; }

    void declare(std::string_view name, VarDeclStmt* declaration) {
        if (layout_.places >= maxPlaces_) {
            ok_ = false;
            return;
        }
        const uint8_t place = layout_.places++;
        scopes_.back().push_back({name, place});
        if (declaration != nullptr) layout_.declarations.push_back({declaration, place});
    }
    void openScope() { scopes_.emplace_back(); }
    void closeScope() { scopes_.pop_back(); }
    // The statements of the body itself run in the frame's own scope.
    void statements(const std::vector<StmtPtr>& list) {
        for (const StmtPtr& statement : list) visit(statement.get());
    }

    void visitProgram(Program&) override { ok_ = false; }
    void visitClassDeclStmt(ClassDeclStmt&) override { ok_ = false; }
    void visitFunctionDeclStmt(FunctionDeclStmt&) override { ok_ = false; }
    void visitUseStmt(UseStmt&) override { ok_ = false; }
    void visitSwitchStmt(SwitchStmt& node) override {
        visit(node.value.get());
        for (const SwitchCase& clause : node.cases) {
            visit(clause.value.get());
            // The cases run in the scope around the switch.
            if (definesNames(clause.body)) ok_ = false;
            statements(clause.body);
        }
    }
    void visitForeachStmt(ForeachStmt& node) override {
        visit(node.iterable.get());
        openScope();
        ++nested_;
        declare(node.variable.str(), nullptr);
        if (ok_) layout_.eachLoops.push_back({&node, static_cast<uint8_t>(layout_.places - 1)});
        visit(node.body.get());
        --nested_;
        closeScope();
    }
    void visitLambdaExpr(LambdaExpr&) override { ok_ = false; }
    void visitNewExpr(NewExpr& node) override {
        for (const ExprPtr& argument : node.arguments) visit(argument.get());
        site(node.location);
    }
    void visitContinueStmt(ContinueStmt&) override {}
    void visitBreakStmt(BreakStmt&) override {}
    void visitReturnStmt(ReturnStmt& node) override { visit(node.value.get()); }
    void visitForStmt(ForStmt& node) override {
        // The loop's variable lives in a scope around the body's own. A
        // declaration as the step would be declared again on every turn.
        if (dynamic_cast<VarDeclStmt*>(node.increment.get()) != nullptr) ok_ = false;
        openScope();
        ++nested_;
        visit(node.initializer.get());
        visit(node.condition.get());
        visit(node.increment.get());
        visit(node.body.get());
        --nested_;
        closeScope();
        layout_.loops.push_back(&node);
    }
    void visitDoWhileStmt(DoWhileStmt& node) override {
        visit(node.body.get());
        visit(node.condition.get());
    }
    void visitWhileStmt(WhileStmt& node) override {
        visit(node.condition.get());
        visit(node.body.get());
    }
    void visitIfStmt(IfStmt& node) override {
        visit(node.condition.get());
        visit(node.thenBranch.get());
        visit(node.elseBranch.get());
    }
    void visitExprStmt(ExprStmt& node) override { visit(node.expression.get()); }
    void visitAssignStmt(AssignStmt& node) override {
        visit(node.target.get());
        visit(node.value.get());
    }
    void visitVarDeclStmt(VarDeclStmt& node) override {
        // The initializer sees the names from before the declaration.
        visit(node.initializer.get());
        declare(node.name.str(), &node);
    }
    void visitBlockStmt(BlockStmt& node) override {
        // Run with scopes of names, only a block that declares has one.
        const bool declares = definesNames(node.statements);
        openScope();
        nested_ += declares;
        statements(node.statements);
        nested_ -= declares;
        closeScope();
        layout_.blocks.push_back(&node);
    }
    void visitArrayLiteralExpr(ArrayLiteralExpr& node) override {
        for (const ExprPtr& element : node.elements) visit(element.get());
    }
    void visitIndexExpr(IndexExpr& node) override {
        visit(node.object.get());
        visit(node.index.get());
    }
    void visitMemberExpr(MemberExpr& node) override { visit(node.object.get()); }
    void visitCallExpr(CallExpr& node) override {
        visit(node.callee.get());
        for (const ExprPtr& argument : node.arguments) visit(argument.get());
        site(node.location);
    }
    void visitUnaryExpr(UnaryExpr& node) override { visit(node.operand.get()); }
    void visitBinaryExpr(BinaryExpr& node) override {
        visit(node.left.get());
        visit(node.right.get());
    }
    void visitIdentifierExpr(IdentifierExpr& node) override {
        const std::string_view name = node.name.str();
        // Innermost scope first; in a scope, the latest declaration.
        for (size_t s = scopes_.size(); s-- > 0;) {
            const auto& scope = scopes_[s];
            for (size_t i = scope.size(); i-- > 0;) {
                if (scope[i].first == name) {
                    layout_.uses.push_back({&node, scope[i].second});
                    return;
                }
            }
        }
        // Not a local: found by name at run time, as before.
    }
    void visitLiteralExpr(LiteralExpr& node) override {
        if (node.kind != LiteralKind::String || node.text.str().find('{') == std::string::npos)
            return;
        std::vector<Expression*> expressions;
        if (!placeholders_ || !placeholders_(node, expressions)) {
            ok_ = false;
            return;
        }
        for (Expression* expression : expressions) visit(expression);
        // A call in a placeholder is made at the literal.
        site(node.location);
    }

private:
    // Records the locals visible at a call or a `new`: the innermost of each name.
    void site(const SourceLocation& location) {
        FrameLayout::Site entry{&location, {}, nested_ > 0};
        for (size_t s = scopes_.size(); s-- > 0;) {
            for (size_t i = scopes_[s].size(); i-- > 0;) {
                const auto& binding = scopes_[s][i];
                bool hidden = false;
                for (const auto& seen : entry.visible)
                    hidden = hidden || seen.first == binding.first;
                if (!hidden) entry.visible.push_back(binding);
            }
        }
        layout_.sites.push_back(std::move(entry));
    }
    void visit(ASTNode* node) {
        if (node != nullptr && ok_) node->accept(*this);
    }

    const size_t maxPlaces_;
    const PlaceholderSource& placeholders_;
    bool ok_ = true;
    size_t nested_ = 0; // loops and declaring blocks around the current node
    FrameLayout layout_;
    std::vector<std::vector<std::pair<std::string_view, uint8_t>>> scopes_;
};

} // namespace

std::optional<FrameLayout> layOutFrame(const std::vector<Parameter>& parameters, BlockStmt& body,
                                       size_t maxPlaces, const PlaceholderSource& placeholders) {
    FrameResolver resolver(maxPlaces, placeholders);
    resolver.openScope();
    for (const Parameter& parameter : parameters) resolver.declare(parameter.name.str(), nullptr);
    resolver.statements(body.statements);
    if (!resolver.ok()) return std::nullopt;
    return std::move(resolver.layout());
}

} // namespace zarn
