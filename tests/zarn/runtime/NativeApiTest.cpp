// Script values kept by native objects: handles, traced values and instances
// bound to a native record, under collections at every allocation.
#include "zarn/runtime/NativeApi.h"
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"
#include "zarn/runtime/Interpreter.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

// Counts destroyed sentinels, so a test can see what the collector freed.
int sentinelsFreed = 0;
struct Sentinel {
    ~Sentinel() { ++sentinelsFreed; }
};

// A native object keeping a script handler, as a route or a socket does.
struct Keeper {
    Handle handler;
};

// A widget reached only through its holder: its handler is traced, not rooted.
struct Widget {
    TracedValue onClick;
    Sentinel sentinel;
    void trace(GC& gc) const { onClick.trace(gc); }
};

template <typename T>
T& recordOf(const NativeArgs& args) {
    return *static_cast<NativeHolder<T>*>(args[0].asObject())->object;
}

void initKeepModule(Interpreter& interp) {
    ClassInstanceObject* module = makeModule(interp, "keep");
    addMember(interp, module, "sentinel", [](Interpreter& in, const NativeArgs&) {
        return makeHolder(in, std::make_shared<Sentinel>(), "Sentinel");
    });
    addMember(interp, module, "hold", [](Interpreter& in, const NativeArgs& args) {
        auto keeper = std::make_shared<Keeper>();
        keeper->handler = Handle(in, args[0]);
        return makeHolder(in, keeper, "Keeper");
    });
    addMember(interp, module, "fire", [](Interpreter& in, const NativeArgs& args) {
        Value argument = args[1];
        return callValue(in, recordOf<Keeper>(args).handler.get(), {&argument, 1});
    });
    addMember(interp, module, "widget", [](Interpreter& in, const NativeArgs&) {
        return makeHolder(in, std::make_shared<Widget>(), "Widget");
    });
    addMember(interp, module, "onClick", [](Interpreter&, const NativeArgs& args) {
        recordOf<Widget>(args).onClick.set(args[1]);
        return Value();
    });
    addMember(interp, module, "click", [](Interpreter& in, const NativeArgs& args) {
        return callValue(in, recordOf<Widget>(args).onClick.get(), {});
    });
    addMember(interp, module, "freed",
              [](Interpreter&, const NativeArgs&) { return Value::fromInt(sentinelsFreed); });
}

class NativeApiTest : public ::testing::Test {
protected:
    void SetUp() override { sentinelsFreed = 0; }

    // Runs the program with a collection at every allocation; what it printed.
    std::string run(const std::string& source) {
        Lexer lexer(source, "test.zarn", engine);
        Parser parser(lexer.tokenize(), engine);
        auto program = parser.parseProgram();
        EXPECT_FALSE(engine.hasErrors());
        interp.gc().setStress(true);
        ::testing::internal::CaptureStdout();
        interp.interpret(program);
        std::string output = ::testing::internal::GetCapturedStdout();
        interp.gc().setStress(false);
        EXPECT_FALSE(engine.hasErrors()) << engine.diagnostics()[0].message;
        return output;
    }

    static NativeModuleTable modules() {
        NativeModuleTable table;
        table.add("keep", initKeepModule);
        return table;
    }

    DiagnosticEngine engine;
    Interpreter interp{engine, modules()};
};

TEST_F(NativeApiTest, AHandlerHeldOnlyByANativeObjectLivesAsLongAsItsOwner) {
    // The handler and what it captured are reachable only through the handle.
    EXPECT_EQ(run("use keep\n"
                  "function make(): any {\n"
                  "    let sentinel: any = keep.sentinel()\n"
                  "    let label: string = \"handler \" + \"text \"\n"
                  "    return keep.hold(function(n: int): string {\n"
                  "        let s: any = sentinel\n"
                  "        return label + n\n"
                  "    })\n"
                  "}\n"
                  "let keeper: any = make()\n"
                  "let noise: any[] = []\n"
                  "for (let i: int = 0; i < 50; i++) { noise.push(\"x\" + i) }\n"
                  "println(keep.fire(keeper, 1), keep.fire(keeper, 2), keep.freed())\n"
                  "keeper = null\n"),
              "handler text 1 handler text 2 0\n");
    // The first collection frees the keeper (and releases its handle), the
    // second what only the handle reached.
    interp.gc().collect();
    interp.gc().collect();
    EXPECT_EQ(sentinelsFreed, 1);
}

TEST_F(NativeApiTest, AHandlerReferringToItsOwnWidgetIsCollectedWithIt) {
    // The handler's scope holds the widget, and the widget traces the handler.
    EXPECT_EQ(run("use keep\n"
                  "let clicks: int[] = [0]\n"
                  "function build(): any {\n"
                  "    let w: any = keep.widget()\n"
                  "    keep.onClick(w, function(): int {\n"
                  "        let self: any = w\n"
                  "        clicks[0] = clicks[0] + 1\n"
                  "        return clicks[0]\n"
                  "    })\n"
                  "    return w\n"
                  "}\n"
                  "let w: any = build()\n"
                  "let noise: any[] = []\n"
                  "for (let i: int = 0; i < 50; i++) { noise.push(\"x\" + i) }\n"
                  "println(keep.click(w), keep.click(w), keep.freed())\n"
                  "w = null\n"),
              "1 2 0\n");
    // Nothing outside the cycle reaches it now.
    interp.gc().collect();
    EXPECT_EQ(sentinelsFreed, 1);
}

TEST_F(NativeApiTest, HandlesMoveReleaseAndOutliveTheirCollector) {
    Handle outliving;
    {
        GC gc;
        Value text(makeStringObject(gc, "held"));
        Handle first(gc, text);
        EXPECT_EQ(gc.persistentRoots()->count(), 1u);
        gc.collect();
        EXPECT_EQ(first.get().stringView(), "held");

        Handle second = std::move(first);
        EXPECT_TRUE(first.empty());
        EXPECT_EQ(first.get().kind, ValueKind::Null);
        EXPECT_EQ(gc.persistentRoots()->count(), 1u);
        second = Handle(gc, Value::fromInt(7)); // releases the string
        gc.collect();
        EXPECT_EQ(gc.objectCount(), 0u);
        EXPECT_EQ(second.get().toInt(), 7);
        second.reset();
        EXPECT_EQ(gc.persistentRoots()->count(), 0u);

        outliving = Handle(gc, Value(makeStringObject(gc, "gone soon")));
    }
    // The collector is gone: the handle holds nothing and releases safely.
    EXPECT_FALSE(outliving.empty());
    EXPECT_EQ(outliving.get().kind, ValueKind::Null);
    outliving.reset();
}

TEST_F(NativeApiTest, HandlesOfObjectsFreedAtTeardownAreReleasedSafely) {
    // Keepers still alive when the interpreter goes are destroyed by the
    // collector's teardown, handles included (checked by the sanitizer run).
    auto local = std::make_unique<Interpreter>(engine, modules());
    Lexer lexer("use keep\nlet k: any = keep.hold(function(): int { return 1 })\n", "t.zarn",
                engine);
    Parser parser(lexer.tokenize(), engine);
    local->interpret(parser.parseProgram());
    EXPECT_FALSE(engine.hasErrors());
    local.reset();
}

struct Tally {
    int64_t total = 0;
};

TEST_F(NativeApiTest, BoundInstancesShareOneRecordThatOutlivesTheInstance) {
    auto tally = std::make_shared<Tally>();
    {
        RootScope roots(interp);
        ClassInstanceObject* instance =
            bindInstance<Tally>(interp, "Tally", tally,
                                {{"add",
                                  [](Interpreter&, Tally& t, const NativeArgs& args) {
                                      t.total += args.intAt(0);
                                      return Value::fromInt(t.total);
                                  }},
                                 {"total", [](Interpreter&, Tally& t, const NativeArgs&) {
                                      return Value::fromInt(t.total);
                                  }}});
        roots.push(Value(instance));
        EXPECT_EQ(boundRecord<Tally>(Value(instance)), tally.get());
        EXPECT_EQ(boundRecord<Sentinel>(Value(instance)), nullptr);
        interp.defineGlobal("tally", Value(instance));
    }
    EXPECT_EQ(boundRecord<Tally>(interp.makeString("no instance")), nullptr);
    EXPECT_EQ(run("let add: any = tally.add\n"
                  "tally = null\n"
                  "add(2)\n"
                  "println(add(3), typeof(add))\n"),
              "5 function\n");
    EXPECT_EQ(tally->total, 5);
}

} // namespace
} // namespace zarn
