#include "zarn/tools/FileReplace.h"
#include "tests/zarn/TempTree.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace zarn {
namespace {

namespace fs = std::filesystem;

class FileReplaceTest : public testing::TempTreeTest {
protected:
    std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    size_t entries() { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }
};

TEST_F(FileReplaceTest, ReplacesContentKeepsModeAndLeavesNothingBehind) {
    fs::path file = write("a.zarn", "old text that is longer than the new one\n");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    std::string error;
    ASSERT_TRUE(replaceFileContent(file.string(), "new\n", error)) << error;
    EXPECT_EQ(read(file), "new\n");
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(FileReplaceTest, ThroughALinkTheTargetChangesAndTheLinkStays) {
    fs::path target = write("target.zarn", "old\n");
    fs::create_symlink(target, dir / "link.zarn");
    std::string error;
    ASSERT_TRUE(replaceFileContent((dir / "link.zarn").string(), "new\n", error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir / "link.zarn"));
    EXPECT_EQ(read(target), "new\n");
}

TEST_F(FileReplaceTest, AMissingFileIsAnErrorAndNothingIsCreated) {
    std::string error;
    EXPECT_FALSE(replaceFileContent((dir / "missing.zarn").string(), "x", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(entries(), 0u);
}

TEST_F(FileReplaceTest, AFailureAfterTheTemporaryFileLeavesNothingBehind) {
    // Renaming a file over a folder fails after the temporary file was
    // written (also for a privileged user, whom permissions do not stop).
    write("folder.zarn/inside.zarn", "kept\n");
    std::string error;
    EXPECT_FALSE(replaceFileContent((dir / "folder.zarn").string(), "x", error));
    EXPECT_NE(error.find("cannot replace the file"), std::string::npos) << error;
    EXPECT_EQ(entries(), 1u);
    EXPECT_EQ(read(dir / "folder.zarn" / "inside.zarn"), "kept\n");
}

} // namespace
} // namespace zarn
