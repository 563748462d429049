// The native-function API as the library modules use it, and runs of small
// programs that check what only C++ can see (collections, diagnostics).
#include "zarn/runtime/Interpreter.h"
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

namespace zarn {
namespace {

std::shared_ptr<Program> parse(const std::string& source, DiagnosticEngine& engine) {
    Lexer lexer(source, "test.zarn", engine);
    Parser parser(lexer.tokenize(), engine);
    return parser.parseProgram();
}

// A module whose members exercise the API: strings, arrays, calls back into
// the script, and a failure that ends the run.
void initProbeModule(Interpreter& interp) {
    ClassInstanceObject* module = makeModule(interp, "probe");
    addMember(interp, module, "words", [](Interpreter& in, const NativeArgs& args) {
        Value array = in.makeArray();
        RootScope roots(in);
        roots.push(array);
        auto* elements = static_cast<ArrayObject*>(array.as.object);
        for (size_t i = 0; i < args.size(); ++i)
            elements->push(in.makeString("<" + std::string(args.stringAt(i)) + ">"));
        return array;
    });
    addMember(interp, module, "each", [](Interpreter& in, const NativeArgs& args) {
        // Calls the script function with a string made here: callValue roots it.
        int64_t count = args.intAt(1);
        Value last;
        for (int64_t i = 0; i < count; ++i) {
            Value text = in.makeString("call " + std::to_string(i));
            last = in.callValue(args[0], std::span<const Value>(&text, 1), args.location());
        }
        return last;
    });
    addMember(interp, module, "fail", [](Interpreter&, const NativeArgs&) -> Value {
        throw std::runtime_error("the probe failed");
    });
}

struct ProgramRun {
    DiagnosticEngine engine;
    std::string output;
};

void runProgram(const std::string& source, ProgramRun& run) {
    NativeModuleTable modules;
    modules.add("probe", initProbeModule);
    modules.add("math", [](Interpreter& interp) {
        ClassInstanceObject* math = makeModule(interp, "math");
        addMember(interp, math, "two",
                  [](Interpreter&, const NativeArgs&) { return Value::fromInt(2); });
    });
    auto program = parse(source, run.engine);
    ASSERT_FALSE(run.engine.hasErrors());
    Interpreter interp(run.engine, std::move(modules));
    testing::internal::CaptureStdout();
    interp.interpret(program);
    run.output = testing::internal::GetCapturedStdout();
}

TEST(InterpreterTest, NativeModulesComeFromTheTableAndMathNeedsNoUse) {
    ProgramRun run;
    runProgram("println(math.two())\n"
               "use probe\n"
               "println(probe.words(\"a\", 1, \"b\"))\n"
               "let seen: any[] = []\n"
               "let r: any = probe.each(function(s: string): string {\n"
               "    seen.push(s)\n"
               "    return s + \"!\"\n"
               "}, 3)\n"
               "println(seen, r)\n",
               run);
    EXPECT_FALSE(run.engine.hasErrors());
    EXPECT_EQ(run.output,
              "2\n[\"<a>\", \"<>\", \"<b>\"]\n[\"call 0\", \"call 1\", \"call 2\"] call 2!\n");
}

// A tree keeps what each interpreter learnt while running it (name places
// and ids, field slots, a literal's text as a string object). An interpreter
// made in the very place of one that ran the tree before must not take those
// for its own: each run of the same tree prints the same, also when the new
// interpreter numbers the names differently (globals defined first).
TEST(InterpreterTest, ANewInterpreterInAnOldOnesPlaceRelearnsTheTree) {
    DiagnosticEngine engine;
    auto program = parse("class P {\n"
                         "    let x: int = 1\n"
                         "    function grow(): void { x = x + 1 }\n"
                         "}\n"
                         "let p: P = new P()\n"
                         "for (let i: int = 0; i < 3; i++) { p.grow() }\n"
                         "let label: string = \"x is\"\n"
                         "println(\"{label} {p.x}\", p.x, \"done\")\n",
                         engine);
    ASSERT_FALSE(engine.hasErrors());
    std::optional<Interpreter> interp;
    for (int run = 0; run < 3; ++run) {
        interp.emplace(engine);
        for (int extra = 0; extra < run; ++extra)
            interp->defineGlobal("extra" + std::to_string(extra), Value::fromInt(extra));
        testing::internal::CaptureStdout();
        interp->interpret(program);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "x is 4 4 done\n") << "run " << run;
        interp.reset();
    }
    EXPECT_FALSE(engine.hasErrors());
}

TEST(InterpreterTest, UnknownModuleIsReportedAtTheUse) {
    ProgramRun run;
    runProgram("use nowhere_to_be_found\nprintln(1)\n", run);
    ASSERT_EQ(run.engine.diagnostics().size(), 1u);
    EXPECT_EQ(run.engine.diagnostics()[0].code, "E0051");
    EXPECT_EQ(run.output, "1\n");
}

TEST(InterpreterTest, NativeFailureEndsTheRunWithE9000) {
    ProgramRun run;
    runProgram("use probe\nprintln(1)\nprobe.fail()\nprintln(2)\n", run);
    ASSERT_EQ(run.engine.diagnostics().size(), 1u);
    EXPECT_EQ(run.engine.diagnostics()[0].code, "E9000");
    EXPECT_EQ(run.engine.diagnostics()[0].message, "Runtime error: the probe failed");
    EXPECT_EQ(run.output, "1\n");
}

TEST(InterpreterTest, CapturedReceiversSurviveCollections) {
    DiagnosticEngine engine;
    Interpreter interp(engine);
    Value bound;
    {
        Value receiver = interp.makeString("kept alive");
        RootScope roots(interp);
        roots.push(receiver);
        bound = interp.makeNative(
            "text", [](Interpreter&, const NativeArgs& args) { return args.self().captures[0]; },
            {receiver});
    }
    interp.defineGlobal("bound", bound); // the function itself is reachable
    interp.gc().collect();
    Value result = interp.callValue(interp.getGlobal("bound"), {});
    EXPECT_EQ(result.stringView(), "kept alive");
}

TEST(InterpreterTest, HoldersAnswerMembersThroughTheirHook) {
    struct Widget {
        std::string label = "ok";
    };
    DiagnosticEngine engine;
    Interpreter interp(engine);
    Value holder = makeHolder(interp, std::make_shared<Widget>(), "Button",
                              [](Interpreter& in, NativeHolderBase& self, std::string_view member) {
                                  auto& widget = *static_cast<NativeHolder<Widget>&>(self).object;
                                  return member == "label" ? in.makeString(widget.label) : Value();
                              });
    interp.defineGlobal("button", holder);
    auto program = parse("println(button, typeof(button), button.label, button.other)\n", engine);
    testing::internal::CaptureStdout();
    interp.interpret(program);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "<Tavi Button> TaviHandle ok null\n");
}

TEST(InterpreterTest, DeepRecursionEndsWithADiagnostic) {
    ProgramRun run;
    runProgram("function f(n: int): int {\n    return f(n + 1)\n}\nf(0)\nprintln(\"after\")\n",
               run);
    ASSERT_EQ(run.engine.diagnostics().size(), 1u);
    EXPECT_EQ(run.engine.diagnostics()[0].message,
              "Runtime error: stack overflow (call depth limit reached)");
    EXPECT_EQ(run.output, "");
}

TEST(InterpreterTest, SelfCreatingFieldInitialiserEndsWithADiagnostic) {
    // Nests through `new` without any call in between.
    ProgramRun run;
    runProgram("class Chain {\n    let next: Chain = new Chain()\n}\nlet c: Chain = new Chain()\n"
               "println(\"after\")\n",
               run);
    ASSERT_EQ(run.engine.diagnostics().size(), 1u);
    EXPECT_EQ(run.engine.diagnostics()[0].message,
              "Runtime error: stack overflow (call depth limit reached)");
    EXPECT_EQ(run.output, "");
}

} // namespace
} // namespace zarn
