#include "zarn/frontend/Parser.h"
#include "tests/zarn/frontend/TreePrinter.h"
#include "zarn/frontend/Lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zarn {
namespace {

struct Parsed {
    std::string tree;
    // "CODE line:column message" per diagnostic, in report order.
    std::vector<std::string> errors;
    std::shared_ptr<Program> program;
};

std::string describe(const Diagnostic& d) {
    return d.code + " " + std::to_string(d.location.line()) + ":" +
           std::to_string(d.location.column()) + " " + d.message;
}

Parsed parseTokenList(const std::string& source) {
    DiagnosticEngine engine;
    Lexer lexer(source, "p.zarn", engine);
    Parser parser(lexer.tokenize(), engine);
    Parsed result;
    result.program = parser.parseProgram();
    result.tree = testing::printTree(result.program.get());
    for (const Diagnostic& d : engine.diagnostics()) result.errors.push_back(describe(d));
    return result;
}

// Every case is parsed twice: from the lexer's token list, and pulling the
// tokens from the lexer one at a time. Both must give the same tree and the
// same diagnostics.
Parsed parse(const std::string& source) {
    Parsed listed = parseTokenList(source);
    DiagnosticEngine engine;
    std::shared_ptr<Program> program = parseSource(source, "p.zarn", engine, true);
    std::vector<std::string> streamedErrors;
    for (const Diagnostic& d : engine.diagnostics()) streamedErrors.push_back(describe(d));
    EXPECT_EQ(testing::printTree(program.get()), listed.tree) << source;
    EXPECT_EQ(streamedErrors, listed.errors) << source;
    return listed;
}

// The tree of a source that must parse without errors.
std::string tree(const std::string& source) {
    Parsed parsed = parse(source);
    EXPECT_TRUE(parsed.errors.empty()) << source << "\n" << parsed.errors[0];
    return parsed.tree;
}

// The tree of one expression statement, without the Program/Expr wrapping.
std::string expr(const std::string& source) {
    std::string full = tree(source);
    const std::string prefix = "(Program (Expr ";
    if (full.compare(0, prefix.size(), prefix) != 0) return full;
    return full.substr(prefix.size(), full.size() - prefix.size() - 2);
}

std::vector<std::string> errors(const std::string& source) { return parse(source).errors; }

using Errors = std::vector<std::string>;

TEST(ParserExpressions, PrecedenceAndAssociativity) {
    EXPECT_EQ(expr("1 + 2 * 3"), "(Plus (Int 1) (Star (Int 2) (Int 3)))");
    EXPECT_EQ(expr("10 - 4 - 3"), "(Minus (Minus (Int 10) (Int 4)) (Int 3))");
    EXPECT_EQ(expr("not a && b"), "(And (Not a) b)");
    EXPECT_EQ(expr("a || b && c == d < e + f * g"),
              "(Or a (And b (Equal c (Less d (Plus e (Star f g))))))");
    EXPECT_EQ(expr("a * b + c != d || e"), "(Or (NotEqual (Plus (Star a b) c) d) e)");
    EXPECT_EQ(expr("a < b < c"), "(Less (Less a b) c)");
    EXPECT_EQ(expr("a % b / c >= d <= e > f"),
              "(Greater (LessEqual (GreaterEqual (Slash (Percent a b) c) d) e) f)");
    EXPECT_EQ(expr("(1 + 2) * 3"), "(Star (Plus (Int 1) (Int 2)) (Int 3))");
}

TEST(ParserExpressions, UnaryAndPostfix) {
    EXPECT_EQ(expr("-x.y()"), "(Minus (Call (Member x y)))");
    EXPECT_EQ(expr("i++"), "(PostPlusPlus i)");
    EXPECT_EQ(expr("++i"), "(PlusPlus i)");
    EXPECT_EQ(expr("--i"), "(MinusMinus i)");
    EXPECT_EQ(expr("not not +x"), "(Not (Not (Plus x)))");
    EXPECT_EQ(expr("a.b[1](2, 3).c"),
              "(Member (Call (Index (Member a b) (Int 1)) (Int 2) (Int 3)) c)");
    EXPECT_EQ(expr("f(\n  1,\n  2\n)"), "(Call f (Int 1) (Int 2))");
}

TEST(ParserExpressions, PrimaryForms) {
    EXPECT_EQ(expr("[1,\n 2,\n 3]"), "(Array (Int 1) (Int 2) (Int 3))");
    EXPECT_EQ(expr("[]"), "(Array)");
    EXPECT_EQ(expr("\"s\""), "\"s\"");
    EXPECT_EQ(expr("true"), "true");
    EXPECT_EQ(expr("false"), "false");
    EXPECT_EQ(expr("null"), "null");
    EXPECT_EQ(expr("1.5"), "(Float 1.5)");
    EXPECT_EQ(expr("new Box<int>(1)"), "(New Box (Int 1))");
    EXPECT_EQ(expr("new Point()"), "(New Point)");
    EXPECT_EQ(tree("f = function(a: int, b: string): int { return a }"),
              "(Program (Assign f (Lambda [a:int b:string] int (Block (Return a)))))");
    EXPECT_EQ(tree("f = function()\n{}"), "(Program (Assign f (Lambda [] void (Block))))");
    // At the start of a statement "function" begins a declaration.
    EXPECT_EQ(errors("function() {}")[0], "E0022 1:9 expected function name after 'function'");
}

TEST(ParserExpressions, GenericCallArgumentsAreSkipped) {
    EXPECT_EQ(expr("max<int>(a, b)"), "(Call max a b)");
    EXPECT_EQ(expr("a < b"), "(Less a b)");
    EXPECT_EQ(expr("a < b > (c)"), "(Call a c)");
    EXPECT_EQ(expr("a < b > c"), "(Greater (Less a b) c)");
    EXPECT_EQ(expr("f<Map<string, List<int>>>(x)"), "(Call f x)");
    EXPECT_EQ(expr("a < (b)"), "(Less a b)");
    // A line break ends the scan; the "<" is then less-than.
    EXPECT_EQ(tree("x = a < b; y > (c)"), "(Program (Assign x (Less a b)) (Expr (Greater y c)))");
    EXPECT_EQ(tree("x = a < b\ny > (c)"), "(Program (Assign x (Less a b)) (Expr (Greater y c)))");
    // A "," does not end a line, so the scan goes on into the next one.
    EXPECT_EQ(tree("f(a < b,\n c > (d))"), "(Program (Expr (Call f (Call a d))))");
}

TEST(ParserExpressions, LiteralValues) {
    Parsed parsed = parse("9223372036854775807\n9223372036854775808\n");
    EXPECT_EQ(parsed.tree, "(Program (Expr (Int 9223372036854775807)) (Expr (Int 0)))");
    EXPECT_TRUE(parsed.errors.empty());
}

TEST(ParserExpressions, Errors) {
    EXPECT_EQ(errors("x = 1 +"),
              (Errors{"E0005 1:8 unexpected token in expression: ''",
                      "E1002 1:8 expected newline or semicolon at end of statement"}));
    EXPECT_EQ(errors("x.string\n"),
              (Errors{"E0060 1:3 expected member name after '.'",
                      "E1002 1:3 expected newline or semicolon at end of statement",
                      "E0005 1:3 unexpected token in expression: 'string'"}));
    EXPECT_EQ(errors("let a: int[] = [1, 2, ]\n"),
              (Errors{"E0005 1:23 unexpected token in expression: ']'",
                      "E1001 2:1 expected ']' closing array literal",
                      "E1002 2:1 expected newline or semicolon at end of statement"}));
    EXPECT_EQ(errors("x = new Map<string, List<int>>()\n"),
              (Errors{"E1001 1:30 expected '(' after class name in 'new'",
                      "E0005 1:30 unexpected token in expression: '>'",
                      "E1001 2:1 expected ')' after constructor arguments",
                      "E1002 2:1 expected newline or semicolon at end of statement"}));
    EXPECT_EQ(errors("x = new 5\n"),
              (Errors{"E0061 1:9 expected class name after 'new'",
                      "E1002 1:9 expected newline or semicolon at end of statement"}));
    EXPECT_EQ(errors("f(1\n"),
              (Errors{"E1001 2:1 expected ')' after arguments",
                      "E1002 2:1 expected newline or semicolon at end of statement"}));
    EXPECT_EQ(errors("f(1;"), (Errors{"E1001 1:4 expected ')' after arguments"}));
    EXPECT_EQ(errors("a[1\n"), (Errors{"E1001 1:4 expected ']' after index"}));
    EXPECT_EQ(errors("(1\n"), (Errors{"E1001 1:3 expected ')' after expression"}));
    EXPECT_EQ(errors("x = new A<int(1)\n"),
              (Errors{"E1001 2:1 expected '>' after generic type in 'new'",
                      "E1001 2:1 expected '(' after class name in 'new'",
                      "E0005 2:1 unexpected token in expression: ''",
                      "E1001 2:1 expected ')' after constructor arguments",
                      "E1002 2:1 expected newline or semicolon at end of statement"}));
    EXPECT_EQ(errors("x = y +\n"),
              (Errors{"E0005 2:1 unexpected token in expression: ''",
                      "E1002 2:1 expected newline or semicolon at end of statement"}));
    EXPECT_EQ(errors("x = y + // more\n 1\n"),
              (Errors{"E0005 1:9 unexpected token in expression: '\\n'",
                      "E1002 2:2 expected newline or semicolon at end of statement"}));
}

TEST(ParserTypes, TypeNames) {
    EXPECT_EQ(tree("let a: List<int>[] = x\n"), "(Program (Var a List<int>[] x))");
    EXPECT_EQ(tree("let a: Map<string, List<int>>\n"), "(Program (Var a Map<string, List<int>>))");
    EXPECT_EQ(tree("let a: bool\nlet b: Boolean\nlet c: float[][]\nlet d: void\nlet e: string\n"),
              "(Program (Var a Boolean) (Var b Boolean) (Var c float[][]) (Var d void) "
              "(Var e string))");
    EXPECT_EQ(errors("let a: 5\n"),
              (Errors{"E0013 1:8 expected type name (e.g. 'int', 'string', 'float', 'Boolean', or "
                      "class name)",
                      "E1002 1:8 expected newline or semicolon at end of statement"}));
    EXPECT_EQ(errors("let a: List<int\n"), (Errors{"E1001 1:16 expected '>' ending generic type"}));
    EXPECT_EQ(errors("let a: int[;"), (Errors{"E1001 1:12 expected ']' in array type"}));
}

TEST(ParserTypes, PublicParseTypeAndExpression) {
    DiagnosticEngine engine;
    Lexer lexer("Map<string, int[]>[]", "t", engine);
    Parser parser(lexer.tokenize(), engine);
    EXPECT_EQ(parser.parseType(), "Map<string, int[]>[]");

    Lexer exprLexer("a.b + 1", "<interpolation>", engine);
    Parser exprParser(exprLexer.tokenize(), engine);
    std::shared_ptr<Expression> expression = exprParser.parseExpression();
    EXPECT_EQ(testing::printTree(expression.get()), "(Plus (Member a b) (Int 1))");
    EXPECT_FALSE(engine.hasErrors());
}

TEST(ParserStatements, Declarations) {
    EXPECT_EQ(tree("let x: int = 5\n"), "(Program (Var x int (Int 5)))");
    EXPECT_EQ(tree("function f(a: int, b: List<string>): void {\n  return\n}\n"),
              "(Program (Function f [a:int b:List<string>] void (Block (Return _))))");
    EXPECT_EQ(tree("function f(\n a: int,\n b: int\n): int { return a }"),
              "(Program (Function f [a:int b:int] int (Block (Return a))))");
    EXPECT_EQ(tree("class P {\n let x: int = 0\n function get(): int { return x }\n}\n"),
              "(Program (Class P (Var x int (Int 0)) (Function get [] int (Block (Return x)))))");
    EXPECT_EQ(tree("Class Q\n{\n}\n"), "(Program (Class Q))");
    EXPECT_EQ(tree("use net\nuse my-lib/util\nuse \"lib/tools.zarn\"\nuse a.b\n"),
              "(Program (Use net) (Use my-lib/util) (Use lib/tools.zarn) (Use a.b))");
    EXPECT_EQ(tree("{\n function inner(): void {}\n class C {}\n use os\n}\n"),
              "(Program (Block (Function inner [] void (Block)) (Class C) (Use os)))");
}

TEST(ParserStatements, ControlFlow) {
    EXPECT_EQ(tree("if a {\n} else if b {\n} else {\n}\n"),
              "(Program (If a (Block) (If b (Block) (Block))))");
    EXPECT_EQ(tree("if: a { }\n"), "(Program (If a (Block) _))");
    EXPECT_EQ(tree("while (a && b) { break }\nwhile a && b { continue }\nwhile: a {}\n"),
              "(Program (While (And a b) (Block (Break))) (While (And a b) (Block (Continue))) "
              "(While a (Block)))");
    EXPECT_EQ(tree("do {\n x++\n} while (x < 3)\n"),
              "(Program (DoWhile (Block (Expr (PostPlusPlus x))) (Less x (Int 3))))");
    EXPECT_EQ(tree("for (;;) {}\n"), "(Program (For _ _ _ (Block)))");
    EXPECT_EQ(
        tree("for (let i: int = 0; i < 3; i += 1) {}\n"),
        "(Program (For (Var i int (Int 0)) (Less i (Int 3)) (PlusAssign i (Int 1)) (Block)))");
    EXPECT_EQ(
        tree("for (i = 0; i < 3; i++) {}\n"),
        "(Program (For (Assign i (Int 0)) (Less i (Int 3)) (Expr (PostPlusPlus i)) (Block)))");
    EXPECT_EQ(tree("foreach item: items {\n print(item)\n}\n"),
              "(Program (Foreach item items (Block (Expr (Call print item)))))");
    EXPECT_EQ(
        tree("switch (x) {\n case 1:\n  a()\n  break\n case 2: b()\n default:\n  c()\n}\n"),
        "(Program (Switch x (Case (Int 1) (Expr (Call a)) (Break)) (Case (Int 2) (Expr (Call b))) "
        "(Default (Expr (Call c)))))");
    EXPECT_EQ(tree("function f(): int { return 1 }"),
              "(Program (Function f [] int (Block (Return (Int 1)))))");
}

TEST(ParserStatements, AssignmentsAndSeparators) {
    EXPECT_EQ(tree("a = 1; b -= 2\nc *= 3\nd /= 4\ne %= 5\nf.g[0] += 1\n;;\n"),
              "(Program (Assign a (Int 1)) (MinusAssign b (Int 2)) (StarAssign c (Int 3)) "
              "(SlashAssign d (Int 4)) (PercentAssign e (Int 5)) "
              "(PlusAssign (Index (Member f g) (Int 0)) (Int 1)))");
    EXPECT_EQ(tree("\n\n! remark\n/* block */\n// line\n"), "(Program)");
}

TEST(ParserStatements, Locations) {
    Parsed parsed = parse("let x: int = 1\n  a.b = -c\nif x {}\n");
    ASSERT_EQ(parsed.program->statements.size(), 3u);
    auto* assign = dynamic_cast<AssignStmt*>(parsed.program->statements[1].get());
    ASSERT_NE(assign, nullptr);
    EXPECT_EQ(assign->location.line(), 2u);
    EXPECT_EQ(assign->location.column(), 3u);        // the target, not the operator
    EXPECT_EQ(assign->value->location.column(), 9u); // the prefix operator
    auto* ifStmt = dynamic_cast<IfStmt*>(parsed.program->statements[2].get());
    ASSERT_NE(ifStmt, nullptr);
    EXPECT_EQ(ifStmt->location.line(), 3u);
    EXPECT_EQ(ifStmt->location.length, 2u);
}

TEST(ParserStatements, Errors) {
    EXPECT_EQ(errors("let x = 5\n"),
              (Errors{"E0010 1:7 variable declaration missing explicit type annotation",
                      "E0013 1:7 expected type name (e.g. 'int', 'string', 'float', 'Boolean', or "
                      "class name)"}));
    EXPECT_EQ(parse("let x = 5\n").tree, "(Program (Var x unknown (Int 5)))");
    EXPECT_EQ(errors("function f() {}\n"),
              (Errors{"E0020 1:14 function 'f' must specify an explicit return type (e.g. ': void' "
                      "or ': int')"}));
    EXPECT_EQ(parse("function f() {}\n").tree, "(Program (Function f [] void (Block)))");
    EXPECT_EQ(errors("x = 1 y = 2\n"),
              (Errors{"E1002 1:7 expected newline or semicolon at end of statement"}));
    EXPECT_EQ(errors("if a\n  b()\n"), (Errors{"E1001 2:3 expected '{' starting block",
                                               "E1001 3:1 expected '}' ending block"}));
    EXPECT_EQ(errors("while (a) && (b) {}\n"),
              (Errors{"E1001 1:11 expected '{' starting block",
                      "E0005 1:11 unexpected token in expression: '&&'",
                      "E1002 1:18 expected newline or semicolon at end of statement",
                      "E1001 2:1 expected '}' ending block"}));
    EXPECT_EQ(errors("switch (x) {\n y\n case 1: a()\n}\n"),
              (Errors{"E0041 2:2 expected 'case' or 'default' in switch statement"}));
    EXPECT_EQ(errors("let 5\n"),
              (Errors{"E0011 1:5 expected variable name after 'let'",
                      "E1002 1:5 expected newline or semicolon at end of statement"}));
    EXPECT_EQ(errors("function (a: int): void {}\n")[0],
              "E0022 1:10 expected function name after 'function'");
    EXPECT_EQ(errors("function f(5): void {}\n")[0], "E0021 1:12 expected parameter name");
    EXPECT_EQ(errors("function f(a int): void {}\n")[0],
              "E1001 1:14 expected ':' and type for parameter 'a'");
    EXPECT_EQ(errors("function f(a: int: void {}\n")[0],
              "E1001 1:18 expected ')' after parameter list");
    EXPECT_EQ(errors("function f: void {}\n")[0], "E1001 1:11 expected '(' for parameter list");
    EXPECT_EQ(errors("class {}\n")[0], "E0030 1:7 expected class name");
    EXPECT_EQ(errors("class A x }\n")[0], "E1001 1:9 expected '{' after class name");
    EXPECT_EQ(
        errors("class A { x }\n"),
        (Errors{"E0031 1:11 unexpected token in class declaration; expected field or method"}));
    EXPECT_EQ(errors("class A {\n"), (Errors{"E1001 2:1 expected '}' closing class body"}));
    EXPECT_EQ(errors("foreach 1: a {}\n")[0], "E0040 1:9 expected loop variable name in 'foreach'");
    EXPECT_EQ(errors("foreach a b {}\n")[0], "E1001 1:11 expected ':' after variable in 'foreach'");
    EXPECT_EQ(errors("use 5\n")[0], "E0050 1:5 expected module name after 'use'");
    EXPECT_EQ(errors("do {} x\n")[0], "E1001 1:7 expected 'while' after 'do' body");
    EXPECT_EQ(errors("while (a {}\n")[0], "E1001 1:10 expected ')' after while condition");
    EXPECT_EQ(errors("for ;;) {}\n")[0], "E1001 1:5 expected '(' after 'for'");
    EXPECT_EQ(errors("for (a = 1 b; c) {}\n")[0],
              "E1001 1:12 expected ';' after for-loop initializer");
    EXPECT_EQ(errors("for (; a b) {}\n")[0], "E1001 1:10 expected ';' after for-loop condition");
    EXPECT_EQ(errors("for (;; a b) {}\n")[0], "E1001 1:11 expected ')' after for-loop clauses");
    EXPECT_EQ(errors("switch x) {}\n")[0], "E1001 1:8 expected '(' after 'switch'");
    EXPECT_EQ(errors("switch (x {}\n")[0], "E1001 1:11 expected ')' after switch value");
    EXPECT_EQ(errors("switch (x) case\n")[0], "E1001 1:12 expected '{' after switch header");
    EXPECT_EQ(errors("switch (x) { case 1 a }\n")[0], "E1001 1:21 expected ':' after case value");
    EXPECT_EQ(errors("switch (x) { default a }\n")[0], "E1001 1:22 expected ':' after 'default'");
    EXPECT_EQ(errors("switch (x) {\n"), (Errors{"E1001 2:1 expected '}' closing switch block"}));
}

TEST(ParserStatements, RecoveryReportsSeveralErrorsAndKeepsGoodStatements) {
    Parsed parsed = parse("let x = 1\n)\nlet y: int = 2\n");
    EXPECT_EQ(parsed.errors.size(), 3u);
    EXPECT_EQ(parsed.tree, "(Program (Var x unknown (Int 1)) (Var y int (Int 2)))");
}

TEST(ParserNesting, DeepInputStopsWithOneDiagnostic) {
    const int deep = 100000;
    const std::vector<std::pair<std::string, std::string>> inputs = {
        {"x = " + std::string(deep, '('), ""},
        {"", "{\n"},
        {"x = ", "not "},
        {"x = ", "- "},
        {"x = ", "["},
        {"x = ", "function() { return "},
        {"if a {}", " else if a {}"},
        {"x = 1", " + 1"},
        {"x", ".y"},
        {"x", "()"},
        {"x", "[0]"},
        {"let x: ", "List<"},
        {"", "switch (x) { case 1: "},
        {"", "class A { function f(): void { "},
        {"x = a", " < a"},
    };
    for (const auto& [head, piece] : inputs) {
        std::string source = head;
        if (!piece.empty())
            for (int i = 0; i < deep; ++i) source += piece;
        source += "\nlet after = 1\n";
        Parsed parsed = parse(source);
        ASSERT_FALSE(parsed.errors.empty()) << head << piece;
        EXPECT_EQ(std::count_if(parsed.errors.begin(), parsed.errors.end(),
                                [](const std::string& e) { return e.rfind("E1003", 0) == 0; }),
                  1)
            << head << piece;
        EXPECT_NE(parsed.errors.back().find("nesting too deep (limit is 1000 levels)"),
                  std::string::npos)
            << head << piece;
    }
}

TEST(ParserNesting, NestingBelowTheLimitParses) {
    const int depth = Parser::kMaxNesting - 2;
    std::string source = "x = " + std::string(depth, '(') + "1" + std::string(depth, ')') + "\n";
    EXPECT_TRUE(parse(source).errors.empty());
    std::string blocks;
    for (int i = 0; i < depth; ++i) blocks += "{\n";
    for (int i = 0; i < depth; ++i) blocks += "}\n";
    EXPECT_TRUE(parse(blocks).errors.empty());
}

TEST(ParserNesting, PublicEntriesStopToo) {
    DiagnosticEngine engine;
    Lexer lexer(std::string(5000, '(') + "1", "<interpolation>", engine);
    Parser parser(lexer.tokenize(), engine);
    EXPECT_EQ(parser.parseExpression(), nullptr);
    ASSERT_EQ(engine.diagnostics().size(), 1u);
    EXPECT_EQ(engine.diagnostics()[0].code, "E1003");

    DiagnosticEngine typeEngine;
    std::string type;
    for (int i = 0; i < 5000; ++i) type += "A<";
    Lexer typeLexer(type, "t", typeEngine);
    Parser typeParser(typeLexer.tokenize(), typeEngine);
    EXPECT_EQ(typeParser.parseType(), "unknown");
    EXPECT_EQ(typeEngine.diagnostics().back().code, "E1003");
}

TEST(ParserRobustness, TokenListWithoutEndOfFileIsCompleted) {
    DiagnosticEngine engine;
    Parser parser({Token{TokenType::Identifier, "a", {}}}, engine);
    EXPECT_EQ(testing::printTree(parser.parseProgram().get()), "(Program (Expr a))");
    DiagnosticEngine empty;
    Parser emptyParser({}, empty);
    EXPECT_EQ(testing::printTree(emptyParser.parseProgram().get()), "(Program)");
}

std::vector<std::string> codes(const DiagnosticEngine& engine) {
    std::vector<std::string> out;
    for (const Diagnostic& d : engine.diagnostics()) out.push_back(d.code);
    return out;
}

// One pass over the text reports like lexing it whole and then parsing it:
// lexical errors first (also those past the point where parsing failed),
// then the syntax errors, or only the lexical ones.
TEST(ParseSource, LexicalErrorsComeFirst) {
    const std::string source = "x = )\nlet y: int = $\nz = (\n\"open";
    DiagnosticEngine both;
    parseSource(source, "p.zarn", both, true);
    std::vector<std::string> all = codes(both);
    ASSERT_GT(all.size(), 3u);
    EXPECT_EQ(all[0], "E0002");
    EXPECT_EQ(all[1], "E0003");
    EXPECT_EQ(all[2], "E0005");
    DiagnosticEngine lexicalOnly;
    std::shared_ptr<Program> program = parseSource(source, "p.zarn", lexicalOnly, false);
    EXPECT_NE(program, nullptr);
    EXPECT_EQ(codes(lexicalOnly), (std::vector<std::string>{"E0002", "E0003"}));
    DiagnosticEngine clean;
    parseSource("x = )\n", "p.zarn", clean, false);
    EXPECT_EQ(codes(clean), (std::vector<std::string>{"E0005"}));
}

// Matching "<" with ">" looks ahead past the tokens read so far; what it
// passes is reported once, when it is read for real, and in order.
TEST(ParseSource, GenericLookAheadReportsOnce) {
    DiagnosticEngine engine;
    std::shared_ptr<Program> program =
        parseSource("a = f<int>(1) + g<$>(2) < h $\nb = k<x>(3)\n", "p.zarn", engine, false);
    ASSERT_EQ(codes(engine), (std::vector<std::string>{"E0002", "E0002"}));
    EXPECT_EQ(engine.diagnostics()[0].location.column(), 19u);
    EXPECT_EQ(engine.diagnostics()[1].location.column(), 29u);
    DiagnosticEngine good;
    EXPECT_EQ(testing::printTree(
                  parseSource("a = f<int>(1) < g<List<int>>(x)\n", "p.zarn", good, true).get()),
              "(Program (Assign a (Less (Call f (Int 1)) (Call g x))))");
}

// After the nesting limit the rest of the text is still lexed, so that each
// of its lexical errors is reported.
TEST(ParseSource, TooDeepStillLexesToTheEnd) {
    DiagnosticEngine engine;
    parseSource("x = " + std::string(5000, '(') + "\n$\n$\n", "p.zarn", engine, true);
    EXPECT_EQ(codes(engine), (std::vector<std::string>{"E0002", "E0002", "E1003"}));
}

// Nodes live in the parse's arena, which the program owns: kept after the
// parser and the lexer are gone, the program holds every subtree whole. The
// links inside the tree own nothing.
TEST(ParseSource, TheProgramKeepsItsSubtrees) {
    std::shared_ptr<Program> program;
    {
        DiagnosticEngine engine;
        program =
            parseSource("function f(a: int): int {\n  return a + 1\n}\nlet long: string = \"" +
                            std::string(5000, 'x') + "\"\n",
                        "p.zarn", engine, true);
    }
    auto body = staticNodeCast<FunctionDeclStmt>(program->statements[0])->body;
    EXPECT_EQ(program.use_count(), 1);
    EXPECT_EQ(testing::printTree(body.get()), "(Block (Return (Plus a (Int 1))))");
    EXPECT_EQ(body->location.file, "p.zarn");
}

// A parse keeps one text per spelling: every use of a name or literal shares
// the entry of its first use, so a large program holds each name once.
TEST(ParseSource, OneTextPerSpelling) {
    DiagnosticEngine engine;
    std::shared_ptr<Program> program = parseSource(
        "let total: int = 1\ntotal = total + 1\nlet other: int = total\n", "p.zarn", engine, true);
    ASSERT_FALSE(engine.hasErrors());
    ASSERT_EQ(program->statements.size(), 3u);
    auto& first = static_cast<VarDeclStmt&>(*program->statements[0]);
    auto& assign = static_cast<AssignStmt&>(*program->statements[1]);
    auto& other = static_cast<VarDeclStmt&>(*program->statements[2]);
    auto& target = static_cast<IdentifierExpr&>(*assign.target);
    auto& sum = static_cast<BinaryExpr&>(*assign.value);
    auto& left = static_cast<IdentifierExpr&>(*sum.left);
    auto& one = static_cast<LiteralExpr&>(*sum.right);
    auto& initial = static_cast<LiteralExpr&>(*first.initializer);
    EXPECT_EQ(target.name, "total");
    EXPECT_TRUE(target.name.sameEntry(first.name));
    EXPECT_TRUE(left.name.sameEntry(first.name));
    EXPECT_TRUE(static_cast<IdentifierExpr&>(*other.initializer).name.sameEntry(first.name));
    EXPECT_TRUE(other.typeName.sameEntry(first.typeName));
    EXPECT_TRUE(one.text.sameEntry(initial.text));
    EXPECT_EQ(one.intValue, 1);
    EXPECT_FALSE(other.name.sameEntry(first.name));
}

} // namespace
} // namespace zarn
