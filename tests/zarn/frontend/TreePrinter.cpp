#include "tests/zarn/frontend/TreePrinter.h"

namespace zarn::testing {

namespace {

class Printer final : public ASTVisitor {
public:
    std::string out;

    void print(ASTNode* node) {
        if (node) {
            node->accept(*this);
        } else {
            out += "_";
        }
    }

    void visitProgram(Program& node) override { list("Program", node.statements); }
    void visitClassDeclStmt(ClassDeclStmt& node) override {
        out += "(Class " + node.name;
        for (auto& field : node.fields) item(field.get());
        for (auto& method : node.methods) item(method.get());
        out += ")";
    }
    void visitFunctionDeclStmt(FunctionDeclStmt& node) override {
        out += "(Function " + node.name;
        params(node.parameters);
        out += " " + node.returnType;
        item(node.body.get());
        out += ")";
    }
    void visitUseStmt(UseStmt& node) override { out += "(Use " + node.moduleName + ")"; }
    void visitContinueStmt(ContinueStmt&) override { out += "(Continue)"; }
    void visitBreakStmt(BreakStmt&) override { out += "(Break)"; }
    void visitReturnStmt(ReturnStmt& node) override { node1("Return", node.value.get()); }
    void visitSwitchStmt(SwitchStmt& node) override {
        out += "(Switch";
        item(node.value.get());
        for (auto& switchCase : node.cases) {
            out += switchCase.value ? " (Case" : " (Default";
            if (switchCase.value) item(switchCase.value.get());
            for (auto& statement : switchCase.body) item(statement.get());
            out += ")";
        }
        out += ")";
    }
    void visitForeachStmt(ForeachStmt& node) override {
        out += "(Foreach " + node.variable;
        item(node.iterable.get());
        item(node.body.get());
        out += ")";
    }
    void visitForStmt(ForStmt& node) override {
        out += "(For";
        item(node.initializer.get());
        item(node.condition.get());
        item(node.increment.get());
        item(node.body.get());
        out += ")";
    }
    void visitDoWhileStmt(DoWhileStmt& node) override {
        out += "(DoWhile";
        item(node.body.get());
        item(node.condition.get());
        out += ")";
    }
    void visitWhileStmt(WhileStmt& node) override {
        out += "(While";
        item(node.condition.get());
        item(node.body.get());
        out += ")";
    }
    void visitIfStmt(IfStmt& node) override {
        out += "(If";
        item(node.condition.get());
        item(node.thenBranch.get());
        item(node.elseBranch.get());
        out += ")";
    }
    void visitExprStmt(ExprStmt& node) override { node1("Expr", node.expression.get()); }
    void visitAssignStmt(AssignStmt& node) override {
        out += std::string("(") + tokenTypeName(node.op);
        item(node.target.get());
        item(node.value.get());
        out += ")";
    }
    void visitVarDeclStmt(VarDeclStmt& node) override {
        out += "(Var " + node.name + " " + node.typeName;
        if (node.initializer) item(node.initializer.get());
        out += ")";
    }
    void visitBlockStmt(BlockStmt& node) override { list("Block", node.statements); }
    void visitLambdaExpr(LambdaExpr& node) override {
        out += "(Lambda";
        params(node.parameters);
        out += " " + node.returnType;
        item(node.body.get());
        out += ")";
    }
    void visitArrayLiteralExpr(ArrayLiteralExpr& node) override { list("Array", node.elements); }
    void visitNewExpr(NewExpr& node) override {
        out += "(New " + node.className;
        for (auto& argument : node.arguments) item(argument.get());
        out += ")";
    }
    void visitIndexExpr(IndexExpr& node) override {
        out += "(Index";
        item(node.object.get());
        item(node.index.get());
        out += ")";
    }
    void visitMemberExpr(MemberExpr& node) override {
        out += "(Member";
        item(node.object.get());
        out += " " + node.member + ")";
    }
    void visitCallExpr(CallExpr& node) override {
        out += "(Call";
        item(node.callee.get());
        for (auto& argument : node.arguments) item(argument.get());
        out += ")";
    }
    void visitUnaryExpr(UnaryExpr& node) override {
        out += std::string("(") + (node.prefix ? "" : "Post") + tokenTypeName(node.op);
        item(node.operand.get());
        out += ")";
    }
    void visitBinaryExpr(BinaryExpr& node) override {
        out += std::string("(") + tokenTypeName(node.op);
        item(node.left.get());
        item(node.right.get());
        out += ")";
    }
    void visitIdentifierExpr(IdentifierExpr& node) override { out += node.name; }
    void visitLiteralExpr(LiteralExpr& node) override {
        switch (node.kind) {
        case LiteralKind::Integer: out += "(Int " + std::to_string(node.intValue) + ")"; break;
        case LiteralKind::Float: out += "(Float " + node.text + ")"; break;
        case LiteralKind::String: out += "\"" + node.text + "\""; break;
        case LiteralKind::Boolean: out += node.text; break;
        case LiteralKind::Null: out += "null"; break;
        }
    }

private:
    void item(ASTNode* node) {
        out += " ";
        print(node);
    }
    void node1(const char* name, ASTNode* child) {
        out += std::string("(") + name;
        item(child);
        out += ")";
    }
    template <typename T>
    void list(const char* name, const std::vector<NodeRef<T>>& children) {
        out += std::string("(") + name;
        for (auto& child : children) item(child.get());
        out += ")";
    }
    void params(const std::vector<Parameter>& parameters) {
        out += " [";
        for (size_t i = 0; i < parameters.size(); ++i) {
            if (i) out += " ";
            out += parameters[i].name + ":" + parameters[i].typeName;
        }
        out += "]";
    }
};

} // namespace

std::string printTree(ASTNode* node) {
    Printer printer;
    printer.print(node);
    return printer.out;
}

} // namespace zarn::testing
