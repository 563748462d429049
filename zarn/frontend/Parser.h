// Parser: recursive descent over the lexer's tokens, building the syntax tree.
// Syntax errors go to the engine with the location of the token where parsing
// stopped; parsing goes on so that one run reports several errors.
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/AST.h"
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/NodeArena.h"
#include "zarn/frontend/Token.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
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
    // Pulls the tokens from the lexer as it goes, holding only the few it is
    // looking at: no list of the whole text's tokens is built. The lexer must
    // outlive the parser.
    Parser(Lexer& lexer, DiagnosticEngine& engine);

    // The whole token list. Returns a Program also when errors were reported.
    std::shared_ptr<Program> parseProgram();

    // One full expression, which owns its tree; empty when an error made it
    // impossible to build one.
    std::shared_ptr<Expression> parseExpression();

    // One type name ("int", "List<string>[]", ...; "unknown" when unparsable).
    std::string parseType();

private:
    friend class NestingScope;
    struct NestingTooDeep {};

    // Cursor. The window holds the current token and a few before it; in
    // the lexer's mode the tokens after it are scanned when the cursor
    // reaches them, and those behind it are dropped. References into the
    // window are good until the cursor moves.
    const Token& peek() const { return window_[current_ - windowStart_]; }
    bool isAtEnd() const { return peek().type == TokenType::EndOfFile; }
    // Consumes the current token (not the EndOfFile) and returns it; the
    // reference is good until the cursor moves again.
    const Token& advance();
    // Consumes the current token, which must not be EndOfFile, and hands it
    // over so that its text and location can be moved into the tree.
    Token take();
    // Moves the cursor to the token at `index`, scanning up to it.
    void moveTo(size_t index);
    // Appends the next token of the lexer to the window.
    void pull();
    // Generic call arguments: for a "<", its ">" and what follows that.
    struct GenericClose {
        size_t less;      // index of a "<"
        size_t close;     // index of its ">" on the same statement line, or 0
        bool callFollows; // a "(" comes right after that ">"
    };
    // The match of the "<" at `less` (the current token), or null.
    const GenericClose* genericCloseOf(size_t less);
    // Matches the "<" tokens from `from` to the end of its statement line,
    // scanning the tokens past the window quietly and without keeping them.
    void matchGenerics(size_t from);
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

    // A new node of this parse's arena. The pointer owns nothing: it links
    // the node into the tree, whose root owns the arena (see owned).
    template <typename T, typename... Args>
    NodeRef<T> make(Args&&... args) {
        return NodeRef<T>(arena_->create<T>(std::forward<Args>(args)...));
    }
    // A tree's root as the parser hands it out: its owner keeps every node
    // of this parse alive.
    template <typename T>
    std::shared_ptr<T> owned(const NodeRef<T>& root) const {
        if (!root) return nullptr;
        return std::shared_ptr<T>(arena_, root.get());
    }

    // The one shared copy of a name or literal text for this parse: a large
    // program spells the same names over and over.
    SharedText intern(std::string_view text);

    // Declarations and statements.
    StmtPtr parseDeclaration();
    StmtPtr parseStatement();
    NodeRef<BlockStmt> parseBlock();
    NodeRef<VarDeclStmt> parseVarDecl();
    NodeRef<FunctionDeclStmt> parseFunctionDecl();
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

    std::vector<Token> window_;
    size_t windowStart_ = 0; // index of window_.front() among all tokens
    Lexer* lexer_ = nullptr; // null when the tokens came as a list
    DiagnosticEngine& engine_;
    std::shared_ptr<NodeArena> arena_ = std::make_shared<NodeArena>();
    size_t current_ = 0;
    int depth_ = 0;
    // The "<" tokens of the statement line last matched, in order, with their
    // matching ">": matched once per line from the first "<" asked about, so
    // that skipping generic call arguments stays linear on long lines of
    // comparisons. Valid for indexes in [genericFrom_, genericUntil_).
    std::vector<GenericClose> generics_;
    // Keys view the text of their value.
    std::unordered_map<std::string_view, SharedText> texts_;
    size_t genericFrom_ = 0;
    size_t genericUntil_ = 0;
};

// Lexes and parses one source text in a single pass, without a list of all
// its tokens. The diagnostics are those of lexing the whole text and then
// parsing it: every lexical error first, then the syntax errors, or none of
// those after a lexical error unless `syntaxAfterLexicalErrors`.
std::shared_ptr<Program> parseSource(std::string source, std::string fileName,
                                     DiagnosticEngine& engine, bool syntaxAfterLexicalErrors);

} // namespace zarn
