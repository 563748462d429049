#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "vek/base/VekException.h"
#include "vek/resolve/Resolver.h"

namespace vek {
namespace {

// A package source held in memory: name -> version text -> dependencies
// ("name constraint" pairs). It counts the questions it is asked.
class MemorySource : public IPackageSource {
public:
    void add(const std::string& name, const std::string& version,
             std::vector<std::pair<std::string, std::string>> dependencies = {}) {
        packages_[name][version] = std::move(dependencies);
    }

    std::vector<Version> getVersions(std::string_view name) override {
        ++versionQuestions[std::string(name)];
        std::vector<Version> versions;
        const auto it = packages_.find(std::string(name));
        if (it == packages_.end()) return versions;
        for (const auto& [text, dependencies] : it->second) versions.push_back(*parseVersion(text));
        return versions;
    }

    std::optional<PackageRecord> getPackage(std::string_view name,
                                            const Version& version) override {
        ++packageQuestions[std::string(name) + "@" + toString(version)];
        const auto it = packages_.find(std::string(name));
        if (it == packages_.end()) return std::nullopt;
        const auto found = it->second.find(toString(version));
        if (found == it->second.end()) return std::nullopt;
        PackageRecord record{"sha256:" + std::string(name) + toString(version), "registry+mem", {}};
        for (const auto& [dependency, constraint] : found->second) {
            record.dependencies.push_back({dependency, *parseConstraint(constraint)});
        }
        return record;
    }

    std::map<std::string, int> versionQuestions;
    std::map<std::string, int> packageQuestions;

private:
    std::map<std::string, std::map<std::string, std::vector<std::pair<std::string, std::string>>>>
        packages_;
};

Manifest appWith(std::vector<std::pair<std::string, std::string>> dependencies) {
    Manifest manifest = defaultManifest("app");
    for (const auto& [name, constraint] : dependencies) {
        Dependency dependency;
        dependency.name = name;
        dependency.constraint = *parseConstraint(constraint);
        manifest.addDependency(std::move(dependency));
    }
    return manifest;
}

std::string selectedVersion(const Resolution& resolution, const std::string& name) {
    const auto it = resolution.packages.find(name);
    return it == resolution.packages.end() ? "-" : toString(it->second.version);
}

std::string failureOf(const Manifest& manifest, IPackageSource& source,
                      const Lockfile* lock = nullptr) {
    try {
        resolve(manifest, source, lock);
    } catch (const VekException& error) {
        EXPECT_EQ(error.code(), ErrorCode::DependencyConflict);
        EXPECT_EQ(error.exitCode(), 4);
        EXPECT_EQ(error.help(), "check your dependency constraints in zarn.toml");
        return error.message();
    }
    return "resolved";
}

TEST(ResolverTest, PicksTheHighestMatchingVersionsAndFollowsDependencies) {
    MemorySource source;
    source.add("json", "1.0.0");
    source.add("json", "1.4.2", {{"utf", "^2.0"}});
    source.add("json", "2.0.0");
    source.add("utf", "2.1.0");
    source.add("utf", "3.0.0");
    const Resolution resolution = resolve(appWith({{"json", "^1.0"}}), source, nullptr);
    EXPECT_EQ(resolution.root, "app");
    EXPECT_EQ(selectedVersion(resolution, "json"), "1.4.2");
    EXPECT_EQ(selectedVersion(resolution, "utf"), "2.1.0");
    EXPECT_EQ(resolution.packages.at("utf").requiredBy, "json");
    EXPECT_EQ(resolution.packages.at("json").checksum, "sha256:json1.4.2");
}

TEST(ResolverTest, BacktracksToALowerVersionOfTheSecondRequirer) {
    MemorySource source;
    source.add("a", "1.0.0", {{"lib", "^1.0.0"}});
    source.add("b", "1.0.0", {{"lib", "^1.0.0"}});
    source.add("b", "2.0.0", {{"lib", "^2.0.0"}});
    source.add("lib", "1.5.0");
    source.add("lib", "2.0.0");
    const Resolution resolution = resolve(appWith({{"a", "*"}, {"b", "*"}}), source, nullptr);
    EXPECT_EQ(selectedVersion(resolution, "b"), "1.0.0");
    EXPECT_EQ(selectedVersion(resolution, "lib"), "1.5.0");
}

TEST(ResolverTest, ReportsAConflictWhenNoCandidateFits) {
    MemorySource source;
    source.add("a", "1.0.0", {{"lib", "^1.0.0"}});
    source.add("b", "1.0.0", {{"lib", "^2.0.0"}});
    source.add("lib", "1.5.0");
    source.add("lib", "2.0.0");
    EXPECT_EQ(failureOf(appWith({{"a", "*"}, {"b", "*"}}), source),
              "dependency conflict for 'lib':\n"
              "  a requires: lib ^1.0.0 (selected: 1.5.0)\n"
              "  b requires: lib ^2.0.0\n"
              "No compatible version was found.");
}

TEST(ResolverTest, ReportsCyclesMissingPackagesAndTheFirstFiveVersions) {
    MemorySource source;
    source.add("a", "1.0.0", {{"b", "*"}});
    source.add("b", "1.0.0", {{"a", "*"}});
    EXPECT_EQ(failureOf(appWith({{"a", "*"}}), source), "Cyclic dependency detected: a -> b -> a");
    EXPECT_EQ(failureOf(appWith({{"ghost", "*"}}), source),
              "package 'ghost' was not found in registry or local sources");
    for (const char* version : {"0.1.0", "0.2.0", "0.3.0", "0.4.0", "0.5.0", "0.6.0", "0.7.0"}) {
        source.add("seven", version);
    }
    EXPECT_EQ(failureOf(appWith({{"seven", "^1.0"}}), source),
              "no available version of 'seven' matches constraint '^1.0'.\n"
              "Available versions: 0.7.0, 0.6.0, 0.5.0, 0.4.0, 0.3.0, ...");
}

TEST(ResolverTest, LockedVersionsAndChecksumsArePreferredWhileTheyMatch) {
    MemorySource source;
    source.add("json", "1.0.0", {{"utf", "*"}});
    source.add("json", "1.2.0", {{"utf", "*"}});
    source.add("utf", "1.0.0");
    source.add("utf", "1.1.0");
    Lockfile lock;
    lock.packages.push_back({"json", *parseVersion("1.0.0"), "registry+old", "sha256:locked", {}});
    lock.packages.push_back({"utf", *parseVersion("1.0.0"), "", "sha256:mock-value", {}});

    Resolution resolution = resolve(appWith({{"json", "^1.0"}}), source, &lock);
    EXPECT_EQ(selectedVersion(resolution, "json"), "1.0.0");
    EXPECT_EQ(resolution.packages.at("json").checksum, "sha256:locked");
    EXPECT_EQ(resolution.packages.at("json").source, "registry+old");
    // Transitive packages keep their locked version too; a placeholder
    // checksum gives way to the source's.
    EXPECT_EQ(selectedVersion(resolution, "utf"), "1.0.0");
    EXPECT_EQ(resolution.packages.at("utf").checksum, "sha256:utf1.0.0");

    // A locked version the manifest no longer accepts is not used.
    resolution = resolve(appWith({{"json", ">=1.1"}}), source, &lock);
    EXPECT_EQ(selectedVersion(resolution, "json"), "1.2.0");
    // Without the lock the newest versions win.
    resolution = resolve(appWith({{"json", "^1.0"}}), source, nullptr);
    EXPECT_EQ(selectedVersion(resolution, "json"), "1.2.0");
    EXPECT_EQ(selectedVersion(resolution, "utf"), "1.1.0");
}

TEST(ResolverTest, AsksTheSourceOncePerPackageAndVersion) {
    MemorySource source;
    source.add("lib", "1.0.0");
    source.add("lib", "2.0.0");
    for (const char* name : {"a", "b", "c", "d"}) {
        source.add(name, "1.0.0", {{"lib", "^1.0"}});
        source.add(name, "2.0.0", {{"lib", "^2.0"}, {"zzz", "*"}}); // zzz does not exist
    }
    resolve(appWith({{"a", "*"}, {"b", "*"}, {"c", "*"}, {"d", "*"}}), source, nullptr);
    for (const auto& [question, count] : source.versionQuestions) EXPECT_EQ(count, 1) << question;
    for (const auto& [question, count] : source.packageQuestions) EXPECT_EQ(count, 1) << question;
}

TEST(ResolverTest, GivesUpOnGraphsThatWouldTakeForever) {
    // Every one of 12 packages has 20 versions that all need a "z" that does
    // not exist: a full search would try 20^12 combinations.
    MemorySource source;
    Manifest manifest = appWith({});
    for (int p = 0; p < 12; ++p) {
        const std::string name = "p" + std::to_string(p);
        for (int v = 0; v < 20; ++v) source.add(name, "1." + std::to_string(v) + ".0");
        Dependency dependency;
        dependency.name = name;
        manifest.addDependency(dependency);
    }
    source.add("p11", "2.0.0", {{"z", "*"}});
    for (int v = 0; v < 20; ++v) source.add("p11", "1." + std::to_string(v) + ".0", {{"z", "*"}});
    EXPECT_NE(failureOf(manifest, source).find("gave up after trying"), std::string::npos);
}

TEST(LockfileTest, WritesTheFixedLayoutWithEscapedValuesAndReadsItBack) {
    Lockfile lock;
    lock.packages.push_back({"json",
                             *parseVersion("1.2.3"),
                             "registry+https://r.example",
                             "sha256:ab",
                             {"utf", "q\"x"}});
    lock.packages.push_back({"utf", *parseVersion("2.0.0"), "", "", {}});
    const std::string text = renderLockfile(lock);
    EXPECT_EQ(text, "# This file is automatically generated by vek. Do not edit manually.\n"
                    "version = 1\n"
                    "\n[[package]]\n"
                    "name = \"json\"\n"
                    "version = \"1.2.3\"\n"
                    "source = \"registry+https://r.example\"\n"
                    "checksum = \"sha256:ab\"\n"
                    "dependencies = [\n"
                    "    \"utf\",\n"
                    "    \"q\\\"x\"\n"
                    "]\n"
                    "\n[[package]]\n"
                    "name = \"utf\"\n"
                    "version = \"2.0.0\"\n");
    std::string error;
    const auto back = parseLockfile(text, error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->packages.size(), 2u);
    EXPECT_EQ(back->packages[0].dependencies, (std::vector<std::string>{"utf", "q\"x"}));
    EXPECT_EQ(renderLockfile(*back), text);
    EXPECT_EQ(renderLockfile(Lockfile{}),
              "# This file is automatically generated by vek. Do not edit manually.\n"
              "version = 1\n");
    EXPECT_FALSE(parseLockfile("version = 1\njust text\n", error));
    EXPECT_EQ(error, "Line 2: Expected '=' in statement: just text");
}

TEST(TreeTest, PrintsBoxDrawnTreesAndJson) {
    MemorySource source;
    source.add("a", "1.0.0", {{"c", "*"}});
    source.add("b", "2.0.0", {{"c", "*"}});
    source.add("c", "3.0.0");
    const Resolution resolution = resolve(appWith({{"a", "*"}, {"b", "*"}}), source, nullptr);
    std::ostringstream tree;
    printTree(resolution, tree);
    EXPECT_EQ(tree.str(), "app\n"
                          "├── a 1.0.0\n"
                          "│   └── c 3.0.0\n"
                          "└── b 2.0.0\n"
                          "    └── c 3.0.0\n");
    std::ostringstream json;
    printJson(resolve(appWith({{"c", "*"}}), source, nullptr), json);
    EXPECT_EQ(json.str(), "{\n  \"root\": \"app\",\n  \"packages\": [\n    {\n"
                          "      \"name\": \"c\",\n      \"version\": \"3.0.0\",\n"
                          "      \"source\": \"registry+mem\",\n"
                          "      \"checksum\": \"sha256:c3.0.0\",\n"
                          "      \"dependencies\": []\n    }\n  ]\n}\n");
}

} // namespace
} // namespace vek
