// The project manifest "zarn.toml": its model, the reading rules, the
// package-name rules and the writer with its fixed layout.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vek/versions/Version.h"

namespace vek {

struct PackageInfo {
    std::string name;
    Version version{0, 1, 0, {}, {}};
    std::string edition = "1";
    std::string description;
    std::vector<std::string> authors;
    std::string license = "MIT";
    std::string repository;
    std::string homepage;
    std::string readme = "README.md";
    std::vector<std::string> keywords;
    std::vector<std::string> categories;
};

enum class DependencyKind : std::uint8_t { Registry = 0, Path = 1, Git = 2 };

struct Dependency {
    std::string name;
    // When the text in the file does not parse, `constraint` holds it as its
    // source with no comparators and `constraintValid` is false: the entry is
    // kept and written back as it was, and is an error only where it is used.
    VersionConstraint constraint = anyVersion();
    DependencyKind kind = DependencyKind::Registry;
    std::string path;
    std::string git;
    std::string branch;
    std::string tag;
    std::string rev;
    bool constraintValid = true;
};

using DependencyMap = std::map<std::string, Dependency>;

struct Manifest {
    PackageInfo package;
    DependencyMap dependencies;
    DependencyMap devDependencies;
    DependencyMap buildDependencies;
    std::string entry = "src/main.zarn";
    bool optimizeRelease = false;
    bool isWorkspace = false;
    std::vector<std::string> members;
    // What the model does not know, kept as it was written: assignments of
    // unknown keys in [package] (written at the end of that section) and
    // whole unknown tables (written after the known sections).
    std::string extraPackageLines;
    std::string extraSections;

    // Adds or replaces a normal dependency.
    void addDependency(Dependency dependency);
    // False when no normal dependency has that name.
    bool removeDependency(std::string_view name);
};

// The manifest of a new project: every default, only the name set.
Manifest defaultManifest(std::string name);

std::optional<Manifest> loadManifest(const std::filesystem::path& path, std::string& error);
// Parses manifest text (the reading rules without the file).
std::optional<Manifest> parseManifest(std::string_view text, std::string& error);

// The text of the manifest in its fixed layout.
std::string renderManifest(const Manifest& manifest);
// Replaces the file at `path` in one step; false when it cannot be written.
bool saveManifest(const Manifest& manifest, const std::filesystem::path& path);

bool validatePackageName(std::string_view name, std::string& reason);

} // namespace vek
