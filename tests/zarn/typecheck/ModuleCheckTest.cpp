// The checker's side of `use` for source files: declarations of module files,
// cycles, unreadable files and very long chains of modules.
#include "CheckHelper.h"
#include "tests/zarn/TempTree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace zarn;

namespace {

class ModuleCheckTest : public zarn::testing::TempTreeTest {
protected:
    // Checks main.zarn of the temporary directory; codes and messages, one a line.
    std::string checkMain(const std::string& source) {
        write("main.zarn", source);
        return zarn::testing::checkSource(source, (dir / "main.zarn").string());
    }
};

TEST_F(ModuleCheckTest, ModuleDeclarationsBecomeKnown) {
    write("lib/shapes.zarn", "use math\nclass Shape { let sides: int = 0 }\n"
                             "function area(s: Shape): float { return math.sqrt(2.0) }\n"
                             "let hidden: int = 1\n");
    EXPECT_EQ(checkMain("use lib/shapes\nlet s: Shape = new Shape()\nlet a: float = area(s)\n"),
              "");
    // Only declarations: the module's top-level variables are not known statically.
    EXPECT_EQ(checkMain("use lib/shapes\nlet h: int = hidden\n"),
              "E0017 undefined variable or symbol 'hidden'\n");
    EXPECT_EQ(checkMain("use lib/shapes\nlet wrong: string = area(new Shape())\n"),
              "E0012 type mismatch: cannot assign value of type 'float' to variable 'wrong' of "
              "type 'string'\n");
}

TEST_F(ModuleCheckTest, NestedModulesResolveFromTheirOwnDirectory) {
    write("lib/a.zarn", "use inner/b.zarn\nfunction fromA(): int { return fromB() }\n");
    write("lib/inner/b.zarn", "function fromB(): int { return 2 }\n");
    EXPECT_EQ(checkMain("use lib/a.zarn\nlet n: int = fromA() + fromB()\n"), "");
}

TEST_F(ModuleCheckTest, CyclesEndAndSyntaxErrorsAreReportedOnce) {
    write("a.zarn", "use b.zarn\nfunction fa(): int { return 1 }\n");
    write("b.zarn", "use a.zarn\nfunction fb(): int { return 2 }\n");
    EXPECT_EQ(checkMain("use a.zarn\nuse b.zarn\nlet n: int = fa() + fb()\n"), "");
    write("bad.zarn", "let x int = 1\n");
    std::string result = checkMain("use bad.zarn\nfunction f(): void { use bad.zarn }\n");
    EXPECT_EQ(result, "E0010 variable declaration missing explicit type annotation\n");
}

TEST_F(ModuleCheckTest, UnreadableModulesReportE0051) {
    fs::create_directories(dir / "folder.zarn");
    EXPECT_EQ(checkMain("use folder.zarn\n"), "E0051 module 'folder.zarn' does not exist\n");
    // Binary content is lexed like any text and reported as such, never a crash.
    static const char blob[] = "\x7f"
                               "ELF\x02\x01\x01\0\0\0\xff\xfe";
    write("blob.zarn", std::string(blob, sizeof blob - 1));
    std::string result = checkMain("use blob.zarn\n");
    EXPECT_NE(result.find("E0002"), std::string::npos) << result;
    // Too large to be a source file: refused before reading.
    {
        std::ofstream huge(dir / "huge.zarn", std::ios::binary);
        huge.seekp((64 << 20) + 10);
        huge.put('\n');
    }
    EXPECT_EQ(checkMain("use huge.zarn\n"),
              "E0051 could not read module file '" + (dir / "huge.zarn").string() + "'\n");
}

TEST_F(ModuleCheckTest, ThousandsOfChainedModulesDoNotExhaustTheStack) {
    constexpr int kDepth = 3000;
    for (int i = 0; i < kDepth; ++i) {
        std::string next = i + 1 < kDepth ? "use m" + std::to_string(i + 1) + ".zarn\n" : "";
        write("m" + std::to_string(i) + ".zarn", next + "function f" + std::to_string(i) +
                                                     "(): int { return " + std::to_string(i) +
                                                     " }\n");
    }
    EXPECT_EQ(checkMain("use m0.zarn\nlet last: int = f" + std::to_string(kDepth - 1) + "()\n"),
              "");
}

} // namespace
