// The script module: handlers stored by widgets stay alive across collections
// and run with the widget's new text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"
#include "zarn/runtime/Interpreter.h"
#include "zarn/tavi/TaviModule.h"

namespace zarn::tavi {
namespace {

class TaviModuleTest : public ::testing::Test {
protected:
    TaviModuleTest() {
        setenv("ZARN_HEADLESS", "1", 1);
        NativeModuleTable modules;
        modules.add("tavi", initTaviModule);
        interp = std::make_unique<Interpreter>(engine, std::move(modules));
    }
    ~TaviModuleTest() override { unsetenv("ZARN_HEADLESS"); }

    void run(const std::string& source) {
        Lexer lexer(source, "test.zarn", engine);
        Parser parser(lexer.tokenize(), engine);
        interp->interpret(parser.parseProgram());
        ASSERT_FALSE(engine.hasErrors());
    }

    DiagnosticEngine engine;
    std::unique_ptr<Interpreter> interp;
};

TEST_F(TaviModuleTest, HandlersSurviveCollections) {
    testing::internal::CaptureStdout();
    run("use tavi\n"
        "let button: Button = tavi.button(\"Go\")\n"
        "let box: TextBox = tavi.textBox(\"\")\n"
        "let prefix: string = \"clicked \"\n"
        "button.onClick(function(): void { println(prefix + button.getText()) })\n"
        "box.onInput(function(text: string): void { println(\"input \" + text) })\n");
    // Nothing but the widgets refers to the two functions now.
    interp->gc().collect();
    interp->gc().collect();
    auto button = widgetOf(interp->getGlobal("button"));
    auto box = widgetOf(interp->getGlobal("box"));
    ASSERT_TRUE(button && box);
    auto handlers = makeScriptHandlers(*interp, SourceLocation());
    handlers->click(*button);
    handlers->input(*box, "h\xC3\xA9");
    handlers->click(*box); // no click handler: nothing happens
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "clicked Go\ninput h\xC3\xA9\n");
}

TEST_F(TaviModuleTest, ReplacingAndClearingHandlers) {
    testing::internal::CaptureStdout();
    run("use tavi\n"
        "let button: Button = tavi.button(\"Go\")\n"
        "button.onClick(function(): void { println(\"first\") })\n"
        "button.onClick(function(): void { println(\"second\") })\n");
    interp->gc().collect();
    auto button = widgetOf(interp->getGlobal("button"));
    auto handlers = makeScriptHandlers(*interp, SourceLocation());
    handlers->click(*button);
    run("button.onClick(null)\n");
    handlers->click(*button);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "second\n");
}

TEST_F(TaviModuleTest, SecondUseSharesTheToolkit) {
    // The window made after the second `use` belongs to the first one's
    // application, so the headless run writes its snapshot.
    std::string folder = ::testing::TempDir() + "tavi_share_" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    setenv("ZARN_TAVI_SNAPSHOT", folder.c_str(), 1);
    testing::internal::CaptureStdout();
    run("use tavi\n"
        "let app: Application = tavi.application(\"a\")\n"
        "use tavi\n"
        "let w: Window = tavi.window(\"w\", 100, 100)\n"
        "w.show()\n"
        "app.run()\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Tavi] Running in headless mode for testing. Application started successfully.\n");
    unsetenv("ZARN_TAVI_SNAPSHOT");
    EXPECT_TRUE(std::filesystem::exists(folder + "/window1.ppm"));
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace zarn::tavi
