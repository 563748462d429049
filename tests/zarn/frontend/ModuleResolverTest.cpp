// Resolution of `use` names over directory trees laid out the way the package
// installer lays them out. Each case plants several candidates so that a wrong
// order of roots, spellings or entry rules picks the wrong file.
#include "zarn/frontend/ModuleResolver.h"
#include "tests/zarn/TempTree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;
using zarn::ModuleSearchEnvironment;
using zarn::resolveModule;

namespace {

class ModuleResolverTest : public zarn::testing::TempTreeTest {
protected:
    void SetUp() override {
        TempTreeTest::SetUp();
        top = dir;
        // Deep enough that ancestor walks stay inside the temporary tree.
        project = top / "w1/w2/w3/w4/w5/w6/w7/w8/project";
        fs::create_directories(project / "src");
        env.workingDirectory = project;
    }
    fs::path file(const fs::path& path, const std::string& text = "let x: int = 1\n") {
        return write(path, text);
    }

    std::string resolve(const std::string& name, const fs::path& dir) {
        return resolveModule(name, dir.string(), env);
    }
    std::string resolve(const std::string& name) { return resolve(name, project / "src"); }

    fs::path top, project;
    ModuleSearchEnvironment env;
};

TEST_F(ModuleResolverTest, NameVariantsInOrderWithoutRepeats) {
    using V = std::vector<std::string>;
    EXPECT_EQ(zarn::moduleNameVariants("my-lib"),
              (V{"my-lib", "my_lib", "zarn-my-lib", "zarn_my-lib"}));
    EXPECT_EQ(zarn::moduleNameVariants("zarn-json"),
              (V{"zarn-json", "zarn_json", "json", "zarn-zarn-json", "zarn_zarn-json"}));
    EXPECT_EQ(zarn::moduleNameVariants("zarn_a-b"),
              (V{"zarn_a-b", "zarn_a_b", "zarn-a-b", "a-b", "zarn-zarn_a-b", "zarn_zarn_a-b"}));
    EXPECT_EQ(zarn::moduleNameVariants("zarn-"), (V{"zarn-", "zarn_", "zarn-zarn-", "zarn_zarn-"}));
}

TEST_F(ModuleResolverTest, RootsAreSearchedInOrderScriptAncestorsWorkingDirHomePath) {
    fs::path scriptDir = top / "app/src";
    fs::path home = top / "home";
    fs::path extra = top / "extra";
    env.zarnHome = home.string();
    env.zarnPath = extra.string();
    // One installed copy of "util" per root, each with its own entry file.
    const std::vector<fs::path> roots = {
        scriptDir / "packages",
        top / "app/packages",
        project / "packages",
        project.parent_path() / "packages",
        home / "cache/packages",
        home / "packages",
        extra,
        extra / "packages",
    };
    for (const fs::path& root : roots) file(root / "util/src/lib.zarn");
    for (const fs::path& root : roots) {
        EXPECT_EQ(resolve("util", scriptDir), (root / "util/src/lib.zarn").string()) << root;
        fs::remove_all(root / "util");
    }
    EXPECT_EQ(resolve("util", scriptDir), "");
}

TEST_F(ModuleResolverTest, EveryVariantOfOneRootBeforeTheNextRoot) {
    fs::path near = project / "src/packages", far = project / "packages";
    file(far / "my-lib.zarn");           // the exact name, but in a later root
    file(near / "zarn_my-lib/lib.zarn"); // the last variant, in the first root
    EXPECT_EQ(resolve("my-lib"), (near / "zarn_my-lib/lib.zarn").string());
}

TEST_F(ModuleResolverTest, VariantsWithinARootInOrder) {
    fs::path root = project / "packages";
    // The spellings of "zarn-my-lib" in order; my_lib is not one of them.
    const std::vector<std::string> expected = {"zarn-my-lib", "zarn_my_lib", "my-lib",
                                               "zarn-zarn-my-lib", "zarn_zarn-my-lib"};
    for (const std::string& dir : expected) file(root / dir / "src/lib.zarn");
    file(root / "my_lib/src/lib.zarn");
    for (const std::string& dir : expected) {
        EXPECT_EQ(resolve("zarn-my-lib"), (root / dir / "src/lib.zarn").string()) << dir;
        fs::remove_all(root / dir);
    }
    EXPECT_EQ(resolve("zarn-my-lib"), "");
}

TEST_F(ModuleResolverTest, UnderscoreAndHyphenSpellingsFindEachOther) {
    fs::path root = project / "packages";
    file(root / "my_lib/src/lib.zarn");
    EXPECT_EQ(resolve("my-lib"), (root / "my_lib/src/lib.zarn").string());
    fs::remove_all(root / "my_lib");
    file(root / "zarn-my-lib/src/lib.zarn");
    EXPECT_EQ(resolve("my-lib"), (root / "zarn-my-lib/src/lib.zarn").string());
    EXPECT_EQ(resolve("my_lib"), ""); // its spellings are my-lib and zarn-my_lib, not zarn-my-lib
}

TEST_F(ModuleResolverTest, FileBeforeDirectoryInARoot) {
    fs::path root = project / "packages";
    file(root / "json/src/lib.zarn");
    file(root / "json.zarn");
    EXPECT_EQ(resolve("json"), (root / "json.zarn").string());
}

TEST_F(ModuleResolverTest, ManifestEntryKeysThenSpellingsThenFallbacks) {
    fs::path pkg = project / "packages/my-lib";
    file(pkg / "src/lib.zarn");
    file(pkg / "src/main.zarn");
    file(pkg / "src/index.zarn");
    file(pkg / "lib.zarn");
    file(pkg / "main.zarn");
    file(pkg / "index.zarn");
    file(pkg / "my-lib.zarn");
    file(pkg / "src/my_lib.zarn");
    file(pkg / "src/app.zarn");
    file(
        pkg / "zarn.toml",
        "[package]\nname = \"my-lib\"\nversion = \"1.0.0\"\n\n[build]\nentry = \"src/app.zarn\"\n");
    EXPECT_EQ(resolve("my-lib"), (pkg / "src/app.zarn").string());

    // An entry naming a missing file gives way to the next key that names one.
    file(pkg / "zarn.toml", "entry = \"src/gone.zarn\"\nmain=\"main.zarn\"\n");
    EXPECT_EQ(resolve("my-lib"), (pkg / "main.zarn").string());
    // Within one line the keys are tried in the order entry, main, lib.
    file(pkg / "zarn.toml", "lib = \"lib.zarn\", main = \"index.zarn\"\n");
    EXPECT_EQ(resolve("my-lib"), (pkg / "index.zarn").string());

    // Without a usable manifest: src/<spelling>.zarn, then <spelling>.zarn, per spelling.
    fs::remove(pkg / "zarn.toml");
    EXPECT_EQ(resolve("my-lib"), (pkg / "my-lib.zarn").string());
    fs::remove(pkg / "my-lib.zarn");
    EXPECT_EQ(resolve("my-lib"), (pkg / "src/my_lib.zarn").string());
    fs::remove(pkg / "src/my_lib.zarn");
    for (const char* next : {"src/lib.zarn", "src/main.zarn", "src/index.zarn", "lib.zarn",
                             "main.zarn", "index.zarn"}) {
        EXPECT_EQ(resolve("my-lib"), (pkg / next).string()) << next;
        fs::remove(pkg / next);
    }
    fs::remove(pkg / "src/app.zarn");
    EXPECT_EQ(resolve("my-lib"), "");
}

TEST_F(ModuleResolverTest, ManifestEntryCannotLeaveThePackage) {
    fs::path pkg = project / "packages/evil";
    file(project / "secret.zarn");
    file(pkg / "zarn.toml",
         "entry = \"../../secret.zarn\"\nmain = \"" + (project / "secret.zarn").string() + "\"\n");
    file(pkg / "src/lib.zarn");
    EXPECT_EQ(resolve("evil"), (pkg / "src/lib.zarn").string());
}

TEST_F(ModuleResolverTest, NewestVersionDirectoryWins) {
    fs::path pkg = project / "packages/json";
    file(pkg / "1.9.0/src/lib.zarn");
    file(pkg / "10.0.0/src/lib.zarn");
    file(pkg / "2.0.0/src/lib.zarn");
    file(pkg / "src/lib.zarn");
    fs::create_directories(pkg / "docs");
    EXPECT_EQ(resolve("json"), (pkg / "10.0.0/src/lib.zarn").string());
    // A newest version without an entry falls back to the package's own entry.
    fs::remove_all(pkg / "10.0.0/src");
    EXPECT_EQ(resolve("json"), (pkg / "src/lib.zarn").string());
}

TEST_F(ModuleResolverTest, PathLikeNamesBesideTheScriptThenWorkingDirectory) {
    fs::path scriptDir = top / "app";
    file(scriptDir / "lib/tools.zarn");
    file(project / "lib/tools.zarn");
    EXPECT_EQ(resolve("lib/tools", scriptDir), (scriptDir / "lib/tools.zarn").string());
    EXPECT_EQ(resolve("lib/tools.zarn", scriptDir), (scriptDir / "lib/tools.zarn").string());
    EXPECT_EQ(resolve("lib\\tools", scriptDir), (scriptDir / "lib/tools.zarn").string());
    fs::remove_all(scriptDir / "lib");
    EXPECT_EQ(resolve("lib/tools", scriptDir), (project / "lib/tools.zarn").string());
    // Relative climbs are fine beside the script; the result is canonical.
    file(top / "shared/util.zarn");
    EXPECT_EQ(resolve("../shared/util", scriptDir), (top / "shared/util.zarn").string());
    // A plain name with ".zarn" is a file first.
    file(scriptDir / "helper.zarn");
    EXPECT_EQ(resolve("helper.zarn", scriptDir), (scriptDir / "helper.zarn").string());
    // A directory is never a file module.
    fs::create_directories(scriptDir / "dir.zarn");
    EXPECT_EQ(resolve("dir.zarn", scriptDir), "");
}

TEST_F(ModuleResolverTest, RootJoinsDoNotClimbOutOfTheRoot) {
    file(project / "packages/../outside.zarn");
    file(top / "elsewhere/x.zarn");
    fs::path scriptDir = top / "app";
    fs::create_directories(scriptDir);
    EXPECT_EQ(resolve("outside", scriptDir), "");
    // "../outside" is not beside the script (top/app/../outside.zarn does not exist)
    // and must not be reached through the root project/packages.
    EXPECT_EQ(resolve("../outside", scriptDir), "");
}

TEST_F(ModuleResolverTest, AncestorLimits) {
    // The script directory and 7 ancestors: the 8th ancestor is not searched.
    fs::path deep = top / "d1/d2/d3/d4/d5/d6/d7/d8/d9";
    fs::create_directories(deep);
    file(top / "d1/d2/packages/far.zarn"); // 7th ancestor of deep
    file(top / "d1/packages/tooFar.zarn"); // 8th ancestor
    EXPECT_NE(resolve("far", deep), "");
    EXPECT_EQ(resolve("tooFar", deep), "");
    // The working directory and 5 ancestors.
    file(project.parent_path().parent_path().parent_path().parent_path().parent_path() /
         "packages/w5.zarn");
    file(top / "w1/w2/packages/w2.zarn"); // 6th ancestor of the working directory
    EXPECT_NE(resolve("w5", top), "");
    EXPECT_EQ(resolve("w2", top), "");
}

TEST_F(ModuleResolverTest, HomeComesFromZarnHomeThenUserProfileThenHome) {
    fs::path zarnHome = top / "zh", profile = top / "profile", home = top / "home";
    file(zarnHome / "packages/h.zarn");
    file(profile / ".zarn/packages/h.zarn");
    file(home / ".zarn/packages/h.zarn");
    env.home = home.string();
    env.userProfile = profile.string();
    env.zarnHome = zarnHome.string();
    EXPECT_EQ(resolve("h"), (zarnHome / "packages/h.zarn").string());
    env.zarnHome = ""; // set but empty counts as unset
    EXPECT_EQ(resolve("h"), (profile / ".zarn/packages/h.zarn").string());
    env.userProfile = "";
    EXPECT_EQ(resolve("h"), (home / ".zarn/packages/h.zarn").string());
    env.home.reset();
    EXPECT_EQ(resolve("h"), "");
}

TEST_F(ModuleResolverTest, ZarnPathSplitsAtSemicolonAndColon) {
    file(top / "b/packages/p.zarn");
    file(top / "c/q.zarn");
    env.zarnPath =
        ";" + (top / "a").string() + ";;" + (top / "b").string() + ":" + (top / "c").string() + ":";
    EXPECT_EQ(resolve("p"), (top / "b/packages/p.zarn").string());
    EXPECT_EQ(resolve("q"), (top / "c/q.zarn").string());
    auto roots = zarn::moduleSearchRoots("", env);
    // Only existing directories, each once.
    for (const fs::path& root : roots) EXPECT_TRUE(fs::is_directory(root)) << root;
}

TEST_F(ModuleResolverTest, RootsAreCanonicalAndNotRepeated) {
    fs::create_directories(project / "packages");
    env.zarnPath = project.string() + ";" + (project / "src/..").string();
    auto roots = zarn::moduleSearchRoots((project / "src").string(), env);
    ASSERT_FALSE(roots.empty());
    EXPECT_EQ(roots.front(), project / "packages");
    EXPECT_EQ(std::count(roots.begin(), roots.end(), project / "packages"), 1);
    EXPECT_EQ(std::count(roots.begin(), roots.end(), project), 1);
}

TEST_F(ModuleResolverTest, ReadModuleFileRefusesWhatIsNotARegularFile) {
    std::string text;
    EXPECT_TRUE(zarn::readModuleFile(file(top / "m.zarn", "abc").string(), text));
    EXPECT_EQ(text, "abc");
    EXPECT_FALSE(zarn::readModuleFile(top.string(), text));
    EXPECT_FALSE(zarn::readModuleFile((top / "missing.zarn").string(), text));
    ASSERT_EQ(mkfifo((top / "fifo.zarn").c_str(), 0600), 0);
    EXPECT_FALSE(zarn::readModuleFile((top / "fifo.zarn").string(), text)); // would block forever
    EXPECT_EQ(resolve((top / "fifo.zarn").string()), "");
}

} // namespace
