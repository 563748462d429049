#include "zarn/frontend/ModuleResolver.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace zarn {

namespace fs = std::filesystem;

namespace {

// A manifest is a few lines; only its entry key is read.
constexpr std::uintmax_t kMaxManifestBytes = 1u << 20;

constexpr size_t kScriptAncestors = 8;  // the script's directory and 7 ancestors
constexpr size_t kWorkingAncestors = 6; // the working directory and 5 ancestors

const char* const kManifestKeys[] = {"entry", "main", "lib"};
const char* const kFallbackEntries[] = {"lib.zarn", "main.zarn", "index.zarn"};

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string replaceAll(std::string text, char from, char to) {
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

bool isRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

bool isDirectory(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// Canonical when it can be computed, else absolute, else as given.
fs::path absoluteForm(const fs::path& path) {
    std::error_code error;
    fs::path canonical = fs::canonical(path, error);
    if (!error) return canonical;
    fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute.lexically_normal();
}

// Whether `candidate` stays inside `base` once "." and ".." are taken away.
// Joining a root with an absolute name, or with one that climbs out through
// "..", would otherwise reach files outside the searched directories.
bool staysInside(const fs::path& base, const fs::path& candidate) {
    fs::path normalBase = base.lexically_normal();
    fs::path normalCandidate = candidate.lexically_normal();
    auto b = normalBase.begin(), c = normalCandidate.begin();
    for (; b != normalBase.end(); ++b, ++c) {
        if (b->empty()) continue; // the trailing empty element of "dir/"
        if (c == normalCandidate.end() || *b != *c) return false;
    }
    return true;
}

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

bool present(const std::optional<std::string>& value) { return value && !value->empty(); }

void addRoot(std::vector<fs::path>& roots, const fs::path& candidate) {
    if (!isDirectory(candidate)) return;
    fs::path root = absoluteForm(candidate);
    if (std::find(roots.begin(), roots.end(), root) == roots.end())
        roots.push_back(std::move(root));
}

// `start`/packages, then the same under each ancestor, `limit` directories in all.
void addAncestorRoots(std::vector<fs::path>& roots, const fs::path& start, size_t limit) {
    std::error_code error;
    fs::path directory = fs::absolute(start, error);
    if (error) directory = start;
    directory = directory.lexically_normal();
    for (size_t i = 0; i < limit; ++i) {
        addRoot(roots, directory / "packages");
        fs::path parent = directory.parent_path();
        if (parent.empty() || parent == directory) break; // the file system's root
        directory = std::move(parent);
    }
}

// The value between the next two double quotes after a key followed by "="
// (spaces or tabs may stand between them); "" when the line has none.
std::string manifestValue(const std::string& line, const std::string& key) {
    for (size_t at = line.find(key); at != std::string::npos; at = line.find(key, at + 1)) {
        size_t pos = at + key.size();
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size() || line[pos] != '=') continue;
        size_t open = line.find('"', pos + 1);
        if (open == std::string::npos) return "";
        size_t close = line.find('"', open + 1);
        if (close == std::string::npos) return "";
        return line.substr(open + 1, close - open - 1);
    }
    return "";
}

// The file named by the first "entry", "main" or "lib" key of zarn.toml that
// exists inside the package directory.
std::optional<fs::path> manifestEntry(const fs::path& directory) {
    fs::path manifest = directory / "zarn.toml";
    if (!isRegularFile(manifest)) return std::nullopt;
    std::error_code error;
    std::uintmax_t size = fs::file_size(manifest, error);
    if (error || size > kMaxManifestBytes) return std::nullopt;
    std::ifstream in(manifest, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        for (const char* key : kManifestKeys) {
            std::string value = manifestValue(line, key);
            if (value.empty()) continue;
            fs::path candidate = directory / value;
            if (staysInside(directory, candidate) && isRegularFile(candidate)) return candidate;
        }
    }
    return std::nullopt;
}

std::optional<fs::path> entryFile(const fs::path& directory,
                                  const std::vector<std::string>& variants) {
    if (auto entry = manifestEntry(directory)) return entry;
    for (const std::string& variant : variants) {
        for (const fs::path& base : {directory / "src", directory}) {
            fs::path candidate = base / (variant + ".zarn");
            if (staysInside(directory, candidate) && isRegularFile(candidate)) return candidate;
        }
    }
    for (const fs::path& base : {directory / "src", directory})
        for (const char* name : kFallbackEntries)
            if (isRegularFile(base / name)) return base / name;
    return std::nullopt;
}

// Orders version directory names so that "10.0.0" comes after "9.1.0": runs of
// digits compare by value, everything else byte by byte.
bool versionLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        bool digitA = a[i] >= '0' && a[i] <= '9', digitB = b[j] >= '0' && b[j] <= '9';
        if (digitA && digitB) {
            size_t endA = i, endB = j;
            while (endA < a.size() && a[endA] >= '0' && a[endA] <= '9') ++endA;
            while (endB < b.size() && b[endB] >= '0' && b[endB] <= '9') ++endB;
            size_t startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == '0') ++startA;
            while (startB + 1 < endB && b[startB] == '0') ++startB;
            size_t lengthA = endA - startA, lengthB = endB - startB;
            if (lengthA != lengthB) return lengthA < lengthB;
            int order = a.compare(startA, lengthA, b, startB, lengthB);
            if (order != 0) return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
    return a < b;
}

// A package directory: its newest version directory's entry when that has
// one, else its own entry.
std::optional<fs::path> packageDirectoryEntry(const fs::path& directory,
                                              const std::vector<std::string>& variants) {
    std::error_code error;
    std::optional<std::string> newest;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] < '0' || name[0] > '9') continue;
        std::error_code typeError;
        if (!it->is_directory(typeError)) continue;
        if (!newest || versionLess(*newest, name)) newest = std::move(name);
    }
    if (newest)
        if (auto entry = entryFile(directory / *newest, variants)) return entry;
    return entryFile(directory, variants);
}

std::optional<fs::path> searchRoot(const fs::path& root, const std::string& name,
                                   const std::vector<std::string>& variants) {
    if (name.find('/') != std::string::npos) {
        for (const fs::path& candidate : {root / name, root / (name + ".zarn")})
            if (staysInside(root, candidate) && isRegularFile(candidate)) return candidate;
    }
    for (const std::string& variant : variants) {
        fs::path file = root / (variant + ".zarn");
        if (!staysInside(root, file)) continue;
        if (isRegularFile(file)) return file;
        fs::path directory = root / variant;
        if (isDirectory(directory))
            if (auto entry = packageDirectoryEntry(directory, variants)) return entry;
    }
    return std::nullopt;
}

} // namespace

ModuleSearchEnvironment ModuleSearchEnvironment::fromProcess() {
    ModuleSearchEnvironment environment;
    std::error_code error;
    environment.workingDirectory = fs::current_path(error);
    environment.zarnHome = variable("ZARN_HOME");
    environment.userProfile = variable("USERPROFILE");
    environment.home = variable("HOME");
    environment.zarnPath = variable("ZARN_PATH");
    return environment;
}

std::vector<std::string> moduleNameVariants(const std::string& name) {
    std::vector<std::string> variants;
    auto add = [&](std::string variant) {
        if (std::find(variants.begin(), variants.end(), variant) == variants.end())
            variants.push_back(std::move(variant));
    };
    add(name);
    add(replaceAll(name, '-', '_'));
    add(replaceAll(name, '_', '-'));
    for (const char* prefix : {"zarn-", "zarn_"})
        if (startsWith(name, prefix) && name.size() > 5) add(name.substr(5));
    add("zarn-" + name);
    add("zarn_" + name);
    return variants;
}

std::vector<fs::path> moduleSearchRoots(const std::string& directory,
                                        const ModuleSearchEnvironment& environment) {
    std::vector<fs::path> roots;
    if (!directory.empty()) {
        fs::path start(directory);
        if (start.is_relative() && !environment.workingDirectory.empty())
            start = environment.workingDirectory / start;
        addAncestorRoots(roots, start, kScriptAncestors);
    }
    if (!environment.workingDirectory.empty())
        addAncestorRoots(roots, environment.workingDirectory, kWorkingAncestors);

    std::optional<fs::path> home;
    if (present(environment.zarnHome)) home = fs::path(*environment.zarnHome);
    else if (present(environment.userProfile)) home = fs::path(*environment.userProfile) / ".zarn";
    else if (present(environment.home)) home = fs::path(*environment.home) / ".zarn";
    if (home) {
        addRoot(roots, *home / "cache" / "packages");
        addRoot(roots, *home / "packages");
    }

    if (environment.zarnPath) {
        const std::string& list = *environment.zarnPath;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find_first_of(";:", start);
            if (end == std::string::npos) end = list.size();
            if (end > start) {
                fs::path entry(list.substr(start, end - start));
                if (entry.is_relative() && !environment.workingDirectory.empty())
                    entry = environment.workingDirectory / entry;
                addRoot(roots, entry);
                addRoot(roots, entry / "packages");
            }
            start = end + 1;
        }
    }
    return roots;
}

std::string resolveModule(const std::string& name, const std::string& directory) {
    return resolveModule(name, directory, ModuleSearchEnvironment::fromProcess());
}

std::string resolveModule(const std::string& rawName, const std::string& directory,
                          const ModuleSearchEnvironment& environment) {
    // Names that cannot be a path at all resolve to nothing.
    if (rawName.empty() || rawName.find('\0') != std::string::npos) return "";
    // Scripts written on either kind of system may separate folders with "\".
    const std::string name = replaceAll(rawName, '\\', '/');
    const bool hasZarnSuffix = endsWith(name, ".zarn");

    // 1. Path-like names are files first: beside the current file, then
    //    relative to the working directory.
    if (name.find('/') != std::string::npos || hasZarnSuffix) {
        std::vector<fs::path> candidates;
        auto addPair = [&](const fs::path& base) {
            candidates.push_back(base / name);
            if (!hasZarnSuffix) candidates.push_back(base / (name + ".zarn"));
        };
        if (!directory.empty()) {
            fs::path base(directory);
            if (base.is_relative() && !environment.workingDirectory.empty())
                base = environment.workingDirectory / base;
            addPair(base);
        }
        addPair(environment.workingDirectory);
        for (const fs::path& candidate : candidates)
            if (isRegularFile(candidate)) return absoluteForm(candidate).string();
    }

    // 2-4. Installed packages: every root, and within a root every spelling.
    const std::vector<std::string> variants = moduleNameVariants(name);
    for (const fs::path& root : moduleSearchRoots(directory, environment))
        if (auto found = searchRoot(root, name, variants)) return absoluteForm(*found).string();
    return "";
}

bool readModuleFile(const std::string& path, std::string& text) {
    if (path.empty() || path.find('\0') != std::string::npos) return false;
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return false;
    std::uintmax_t size = fs::file_size(path, error);
    if (error || size > kMaxSourceFileBytes) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(static_cast<size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(size));
    if (in.gcount() != static_cast<std::streamsize>(size)) return false;
    // A file that grew since its size was taken is refused rather than cut short.
    if (in.peek() != std::char_traits<char>::eof()) return false;
    return true;
}

std::string directoryOf(const std::string& path) { return fs::path(path).parent_path().string(); }

} // namespace zarn
