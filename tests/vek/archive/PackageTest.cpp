#include "vek/archive/Package.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "tests/vek/TestSupport.h"
#include "vek/archive/Checksum.h"
#include "vek/archive/Zip.h"

namespace vek {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::ScratchDir;
using test::writeFile;

void makeProject(const fs::path& root) {
    writeFile(root / "zarn.toml", "[package]\nname = \"p\"\n");
    writeFile(root / "LICENSE", "MIT\n");
    writeFile(root / "src" / "main.zarn", "main\n");
    writeFile(root / "src" / "lib" / "util.zarn", "util\n");
    writeFile(root / "src" / "B.zarn", "B\n");
    writeFile(root / "src" / "a" / "z.zarn", "z\n");
    writeFile(root / "notes.txt", "not packed\n");
}

TEST(PackageTest, PacksInTheFixedOrderWithSortedSources) {
    ScratchDir dir;
    makeProject(dir.path());
    std::vector<std::string> files;
    std::string checksum, error;
    ASSERT_TRUE(packProject(dir.path(), dir / "out" / "p-0.1.0.vek", files, checksum, error))
        << error;
    EXPECT_EQ(files, (std::vector<std::string>{"zarn.toml", "LICENSE", "src/B.zarn", "src/a/z.zarn",
                                               "src/lib/util.zarn", "src/main.zarn"}));
    EXPECT_EQ(checksum, "sha256:" + *sha256File(dir / "out" / "p-0.1.0.vek"));

    std::vector<ArchiveEntry> entries;
    ASSERT_TRUE(readArchive(dir / "out" / "p-0.1.0.vek", entries, error)) << error;
    ASSERT_EQ(entries.size(), files.size());
    EXPECT_EQ(entries[4].path, "src/lib/util.zarn");
    EXPECT_EQ(entries[4].data, "util\n");

    // Packing again gives the same bytes.
    std::string again;
    ASSERT_TRUE(packProject(dir.path(), dir / "again.vek", files, again, error));
    EXPECT_EQ(again, checksum);
}

TEST(PackageTest, LinksLeavingTheProjectAndSpecialFilesAreRefused) {
    ScratchDir dir;
    const fs::path project = dir / "project";
    makeProject(project);
    writeFile(dir / "secret", "password\n");
    std::vector<std::string> files;
    std::string checksum, error;
    const fs::path archive = project / "p.vek";

    // A link to a file inside the project is packed with the file's bytes.
    fs::create_symlink("main.zarn", project / "src" / "alias.zarn");
    ASSERT_TRUE(packProject(project, archive, files, checksum, error)) << error;
    EXPECT_NE(std::find(files.begin(), files.end(), "src/alias.zarn"), files.end());

    fs::create_symlink("../../secret", project / "src" / "key.zarn");
    EXPECT_FALSE(packProject(project, archive, files, checksum, error));
    EXPECT_EQ(error, "Refusing to package 'src/key.zarn': it is a link to " +
                         fs::weakly_canonical(dir / "secret").string() + ", outside the project.");
    fs::remove(project / "src" / "key.zarn");

    fs::create_symlink(dir.path(), project / "src" / "up");
    EXPECT_FALSE(packProject(project, archive, files, checksum, error));
    EXPECT_NE(error.find("'src/up'"), std::string::npos) << error;
    fs::remove(project / "src" / "up");

    fs::remove(project / "LICENSE");
    fs::create_symlink(dir / "secret", project / "LICENSE");
    EXPECT_FALSE(packProject(project, archive, files, checksum, error));
    EXPECT_NE(error.find("'LICENSE'"), std::string::npos) << error;
    fs::remove(project / "LICENSE");

    ASSERT_EQ(::mkfifo((project / "src" / "pipe.zarn").c_str(), 0600), 0);
    EXPECT_FALSE(packProject(project, archive, files, checksum, error));
    EXPECT_EQ(error, "Refusing to package 'src/pipe.zarn': it is not a regular file.");
}

TEST(PackageTest, TemporariesOfDeadWritersAreSweptAndMatchTheIgnorePattern) {
    ScratchDir dir;
    makeProject(dir.path());
    // No process has this id (it is above the kernel's limit).
    const fs::path stale = dir / ".p-0.1.0.tmp99999999-1.vek";
    const fs::path live = dir / (".p-0.1.0.tmp" + std::to_string(::getppid()) + "-1.vek");
    writeFile(stale, "left by kill -9");
    writeFile(live, "still being written");
    std::vector<std::string> files;
    std::string checksum, error;
    ASSERT_TRUE(packProject(dir.path(), dir / "p-0.1.0.vek", files, checksum, error)) << error;
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live));
}

TEST(PackageTest, PackingErrors) {
    ScratchDir dir;
    std::vector<std::string> files;
    std::string checksum, error;
    EXPECT_FALSE(packProject(dir.path(), dir / "x.vek", files, checksum, error));
    EXPECT_EQ(error, "Project missing zarn.toml manifest.");
    writeFile(dir / "zarn.toml", "");
    fs::create_directories(dir / "src" / "empty");
    EXPECT_FALSE(packProject(dir.path(), dir / "x.vek", files, checksum, error));
    EXPECT_EQ(error, "Project contains no source files under src/.");
    writeFile(dir / "src" / "m.zarn", "");
    writeFile(dir / "blocker", "a file where a directory should be");
    EXPECT_FALSE(packProject(dir.path(), dir / "blocker" / "x.vek", files, checksum, error));
    EXPECT_EQ(error, "Failed to create archive file: " + (dir / "blocker" / "x.vek").string());
    EXPECT_FALSE(fs::exists(dir / "x.vek"));
}

TEST(PackageTest, EntryNameSafety) {
    std::vector<std::string> parts;
    EXPECT_TRUE(safeEntryParts("a/../b.zarn", parts));
    EXPECT_EQ(parts, (std::vector<std::string>{"b.zarn"}));
    EXPECT_TRUE(safeEntryParts("src\\lib\\./x.zarn", parts));
    EXPECT_EQ(parts, (std::vector<std::string>{"src", "lib", "x.zarn"}));
    for (const char* bad :
         {"", "../x", "/etc/x", "\\etc\\x", "C:x", "a/../../x", "a/b/../../../x", ".."}) {
        EXPECT_FALSE(safeEntryParts(bad, parts)) << bad;
    }
    EXPECT_FALSE(safeEntryParts(std::string("a\0/../../x", 10), parts));
    EXPECT_TRUE(isSafeFileName("p-1.0.0.vek"));
    for (const char* bad : {"", ".", "..", "a/b", "a\\b"}) EXPECT_FALSE(isSafeFileName(bad)) << bad;
}

TEST(PackageTest, UnpacksEntriesBelowTheTarget) {
    ScratchDir dir;
    writeFile(
        dir / "a.vek",
        buildArchive(
            {{"zarn.toml", "t"}, {"src/x/../y.zarn", "y"}, {"docs/", ""}, {"src\\win.zarn", "w"}}));
    std::string error;
    ASSERT_TRUE(unpackArchive(dir / "a.vek", dir / "out" / "pkg", error)) << error;
    EXPECT_EQ(readFile(dir / "out" / "pkg" / "zarn.toml"), "t");
    EXPECT_EQ(readFile(dir / "out" / "pkg" / "src" / "y.zarn"), "y");
    EXPECT_EQ(readFile(dir / "out" / "pkg" / "src" / "win.zarn"), "w");
    EXPECT_TRUE(fs::is_directory(dir / "out" / "pkg" / "docs"));

    writeFile(dir / "empty.vek", buildArchive({}));
    EXPECT_TRUE(unpackArchive(dir / "empty.vek", dir / "none", error));
}

TEST(PackageTest, TraversalIsRefusedBeforeAnythingIsWritten) {
    ScratchDir dir;
    for (const char* bad : {"../x", "/tmp/x", "C:x", "a/../../x"}) {
        writeFile(dir / "bad.vek", buildArchive({{"first.zarn", "1"}, {bad, "evil"}}));
        std::string error;
        EXPECT_FALSE(unpackArchive(dir / "bad.vek", dir / "out", error));
        EXPECT_EQ(error, std::string("Path traversal security violation in archive entry: ") + bad);
        EXPECT_FALSE(fs::exists(dir / "out" / "first.zarn"));
    }
}

TEST(PackageTest, DamagedArchiveWritesNothing) {
    ScratchDir dir;
    std::string bytes = buildArchive({{"a.zarn", "aaaa"}, {"b.zarn", "bbbb"}});
    bytes[30 + 6 + 4 + 30 + 6 + 1] = 'X'; // inside the data of b.zarn
    writeFile(dir / "bad.vek", bytes);
    std::string error;
    EXPECT_FALSE(unpackArchive(dir / "bad.vek", dir / "out", error));
    EXPECT_EQ(error, "CRC-32 mismatch in archive entry 'b.zarn': the archive is damaged.");
    EXPECT_FALSE(fs::exists(dir / "out" / "a.zarn"));
}

TEST(PackageTest, NeverWritesThroughPlantedLinks) {
    ScratchDir dir;
    const fs::path target = dir / "pkg";
    const fs::path outside = dir / "outside";
    fs::create_directories(target);
    fs::create_directories(outside);
    writeFile(outside / "victim", "original");
    // A link to a file: replaced by a new file, the file it pointed to is untouched.
    fs::create_symlink(outside / "victim", target / "file.zarn");
    // A hard link to a file elsewhere: replaced too.
    fs::create_hard_link(outside / "victim", target / "hard.zarn");
    writeFile(dir / "a.vek", buildArchive({{"file.zarn", "new"}, {"hard.zarn", "new2"}}));
    std::string error;
    ASSERT_TRUE(unpackArchive(dir / "a.vek", target, error)) << error;
    EXPECT_EQ(readFile(outside / "victim"), "original");
    EXPECT_FALSE(fs::is_symlink(target / "file.zarn"));
    EXPECT_EQ(readFile(target / "file.zarn"), "new");
    EXPECT_EQ(readFile(target / "hard.zarn"), "new2");

    // A link to a directory: refused, nothing lands outside.
    fs::create_directory_symlink(outside, target / "src");
    writeFile(dir / "b.vek", buildArchive({{"src/x.zarn", "evil"}}));
    EXPECT_FALSE(unpackArchive(dir / "b.vek", target, error));
    EXPECT_EQ(error, "Failed to write extracted file: " + (target / "src" / "x.zarn").string());
    EXPECT_FALSE(fs::exists(outside / "x.zarn"));
}

} // namespace
} // namespace vek
