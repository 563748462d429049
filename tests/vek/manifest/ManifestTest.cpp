#include "vek/manifest/Manifest.h"

#include <sys/stat.h>

#include "tests/vek/TestSupport.h"
#include "vek/base/Json.h"

namespace vek {
namespace {

using test::readFile;
using test::ScratchDir;
using test::writeFile;

std::string loadError(std::string_view text) {
    std::string error;
    EXPECT_FALSE(parseManifest(text, error)) << text;
    return error;
}

Manifest loadOk(std::string_view text) {
    std::string error;
    auto manifest = parseManifest(text, error);
    EXPECT_TRUE(manifest) << error;
    return manifest.value_or(Manifest{});
}

std::string nameReason(std::string_view name) {
    std::string reason;
    EXPECT_FALSE(validatePackageName(name, reason)) << name;
    return reason;
}

TEST(ManifestTest, PackageNameRulesInOrder) {
    std::string reason;
    EXPECT_TRUE(validatePackageName("my-pkg_2", reason));
    EXPECT_TRUE(validatePackageName(std::string(64, 'a'), reason));
    EXPECT_TRUE(validatePackageName("stdx", reason));
    EXPECT_EQ(nameReason(""), "package name cannot be empty");
    EXPECT_EQ(nameReason(std::string(65, 'a')),
              "package name exceeds maximum length of 64 characters");
    EXPECT_EQ(nameReason("1abc"), "package name must start with an ASCII letter");
    EXPECT_EQ(nameReason("-abc"), "package name must start with an ASCII letter");
    EXPECT_EQ(nameReason("vek"), "package name 'vek' is a reserved identifier");
    EXPECT_EQ(nameReason("function"), "package name 'function' is a reserved identifier");
    EXPECT_EQ(nameReason("Std"), "package name should be lowercase");
    EXPECT_EQ(nameReason("Json"), "package name should be lowercase");
    EXPECT_EQ(nameReason("my.pkg"),
              "package name may only contain alphanumeric characters, hyphens, and underscores");
    for (const char* reserved :
         {"std", "core", "zarn", "vek", "test", "main", "null", "true", "false", "int", "float",
          "string", "bool", "boolean", "void", "any", "class", "function"}) {
        EXPECT_EQ(nameReason(reserved),
                  "package name '" + std::string(reserved) + "' is a reserved identifier");
        // Only the exact word is reserved.
        EXPECT_TRUE(validatePackageName(std::string(reserved) + "s", reason)) << reserved;
    }
    EXPECT_EQ(nameReason("_abc"), "package name must start with an ASCII letter");
    EXPECT_EQ(nameReason("\xC3\xA9t\xC3\xA9"), "package name must start with an ASCII letter");
    EXPECT_EQ(nameReason("a b"),
              "package name may only contain alphanumeric characters, hyphens, and underscores");
    EXPECT_EQ(nameReason("Vek"), "package name should be lowercase");
    // The length check comes before the others.
    EXPECT_EQ(nameReason(std::string(65, '9')),
              "package name exceeds maximum length of 64 characters");
    // The first offending character decides.
    EXPECT_EQ(nameReason("a.B"),
              "package name may only contain alphanumeric characters, hyphens, and underscores");
    EXPECT_EQ(nameReason("aB."), "package name should be lowercase");
}

TEST(ManifestTest, ReadsEveryField) {
    const Manifest m = loadOk(R"(
[package]
name = "demo"
version = "v2.1.0-rc.1"
edition = "2"
description = "A demo"
authors = ["Ann <ann@example.org>", 7, "Bo"]
license = "Apache-2.0"
repository = "https://example.org/demo"
homepage = "https://example.org"
readme = "READ.md"
keywords = ["x"]
categories = ["y", "z"]

[dependencies]
json = "^1.2"
local = { path = "../local" }
vcs = { git = "https://example.org/vcs.git", branch = "main", tag = "t1", rev = "abc", version = "~0.3" }
tabled = { version = "=1.0.0" }
broken = { version = "not a version" }
weird = 5

[dev-dependencies]
check = "*"

[build-dependencies]
gen = ">=1, <2"

[build]
entry = "src/app.zarn"

[build.release]
optimize = true
)");
    EXPECT_EQ(m.package.name, "demo");
    EXPECT_EQ(toString(m.package.version), "2.1.0-rc.1");
    EXPECT_EQ(m.package.edition, "2");
    EXPECT_EQ(m.package.authors, (std::vector<std::string>{"Ann <ann@example.org>", "Bo"}));
    EXPECT_EQ(m.package.description, "A demo");
    EXPECT_EQ(m.package.license, "Apache-2.0");
    EXPECT_EQ(m.package.repository, "https://example.org/demo");
    EXPECT_EQ(m.package.homepage, "https://example.org");
    EXPECT_EQ(m.package.readme, "READ.md");
    EXPECT_EQ(m.package.keywords, (std::vector<std::string>{"x"}));
    EXPECT_EQ(m.package.categories, (std::vector<std::string>{"y", "z"}));
    ASSERT_EQ(m.dependencies.size(), 5u); // "weird" is skipped; "broken" is kept as written
    EXPECT_FALSE(m.dependencies.at("broken").constraintValid);
    EXPECT_EQ(toString(m.dependencies.at("broken").constraint), "not a version");
    EXPECT_EQ(toString(m.dependencies.at("json").constraint), "^1.2");
    EXPECT_EQ(m.dependencies.at("local").kind, DependencyKind::Path);
    EXPECT_EQ(m.dependencies.at("local").path, "../local");
    const Dependency& vcs = m.dependencies.at("vcs");
    EXPECT_EQ(vcs.kind, DependencyKind::Git);
    EXPECT_EQ(vcs.branch + vcs.tag + vcs.rev, "maint1abc");
    EXPECT_EQ(toString(vcs.constraint), "~0.3");
    EXPECT_EQ(m.dependencies.at("tabled").kind, DependencyKind::Registry);
    EXPECT_EQ(m.devDependencies.count("check"), 1u);
    EXPECT_EQ(m.buildDependencies.count("gen"), 1u);
    EXPECT_EQ(m.entry, "src/app.zarn");
    EXPECT_TRUE(m.optimizeRelease);
    EXPECT_FALSE(m.isWorkspace);
}

TEST(ManifestTest, ReadingErrors) {
    EXPECT_EQ(loadError("x = 1\n"),
              "Manifest must contain either [package] or [workspace] section.");
    EXPECT_EQ(loadError("package = 1\n"), "The [package] section must be a table.");
    EXPECT_EQ(loadError("[package]\nname = \"a\"\nversion = \"abc\"\n"),
              "Invalid package version 'abc'.");
    EXPECT_EQ(loadError("[package]\nname = \"a\"\nversion = \"1.2\"\n"),
              "Invalid package version '1.2'.");
    EXPECT_EQ(loadError("[package]\nname = \"My\"\n"),
              "Invalid package name 'My': package name should be lowercase");
    EXPECT_EQ(loadError("[package]\nversion = \"1.0.0\"\n"),
              "Invalid package name '': package name cannot be empty");
    EXPECT_EQ(loadError("[package]\nname = \"a\" junk\n"),
              "Line 2: Failed to parse value for key 'name': \"a\" junk");

    std::string error;
    EXPECT_FALSE(loadManifest("/nonexistent/zarn.toml", error));
    EXPECT_EQ(error, "Could not open manifest file: /nonexistent/zarn.toml");
}

TEST(ManifestTest, DefaultsAndWorkspaceOnly) {
    const Manifest m = loadOk("[workspace]\nmembers = [\"a\", 1, \"b/c\"]\n");
    EXPECT_TRUE(m.isWorkspace);
    EXPECT_EQ(m.members, (std::vector<std::string>{"a", "b/c"}));
    EXPECT_EQ(m.package.name, "");
    EXPECT_EQ(renderManifest(m), "[workspace]\nmembers = [\"a\", \"b/c\"]\n\n");

    const Manifest fresh = defaultManifest("hello");
    EXPECT_EQ(renderManifest(fresh), "[package]\n"
                                     "name = \"hello\"\n"
                                     "version = \"0.1.0\"\n"
                                     "edition = \"1\"\n"
                                     "license = \"MIT\"\n"
                                     "readme = \"README.md\"\n"
                                     "\n");
}

TEST(ManifestTest, WriterLayoutIsExact) {
    Manifest m = defaultManifest("app");
    m.isWorkspace = true;
    m.members = {"core", "cli"};
    m.package.description = "Tools";
    m.package.authors = {"A", "B"};
    m.package.license = "";
    m.package.repository = "r";
    m.package.homepage = "h";
    m.package.readme = "";
    m.package.keywords = {"k1", "k\"2"};
    m.addDependency(
        {"zeta", *parseConstraint("^1.0"), DependencyKind::Registry, "", "", "", "", ""});
    m.addDependency({"alpha", anyVersion(), DependencyKind::Path, "../alpha", "", "", "", ""});
    m.addDependency({"Beta", anyVersion(), DependencyKind::Git, "", "u", "", "v1", ""});
    m.devDependencies["dev"] = {
        "dev", *parseConstraint("~2"), DependencyKind::Git, "", "g", "b", "", "r"};
    m.buildDependencies["b"] = {
        "b", *parseConstraint("1"), DependencyKind::Registry, "", "", "", "", ""};
    m.optimizeRelease = true;
    EXPECT_EQ(renderManifest(m), "[workspace]\n"
                                 "members = [\"core\", \"cli\"]\n"
                                 "\n"
                                 "[package]\n"
                                 "name = \"app\"\n"
                                 "version = \"0.1.0\"\n"
                                 "edition = \"1\"\n"
                                 "description = \"Tools\"\n"
                                 "authors = [\"A\", \"B\"]\n"
                                 "license = \"\"\n"
                                 "repository = \"r\"\n"
                                 "homepage = \"h\"\n"
                                 "readme = \"\"\n"
                                 "keywords = [\"k1\", \"k\\\"2\"]\n"
                                 "\n"
                                 "[dependencies]\n"
                                 "Beta = { git = \"u\", tag = \"v1\" }\n"
                                 "alpha = { path = \"../alpha\" }\n"
                                 "zeta = \"^1.0\"\n"
                                 "\n"
                                 "[dev-dependencies]\n"
                                 "dev = { git = \"g\", branch = \"b\", rev = \"r\" }\n"
                                 "\n"
                                 "[build-dependencies]\n"
                                 "b = \"1\"\n"
                                 "\n"
                                 "[build]\n"
                                 "entry = \"src/main.zarn\"\n"
                                 "\n"
                                 "[build.release]\n"
                                 "optimize = true\n");
    EXPECT_TRUE(m.removeDependency("alpha"));
    EXPECT_FALSE(m.removeDependency("alpha"));
}

TEST(ManifestTest, WriterPutsEveryPackageFieldInItsPlace) {
    Manifest m = defaultManifest("full");
    m.package.version = *parseVersion("1.2.3-rc.1+b7");
    m.package.edition = "2";
    m.package.description = "d";
    m.package.authors = {"a"};
    m.package.license = "l";
    m.package.repository = "r";
    m.package.homepage = "h";
    m.package.readme = "m";
    m.package.keywords = {"k"};
    m.package.categories = {"c1", "c2"};
    EXPECT_EQ(renderManifest(m), "[package]\n"
                                 "name = \"full\"\n"
                                 "version = \"1.2.3-rc.1+b7\"\n"
                                 "edition = \"2\"\n"
                                 "description = \"d\"\n"
                                 "authors = [\"a\"]\n"
                                 "license = \"l\"\n"
                                 "repository = \"r\"\n"
                                 "homepage = \"h\"\n"
                                 "readme = \"m\"\n"
                                 "keywords = [\"k\"]\n"
                                 "categories = [\"c1\", \"c2\"]\n"
                                 "\n");
    // What the writer writes reads back the same, empty license included.
    m.package.license = "";
    std::string error;
    const auto back = parseManifest(renderManifest(m), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->package.license, "");
    EXPECT_EQ(back->package.keywords, m.package.keywords);
    EXPECT_EQ(back->package.categories, m.package.categories);
}

TEST(ManifestTest, UnknownKeysAndTablesAreKeptVerbatim) {
    const std::string text = "[package]\n"
                             "name = \"p\"\n"
                             "publish = false # not ours\n"
                             "\n"
                             "[features]\n"
                             "default = [\"a\", \"b\"]\n"
                             "\n"
                             "[dependencies]\n"
                             "json = \"^1\"\n"
                             "odd = \">> 1\"\n"
                             "\n"
                             "[profile.release]\n"
                             "lto = true\n"
                             "\n"
                             "[[bin]]\n"
                             "name = \"tool\"\n";
    const Manifest m = loadOk(text);
    EXPECT_EQ(renderManifest(m), "[package]\n"
                                 "name = \"p\"\n"
                                 "version = \"0.1.0\"\n"
                                 "edition = \"1\"\n"
                                 "license = \"MIT\"\n"
                                 "readme = \"README.md\"\n"
                                 "publish = false # not ours\n"
                                 "\n"
                                 "[dependencies]\n"
                                 "json = \"^1\"\n"
                                 "odd = \">> 1\"\n"
                                 "\n"
                                 "[features]\n"
                                 "default = [\"a\", \"b\"]\n"
                                 "\n"
                                 "[profile.release]\n"
                                 "lto = true\n"
                                 "\n"
                                 "[[bin]]\n"
                                 "name = \"tool\"\n");
    // Written twice, nothing moves.
    EXPECT_EQ(renderManifest(loadOk(renderManifest(m))), renderManifest(m));
}

TEST(ManifestTest, BuildSectionOnlyWhenItDiffersFromTheDefaults) {
    Manifest m;
    m.entry = "app/start.zarn";
    EXPECT_EQ(renderManifest(m), "[build]\nentry = \"app/start.zarn\"\n");
    m = Manifest{};
    EXPECT_EQ(renderManifest(m), "");
    EXPECT_EQ(static_cast<int>(DependencyKind::Registry), 0);
    EXPECT_EQ(static_cast<int>(DependencyKind::Path), 1);
    EXPECT_EQ(static_cast<int>(DependencyKind::Git), 2);
    const Manifest back = loadOk(
        "[package]\nname = \"p\"\n[build]\nentry = 5\n[build.release]\noptimize = \"yes\"\n");
    EXPECT_EQ(back.entry, "src/main.zarn"); // values of the wrong kind leave the defaults
    EXPECT_FALSE(back.optimizeRelease);
}

TEST(ManifestTest, DependencyEntriesByKind) {
    const Manifest m = loadOk("[package]\nname = \"p\"\n"
                              "[dependencies]\n"
                              "both = { path = \"../b\", git = \"g\" }\n"
                              "gitonly = { git = \"g\", branch = 1, tag = \"t\" }\n"
                              "badpath = { path = 3, git = \"g2\" }\n"
                              "versioned = { version = 2 }\n"
                              "plain = {}\n"
                              "dropped = \"not a version\"\n"
                              "list = [\"1.0.0\"]\n");
    ASSERT_EQ(m.dependencies.size(), 6u);
    EXPECT_FALSE(m.dependencies.at("dropped").constraintValid);
    EXPECT_EQ(m.dependencies.at("both").kind, DependencyKind::Path);
    EXPECT_EQ(m.dependencies.at("both").git, "");
    const Dependency& git = m.dependencies.at("gitonly");
    EXPECT_EQ(git.kind, DependencyKind::Git);
    EXPECT_EQ(git.branch, "");
    EXPECT_EQ(git.tag, "t");
    EXPECT_EQ(m.dependencies.at("badpath").kind, DependencyKind::Git);
    EXPECT_EQ(m.dependencies.at("badpath").git, "g2");
    EXPECT_EQ(m.dependencies.at("versioned").kind, DependencyKind::Registry);
    EXPECT_EQ(toString(m.dependencies.at("versioned").constraint), "*");
    EXPECT_EQ(toString(m.dependencies.at("plain").constraint), "*");
    EXPECT_EQ(loadOk("[workspace]\n").isWorkspace, true);
    EXPECT_TRUE(loadOk("[workspace]\n[package]\nname = \"w\"\n").isWorkspace);
    EXPECT_FALSE(loadOk("workspace = 1\npackage = { name = \"w\" }\n").isWorkspace);
}

TEST(ManifestTest, DependenciesAreWrittenSortedWhateverTheFileOrder) {
    const Manifest m =
        loadOk("[package]\nname = \"p\"\n[dependencies]\nzz = \"1\"\nab = \"2\"\nm = \"3\"\n");
    const std::string text = renderManifest(m);
    EXPECT_NE(text.find("[dependencies]\nab = \"2\"\nm = \"3\"\nzz = \"1\"\n"), std::string::npos);
}

// A manifest full of characters that need escaping, written and read back
// by this reader and by the standard library's TOML reader.
Manifest awkwardManifest() {
    Manifest m = defaultManifest("awk");
    m.package.description = "say \"hi\" \\ back\\slash # not a comment\nline2\ttab\r\x01\x7f é";
    m.package.authors = {"O'Brien \"OB\"", "tail\\", "a, b", "[x]", "{y}"};
    m.package.homepage = "https://example.org/#frag";
    m.isWorkspace = true;
    m.members = {"dir with \"quote\"", "back\\slash"};
    m.addDependency(
        {"plain", *parseConstraint("^1.0"), DependencyKind::Registry, "", "", "", "", ""});
    m.addDependency(
        {"odd.name", *parseConstraint(">=1, <2"), DependencyKind::Registry, "", "", "", "", ""});
    m.addDependency(
        {"pathy", anyVersion(), DependencyKind::Path, "C:\\deps\\\"x\" #1", "", "", "", ""});
    m.addDependency({"gitty", anyVersion(), DependencyKind::Git, "", "https://h/r.git?a=\"1\"",
                     "b,1", "t}", "r\\"});
    m.entry = "src/we\"ird #.zarn";
    return m;
}

TEST(ManifestTest, WrittenValuesReadBackUnchanged) {
    const Manifest m = awkwardManifest();
    const Manifest back = loadOk(renderManifest(m));
    EXPECT_EQ(back.package.description, m.package.description);
    EXPECT_EQ(back.package.authors, m.package.authors);
    EXPECT_EQ(back.package.homepage, m.package.homepage);
    EXPECT_EQ(back.members, m.members);
    EXPECT_EQ(back.entry, m.entry);
    ASSERT_EQ(back.dependencies.size(), 4u);
    EXPECT_EQ(toString(back.dependencies.at("odd.name").constraint), ">=1, <2");
    EXPECT_EQ(back.dependencies.at("pathy").path, m.dependencies.at("pathy").path);
    const Dependency& git = back.dependencies.at("gitty");
    EXPECT_EQ(git.git, "https://h/r.git?a=\"1\"");
    EXPECT_EQ(git.branch, "b,1");
    EXPECT_EQ(git.tag, "t}");
    EXPECT_EQ(git.rev, "r\\");
    EXPECT_EQ(renderManifest(back), renderManifest(m));
}

TEST(ManifestTest, StandardTomlReaderAgreesWithTheWriter) {
    if (test::runCommand("python3 -c 'import tomllib' 2>/dev/null") != 0) {
        GTEST_SKIP() << "python3 with tomllib is not installed";
    }
    ScratchDir dir;
    const Manifest m = awkwardManifest();
    ASSERT_TRUE(saveManifest(m, dir / "zarn.toml"));

    // The same values as a JSON document, for the peer to compare.
    auto list = [](const std::vector<std::string>& items) {
        std::string out = "[";
        for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + jsonQuote(items[i]);
        return out + "]";
    };
    const PackageInfo& p = m.package;
    const std::string expected =
        "{\"workspace\": {\"members\": " + list(m.members) +
        "},\n"
        "\"package\": {\"name\": \"awk\", \"version\": \"0.1.0\", \"edition\": \"1\", "
        "\"description\": " +
        jsonQuote(p.description) + ", \"authors\": " + list(p.authors) +
        ", \"license\": \"MIT\", \"homepage\": " + jsonQuote(p.homepage) +
        ", \"readme\": \"README.md\"},\n"
        "\"dependencies\": {\"plain\": \"^1.0\", \"odd.name\": \">=1, <2\", "
        "\"pathy\": {\"path\": " +
        jsonQuote(m.dependencies.at("pathy").path) +
        "}, "
        "\"gitty\": {\"git\": " +
        jsonQuote("https://h/r.git?a=\"1\"") +
        ", \"branch\": \"b,1\", "
        "\"tag\": \"t}\", \"rev\": " +
        jsonQuote("r\\") +
        "}},\n"
        "\"build\": {\"entry\": " +
        jsonQuote(m.entry) + "}}\n";
    writeFile(dir / "expected.json", expected);
    const std::string command = "python3 " +
                                test::quoteForShell(VEK_TEST_PEERS_DIR "/toml_equals_json.py") +
                                " " + test::quoteForShell((dir / "zarn.toml").string()) + " " +
                                test::quoteForShell((dir / "expected.json").string());
    EXPECT_EQ(test::runCommand(command), 0) << readFile(dir / "zarn.toml");
}

TEST(ManifestTest, SaveReplacesTheFileAndKeepsItsMode) {
    ScratchDir dir;
    const auto path = dir / "zarn.toml";
    writeFile(path, "old contents that are longer than the new manifest will be, by far .......\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(saveManifest(defaultManifest("neu"), path));
    EXPECT_EQ(readFile(path), renderManifest(defaultManifest("neu")));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Nothing but the manifest is left in the directory.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_FALSE(saveManifest(defaultManifest("neu"), dir / "missing" / "zarn.toml"));
    std::string error;
    const auto loaded = loadManifest(path, error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->package.name, "neu");
}

} // namespace
} // namespace vek
