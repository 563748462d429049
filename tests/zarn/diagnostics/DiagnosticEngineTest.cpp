#include "zarn/diagnostics/DiagnosticEngine.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zarn {
namespace {

// A location at a line and column (both 1-based): its name holds a text in
// which the offset falls there, whatever text the engine quotes.
SourceLocation at(const std::string& file, uint32_t line, uint32_t column, uint32_t length) {
    auto text = std::make_shared<const std::string>(std::string(line - 1, '\n') +
                                                    std::string(column - 1, ' '));
    return SourceLocation{FileName(file, text), line - 1 + column - 1, length};
}

std::string renderOne(DiagnosticEngine& engine, const std::string& code, const std::string& message,
                      SourceLocation location, std::vector<DiagnosticNote> notes = {}) {
    engine.error(code, message, location, notes);
    return engine.render(engine.diagnostics().back());
}

TEST(DiagnosticEngine, WorkedExample) {
    DiagnosticEngine engine;
    engine.registerSource("demo.zarn", "function main(): void {\n    let x: int = 5 $ 3\n}\n");
    EXPECT_EQ(renderOne(engine, "E0002", "unexpected character '$'", at("demo.zarn", 2, 20, 1)),
              "error[E0002]: unexpected character '$'\n"
              "  --> demo.zarn:2:20\n"
              "   |\n"
              " 2 |     let x: int = 5 $ 3\n"
              "   |                    ^\n");
}

TEST(DiagnosticEngine, NotesRenderByLabel) {
    DiagnosticEngine engine;
    EXPECT_EQ(renderOne(engine, "E0012", "mismatch", at("none.zarn", 3, 4, 1),
                        {{"expected", "int"},
                         {"found", "string"},
                         {"", "plain"},
                         {"help", "check the spelling"}}),
              "error[E0012]: mismatch\n"
              "  --> none.zarn:3:4\n"
              "   |\n"
              "   = expected: int\n"
              "   = found: string\n"
              "   = note: plain\n"
              "   |\n"
              "   = help: check the spelling\n");
}

TEST(DiagnosticEngine, HeaderAndLocationForms) {
    DiagnosticEngine engine;
    EXPECT_EQ(renderOne(engine, "", "no code", at("", 7, 9, 0)),
              "error: no code\n  --> :7:9\n   |\n");
    Diagnostic other{Severity::Warning, "E1", "w", at("", 1, 1, 0), {}};
    EXPECT_EQ(engine.render(other).substr(0, 13), "warning[E1]: ");
    other.severity = Severity::Note;
    EXPECT_EQ(engine.render(other).substr(0, 5), "note[");
    other.severity = Severity::Help;
    EXPECT_EQ(engine.render(other).substr(0, 5), "help[");
    other.severity = static_cast<Severity>(9);
    EXPECT_EQ(engine.render(other).substr(0, 6), "error[");
}

TEST(DiagnosticEngine, CaretsAndFill) {
    DiagnosticEngine engine;
    engine.registerSource("t", "abc\n\tx\tyz\nlast");
    // Length 0 still draws one caret; column 1 puts it right after the gutter.
    EXPECT_EQ(renderOne(engine, "E1", "m", at("t", 1, 1, 0)),
              "error[E1]: m\n  --> t:1:1\n   |\n 1 | abc\n   | ^\n");
    EXPECT_EQ(renderOne(engine, "E1", "m", at("t", 1, 2, 3)),
              "error[E1]: m\n  --> t:1:2\n   |\n 1 | abc\n   |  ^^^\n");
    // Tabs before the column are copied into the fill.
    EXPECT_EQ(renderOne(engine, "E1", "m", at("t", 2, 4, 1)),
              "error[E1]: m\n  --> t:2:4\n   |\n 2 | \tx\tyz\n   | \t \t^\n");
    // The last line is found without a final "\n"; column 1 has no fill.
    EXPECT_EQ(renderOne(engine, "E1", "m", at("t", 3, 1, 2)),
              "error[E1]: m\n  --> t:3:1\n   |\n 3 | last\n   | ^^\n");
}

TEST(DiagnosticEngine, LinesOutsideTheText) {
    DiagnosticEngine engine;
    engine.registerSource("t", "one\r\ntwo\n");
    EXPECT_EQ(renderOne(engine, "E1", "m", at("t", 3, 1, 1)),
              "error[E1]: m\n  --> t:3:1\n   |\n 3 | \n   | ^\n");
    EXPECT_EQ(renderOne(engine, "E1", "m", at("t", 2, 1, 1)),
              "error[E1]: m\n  --> t:2:1\n   |\n 2 | two\n   | ^\n");
    // A carriage return before "\n" stays part of the line text.
    EXPECT_EQ(renderOne(engine, "E1", "m", at("t", 1, 1, 1)),
              "error[E1]: m\n  --> t:1:1\n   |\n 1 | one\r\n   | ^\n");
    std::string many;
    for (int i = 0; i < 120; ++i) many += "line\n";
    engine.registerSource("t", many); // registering again replaces the text
    EXPECT_EQ(renderOne(engine, "E1", "m", at("t", 100, 2, 1)),
              "error[E1]: m\n  --> t:100:2\n   |\n100 | line\n   |  ^\n");
}

TEST(DiagnosticEngine, PrintAllSeparatesBlocksAndKeepsOrder) {
    DiagnosticEngine engine;
    EXPECT_FALSE(engine.hasErrors());
    engine.error("E2", "second", at("", 1, 1, 0));
    engine.error("E1", "first", at("", 2, 1, 0));
    EXPECT_TRUE(engine.hasErrors());
    std::ostringstream out;
    engine.printAll(out);
    EXPECT_EQ(out.str(), "error[E2]: second\n  --> :1:1\n   |\n\n"
                         "error[E1]: first\n  --> :2:1\n   |\n\n");
}

// Thousands of errors on one long line must not print the line thousands of
// times: past the limit only a count of the rest is printed.
TEST(DiagnosticEngine, PrintAllStopsAfterTheLimit) {
    DiagnosticEngine engine;
    engine.registerSource("big.zarn", std::string(5000, '$'));
    for (uint64_t column = 1; column <= 5000; ++column)
        engine.error("E0002", "unexpected character '$'", at("big.zarn", 1, column, 1));
    std::ostringstream out;
    engine.printAll(out);
    std::string text = out.str();
    size_t blocks = 0;
    for (size_t at = text.find("error[E0002]"); at != std::string::npos;
         at = text.find("error[E0002]", at + 1))
        ++blocks;
    EXPECT_EQ(blocks, DiagnosticEngine::kMaxPrintedDiagnostics);
    std::string tail = "error: 4000 more errors not shown\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

// A limited engine keeps the first diagnostics and counts the rest, and
// prints exactly what an engine that kept all of them prints.
TEST(DiagnosticEngine, RetainLimitKeepsTheFirstAndCountsTheRest) {
    DiagnosticEngine all, limited;
    limited.setRetainLimit(DiagnosticEngine::kMaxPrintedDiagnostics);
    for (DiagnosticEngine* engine : {&all, &limited}) {
        engine->registerSource("big.zarn", std::string(3000, '$'));
        for (uint64_t column = 1; column <= 3000; ++column)
            engine->error("E0002", "unexpected character '$'", at("big.zarn", 1, column, 1));
    }
    EXPECT_EQ(limited.diagnostics().size(), DiagnosticEngine::kMaxPrintedDiagnostics);
    EXPECT_EQ(limited.count(), 3000u);
    EXPECT_EQ(all.count(), 3000u);
    EXPECT_TRUE(limited.hasErrors());
    std::ostringstream allOut, limitedOut;
    all.printAll(allOut);
    limited.printAll(limitedOut);
    EXPECT_EQ(limitedOut.str(), allOut.str());
}

TEST(DiagnosticEngine, TakeDiagnosticsAppendsInOrderUnderTheLimit) {
    DiagnosticEngine target, other;
    target.setRetainLimit(3);
    other.setRetainLimit(2);
    target.error("E1", "one", at("", 1, 1, 0));
    for (const char* code : {"E2", "E3", "E4"}) other.error(code, "later", at("", 1, 1, 0));
    target.takeDiagnostics(other);
    ASSERT_EQ(target.diagnostics().size(), 3u);
    EXPECT_EQ(target.diagnostics()[1].code, "E2");
    EXPECT_EQ(target.diagnostics()[2].code, "E3");
    EXPECT_EQ(target.count(), 4u); // E4 was only counted, by the other engine
    EXPECT_FALSE(other.hasErrors());
    EXPECT_EQ(other.count(), 0u);

    DiagnosticEngine clean, empty;
    clean.takeDiagnostics(empty);
    EXPECT_FALSE(clean.hasErrors());
}

// Registering a shared text quotes from it without copying it.
TEST(DiagnosticEngine, SharedSourceIsQuoted) {
    DiagnosticEngine engine;
    auto text = std::make_shared<const std::string>("let a = 1\nlet b = $\n");
    engine.registerSource("s.zarn", text);
    EXPECT_EQ(renderOne(engine, "E0002", "unexpected character '$'", at("s.zarn", 2, 9, 1)),
              "error[E0002]: unexpected character '$'\n"
              "  --> s.zarn:2:9\n"
              "   |\n"
              " 2 | let b = $\n"
              "   |         ^\n");
}

} // namespace
} // namespace zarn

namespace zarn {
namespace {

// The lines of a rendered block that quote the source and draw the caret.
std::pair<std::string, std::string> excerptOf(const std::string& block) {
    size_t quote = block.find(" | ");
    size_t quoteEnd = block.find('\n', quote);
    size_t caret = block.find("   | ", quoteEnd);
    return {block.substr(quote + 3, quoteEnd - quote - 3),
            block.substr(caret + 5, block.find('\n', caret) - caret - 5)};
}

TEST(DiagnosticEngine, LongLinesAreQuotedAsAWindowAroundTheCaret) {
    DiagnosticEngine engine;
    // 100 two-byte characters, a tab, 300 "x": the window must not cut a
    // character in two, and the tab stays under the caret line.
    std::string line;
    for (int i = 0; i < 100; ++i) line += "\xc3\xa9";
    line += '\t' + std::string(300, 'x');
    engine.registerSource("w.zarn", line + "\n");

    auto [quote, caret] = excerptOf(renderOne(engine, "E1", "m", at("w.zarn", 1, 240, 1000)));
    EXPECT_EQ(quote.substr(0, 3), "...");
    EXPECT_EQ(quote.substr(quote.size() - 3), "...");
    EXPECT_NE(static_cast<unsigned char>(quote[3]) & 0xC0, 0x80u); // starts on a character
    EXPECT_NE(caret.find('\t'), std::string::npos);
    EXPECT_EQ(caret.size() - caret.find('^'), 200u); // the caret run is cut to the window
    EXPECT_EQ(quote[caret.find('^')], 'x');          // under byte 240 of the line

    // A column past the end of the line: the window ends with the line.
    auto [endQuote, endCaret] = excerptOf(renderOne(engine, "E1", "m", at("w.zarn", 1, 9999, 1)));
    EXPECT_EQ(endQuote.substr(0, 3), "...");
    EXPECT_EQ(endQuote.substr(endQuote.size() - 3), "xxx");
    EXPECT_EQ(endCaret.find('^'), endQuote.size());
}

} // namespace
} // namespace zarn
