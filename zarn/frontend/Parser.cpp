// Parser: cursor operations, the program loop with its recovery, and every
// declaration and statement. Expressions and type names: ParserExpressions.cpp.
#include "zarn/frontend/Parser.h"
#include "zarn/frontend/ParserNesting.h"

#include "zarn/diagnostics/Assert.h"

#include <algorithm>
#include <utility>

namespace zarn {

namespace {

bool isAssignmentOperator(TokenType type) {
    switch (type) {
    case TokenType::Assign:
    case TokenType::PlusAssign:
    case TokenType::MinusAssign:
    case TokenType::StarAssign:
    case TokenType::SlashAssign:
    case TokenType::PercentAssign: return true;
    default: return false;
    }
}

} // namespace

Parser::Parser(std::vector<Token> tokens, DiagnosticEngine& engine)
    : window_(std::move(tokens)), engine_(engine) {
    if (window_.empty() || window_.back().type != TokenType::EndOfFile) {
        SourceLocation end = window_.empty() ? SourceLocation{} : window_.back().location;
        end.length = 0;
        window_.push_back(Token{TokenType::EndOfFile, "", end});
    }
}

Parser::Parser(Lexer& lexer, DiagnosticEngine& engine) : lexer_(&lexer), engine_(engine) { pull(); }

std::shared_ptr<Program> parseSource(std::string source, std::string fileName,
                                     DiagnosticEngine& engine, bool syntaxAfterLexicalErrors) {
    Lexer lexer(std::move(source), std::move(fileName), engine);
    // The syntax errors wait here until the lexer has seen the whole text.
    DiagnosticEngine syntaxErrors;
    syntaxErrors.setRetainLimit(engine.retainLimit());
    Parser parser(lexer, syntaxErrors);
    std::shared_ptr<Program> program = parser.parseProgram();
    if (lexer.errorCount() == 0 || syntaxAfterLexicalErrors) engine.takeDiagnostics(syntaxErrors);
    return program;
}

// ---- cursor ---------------------------------------------------------------

namespace {

// Consumed tokens are dropped from the window in batches of about this many;
// the few after them move to its front.
constexpr size_t kDropBatch = 64;

} // namespace

void Parser::pull() { lexer_->next(window_.emplace_back()); }

void Parser::moveTo(size_t index) {
    current_ = index;
    // From a list, the window already holds every token up to EndOfFile,
    // and keeps them.
    if (!lexer_) return;
    while (current_ - windowStart_ >= window_.size()) pull();
    // The token just before the current one stays for advance() to return.
    if (current_ - windowStart_ > kDropBatch) {
        size_t drop = current_ - windowStart_ - 1;
        window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(drop));
        windowStart_ += drop;
    }
}

const Token& Parser::advance() {
    if (!isAtEnd()) moveTo(current_ + 1);
    return window_[current_ == windowStart_ ? 0 : current_ - 1 - windowStart_];
}

Token Parser::take() {
    ZARN_ASSERT(!isAtEnd(), "the end of the tokens is never consumed");
    Token token = std::move(window_[current_ - windowStart_]);
    moveTo(current_ + 1);
    return token;
}

const Parser::GenericClose* Parser::genericCloseOf(size_t less) {
    if (less < genericFrom_ || less >= genericUntil_) matchGenerics(less);
    auto found = std::lower_bound(
        generics_.begin(), generics_.end(), less,
        [](const GenericClose& generic, size_t index) { return generic.less < index; });
    return found != generics_.end() && found->less == less ? &*found : nullptr;
}

void Parser::matchGenerics(size_t from) {
    // Match every "<" with its ">" like brackets; a Newline, ";" or the end
    // leaves the open ones unmatched. A "<" before `from` cannot take a ">"
    // from one after it, so starting at `from` gives the same matches.
    generics_.clear();
    std::vector<size_t> open;
    size_t closed = 0; // 1 + the slot of the "<" whose ">" was the last token
    bool ahead = false;
    Lexer::Mark mark{};
    size_t index = from;
    for (;; ++index) {
        TokenType type;
        if (index - windowStart_ < window_.size()) {
            type = window_[index - windowStart_].type;
        } else {
            if (!ahead) {
                mark = lexer_->save();
                lexer_->setQuiet(true);
                ahead = true;
            }
            type = lexer_->next().type;
        }
        if (closed != 0) generics_[closed - 1].callFollows = type == TokenType::LeftParen;
        closed = 0;
        if (type == TokenType::Less) {
            open.push_back(generics_.size());
            generics_.push_back(GenericClose{index, 0, false});
        } else if (type == TokenType::Greater && !open.empty()) {
            generics_[open.back()].close = index;
            closed = open.back() + 1;
            open.pop_back();
        } else if (type == TokenType::Newline || type == TokenType::Semicolon ||
                   type == TokenType::EndOfFile) {
            break;
        }
    }
    if (ahead) {
        lexer_->restore(mark);
        lexer_->setQuiet(false);
    }
    genericFrom_ = from;
    genericUntil_ = index;
}

bool Parser::match(TokenType kind) {
    if (!checkKind(kind)) return false;
    advance();
    return true;
}

const Token& Parser::consume(TokenType kind, const DiagnosticMessage& message) {
    if (checkKind(kind)) return advance();
    engine_.report(message, peek().location);
    return peek();
}

void Parser::skipNewlines() {
    while (peek().type == TokenType::Newline) moveTo(current_ + 1);
}

void Parser::expectStatementEnd() {
    if (peek().type == TokenType::Newline || peek().type == TokenType::Semicolon) {
        advance();
        skipNewlines();
        return;
    }
    if (peek().type == TokenType::RightBrace) return;
    engine_.report(diag::ExpectedStatementEnd, peek().location);
}

void Parser::stopAfterTooDeep() {
    depth_ = 0;
    // Scanned to the end all the same, so that every lexical error is reported.
    while (!isAtEnd()) moveTo(current_ + 1);
}

void Parser::reportTooDeep() {
    engine_.report(diag::NestingTooDeep, peek().location, {std::to_string(kMaxNesting)});
    throw NestingTooDeep{};
}

SharedText Parser::intern(std::string_view text) {
    auto found = texts_.find(text);
    if (found != texts_.end()) return found->second;
    SharedText shared(text);
    texts_.emplace(std::string_view(shared.str()), shared);
    return shared;
}

// ---- program --------------------------------------------------------------

std::shared_ptr<Program> Parser::parseProgram() {
    SourceLocation location = peek().location;
    std::vector<StmtPtr> statements;
    skipNewlines();
    while (!isAtEnd()) {
        size_t before = current_;
        try {
            if (StmtPtr statement = parseDeclaration()) statements.push_back(std::move(statement));
        } catch (const NestingTooDeep&) {
            stopAfterTooDeep(); // reported once
            break;
        }
        if (current_ == before) advance();
        skipNewlines();
    }
    return owned(make<Program>(std::move(statements), std::move(location)));
}

// ---- declarations ---------------------------------------------------------

StmtPtr Parser::parseDeclaration() {
    skipNewlines();
    switch (peek().type) {
    case TokenType::Semicolon: advance(); return nullptr;
    case TokenType::Class: return parseClassDecl();
    case TokenType::Function: return parseFunctionDecl();
    case TokenType::Let: {
        StmtPtr declaration = parseVarDecl();
        expectStatementEnd();
        return declaration;
    }
    case TokenType::Use: return parseUse();
    default: return parseStatement();
    }
}

// let NAME [":"] TYPE ["=" EXPRESSION]   (the caller checks the statement end)
NodeRef<VarDeclStmt> Parser::parseVarDecl() {
    SourceLocation location = std::move(take().location); // 'let'
    if (peek().type != TokenType::Identifier) {
        engine_.report(diag::ExpectedVariableName, peek().location);
        return nullptr;
    }
    SharedText name = intern(take().lexeme);
    if (!match(TokenType::Colon)) {
        engine_.report(
            diag::MissingVariableType, peek().location, {},
            {{"help", "Zarn requires explicit typing: 'let " + name + ": <type> = <value>'"}});
    }
    SharedText typeName = intern(parseTypeNested());
    ExprPtr initializer;
    if (match(TokenType::Assign)) {
        initializer = parseExpressionNested();
        if (!initializer) return nullptr;
    }
    return make<VarDeclStmt>(std::move(name), std::move(typeName), std::move(initializer),
                             std::move(location));
}

// function NAME "(" PARAMETERS ")" ":" TYPE BLOCK
NodeRef<FunctionDeclStmt> Parser::parseFunctionDecl() {
    SourceLocation location = std::move(take().location); // 'function'
    if (peek().type != TokenType::Identifier) {
        engine_.report(diag::ExpectedFunctionName, peek().location);
        return nullptr;
    }
    SharedText name = intern(take().lexeme);
    std::vector<Parameter> parameters = parseParameters();
    SharedText returnType = intern("void");
    if (match(TokenType::Colon)) {
        returnType = intern(parseTypeNested());
    } else {
        engine_.report(diag::MissingReturnType, peek().location, {name});
    }
    skipNewlines();
    NodeRef<BlockStmt> body = parseBlock();
    return make<FunctionDeclStmt>(std::move(name), std::move(parameters), std::move(returnType),
                                  std::move(body), std::move(location));
}

// "(" [NAME ":" TYPE {"," NAME ":" TYPE}] ")"; newlines may surround each parameter.
std::vector<Parameter> Parser::parseParameters() {
    std::vector<Parameter> parameters;
    consume(TokenType::LeftParen, diag::ExpectedParameterListStart);
    if (!checkKind(TokenType::RightParen)) {
        while (true) {
            skipNewlines();
            if (peek().type != TokenType::Identifier) {
                engine_.report(diag::ExpectedParameterName, peek().location);
                break;
            }
            Token nameToken = take();
            Parameter parameter{intern(nameToken.lexeme), SharedText(),
                                std::move(nameToken.location), nullptr};
            if (!match(TokenType::Colon)) {
                engine_.report(diag::ExpectedParameterType, peek().location, {parameter.name});
            }
            parameter.typeName = intern(parseTypeNested());
            parameters.push_back(std::move(parameter));
            skipNewlines();
            if (!match(TokenType::Comma)) break;
        }
    }
    consume(TokenType::RightParen, diag::ExpectedParameterListEnd);
    return parameters;
}

// class NAME "{" {FIELD | METHOD} "}"
StmtPtr Parser::parseClassDecl() {
    SourceLocation location = std::move(take().location); // 'class' or 'Class'
    if (peek().type != TokenType::Identifier) {
        engine_.report(diag::ExpectedClassName, peek().location);
        return nullptr;
    }
    SharedText name = intern(take().lexeme);
    skipNewlines();
    consume(TokenType::LeftBrace, diag::ExpectedClassBodyStart);
    std::vector<NodeRef<VarDeclStmt>> fields;
    std::vector<NodeRef<FunctionDeclStmt>> methods;
    while (!checkKind(TokenType::RightBrace) && !isAtEnd()) {
        skipNewlines();
        if (checkKind(TokenType::RightBrace) || isAtEnd()) break;
        if (peek().type == TokenType::Let) {
            if (auto field = parseVarDecl()) fields.push_back(std::move(field));
            expectStatementEnd();
        } else if (peek().type == TokenType::Function) {
            if (auto method = parseFunctionDecl()) methods.push_back(std::move(method));
        } else {
            engine_.report(diag::UnexpectedClassMember, peek().location);
            advance();
        }
    }
    consume(TokenType::RightBrace, diag::ExpectedClassBodyEnd);
    return make<ClassDeclStmt>(std::move(name), std::move(fields), std::move(methods),
                               std::move(location));
}

// use STRING | use NAME {("-" | "/" | ".") [NAME | STRING]}
StmtPtr Parser::parseUse() {
    SourceLocation location = std::move(take().location); // 'use'
    std::string moduleName;
    if (peek().type == TokenType::StringLiteral) {
        moduleName = std::move(take().lexeme);
        if (moduleName.size() >= 2 && moduleName.front() == '"' && moduleName.back() == '"')
            moduleName = moduleName.substr(1, moduleName.size() - 2);
    } else if (peek().type == TokenType::Identifier) {
        moduleName = std::move(take().lexeme);
        while (true) {
            TokenType separator = peek().type;
            if (separator == TokenType::Minus) {
                moduleName += '-';
            } else if (separator == TokenType::Slash) {
                moduleName += '/';
            } else if (separator == TokenType::Dot) {
                moduleName += '.';
            } else {
                break;
            }
            advance();
            if (peek().type == TokenType::Identifier || peek().type == TokenType::StringLiteral)
                moduleName += std::move(take().lexeme);
        }
    } else {
        engine_.report(diag::ExpectedModuleName, peek().location);
        return nullptr;
    }
    expectStatementEnd();
    return make<UseStmt>(std::move(moduleName), std::move(location));
}

// ---- statements -----------------------------------------------------------

StmtPtr Parser::parseStatement() {
    skipNewlines();
    switch (peek().type) {
    case TokenType::Semicolon: advance(); return nullptr;
    case TokenType::If: return parseIf();
    case TokenType::While: return parseWhile();
    case TokenType::Do: return parseDoWhile();
    case TokenType::For: return parseFor();
    case TokenType::Foreach: return parseForeach();
    case TokenType::Switch: return parseSwitch();
    case TokenType::Return: return parseReturn();
    case TokenType::Break: {
        SourceLocation location = std::move(take().location);
        expectStatementEnd();
        return make<BreakStmt>(std::move(location));
    }
    case TokenType::Continue: {
        SourceLocation location = std::move(take().location);
        expectStatementEnd();
        return make<ContinueStmt>(std::move(location));
    }
    case TokenType::LeftBrace: return parseBlock();
    default: return parseExpressionOrAssignment(true);
    }
}

// EXPRESSION [ASSIGN-OPERATOR EXPRESSION]; with `checkEnd` the statement end
// is checked too (not in the clauses of a for header).
StmtPtr Parser::parseExpressionOrAssignment(bool checkEnd) {
    ExprPtr expression = parseExpressionNested();
    if (!expression) {
        if (checkEnd) expectStatementEnd();
        return nullptr;
    }
    if (isAssignmentOperator(peek().type)) {
        TokenType op = advance().type;
        ExprPtr value = parseExpressionNested();
        if (checkEnd) expectStatementEnd();
        if (!value) return nullptr;
        SourceLocation location = expression->location;
        return make<AssignStmt>(op, std::move(expression), std::move(value), std::move(location));
    }
    if (checkEnd) expectStatementEnd();
    SourceLocation location = expression->location;
    return make<ExprStmt>(std::move(expression), std::move(location));
}

// "{" {DECLARATION} "}"
NodeRef<BlockStmt> Parser::parseBlock() {
    NestingScope nesting(*this);
    SourceLocation location = peek().location;
    consume(TokenType::LeftBrace, diag::ExpectedBlockStart);
    std::vector<StmtPtr> statements;
    skipNewlines();
    while (!checkKind(TokenType::RightBrace) && !isAtEnd()) {
        skipNewlines();
        if (checkKind(TokenType::RightBrace) || isAtEnd()) break;
        size_t before = current_;
        if (StmtPtr statement = parseDeclaration()) statements.push_back(std::move(statement));
        if (current_ == before) advance(); // always make progress
        skipNewlines();
    }
    consume(TokenType::RightBrace, diag::ExpectedBlockEnd);
    return make<BlockStmt>(std::move(statements), std::move(location));
}

// if [":"] CONDITION BLOCK [else (IF | BLOCK)]
StmtPtr Parser::parseIf() {
    SourceLocation location = std::move(take().location); // 'if'
    match(TokenType::Colon);
    ExprPtr condition = parseExpressionNested();
    skipNewlines();
    NodeRef<BlockStmt> thenBranch = parseBlock();
    skipNewlines();
    StmtPtr elseBranch;
    bool elseIsBlock = false;
    if (match(TokenType::Else)) {
        skipNewlines();
        if (peek().type == TokenType::If) {
            NestingScope nesting(*this); // an else-if chain nests in the tree
            elseBranch = parseIf();
            if (!elseBranch) return nullptr;
        } else {
            elseBranch = parseBlock();
            elseIsBlock = elseBranch != nullptr;
        }
    }
    if (!condition) return nullptr;
    auto statement = make<IfStmt>(std::move(condition), std::move(thenBranch),
                                  std::move(elseBranch), std::move(location));
    statement->elseIsBlock = elseIsBlock;
    return statement;
}

// "(" CONDITION ")" | [":"] CONDITION   (shared by while and do-while)
ExprPtr Parser::parseLoopCondition() {
    if (match(TokenType::LeftParen)) {
        ExprPtr condition = parseExpressionNested();
        consume(TokenType::RightParen, diag::ExpectedWhileConditionEnd);
        return condition;
    }
    match(TokenType::Colon);
    return parseExpressionNested();
}

StmtPtr Parser::parseWhile() {
    SourceLocation location = std::move(take().location); // 'while'
    ExprPtr condition = parseLoopCondition();
    skipNewlines();
    NodeRef<BlockStmt> body = parseBlock();
    if (!condition) return nullptr;
    return make<WhileStmt>(std::move(condition), std::move(body), std::move(location));
}

// do BLOCK while CONDITION
StmtPtr Parser::parseDoWhile() {
    SourceLocation location = std::move(take().location); // 'do'
    skipNewlines();
    NodeRef<BlockStmt> body = parseBlock();
    skipNewlines();
    consume(TokenType::While, diag::ExpectedWhileAfterDo);
    ExprPtr condition = parseLoopCondition();
    expectStatementEnd();
    if (!condition) return nullptr;
    return make<DoWhileStmt>(std::move(body), std::move(condition), std::move(location));
}

// for "(" [INIT] ";" [CONDITION] ";" [INCREMENT] ")" BLOCK
StmtPtr Parser::parseFor() {
    SourceLocation location = std::move(take().location); // 'for'
    consume(TokenType::LeftParen, diag::ExpectedForOpen);
    bool complete = true;

    StmtPtr initializer;
    if (!match(TokenType::Semicolon)) {
        if (peek().type == TokenType::Let) {
            initializer = parseVarDecl();
        } else {
            initializer = parseExpressionOrAssignment(false);
        }
        complete = complete && initializer;
        consume(TokenType::Semicolon, diag::ExpectedForInitializerEnd);
    }

    ExprPtr condition;
    if (!match(TokenType::Semicolon)) {
        condition = parseExpressionNested();
        complete = complete && condition;
        consume(TokenType::Semicolon, diag::ExpectedForConditionEnd);
    }

    StmtPtr increment;
    if (!checkKind(TokenType::RightParen)) {
        increment = parseExpressionOrAssignment(false);
        complete = complete && increment;
    }
    consume(TokenType::RightParen, diag::ExpectedForClausesEnd);
    skipNewlines();
    NodeRef<BlockStmt> body = parseBlock();
    if (!complete) return nullptr;
    return make<ForStmt>(std::move(initializer), std::move(condition), std::move(increment),
                         std::move(body), std::move(location));
}

// foreach NAME ":" ITERABLE BLOCK
StmtPtr Parser::parseForeach() {
    SourceLocation location = std::move(take().location); // 'foreach'
    if (peek().type != TokenType::Identifier) {
        engine_.report(diag::ExpectedLoopVariable, peek().location);
        return nullptr;
    }
    SharedText variable = intern(take().lexeme);
    consume(TokenType::Colon, diag::ExpectedForeachColon);
    ExprPtr iterable = parseExpressionNested();
    skipNewlines();
    NodeRef<BlockStmt> body = parseBlock();
    if (!iterable) return nullptr;
    return make<ForeachStmt>(std::move(variable), std::move(iterable), std::move(body),
                             std::move(location));
}

// switch "(" VALUE ")" "{" {case VALUE ":" BODY | default ":" BODY} "}"
StmtPtr Parser::parseSwitch() {
    NestingScope nesting(*this); // case bodies hold declarations, so switches nest
    SourceLocation location = std::move(take().location); // 'switch'
    consume(TokenType::LeftParen, diag::ExpectedSwitchOpen);
    ExprPtr value = parseExpressionNested();
    bool complete = value != nullptr;
    consume(TokenType::RightParen, diag::ExpectedSwitchValueEnd);
    skipNewlines();
    consume(TokenType::LeftBrace, diag::ExpectedSwitchBodyStart);
    skipNewlines();

    std::vector<SwitchCase> cases;
    auto parseCaseBody = [&](SwitchCase& switchCase) {
        skipNewlines();
        while (!isAtEnd() && !checkKind(TokenType::RightBrace) && !checkKind(TokenType::Case) &&
               !checkKind(TokenType::Default)) {
            size_t before = current_;
            if (StmtPtr statement = parseDeclaration())
                switchCase.body.push_back(std::move(statement));
            if (current_ == before) advance(); // always make progress
            skipNewlines();
        }
    };
    while (!checkKind(TokenType::RightBrace) && !isAtEnd()) {
        skipNewlines();
        if (checkKind(TokenType::RightBrace)) break;
        if (peek().type == TokenType::Case) {
            SwitchCase switchCase{nullptr, {}, std::move(take().location)};
            switchCase.value = parseExpressionNested();
            complete = complete && switchCase.value;
            consume(TokenType::Colon, diag::ExpectedCaseColon);
            parseCaseBody(switchCase);
            cases.push_back(std::move(switchCase));
        } else if (peek().type == TokenType::Default) {
            SwitchCase switchCase{nullptr, {}, std::move(take().location)};
            consume(TokenType::Colon, diag::ExpectedDefaultColon);
            parseCaseBody(switchCase);
            cases.push_back(std::move(switchCase));
        } else if (!isAtEnd()) {
            engine_.report(diag::ExpectedCaseOrDefault, peek().location);
            advance();
        }
    }
    consume(TokenType::RightBrace, diag::ExpectedSwitchBodyEnd);
    if (!complete) return nullptr;
    return make<SwitchStmt>(std::move(value), std::move(cases), std::move(location));
}

// return [VALUE]
StmtPtr Parser::parseReturn() {
    SourceLocation location = std::move(take().location); // 'return'
    ExprPtr value;
    bool complete = true;
    switch (peek().type) {
    case TokenType::EndOfFile:
    case TokenType::Newline:
    case TokenType::Semicolon:
    case TokenType::RightBrace: break;
    default: value = parseExpressionNested(); complete = value != nullptr;
    }
    expectStatementEnd();
    if (!complete) return nullptr;
    return make<ReturnStmt>(std::move(value), std::move(location));
}

} // namespace zarn
