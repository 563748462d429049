// The house style of the formatter, case by case: spacing, line structure,
// long lists, comments in awkward places, and texts it must leave alone.
#include "zarn/tools/Formatter.h"

#include <gtest/gtest.h>

#include <string>

namespace zarn {
namespace {

// The formatted text of a source that must format.
std::string fmt(const std::string& source) {
    DiagnosticEngine engine;
    std::optional<std::string> result = formatSource(source, "f.zarn", engine);
    EXPECT_TRUE(result.has_value()) << source;
    if (!result) return "<errors>";
    // Every case is also a case of stability: formatting the result again
    // changes nothing.
    DiagnosticEngine again;
    EXPECT_EQ(formatSource(*result, "f.zarn", again).value_or("<errors>"), *result);
    return *result;
}

TEST(FormatterStyle, SpacesAroundOperatorsAndNoneInsideBrackets) {
    EXPECT_EQ(fmt("let x:int=1+2*-3\n"), "let x: int = 1 + 2 * -3\n");
    EXPECT_EQ(fmt("x+=a[ i ]-f( a,b )%2\n"), "x += a[i] - f(a, b) % 2\n");
    EXPECT_EQ(fmt("if(not a&&b||c!=d){\n}\n"), "if (not a && b || c != d) {}\n");
    EXPECT_EQ(fmt("i ++\n-- j\nk=i++ - --j\n"), "i++\n--j\nk = i++ - --j\n");
    EXPECT_EQ(fmt("let s:string=\"a  b\"+ \"\\n\"\n"), "let s: string = \"a  b\" + \"\\n\"\n");
    EXPECT_EQ(fmt("println( ( a+b )*c )\n"), "println((a + b) * c)\n");
}

TEST(FormatterStyle, TypesAndGenericsStayTight) {
    EXPECT_EQ(fmt("let m : Map < string , List<int> > = new Map < string , int > ( )\n"),
              "let m: Map<string, List<int>> = new Map<string, int>()\n");
    EXPECT_EQ(fmt("let a:int [ ] [ ]=[ [1 ,2],[ ] ]\n"), "let a: int[][] = [[1, 2], []]\n");
    EXPECT_EQ(fmt("let y: int = max < int > ( a , b )\nlet z: bool = a < b\n"),
              "let y: int = max<int>(a, b)\nlet z: bool = a < b\n");
    EXPECT_EQ(fmt("function f ( a : int , b:List<string> [] ) : Map<string,int> {\n}\n"),
              "function f(a: int, b: List<string>[]): Map<string, int> {}\n");
    EXPECT_EQ(fmt("use my - lib / util\nuse \"lib/x.zarn\"\n"),
              "use my-lib/util\nuse \"lib/x.zarn\"\n");
}

TEST(FormatterStyle, OneStatementPerLineAndBracesOnTheHeaderLine) {
    EXPECT_EQ(fmt("x = 1; y = 2\n"), "x = 1;\ny = 2\n");
    EXPECT_EQ(fmt("function f(): int { return 1 }\n"), "function f(): int {\n    return 1\n}\n");
    EXPECT_EQ(fmt("if a\n{\nb()\n}\nelse\nif c { d() } else\n{\n}\n"),
              "if a {\n    b()\n} else if c {\n    d()\n} else {}\n");
    EXPECT_EQ(fmt("do\n{ i++ }\nwhile (i < 3)\nwhile: i > 0 { i-- }\n"),
              "do {\n    i++\n} while (i < 3)\nwhile: i > 0 {\n    i--\n}\n");
    EXPECT_EQ(
        fmt("for(let i:int=0;i<3;i++){ foreach x:xs{print(x)} }\nfor(;;){break}\n"),
        "for (let i: int = 0; i < 3; i++) {\n    foreach x: xs {\n        print(x)\n    }\n}\n"
        "for (;;) {\n    break\n}\n");
    EXPECT_EQ(
        fmt("class P\n{\nlet x: int = 0\n\n\n\nfunction get(): int { return x }\n}\n"),
        "class P {\n    let x: int = 0\n\n    function get(): int {\n        return x\n    }\n}\n");
}

TEST(FormatterStyle, SwitchCasesIndentTheirStatements) {
    EXPECT_EQ(fmt("switch (x) {\ncase 1: a()\nb()\ncase -2:\ndefault: c() }\n"),
              "switch (x) {\n    case 1:\n        a()\n        b()\n    case -2:\n    default:\n"
              "        c()\n}\n");
}

TEST(FormatterStyle, BlankLinesKeptToOneAndNoneAtBlockEdges) {
    EXPECT_EQ(
        fmt("\n\nlet a: int = 1\n\n\n\nlet b: int = 2\nfunction f(): void {\n\n    g()\n\n}\n\n\n"),
        "let a: int = 1\n\nlet b: int = 2\nfunction f(): void {\n    g()\n}\n");
    EXPECT_EQ(fmt("\tif x {\r\n\t\ty()   \r\n\t}\r\n"), "if x {\n    y()\n}\n");
}

TEST(FormatterStyle, ContinuedLinesAreKeptAndIndentedOnce) {
    EXPECT_EQ(fmt("let s: int = a +\nb +\n        c\nreturn a &&\nb\n"),
              "let s: int = a +\n    b +\n    c\nreturn a &&\n    b\n");
    // Inside brackets the parser ignores line breaks, and so does the layout.
    EXPECT_EQ(fmt("f(a,\n  b,\n c)\nlet v: int[] = [\n1,\n2]\n"),
              "f(a, b, c)\nlet v: int[] = [1, 2]\n");
}

TEST(FormatterStyle, LongListsGoOnePerLine) {
    std::string longArgs = "call(alpha_argument_number_one, beta_argument_number_two, "
                           "gamma_argument_number_three, delta_argument_number_four)\n";
    EXPECT_EQ(fmt(longArgs),
              "call(\n    alpha_argument_number_one,\n    beta_argument_number_two,\n"
              "    gamma_argument_number_three,\n    delta_argument_number_four\n)\n");
    // Exactly 100 columns fits; 101 does not.
    std::string fits = "f(" + std::string(94, 'a') + ", b)\n";
    EXPECT_EQ(fmt(fits), fits);
    std::string over = "f(" + std::string(95, 'a') + ", b)\n";
    EXPECT_EQ(fmt(over), "f(\n    " + std::string(95, 'a') + ",\n    b\n)\n");
    // Nested: the outer list breaks, the inner one fits on its own line.
    std::string nested = "let table: int[][] = [[1, 2, 3], [4, 5, 6], [7, 8, 9], [10, 11, 12], "
                         "[13, 14, 15], [16, 17, 18], [19]]\n";
    EXPECT_EQ(fmt(nested),
              "let table: int[][] = [\n    [1, 2, 3],\n    [4, 5, 6],\n    [7, 8, 9],\n"
              "    [10, 11, 12],\n    [13, 14, 15],\n    [16, 17, 18],\n    [19]\n]\n");
    // Parameter lists too.
    std::string params = "function configure(first_parameter: int, second_parameter: string, "
                         "third_parameter_name: float): void {}\n";
    EXPECT_EQ(fmt(params), "function configure(\n    first_parameter: int,\n    second_parameter: "
                           "string,\n    third_parameter_name: float\n): void {}\n");
}

TEST(FormatterStyle, LambdaBodiesHugTheirCall) {
    EXPECT_EQ(fmt("button.onClick(function(): void { count++ })\n"),
              "button.onClick(function(): void {\n    count++\n})\n");
    EXPECT_EQ(
        fmt("let f: Fn = function(x: int): int\n{ return x * 2 }\nrun(f, function(): void {})\n"),
        "let f: Fn = function(x: int): int {\n    return x * 2\n}\nrun(f, function(): void {})\n");
    EXPECT_EQ(fmt("if ok {\nitems.each(function(x: int): void {\nif x > 1 { print(x) }\n})\n}\n"),
              "if ok {\n    items.each(function(x: int): void {\n        if x > 1 {\n            "
              "print(x)\n"
              "        }\n    })\n}\n");
}

TEST(FormatterComments, StayWhereTheyWere) {
    // All three forms, at the end of a line and on lines of their own.
    EXPECT_EQ(fmt("// head\n\n! note\nlet x: int = 1 // one\nlet y: int = 2 ! two\n/* block */\n"
                  "z = x /* mid */ + y\n"),
              "// head\n\n! note\nlet x: int = 1 // one\nlet y: int = 2 ! two\n/* block */\n"
              "z = x /* mid */ + y\n");
    // Before a closing brace, inside an empty block, after an opening one.
    EXPECT_EQ(fmt("function f(): void {\n  g()\n      // trailing\n}\nwhile x { // why\n}\n"
                  "if y {\n// nothing yet\n}\n"),
              "function f(): void {\n    g()\n    // trailing\n}\nwhile x { // why\n}\n"
              "if y {\n    // nothing yet\n}\n");
    // Between else and if, and between a block and its else.
    EXPECT_EQ(fmt("if a {\n} else // then b\nif b {\n}\n// otherwise\nelse {\n}\n"),
              "if a {} else // then b\nif b {}\n// otherwise\nelse {}\n");
    // In argument lists: the list goes one per line around them.
    EXPECT_EQ(fmt("f(a, // first\nb /* second */, c)\n"),
              "f(\n    a, // first\n    b /* second */,\n    c\n)\n");
    EXPECT_EQ(fmt("f(/* none */)\ng(a /* x */, b)\n"), "f(/* none */)\ng(a /* x */, b)\n");
    // A block comment over several lines is kept as written.
    EXPECT_EQ(fmt("  /* one\n     two */\nx = 1\n"), "/* one\n     two */\nx = 1\n");
    // Comments at the end of the file, with a blank line kept before them.
    EXPECT_EQ(fmt("x = 1\n\n\n// end"), "x = 1\n\n// end\n");
    EXPECT_EQ(fmt("// only a comment\n"), "// only a comment\n");
}

TEST(FormatterComments, ExclamationCommentsKeepAnExpressionGoing) {
    // A "!" remark after a trailing operator continues the expression; the
    // layout keeps the break and the remark after the operator.
    EXPECT_EQ(fmt("let a: int = 1 + ! more\n2\n"), "let a: int = 1 + ! more\n    2\n");
}

TEST(FormatterRefuses, TextsWithErrorsGetDiagnosticsAndNoResult) {
    for (const char* source : {"let x = 5\n", "x = (1 + \n", "let s: string = \"open\n", "#\n",
                               "/* never closed\n", "f(a,)\n"}) {
        DiagnosticEngine engine;
        EXPECT_FALSE(formatSource(source, "bad.zarn", engine).has_value()) << source;
        EXPECT_TRUE(engine.hasErrors()) << source;
    }
}

TEST(FormatterRefuses, EmptyAndBlankTextsFormatToNothing) {
    DiagnosticEngine engine;
    EXPECT_EQ(formatSource("", "e.zarn", engine).value_or("<errors>"), "");
    EXPECT_EQ(formatSource("\n \t\n\n", "e.zarn", engine).value_or("<errors>"), "");
}

TEST(FormatterRefuses, ErrorsTheEngineHeldBeforeDoNotCount) {
    DiagnosticEngine engine;
    engine.error("E0005", "an earlier problem", SourceLocation{});
    EXPECT_EQ(formatSource("x=1\n", "f.zarn", engine).value_or("<errors>"), "x = 1\n");
    EXPECT_EQ(engine.diagnostics().size(), 1u);
}

TEST(FormatterStyle, HeadersWithLambdasAndGenericsInTheirConditions) {
    // Two braces wait on one line: the lambda's body comes first.
    EXPECT_EQ(fmt("if function(): bool { return true }() { x() }\n"),
              "if function(): bool {\n    return true\n}() {\n    x()\n}\n");
    // A member call is never generic: a.m < b > (c) compares.
    EXPECT_EQ(fmt("let r: bool = a.m<b>(c)\nlet s: int = f<int>(1)\n"),
              "let r: bool = a.m < b > (c)\nlet s: int = f<int>(1)\n");
}

TEST(FormatterRobustness, DeepNestingAndLongLinesStayLinear) {
    std::string deep = "x = " + std::string(900, '(') + "1" + std::string(900, ')') + "\n";
    EXPECT_EQ(fmt(deep), deep);
    std::string blocks;
    for (int i = 0; i < 300; ++i) blocks += "if a {";
    blocks += std::string(300, '}') + "\n";
    std::string formatted = fmt(blocks);
    EXPECT_NE(formatted.find(std::string(299 * 4, ' ') + "if a {}"), std::string::npos);
    std::string wide = "let v: int[] = [";
    for (int i = 0; i < 20000; ++i) wide += (i ? "," : "") + std::to_string(i);
    wide += "]\n";
    formatted = fmt(wide);
    EXPECT_NE(formatted.find("\n    19999\n]\n"), std::string::npos);
}

} // namespace
} // namespace zarn
