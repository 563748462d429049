// The formatter over every program of the golden tests and every example:
// the layout keeps the tokens, the comments and the syntax tree, and a second
// pass changes nothing.
#include "tests/zarn/frontend/TreePrinter.h"
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"
#include "zarn/tools/Formatter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> corpus() {
    std::vector<fs::path> files;
    for (const char* folder : {"tests/golden", "examples"}) {
        for (const auto& entry :
             fs::recursive_directory_iterator(fs::path(ZARN_SOURCE_DIR) / folder))
            if (entry.path().extension() == ".zarn") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string treeOf(const std::string& text) {
    DiagnosticEngine engine;
    Lexer lexer(text, "t.zarn", engine);
    Parser parser(lexer.tokenize(), engine);
    std::shared_ptr<Program> program = parser.parseProgram();
    return engine.hasErrors() ? "errors" : testing::printTree(program.get());
}

// The same program with other spacing: no indentation at all, three spaces
// wherever there was some space between two tokens on a line. Gaps holding
// comments stay as they are.
std::string respaced(const std::string& text) {
    DiagnosticEngine engine;
    Lexer lexer(text, "r.zarn", engine);
    std::string result;
    size_t end = 0;
    for (const Token& token : lexer.tokenize()) {
        if (token.type == TokenType::Newline) continue;
        size_t start = token.location.offset;
        std::string gap = text.substr(end, start - end);
        if (gap.find_first_of("/!") != std::string::npos) {
            result += gap;
        } else {
            size_t breaks = static_cast<size_t>(std::count(gap.begin(), gap.end(), '\n'));
            result += breaks > 0 ? std::string(breaks, '\n') : gap.empty() ? "" : "   ";
        }
        result += text.substr(start, token.location.length);
        end = start + token.location.length;
    }
    return result;
}

TEST(FormatterCorpus, KeepsTokensCommentsAndTreeAndIsStable) {
    size_t formatted = 0;
    size_t changed = 0;
    for (const fs::path& path : corpus()) {
        SCOPED_TRACE(path.string());
        std::string text = readAll(path);
        DiagnosticEngine engine;
        std::optional<std::string> once = formatSource(text, path.string(), engine);
        if (!once) continue; // the cases of lexical and syntax errors
        ++formatted;
        if (*once != text) ++changed;
        // formatSource falls back to the original text when its own check
        // fails; the layout itself must pass that check everywhere.
        std::optional<std::string> layout = format_detail::layOut(text);
        ASSERT_TRUE(layout.has_value());
        EXPECT_EQ(*layout, *once);
        EXPECT_TRUE(format_detail::sameTokensAndComments(text, *once));
        EXPECT_EQ(treeOf(*once), treeOf(text));

        DiagnosticEngine again;
        std::optional<std::string> twice = formatSource(*once, path.string(), again);
        ASSERT_TRUE(twice.has_value());
        EXPECT_EQ(*twice, *once);

        // Only line breaks and comments of the input shape the result.
        DiagnosticEngine other;
        EXPECT_EQ(formatSource(respaced(text), path.string(), other).value_or("<errors>"), *once);
    }
    // Most of the corpus is valid, and not all of it was in the house style.
    EXPECT_GT(formatted, 100u);
    EXPECT_GT(changed, 0u);
}

} // namespace
} // namespace zarn
