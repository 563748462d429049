// Parser: expressions by precedence, and type names.
#include "zarn/frontend/Parser.h"
#include "zarn/frontend/ParserNesting.h"

#include <utility>

namespace zarn {

namespace {

// Binding level of a binary operator, from the loosest (1, "||") to the
// tightest (6, "*"), or 0 for any other token. ORDER of the levels matters.
int binaryLevel(TokenType type) {
    switch (type) {
    case TokenType::Or: return 1;
    case TokenType::And: return 2;
    case TokenType::Equal:
    case TokenType::NotEqual: return 3;
    case TokenType::Less:
    case TokenType::LessEqual:
    case TokenType::Greater:
    case TokenType::GreaterEqual: return 4;
    case TokenType::Plus:
    case TokenType::Minus: return 5;
    case TokenType::Star:
    case TokenType::Slash:
    case TokenType::Percent: return 6;
    default: return 0;
    }
}

} // namespace

std::shared_ptr<Expression> Parser::parseExpression() {
    try {
        return owned(parseExpressionNested());
    } catch (const NestingTooDeep&) {
        stopAfterTooDeep();
        return nullptr;
    }
}

std::string Parser::parseType() {
    try {
        return parseTypeNested();
    } catch (const NestingTooDeep&) {
        stopAfterTooDeep();
        return "unknown";
    }
}

ExprPtr Parser::parseExpressionNested() {
    NestingScope nesting(*this);
    return parseBinary(1);
}

// Every binary level is left-associative: an operand of the next level, then
// while an operator of this level follows, the operator and another operand.
ExprPtr Parser::parseBinary(int minLevel) {
    ExprPtr left = parseUnary();
    NestingScope chain(*this, false);
    while (true) {
        int level = binaryLevel(peek().type);
        if (level < minLevel) break;
        TokenType op = advance().type;
        ExprPtr right = level < 6 ? parseBinary(level + 1) : parseUnary();
        left = makeBinary(op, std::move(left), std::move(right));
        chain.deeper();
    }
    return left;
}

// A binary node located at its left operand; none when an operand is missing.
ExprPtr Parser::makeBinary(TokenType op, ExprPtr left, ExprPtr right) {
    if (!left || !right) return nullptr;
    SourceLocation location = left->location;
    return make<BinaryExpr>(op, std::move(left), std::move(right), std::move(location));
}

// ("not" | "-" | "+" | "++" | "--") UNARY | POSTFIX
ExprPtr Parser::parseUnary() {
    switch (peek().type) {
    case TokenType::Not:
    case TokenType::Minus:
    case TokenType::Plus:
    case TokenType::PlusPlus:
    case TokenType::MinusMinus: {
        NestingScope nesting(*this);
        Token op = take();
        ExprPtr operand = parseUnary();
        return makePrefix(op.type, std::move(op.location), std::move(operand));
    }
    default: return parsePostfix();
    }
}

// A prefix node located at its operator; none when the operand is missing.
ExprPtr Parser::makePrefix(TokenType op, SourceLocation location, ExprPtr operand) {
    if (!operand) return nullptr;
    return make<UnaryExpr>(op, std::move(operand), true, std::move(location));
}

// PRIMARY {"(" ARGUMENTS ")" | "." NAME | "[" INDEX "]" | "++" | "--"}
// Each step lives in its own function so that this frame, which stays on the
// stack while nested brackets are parsed, is small.
ExprPtr Parser::parsePostfix() {
    ExprPtr expression = parsePrimary();
    NestingScope chain(*this, false);
    bool more = true;
    while (more) {
        switch (peek().type) {
        case TokenType::LeftParen: expression = finishCall(std::move(expression)); break;
        case TokenType::Dot: more = finishMember(expression); break;
        case TokenType::LeftBracket: expression = finishIndex(std::move(expression)); break;
        case TokenType::PlusPlus:
        case TokenType::MinusMinus:
            expression = finishPostfixOperator(std::move(expression));
            break;
        default: return expression;
        }
        chain.deeper();
    }
    return expression;
}

// "(" ARGUMENTS ")" after a callee.
ExprPtr Parser::finishCall(ExprPtr callee) {
    advance(); // '('
    std::vector<ExprPtr> arguments;
    bool complete = parseExpressionList(arguments, TokenType::RightParen);
    consume(TokenType::RightParen, diag::ExpectedArgumentsEnd);
    if (!callee || !complete) return nullptr;
    SourceLocation location = callee->location;
    return make<CallExpr>(std::move(callee), std::move(arguments), std::move(location));
}

// "." NAME after an object. False when the name is missing: the expression
// ends there, keeping the object parsed so far.
bool Parser::finishMember(ExprPtr& expression) {
    advance(); // '.'
    if (peek().type != TokenType::Identifier) {
        engine_.report(diag::ExpectedMemberName, peek().location);
        return false;
    }
    SharedText member = intern(take().lexeme);
    if (expression) {
        SourceLocation location = expression->location;
        expression =
            make<MemberExpr>(std::move(expression), std::move(member), std::move(location));
    }
    return true;
}

// "[" INDEX "]" after an object.
ExprPtr Parser::finishIndex(ExprPtr object) {
    advance(); // '['
    ExprPtr index = parseExpressionNested();
    consume(TokenType::RightBracket, diag::ExpectedIndexEnd);
    if (!object || !index) return nullptr;
    SourceLocation location = object->location;
    return make<IndexExpr>(std::move(object), std::move(index), std::move(location));
}

// Postfix "++" or "--".
ExprPtr Parser::finishPostfixOperator(ExprPtr operand) {
    TokenType op = advance().type;
    if (!operand) return nullptr;
    SourceLocation location = operand->location;
    return make<UnaryExpr>(op, std::move(operand), false, std::move(location));
}

// The elements of an argument list or array literal, after its opening token:
// unless `closer` follows, expressions separated by ",", newlines allowed
// around each. Returns false when one could not be built.
bool Parser::parseExpressionList(std::vector<ExprPtr>& arguments, TokenType closer) {
    bool complete = true;
    if (checkKind(closer)) return complete;
    do {
        skipNewlines();
        ExprPtr argument = parseExpressionNested();
        if (argument) {
            arguments.push_back(std::move(argument));
        } else {
            complete = false;
        }
        skipNewlines();
    } while (match(TokenType::Comma));
    return complete;
}

ExprPtr Parser::parsePrimary() {
    switch (peek().type) {
    case TokenType::IntegerLiteral: return parseLiteral(LiteralKind::Integer);
    case TokenType::FloatLiteral: return parseLiteral(LiteralKind::Float);
    case TokenType::StringLiteral: return parseLiteral(LiteralKind::String);
    case TokenType::True:
    case TokenType::False: return parseLiteral(LiteralKind::Boolean);
    case TokenType::Null: return parseLiteral(LiteralKind::Null);
    case TokenType::New: return parseNew();
    case TokenType::Function: return parseLambda();
    case TokenType::LeftBracket: return parseArrayLiteral();
    case TokenType::Identifier: return parseIdentifier();
    case TokenType::LeftParen: return parseParenthesized();
    default: return reportUnexpected();
    }
}

// A literal token; Boolean and null literals carry their keyword as text.
ExprPtr Parser::parseLiteral(LiteralKind kind) {
    Token token = take();
    return make<LiteralExpr>(kind, intern(token.lexeme), std::move(token.location));
}

ExprPtr Parser::parseIdentifier() {
    Token token = take();
    auto identifier = make<IdentifierExpr>(intern(token.lexeme), std::move(token.location));
    skipGenericCallArguments();
    return identifier;
}

// "(" EXPRESSION ")": the inner expression itself, no grouping node.
ExprPtr Parser::parseParenthesized() {
    advance(); // '('
    ExprPtr inner = parseExpressionNested();
    consume(TokenType::RightParen, diag::ExpectedGroupEnd);
    return inner;
}

// E0005 consumes the offending token and yields no expression.
ExprPtr Parser::reportUnexpected() {
    const Token& token = peek();
    engine_.report(diag::UnexpectedToken, token.location, {token.lexeme});
    advance();
    return nullptr;
}

// After a name: "<" ... ">" directly followed by "(" is a generic call whose
// type arguments are dropped; anything else leaves the "<" as less-than.
void Parser::skipGenericCallArguments() {
    if (peek().type != TokenType::Less) return;
    const GenericClose* generic = genericCloseOf(current_);
    if (generic && generic->close != 0 && generic->callFollows) moveTo(generic->close + 1);
}

// new NAME ["<" ... ">"] "(" ARGUMENTS ")"
ExprPtr Parser::parseNew() {
    SourceLocation location = std::move(take().location); // 'new'
    if (peek().type != TokenType::Identifier) {
        engine_.report(diag::ExpectedNewClassName, peek().location);
        return nullptr;
    }
    SharedText className = intern(take().lexeme);
    if (match(TokenType::Less)) {
        // The generic arguments are not kept; the skip stops at the first ">".
        while (!isAtEnd() && peek().type != TokenType::Greater) advance();
        consume(TokenType::Greater, diag::ExpectedNewGenericEnd);
    }
    consume(TokenType::LeftParen, diag::ExpectedNewArgumentsStart);
    std::vector<ExprPtr> arguments;
    bool complete = parseExpressionList(arguments, TokenType::RightParen);
    consume(TokenType::RightParen, diag::ExpectedNewArgumentsEnd);
    if (!complete) return nullptr;
    return make<NewExpr>(std::move(className), std::move(arguments), std::move(location));
}

// function "(" PARAMETERS ")" [":" TYPE] BLOCK
ExprPtr Parser::parseLambda() {
    SourceLocation location = std::move(take().location); // 'function'
    std::vector<Parameter> parameters = parseParameters();
    std::string returnType = "void";
    if (match(TokenType::Colon)) returnType = parseTypeNested();
    skipNewlines();
    NodeRef<BlockStmt> body = parseBlock();
    return make<LambdaExpr>(std::move(parameters), std::move(returnType), std::move(body),
                            std::move(location));
}

// "[" [ELEMENT {"," ELEMENT}] "]"; newlines allowed around each element.
ExprPtr Parser::parseArrayLiteral() {
    SourceLocation location = std::move(take().location); // '['
    std::vector<ExprPtr> elements;
    bool complete = parseExpressionList(elements, TokenType::RightBracket);
    consume(TokenType::RightBracket, diag::ExpectedArrayLiteralEnd);
    if (!complete) return nullptr;
    return make<ArrayLiteralExpr>(std::move(elements), std::move(location));
}

// BASE ["<" TYPE {"," TYPE} ">"] {"[" "]"}
std::string Parser::parseTypeNested() {
    std::string name;
    switch (peek().type) {
    case TokenType::Int: name = "int"; break;
    case TokenType::Float: name = "float"; break;
    case TokenType::String: name = "string"; break;
    case TokenType::Boolean: name = "Boolean"; break;
    case TokenType::Void: name = "void"; break;
    case TokenType::Identifier: name = peek().lexeme; break;
    default: engine_.report(diag::ExpectedTypeName, peek().location); return "unknown";
    }
    advance();
    if (match(TokenType::Less)) {
        NestingScope nesting(*this);
        name += '<';
        name += parseTypeNested();
        while (match(TokenType::Comma)) {
            name += ", ";
            name += parseTypeNested();
        }
        consume(TokenType::Greater, diag::ExpectedGenericTypeEnd);
        name += '>';
    }
    while (match(TokenType::LeftBracket)) {
        consume(TokenType::RightBracket, diag::ExpectedArrayTypeEnd);
        name += "[]";
    }
    return name;
}

} // namespace zarn
