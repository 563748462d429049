#include "vek/manifest/Manifest.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "vek/base/AtomicFile.h"
#include "vek/manifest/Toml.h"

namespace vek {
namespace {

constexpr std::size_t kMaxNameLength = 64;

constexpr std::string_view kReservedNames[] = {
    "std", "core",  "zarn",   "vek",  "test",    "main", "null", "true",  "false",
    "int", "float", "string", "bool", "boolean", "void", "any",  "class", "function",
};

void readString(const TomlTable& table, std::string_view key, std::string& field) {
    if (const TomlValue* value = find(table, key)) {
        if (const std::string* text = value->asString()) field = *text;
    }
}

void readStrings(const TomlTable& table, std::string_view key, std::vector<std::string>& field) {
    const TomlValue* value = find(table, key);
    const TomlArray* array = value ? value->asArray() : nullptr;
    if (!array) return;
    field.clear();
    for (const TomlValue& element : *array) {
        if (const std::string* text = element.asString()) field.push_back(*text);
    }
}

bool readPackage(const TomlTable& table, PackageInfo& package, std::string& error) {
    readString(table, "name", package.name);
    readString(table, "edition", package.edition);
    readString(table, "description", package.description);
    readString(table, "license", package.license);
    readString(table, "repository", package.repository);
    readString(table, "homepage", package.homepage);
    readString(table, "readme", package.readme);
    readStrings(table, "authors", package.authors);
    readStrings(table, "keywords", package.keywords);
    readStrings(table, "categories", package.categories);
    if (const TomlValue* value = find(table, "version")) {
        if (const std::string* text = value->asString()) {
            auto version = parseVersion(*text);
            if (!version) {
                error = "Invalid package version '" + *text + "'.";
                return false;
            }
            package.version = std::move(*version);
        }
    }
    std::string reason;
    if (!validatePackageName(package.name, reason)) {
        error = "Invalid package name '" + package.name + "': " + reason;
        return false;
    }
    return true;
}

// One entry of a dependency table; nothing when it is skipped or dropped.
std::optional<Dependency> readDependency(const std::string& name, const TomlValue& value) {
    Dependency dependency;
    dependency.name = name;
    const std::string* constraintText = value.asString();
    if (const TomlTable* table = value.asTable()) {
        if (const TomlValue* path = find(*table, "path"); path && path->asString()) {
            dependency.kind = DependencyKind::Path;
            dependency.path = *path->asString();
        } else if (const TomlValue* git = find(*table, "git"); git && git->asString()) {
            dependency.kind = DependencyKind::Git;
            dependency.git = *git->asString();
            readString(*table, "branch", dependency.branch);
            readString(*table, "tag", dependency.tag);
            readString(*table, "rev", dependency.rev);
        }
        if (const TomlValue* version = find(*table, "version"))
            constraintText = version->asString();
    } else if (!constraintText) {
        return std::nullopt;
    }
    if (constraintText) {
        if (auto constraint = parseConstraint(*constraintText)) {
            dependency.constraint = std::move(*constraint);
        } else {
            dependency.constraint = VersionConstraint{{}, *constraintText};
            dependency.constraintValid = false;
        }
    }
    return dependency;
}

void readDependencies(const TomlTable& root, std::string_view key, DependencyMap& out) {
    const TomlValue* value = find(root, key);
    const TomlTable* table = value ? value->asTable() : nullptr;
    if (!table) return;
    for (const auto& [name, entry] : *table) {
        if (auto dependency = readDependency(name, entry)) {
            out.insert_or_assign(name, std::move(*dependency));
        }
    }
}

constexpr std::string_view kPackageKeys[] = {
    "name",   "version",    "edition",  "description", "authors",    "license",
    "readme", "repository", "homepage", "keywords",    "categories",
};

bool isKnownTable(std::string_view name) {
    for (std::string_view known : {"dependencies", "dev-dependencies", "build-dependencies"}) {
        if (name == known || (name.size() > known.size() && name.substr(0, known.size()) == known &&
                              name[known.size()] == '.')) {
            return true;
        }
    }
    return name == "package" || name == "workspace" || name == "build" || name == "build.release";
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Collects the lines of the document that the model does not read: unknown
// keys of [package] and whole unknown tables, each line as it was written.
void keepUnknownLines(std::string_view text, Manifest& manifest) {
    std::string table; // the current table header, "" at the root
    bool arrayTable = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view raw = text.substr(start, end - start);
        start = end + 1;
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            arrayTable = line.size() >= 4 && line.substr(0, 2) == "[[";
            const std::string_view inner =
                arrayTable ? line.substr(2, line.size() - 4) : line.substr(1, line.size() - 2);
            table.clear();
            // Dotted names are compared with their parts trimmed.
            std::size_t from = 0;
            while (from <= inner.size()) {
                std::size_t dot = inner.find('.', from);
                if (dot == std::string_view::npos) dot = inner.size();
                const std::string_view part = trimmed(inner.substr(from, dot - from));
                if (!part.empty()) table += (table.empty() ? "" : ".") + std::string(part);
                from = dot + 1;
            }
            if (arrayTable || !isKnownTable(table)) {
                manifest.extraSections += (manifest.extraSections.empty() ? "" : "\n");
                manifest.extraSections += std::string(line) + "\n";
                arrayTable = true; // every line of it is kept
            }
            continue;
        }
        if (arrayTable) {
            manifest.extraSections += std::string(line) + "\n";
            continue;
        }
        if (table != "package") continue;
        const std::string_view key = trimmed(line.substr(0, line.find('=')));
        if (std::find(std::begin(kPackageKeys), std::end(kPackageKeys), key) ==
            std::end(kPackageKeys)) {
            manifest.extraPackageLines += std::string(line) + "\n";
        }
    }
}

void writeStringList(std::string& out, const std::vector<std::string>& items) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ", ";
        out += tomlQuote(items[i]);
    }
}

void writeDependencies(std::string& out, std::string_view table, const DependencyMap& deps) {
    if (deps.empty()) return;
    out += "[";
    out += table;
    out += "]\n";
    // The map is ordered by name, byte by byte.
    for (const auto& [name, dep] : deps) {
        out += tomlKey(name);
        switch (dep.kind) {
        case DependencyKind::Registry:
            out += " = " + tomlQuote(toString(dep.constraint)) + "\n";
            break;
        case DependencyKind::Path: out += " = { path = " + tomlQuote(dep.path) + " }\n"; break;
        case DependencyKind::Git:
            out += " = { git = " + tomlQuote(dep.git);
            if (!dep.branch.empty()) out += ", branch = " + tomlQuote(dep.branch);
            if (!dep.tag.empty()) out += ", tag = " + tomlQuote(dep.tag);
            if (!dep.rev.empty()) out += ", rev = " + tomlQuote(dep.rev);
            out += " }\n";
            break;
        }
    }
    out += "\n";
}

} // namespace

void Manifest::addDependency(Dependency dependency) {
    std::string name = dependency.name;
    dependencies.insert_or_assign(std::move(name), std::move(dependency));
}

bool Manifest::removeDependency(std::string_view name) {
    const auto it = dependencies.find(std::string(name));
    if (it == dependencies.end()) return false;
    dependencies.erase(it);
    return true;
}

Manifest defaultManifest(std::string name) {
    Manifest manifest;
    manifest.package.name = std::move(name);
    return manifest;
}

std::optional<Manifest> parseManifest(std::string_view text, std::string& error) {
    auto root = parseText(text, &error);
    if (!root) return std::nullopt;

    const TomlValue* package = find(*root, "package");
    const TomlValue* workspace = find(*root, "workspace");
    if (!package && !workspace) {
        error = "Manifest must contain either [package] or [workspace] section.";
        return std::nullopt;
    }

    Manifest manifest;
    if (const TomlTable* table = workspace ? workspace->asTable() : nullptr) {
        manifest.isWorkspace = true;
        readStrings(*table, "members", manifest.members);
    }
    if (package) {
        const TomlTable* table = package->asTable();
        if (!table) {
            error = "The [package] section must be a table.";
            return std::nullopt;
        }
        if (!readPackage(*table, manifest.package, error)) return std::nullopt;
    }

    keepUnknownLines(text, manifest);
    readDependencies(*root, "dependencies", manifest.dependencies);
    readDependencies(*root, "dev-dependencies", manifest.devDependencies);
    readDependencies(*root, "build-dependencies", manifest.buildDependencies);

    if (const TomlValue* build = find(*root, "build"); build && build->asTable()) {
        readString(*build->asTable(), "entry", manifest.entry);
        if (const TomlValue* release = find(*build->asTable(), "release");
            release && release->asTable()) {
            if (const TomlValue* optimize = find(*release->asTable(), "optimize")) {
                if (const bool* flag = optimize->asBoolean()) manifest.optimizeRelease = *flag;
            }
        }
    }
    return manifest;
}

std::optional<Manifest> loadManifest(const std::filesystem::path& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    if (!in || !std::filesystem::is_regular_file(path, ec)) {
        error = "Could not open manifest file: " + path.string();
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseManifest(text.view(), error);
}

std::string renderManifest(const Manifest& manifest) {
    std::string out;
    if (manifest.isWorkspace) {
        out += "[workspace]\nmembers = [";
        writeStringList(out, manifest.members);
        out += "]\n\n";
    }
    const PackageInfo& package = manifest.package;
    if (!package.name.empty()) {
        out += "[package]\n";
        out += "name = " + tomlQuote(package.name) + "\n";
        out += "version = " + tomlQuote(toString(package.version)) + "\n";
        out += "edition = " + tomlQuote(package.edition) + "\n";
        if (!package.description.empty())
            out += "description = " + tomlQuote(package.description) + "\n";
        if (!package.authors.empty()) {
            out += "authors = [";
            writeStringList(out, package.authors);
            out += "]\n";
        }
        // An empty license or readme is written too: left out, it would read
        // back as the default.
        out += "license = " + tomlQuote(package.license) + "\n";
        if (!package.repository.empty())
            out += "repository = " + tomlQuote(package.repository) + "\n";
        if (!package.homepage.empty()) out += "homepage = " + tomlQuote(package.homepage) + "\n";
        out += "readme = " + tomlQuote(package.readme) + "\n";
        if (!package.keywords.empty()) {
            out += "keywords = [";
            writeStringList(out, package.keywords);
            out += "]\n";
        }
        if (!package.categories.empty()) {
            out += "categories = [";
            writeStringList(out, package.categories);
            out += "]\n";
        }
        out += manifest.extraPackageLines;
        out += "\n";
    }
    writeDependencies(out, "dependencies", manifest.dependencies);
    writeDependencies(out, "dev-dependencies", manifest.devDependencies);
    writeDependencies(out, "build-dependencies", manifest.buildDependencies);
    if (manifest.entry != "src/main.zarn" || manifest.optimizeRelease) {
        out += "[build]\n";
        out += "entry = " + tomlQuote(manifest.entry) + "\n";
        if (manifest.optimizeRelease) out += "\n[build.release]\noptimize = true\n";
    }
    if (!manifest.extraSections.empty()) {
        if (!out.empty() && out.substr(out.size() - 2) != "\n\n") out += "\n";
        out += manifest.extraSections;
    }
    return out;
}

bool saveManifest(const Manifest& manifest, const std::filesystem::path& path) {
    return writeFileAtomically(path, renderManifest(manifest), FileAccess::Default);
}

bool validatePackageName(std::string_view name, std::string& reason) {
    auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (name.empty()) {
        reason = "package name cannot be empty";
        return false;
    }
    if (name.size() > kMaxNameLength) {
        reason = "package name exceeds maximum length of 64 characters";
        return false;
    }
    if (!isLetter(name.front())) {
        reason = "package name must start with an ASCII letter";
        return false;
    }
    if (std::find(std::begin(kReservedNames), std::end(kReservedNames), name) !=
        std::end(kReservedNames)) {
        reason = "package name '" + std::string(name) + "' is a reserved identifier";
        return false;
    }
    for (const char c : name) {
        if (c >= 'A' && c <= 'Z') {
            reason = "package name should be lowercase";
            return false;
        }
        if (!isLetter(c) && !(c >= '0' && c <= '9') && c != '-' && c != '_') {
            reason =
                "package name may only contain alphanumeric characters, hyphens, and underscores";
            return false;
        }
    }
    return true;
}

} // namespace vek
