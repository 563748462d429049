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
    }
    // Most of the corpus is valid, and not all of it was in the house style.
    EXPECT_GT(formatted, 100u);
    EXPECT_GT(changed, 0u);
}

} // namespace
} // namespace zarn
