// Parser: recursive descent over the lexer's tokens, building the syntax tree.
// Syntax errors go to the engine with the location of the token where parsing
// stopped; parsing goes on so that one run reports several errors.
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/AST.h"
#include "zarn/frontend/Token.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

class Parser {
public:
    // How deeply constructs may nest (brackets, blocks, operators, else-if
    // chains, generic type arguments). Deeper input is reported as "E1003"
    // and ends the parse, so that neither the parser nor the tree walkers run
    // out of stack.
    static constexpr int kMaxNesting = 1000;

    // `tokens` must end with an EndOfFile token (as the lexer's output does).
    Parser(std::vector<Token> tokens, DiagnosticEngine& engine);

    // The whole token list. Returns a Program also when errors were reported.
    std::shared_ptr<Program> parseProgram();

    // One full expression; empty when an error made it impossible to build one.
    ExprPtr parseExpression();

    // One type name ("int", "List<string>[]", ...; "unknown" when unparsable).
    std::string parseType();

private:
    friend class NestingScope;
    struct NestingTooDeep {};

    // Cursor.
    const Token& peek() const { return tokens_[current_]; }
    const Token& peekAhead(size_t n) const;
    bool isAtEnd() const { return peek().type == TokenType::EndOfFile; }
    const Token& advance();
    // Consumes the current token, which must not be EndOfFile, and lends it out
    // so that its text and location can be moved into the tree: the parser
    // never reads more than the kind of a consumed token.
    Token& take();
    bool checkKind(TokenType kind) const { return peek().type == kind && !isAtEnd(); }
    bool match(TokenType kind);
    // The message is only turned into a string when it is reported.
    const Token& consume(TokenType kind, const DiagnosticMessage& message);
    void skipNewlines();
    void expectStatementEnd();
    // Reports E1003 and throws NestingTooDeep, which the public entries catch.
    void reportTooDeep();
    // After E1003: whatever follows is as deep, so parsing ends at EndOfFile.
    void stopAfterTooDeep();

    // Declarations and statements.
    StmtPtr parseDeclaration();
    StmtPtr parseStatement();
    std::shared_ptr<BlockStmt> parseBlock();
    std::shared_ptr<VarDeclStmt> parseVarDecl();
    std::shared_ptr<FunctionDeclStmt> parseFunctionDecl();
    std::vector<Parameter> parseParameters();
    StmtPtr parseClassDecl();
    StmtPtr parseUse();
    StmtPtr parseIf();
    ExprPtr parseLoopCondition();
    StmtPtr parseWhile();
    StmtPtr parseDoWhile();
    StmtPtr parseFor();
    StmtPtr parseForeach();
    StmtPtr parseSwitch();
    StmtPtr parseReturn();
    StmtPtr parseExpressionOrAssignment(bool checkEnd);

    // Expressions and types.
    ExprPtr parseExpressionNested();
    ExprPtr parseBinary(int minLevel);
    ExprPtr makeBinary(TokenType op, ExprPtr left, ExprPtr right);
    ExprPtr parseUnary();
    ExprPtr makePrefix(TokenType op, SourceLocation location, ExprPtr operand);
    ExprPtr parsePostfix();
    ExprPtr finishCall(ExprPtr callee);
    bool finishMember(ExprPtr& expression);
    ExprPtr finishIndex(ExprPtr object);
    ExprPtr finishPostfixOperator(ExprPtr operand);
    ExprPtr parsePrimary();
    ExprPtr parseLiteral(LiteralKind kind);
    ExprPtr parseIdentifier();
    ExprPtr parseParenthesized();
    ExprPtr reportUnexpected();
    ExprPtr parseNew();
    ExprPtr parseLambda();
    ExprPtr parseArrayLiteral();
    bool parseExpressionList(std::vector<ExprPtr>& elements, TokenType closer);
    void skipGenericCallArguments();
    std::string parseTypeNested();

    std::vector<Token> tokens_;
    DiagnosticEngine& engine_;
    size_t current_ = 0;
    int depth_ = 0;
    // For each "<" token: the index of its matching ">" on the same statement
    // line, or 0 when it has none. Built once so that skipping generic call
    // arguments stays linear on long lines of comparisons.
    std::vector<size_t> genericClose_;
};

} // namespace zarn
