// Checker rules over small programs: which codes a program gets, in order.
// The full rendered blocks are covered by the golden tests under
// tests/golden/typecheck.
#include "CheckHelper.h"

#include <gtest/gtest.h>

using namespace zarn;

namespace {

std::string check(const std::string& source) {
    return zarn::testing::checkSource(source, "t.zarn");
}

TEST(TypeCheckerTest, DeclarationsAndNoWidening) {
    EXPECT_EQ(
        check("let x: int = 1.5\n"),
        "E0012 type mismatch: cannot assign value of type 'float' to variable 'x' of type 'int'\n");
    EXPECT_EQ(
        check("let x: float = 1\n"),
        "E0012 type mismatch: cannot assign value of type 'int' to variable 'x' of type 'float'\n");
    EXPECT_EQ(check("let s: any = 3\nlet n: int\nlet b: bool = true\nlet c: Boolean = b\n"), "");
    EXPECT_EQ(check("let s: string = null\n"), "E0012 type mismatch: cannot assign value of type "
                                               "'null' to variable 's' of type 'string'\n");
    EXPECT_EQ(check("class Node { let next: Node = null }\nlet n: Node = null\n"), "");
}

TEST(TypeCheckerTest, DuplicateNamesInOneScopeOnly) {
    EXPECT_EQ(check("let x: int = 1\nlet x: int = 2\n"),
              "E0015 variable 'x' is already defined in this scope\n");
    EXPECT_EQ(check("let x: int = 1\n{ let x: string = \"a\" }\n"), "");
    // Every loop has its own scope for what it declares.
    EXPECT_EQ(check("for (let i: int = 0; i < 2; i++) {}\nfor (let i: int = 0; i < 2; i++) {}\n"),
              "");
    // Top-level names may shadow the built-in globals.
    EXPECT_EQ(check("let min: int = 0\nfunction print(x: any): void {}\n"), "");
}

TEST(TypeCheckerTest, Conditions) {
    EXPECT_EQ(check("if (1) {}\n"), "E0016 condition must be of type 'Boolean', found 'int'\n");
    EXPECT_EQ(check("while (1) {}\n"), "E0016 while condition must be of type 'Boolean'\n");
    EXPECT_EQ(check("for (let i: int = 0; 1; i++) {}\ndo {} while (1)\n"), "");
    EXPECT_EQ(check("let a: any = 1\nif (a) {} else if (\"s\") {}\n"),
              "E0016 condition must be of type 'Boolean', found 'string'\n");
    // A condition already in error is not reported again.
    EXPECT_EQ(check("if (nope) {}\n"), "E0017 undefined variable or symbol 'nope'\n");
}

TEST(TypeCheckerTest, BreakAndContinue) {
    EXPECT_EQ(check("break\n"), "E0042 'break' statement outside of loop or switch\n");
    EXPECT_EQ(check("continue\n"), "E0043 'continue' statement outside of loop\n");
    EXPECT_EQ(check("switch (1) { case 1: break }\n"), "");
    EXPECT_EQ(check("switch (1) { case 1: continue }\n"),
              "E0043 'continue' statement outside of loop\n");
    EXPECT_EQ(check("while (true) { switch (1) { case 1: continue } }\n"), "");
    EXPECT_EQ(
        check("foreach x : [1] { break }\nfor (;;) { continue }\ndo { break } while (false)\n"),
        "");
    EXPECT_EQ(check("while (true) {}\nbreak\n"),
              "E0042 'break' statement outside of loop or switch\n");
}

TEST(TypeCheckerTest, ReturnsAgainstTheDeclaredType) {
    EXPECT_EQ(check("function f(): string { return 1 }\n"),
              "E0023 return type mismatch: expected 'string', found 'int'\n");
    EXPECT_EQ(check("function f(): int { return }\n"),
              "E0023 return type mismatch: expected 'int', found 'void'\n");
    // A function that never returns a value, and a return at top level, pass.
    EXPECT_EQ(check("function f(): int { }\nreturn 5\n"), "");
    // Lambdas check their own return type and restore the function's afterwards.
    EXPECT_EQ(
        check("function f(): int {\n let g: any = function(): string { return 1 }\n return 2\n}\n"),
        "E0023 return type mismatch: expected 'string', found 'int'\n");
}

TEST(TypeCheckerTest, CallsAndLeniency) {
    EXPECT_EQ(check("function f(a: int): int { return a }\nlet x: int = f(\"wrong\", 2, 3)\n"), "");
    EXPECT_EQ(check("let x: int = 5\nx()\n"), "E0024 cannot call non-function type 'int'\n");
    EXPECT_EQ(check("nope()\n"), "E0017 undefined variable or symbol 'nope'\n");
    EXPECT_EQ(check("let f: any = 1\nlet s: string = f()\n"), "");
    // Functions and classes may be used before their declaration.
    EXPECT_EQ(check("let p: Point = make()\nfunction make(): Point { return new Point() }\nclass "
                    "Point { let x: int = 0 }\n"),
              "");
    EXPECT_EQ(check("let n: int = sizeof(\"abc\")\n"), "");
    EXPECT_EQ(check("let s: string = sizeof(\"abc\")\n"),
              "E0012 type mismatch: cannot assign value of type 'int' to variable 's' of type "
              "'string'\n");
}

TEST(TypeCheckerTest, OperatorsMembersAndIndexes) {
    EXPECT_EQ(check("let s: string = 1 + \"a\"\nlet f: float = 1 * 2.0\nlet i: int = 7 % 2\nlet b: "
                    "Boolean = 1 < 2\n"),
              "");
    EXPECT_EQ(
        check("let i: int = 1 + 2.0\n"),
        "E0012 type mismatch: cannot assign value of type 'float' to variable 'i' of type 'int'\n");
    EXPECT_EQ(check("let b: Boolean = not 1\nlet n: int = -3\nlet m: float = -3.0\n"), "");
    EXPECT_EQ(check("let a: int[] = [1, 2]\nlet n: int = a[0]\nlet k: int = a.size()\nlet p: int = "
                    "a.pop()\n"),
              "");
    EXPECT_EQ(check("let a: string[] = [1]\n"), "E0012 type mismatch: cannot assign value of type "
                                                "'int[]' to variable 'a' of type 'string[]'\n");
    EXPECT_EQ(check("let e: int[] = []\nlet l: List<int> = List()\n"), "");
    EXPECT_EQ(check("let s: string = \"a b\"\nlet parts: string[] = s.split(\" \")\nlet n: int = "
                    "s.length()\n"),
              "");
    EXPECT_EQ(check("let s: string = \"abc\"\nlet n: int = s.trim()\n"),
              "E0012 type mismatch: cannot assign value of type 'string' to variable 'n' of type "
              "'int'\n");
    EXPECT_EQ(check("class P { let x: int = 0\n function get(): int { return x } }\n"
                    "let p: P = new P()\nlet a: int = p.x\nlet b: int = p.get()\nlet c: string = "
                    "p.other\n"),
              "");
    EXPECT_EQ(check("class P { let x: int = 0 }\nlet p: P = new P()\nlet s: string = p.x\n"),
              "E0012 type mismatch: cannot assign value of type 'int' to variable 's' of type "
              "'string'\n");
}

TEST(TypeCheckerTest, Assignments) {
    EXPECT_EQ(
        check("let x: int = 0\nx = \"a\"\n"),
        "E0012 type mismatch: cannot assign value of type 'string' to target of type 'int'\n");
    EXPECT_EQ(check("let x: float = 0.0\nx += 1\n"),
              "E0012 type mismatch: cannot assign value of type 'int' to target of type 'float'\n");
    EXPECT_EQ(check("let a: int[] = [1]\na[0] = 2\nlet x: any = 1\nx = \"s\"\n"), "");
    EXPECT_EQ(check("y = 1\n"), "E0017 undefined variable or symbol 'y'\n");
}

TEST(TypeCheckerTest, ClassesAndNew) {
    EXPECT_EQ(check("let x: Missing = new Missing()\n"),
              "E0014 unknown type name 'Missing'\nE0014 unknown type name 'Missing'\n");
    // Fields are variables inside methods, `this` is the instance.
    EXPECT_EQ(check("class C {\n let n: int = 0\n function inc(): void { n = n + 1\n let me: C = "
                    "this }\n}\n"),
              "");
    // A field type is resolved and reported once, not again when the class is checked.
    EXPECT_EQ(check("class C { let m: Nope }\n"), "E0014 unknown type name 'Nope'\n");
    EXPECT_EQ(check("class C { let a: int = 1\n let a: int = 2 }\n"),
              "E0015 variable 'a' is already defined in this scope\n");
    // Classes and functions declared inside a block are known where they stand.
    EXPECT_EQ(check("function f(): void {\n class Inner { let v: int = 1 }\n function g(): int { "
                    "return 1 }\n"
                    " let i: Inner = new Inner()\n let n: int = g()\n}\n"),
              "");
}

TEST(TypeCheckerTest, BuiltinModules) {
    EXPECT_EQ(check("let r: float = math.sqrt(2.0)\n"), "");
    EXPECT_EQ(
        check("let r: int = math.sqrt(2.0)\n"),
        "E0012 type mismatch: cannot assign value of type 'float' to variable 'r' of type 'int'\n");
    EXPECT_EQ(check("use math\nuse math\nuse http\nlet res: Response = http.get(\"x\")\n"
                    "let code: int = res.status(201).getStatusCode()\n"),
              "");
    EXPECT_EQ(check("let t: int = time.now()\n"), "E0017 undefined variable or symbol 'time'\n");
    EXPECT_EQ(check("use tavi\nlet path: string = tavi.fileDialog.open()\nlet box: TextBox = "
                    "tavi.textBox(\"\")\n"
                    "box.onChange(function(): void {})\nlet r: int = "
                    "tavi.messageBox(\"a\", \"b\")\n"),
              "");
    EXPECT_EQ(check("use url\nlet u: URL = url.parse(\"http://x\")\nlet s: string = url.format(u)\n"
                    "let keys: string[] = u.searchParams.keys()\n"),
              "");
    EXPECT_EQ(check("use net\nlet c: TCPConnection = net.tcpConnect(\"h\", 1)\nlet l: string = "
                    "c.readLine()\n"
                    "use process\nlet args: string[] = process.arguments()\n"),
              "");
    EXPECT_EQ(check("use nosuchmodule\nnosuchmodule.x()\n"),
              "E0051 module 'nosuchmodule' does not exist\nE0017 undefined variable or symbol "
              "'nosuchmodule'\n");
    // A module used inside one function is declared again for another.
    EXPECT_EQ(check("function a(): void { use os\n let n: string = os.name() }\n"
                    "function b(): void { use os\n let h: string = os.hostname() }\n"),
              "");
}

TEST(TypeCheckerTest, ForeachElementTypes) {
    EXPECT_EQ(check("foreach s : [\"a\"] { let n: int = s }\n"),
              "E0012 type mismatch: cannot assign value of type 'string' to variable 'n' of type "
              "'int'\n");
    EXPECT_EQ(check("let x: any = 1\nforeach v : x { let n: int = v }\n"), "");
}

TEST(TypeCheckerTest, ErrorTypeDoesNotCascade) {
    EXPECT_EQ(
        check("let x: int = nope + 1\nlet y: string = nope\nlet z: int = nope.member\n"),
        "E0017 undefined variable or symbol 'nope'\nE0017 undefined variable or symbol 'nope'\n"
        "E0017 undefined variable or symbol 'nope'\n");
    // ... except where the relation says so: arrays are not compatible with the error type.
    EXPECT_EQ(check("let a: Nope = [1]\n"), "E0014 unknown type name 'Nope'\n"
                                            "E0012 type mismatch: cannot assign value of type "
                                            "'int[]' to variable 'a' of type '<type-error>'\n");
}

} // namespace
