// The list of diagnostic messages: well formed, filled in order, and every
// code shown by at least one golden case.
#include "zarn/diagnostics/DiagnosticCodes.h"
#include "zarn/diagnostics/DiagnosticEngine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace zarn {
namespace {

namespace fs = std::filesystem;

TEST(DiagnosticCodesTest, EveryEntryIsAWellFormedCodeWithADistinctPattern) {
    std::set<std::pair<std::string_view, std::string_view>> seen;
    const std::regex code("E[0-9]{4}");
    for (const DiagnosticMessage& message : diag::kAll) {
        EXPECT_TRUE(std::regex_match(std::string(message.code), code)) << message.code;
        EXPECT_FALSE(message.pattern.empty()) << message.code;
        EXPECT_TRUE(seen.insert({message.code, message.pattern}).second) << message.pattern;
    }
}

TEST(DiagnosticCodesTest, ValuesAreInsertedInOrder) {
    EXPECT_EQ(DiagnosticEngine::format(diag::DeclarationTypeMismatch, {"string", "x", "int"}),
              "type mismatch: cannot assign value of type 'string' to variable 'x' of type 'int'");
    // Braces of the message itself are no placeholders, nor are braces in values.
    EXPECT_EQ(DiagnosticEngine::format(diag::ExpectedBlockStart, {}),
              "expected '{' starting block");
    EXPECT_EQ(DiagnosticEngine::format(diag::UnexpectedToken, {"{}"}),
              "unexpected token in expression: '{}'");
    DiagnosticEngine engine;
    engine.report(diag::MissingVariableType, SourceLocation(), {}, {{"help", "add a type"}});
    ASSERT_EQ(engine.diagnostics().size(), 1u);
    EXPECT_EQ(engine.diagnostics()[0].code, "E0010");
    EXPECT_EQ(engine.diagnostics()[0].notes.size(), 1u);
}

// The text of every expected output and error of the golden cases and examples.
std::string goldenExpectations() {
    std::string all;
    const fs::path root(ZARN_SOURCE_DIR);
    for (const char* folder : {"tests/golden", "tests/cli/zarn", "examples"}) {
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            std::string extension = entry.path().extension().string();
            if (extension != ".out" && extension != ".err") continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            all += text.str();
        }
    }
    return all;
}

TEST(DiagnosticCodesTest, EveryCodeHasAGoldenCase) {
    const std::string expected = goldenExpectations();
    ASSERT_FALSE(expected.empty());
    for (const DiagnosticMessage& message : diag::kAll) {
        std::string header = "error[" + std::string(message.code) + "]";
        EXPECT_NE(expected.find(header), std::string::npos)
            << "no golden case reports " << message.code;
    }
}

} // namespace
} // namespace zarn
