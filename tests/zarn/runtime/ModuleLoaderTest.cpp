// Loading source modules and scripts at run time: order of execution, loading
// once, cycles, directories, failures, and chains of thousands of modules.
#include "tests/zarn/TempTree.h"
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"
#include "zarn/runtime/Interpreter.h"
#include "zarn/typecheck/TypeChecker.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace zarn;

namespace {

// A native module whose `run(path)` starts another script, as a GUI script does.
void initLoaderModule(Interpreter& interp) {
    ClassInstanceObject* module = makeModule(interp, "loader");
    addMember(interp, module, "run", [](Interpreter& in, const NativeArgs& args) {
        runScript(in, std::string(args.stringAt(0)));
        return Value();
    });
}

class ModuleLoaderTest : public zarn::testing::TempTreeTest {
protected:
    // Runs main.zarn; what it printed, then "CODE message" per diagnostic.
    std::string run(const std::string& source) {
        write("main.zarn", source);
        std::string path = (dir / "main.zarn").string();
        DiagnosticEngine engine;
        Lexer lexer(source, path, engine);
        Parser parser(lexer.tokenize(), engine);
        std::shared_ptr<Program> program = parser.parseProgram();
        if (engine.hasErrors()) return "syntax error in the test program";
        NativeModuleTable modules;
        modules.add("loader", initLoaderModule);
        Interpreter interpreter(engine, std::move(modules));
        interpreter.setScriptPath(path);
        ::testing::internal::CaptureStdout();
        interpreter.interpret(program);
        std::fflush(stdout);
        std::string result = ::testing::internal::GetCapturedStdout();
        for (const Diagnostic& d : engine.diagnostics()) result += d.code + " " + d.message + "\n";
        return result;
    }
};

TEST_F(ModuleLoaderTest, ModulesRunInPlaceAndOnce) {
    write("a.zarn", "println(\"a start\")\nuse b.zarn\nprintln(\"a end\")\nfunction fromA(): int { "
                    "return 1 }\n");
    write("b.zarn", "println(\"b\")\nuse a.zarn\nlet fromB: int = 2\n");
    EXPECT_EQ(run("println(\"main start\")\nuse a.zarn\nuse b.zarn\nuse \"a.zarn\"\n"
                  "println(\"main end \" + fromA() + fromB)\n"),
              "main start\na start\nb\na end\nmain end 12\n");
}

TEST_F(ModuleLoaderTest, ModulesResolveFromTheirOwnDirectory) {
    write("lib/outer.zarn", "use inner.zarn\nprintln(\"outer\")\n");
    write("lib/inner.zarn", "println(\"lib inner\")\n");
    write("inner.zarn", "println(\"top inner\")\n");
    EXPECT_EQ(run("use lib/outer\nuse inner.zarn\n"), "lib inner\nouter\ntop inner\n");
}

TEST_F(ModuleLoaderTest, UseInsideAFunctionLoadsIntoItsScope) {
    write("util.zarn", "function twice(n: int): int { return n * 2 }\n");
    EXPECT_EQ(run("function main(): void {\n use util.zarn\n println(twice(21))\n}\n"), "42\n");
}

TEST_F(ModuleLoaderTest, FailuresAreReportedAndTheRunGoesOn) {
    fs::create_directories(dir / "folder.zarn");
    write("broken.zarn", "println(\"never\")\nlet x int = 1\n");
    EXPECT_EQ(run("use nothing_here\nprintln(\"still running\")\nuse folder.zarn\n"),
              "still running\nE0051 module 'nothing_here' does not exist\n"
              "E0051 module 'folder.zarn' does not exist\n");
    EXPECT_EQ(run("use broken.zarn\nprintln(\"after\")\n"),
              "after\nE0010 variable declaration missing explicit type annotation\n");
}

TEST_F(ModuleLoaderTest, ThousandsOfChainedModulesDoNotExhaustTheStack) {
    constexpr int kDepth = 3000;
    for (int i = 0; i < kDepth; ++i) {
        std::string next = i + 1 < kDepth ? "use m" + std::to_string(i + 1) + ".zarn\n" : "";
        write("m" + std::to_string(i) + ".zarn",
              next + "let v" + std::to_string(i) + ": int = " + std::to_string(i) + "\n");
    }
    EXPECT_EQ(run("use m0.zarn\nprintln(v0 + v" + std::to_string(kDepth - 1) + ")\n"),
              std::to_string(kDepth - 1) + "\n");
}

TEST_F(ModuleLoaderTest, RunScriptRunsTheScriptAndItsMain) {
    write("scripts/plugin.zarn", "use helper.zarn\nprintln(\"plugin \" + helperValue)\n"
                                 "function main(): void { println(\"plugin main\") }\n");
    write("scripts/helper.zarn", "let helperValue: int = 7\n");
    EXPECT_EQ(run("use loader\nloader.run(\"scripts/plugin\")\nprintln(\"back\")\n"),
              // The script's main is now the program's too, so the run ends by calling it.
              "plugin 7\nplugin main\nback\nplugin main\n");
}

TEST_F(ModuleLoaderTest, RunScriptDoesNotCallTheRunningProgramsMainAgain) {
    write("plain.zarn", "println(\"plain\")\n");
    EXPECT_EQ(run("use loader\nfunction main(): void {\n println(\"main\")\n "
                  "loader.run(\"plain.zarn\")\n}\n"),
              "main\nplain\n");
}

TEST_F(ModuleLoaderTest, RunScriptFindsNamesFromWhereItRunsEachTime) {
    // The same script's `v` is the global seen from `outer`, then the local of
    // `inner`, whose global of the same name sits where the first run found it.
    write("show.zarn", "println(v)\n");
    EXPECT_EQ(run("use loader\nlet v: string = \"global\"\n"
                  "function outer(): void { loader.run(\"show\") }\n"
                  "function inner(): void {\n let v: string = \"local\"\n loader.run(\"show\")\n}\n"
                  "outer()\ninner()\nouter()\n"),
              "global\nlocal\nglobal\n");
}

TEST_F(ModuleLoaderTest, RunScriptWorksOnTheLocalsOfTheFunctionThatRunsIt) {
    // From a loop, the script reads and writes the caller's locals and what it
    // declares ends with the loop's turn; from the function's own level, what
    // it declares stays, and its function keeps seeing the caller's local.
    write("bump.zarn", "count = count + inner + 1\nlet temp: int = inner\n");
    write("define.zarn", "let seen: int = count\n"
                         "function report(): void { println(\"report \" + count) }\n");
    EXPECT_EQ(run("use loader\nlet count: int = 100\n"
                  "function work(): void {\n"
                  " let count: int = 1\n"
                  " for (let i: int = 0; i < 2; i++) {\n"
                  "  let inner: int = i\n"
                  "  loader.run(\"bump\")\n"
                  " }\n"
                  " println(count, temp)\n"
                  " loader.run(\"define\")\n"
                  " println(seen)\n"
                  " report()\n"
                  " count = 10\n"
                  " report()\n"
                  "}\n"
                  "work()\nprintln(count)\n"),
              "4 null\n4\nreport 4\nreport 10\n100\n");
}

TEST_F(ModuleLoaderTest, RunScriptFromAPlaceholderWorksOnTheCallersLocals) {
    write("peek.zarn", "println(\"peek \" + count)\ncount = count + 1\n");
    EXPECT_EQ(run("use loader\nlet count: int = 100\n"
                  "function work(): void {\n"
                  " let count: int = 5\n"
                  " let text: string = \"[{loader.run(\\\"peek\\\")}] {count}\"\n"
                  " println(text, count)\n"
                  "}\n"
                  "work()\nprintln(count)\n"),
              "peek 5\n[null] 6 6\n100\n");
}

TEST_F(ModuleLoaderTest, RunScriptFailures) {
    fs::create_directories(dir / "folder.zarn");
    EXPECT_EQ(run("use loader\nloader.run(\"missing\")\nloader.run(\"folder\")\n"),
              "E0051 script file '" + (dir / "missing.zarn").string() + "' not found\n" +
                  "E0051 could not read script file '" + (dir / "folder.zarn").string() + "'\n");
}

} // namespace

TEST_F(ModuleLoaderTest, CheckerAndInterpreterParseEachModuleOnce) {
    // a is used by main, by b and again by main; a script is run twice. Every
    // file is parsed once for the whole pipeline.
    write("a.zarn", "use b.zarn\nfunction fromA(): int { return 1 }\nprintln(\"a runs\")\n");
    write("b.zarn", "use a.zarn\nfunction fromB(): int { return 2 }\n");
    write("script.zarn", "println(\"script runs\")\n");
    std::string source = "use a.zarn\nuse b.zarn\nuse a.zarn\nprintln(fromA() + fromB())\n";
    std::string path = write("main.zarn", source).string();
    DiagnosticEngine engine;
    Lexer lexer(source, path, engine);
    Parser parser(lexer.tokenize(), engine);
    std::shared_ptr<Program> program = parser.parseProgram();
    auto cache = std::make_shared<ModuleCache>(engine);
    TypeChecker checker(engine);
    checker.setFile(path);
    checker.setModuleCache(cache);
    checker.declare(*program);
    checker.check(*program);
    ASSERT_FALSE(engine.hasErrors()) << engine.diagnostics()[0].message;
    EXPECT_EQ(cache->parseCount(), 2u); // a and b

    Interpreter interpreter(engine);
    interpreter.setScriptPath(path);
    interpreter.setModuleCache(cache);
    ::testing::internal::CaptureStdout();
    interpreter.interpret(program);
    interpreter.runScript("script");
    interpreter.runScript("script");
    std::fflush(stdout);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "a runs\n3\nscript runs\nscript runs\n");
    EXPECT_FALSE(engine.hasErrors());
    EXPECT_EQ(cache->parseCount(), 3u); // and the script, once
}
