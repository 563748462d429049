// Commands on the project in the current directory: new, init, list,
// package, publish, clean, update, and the package cache.
#include <iomanip>

#include "vek/archive/Cache.h"
#include "vek/archive/Credentials.h"
#include "vek/archive/Package.h"
#include "vek/base/AtomicFile.h"
#include "vek/base/Json.h"
#include "vek/cli/CommandSupport.h"
#include "vek/manifest/Manifest.h"

namespace vek {
namespace fs = std::filesystem;
namespace {

std::string mainSource(const std::string& name) {
    return "function main(): int {\n"
           "    println(\"Hello from " +
           name +
           "!\")\n"
           "    return 0\n"
           "}\n";
}

// Files of a new project are written whole or not at all, and a link that
// stands at their place is replaced rather than written through.
void writeProjectFile(const fs::path& path, std::string_view text) {
    std::string reason;
    if (!writeFileAtomically(path, text, FileAccess::Default, &reason)) {
        throw VekException::general("Failed to write " + path.string() + ": " + reason);
    }
}

void createDirectory(const fs::path& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec || !fs::is_directory(path, ec)) {
        throw VekException::general("Failed to create directory " + path.string());
    }
}

// The last component of the directory, trailing separators ignored.
std::string directoryName(const fs::path& dir) {
    std::string text = dir.string();
    while (!text.empty() && (text.back() == '/' || text.back() == '\\')) text.pop_back();
    const auto slash = text.find_last_of("/\\");
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

} // namespace

bool pathExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

Manifest loadProjectManifest(const CommandContext& context) {
    std::string reason;
    auto manifest = loadManifest(context.currentDir / kManifestFile, reason);
    if (!manifest) {
        throw VekException::manifest("Failed to read zarn.toml: " + reason);
    }
    return std::move(*manifest);
}

// The first positional word; a usage error when there is none.
const std::string& firstArgument(const ParsedArgs& args, const char* usage) {
    if (args.positional.empty()) throw VekException::usage(usage);
    return args.positional.front();
}

void saveProjectManifest(const Manifest& manifest, const fs::path& path) {
    if (!saveManifest(manifest, path)) {
        throw VekException::manifest("Failed to write zarn.toml.");
    }
}

void lockProject(const CommandContext& context, DirectoryLock& lock) {
    std::string reason;
    if (!lock.acquire(context.currentDir, reason)) {
        throw VekException::general("Failed to lock the project: " + reason);
    }
}

int commandNew(CommandContext& context) {
    const ParsedArgs& args = context.args;
    const std::string& name =
        firstArgument(args, "Missing project name. Usage: vek new <project-name>");
    std::string reason;
    if (!validatePackageName(name, reason)) {
        throw VekException::invalidName("Invalid package name '" + name + "': " + reason);
    }
    const fs::path root = context.currentDir / name;
    if (pathExists(root)) {
        throw VekException::manifest("Directory '" + name + "' already exists.");
    }
    if (args.has("dry-run")) {
        context.console.status("Dry-run",
                               "Would create binary (application) `" + name + "` package");
        return 0;
    }
    createDirectory(root / "src");
    saveProjectManifest(defaultManifest(name), root / kManifestFile);
    writeProjectFile(root / "src" / "main.zarn", mainSource(name));
    writeProjectFile(root / ".gitignore", "packages/\n*.vek\nbuild/\ntarget/\n");
    writeProjectFile(root / "README.md",
                     "# " + name + "\n\nA new Zarn programming language project.\n");
    context.console.status("Created", "binary (application) `" + name + "` package");
    return 0;
}

int commandInit(CommandContext& context) {
    const ParsedArgs& args = context.args;
    std::string name =
        args.positional.empty() ? directoryName(context.currentDir) : args.positional[0];
    std::string reason;
    if (!validatePackageName(name, reason)) name = "my-project";

    const fs::path manifestPath = context.currentDir / kManifestFile;
    if (pathExists(manifestPath)) {
        throw VekException::manifest("Directory already contains a zarn.toml manifest.");
    }
    if (args.has("dry-run")) {
        context.console.status("Dry-run", "Would initialize Zarn package '" + name + "' at " +
                                              context.currentDir.string());
        return 0;
    }
    saveProjectManifest(defaultManifest(name), manifestPath);
    createDirectory(context.currentDir / "src");
    const fs::path mainFile = context.currentDir / "src" / "main.zarn";
    if (!pathExists(mainFile)) writeProjectFile(mainFile, mainSource(name));
    context.console.status("Initialized",
                           "Zarn package '" + name + "' at " + context.currentDir.string());
    return 0;
}

int commandList(CommandContext& context) {
    const Manifest manifest = loadProjectManifest(context);
    std::ostream& out = context.console.out();
    if (context.console.json()) {
        out << "{\n  \"dependencies\": {\n";
        bool first = true;
        for (const auto& [name, dependency] : manifest.dependencies) {
            if (!first) out << ",\n";
            first = false;
            out << "    " << jsonQuote(name) << ": " << jsonQuote(toString(dependency.constraint));
        }
        out << "\n  }\n}\n";
        return 0;
    }
    out << "Dependencies\n\n";
    for (const auto& [name, dependency] : manifest.dependencies) {
        out << std::left << std::setw(24) << name << toString(dependency.constraint) << '\n';
    }
    return 0;
}

std::string packCurrentProject(CommandContext& context, const Manifest& manifest, fs::path& archive,
                               std::vector<std::string>& files, std::string& checksum) {
    const std::string archiveName =
        manifest.package.name + "-" + toString(manifest.package.version) + ".vek";
    archive = context.currentDir / archiveName;
    // The version may hold any characters; the archive must still be one file
    // in the project directory.
    if (!isSafeFileName(archiveName)) return "Invalid archive name: " + archiveName;
    context.console.debug("Writing " + archive.string());
    std::string reason;
    packProject(context.currentDir, archive, files, checksum, reason);
    return reason;
}

int commandPackage(CommandContext& context) {
    const Manifest manifest = loadProjectManifest(context);
    context.console.status("Packaging", manifest.package.name + " " +
                                            toString(manifest.package.version) + "...");
    fs::path archive;
    std::vector<std::string> files;
    std::string checksum;
    if (const std::string reason = packCurrentProject(context, manifest, archive, files, checksum);
        !reason.empty()) {
        throw VekException::archive("Failed to package project: " + reason);
    }
    std::ostream& out = context.console.out();
    out << "\nFiles:\n";
    for (const std::string& file : files) out << "  " << file << '\n';
    out << "\nCreated:\n  " << archive.string() << "\n\nSHA-256:\n  " << checksum << '\n';
    return 0;
}

int commandClean(CommandContext& context) {
    const fs::path manifestPath = context.currentDir / kManifestFile;
    if (!pathExists(manifestPath)) {
        throw VekException::build("No zarn.toml manifest found in " + context.currentDir.string());
    }
    std::string reason;
    if (!loadManifest(manifestPath, reason)) {
        throw VekException::build(reason);
    }
    if (context.args.has("dry-run")) {
        context.console.status("Dry-run", "Would remove project packages and build cache.");
        return 0;
    }
    DirectoryLock lock;
    lockProject(context, lock);
    // A link named "packages" is removed itself; what it points to is kept.
    const fs::path packages = context.currentDir / "packages";
    std::error_code ec;
    if (pathExists(packages)) fs::remove_all(packages, ec);
    if (ec) {
        throw VekException::build("Failed to remove " + packages.string() + ": " + ec.message());
    }
    context.console.status("Cleaned", "project packages and build cache.");
    return 0;
}

int commandCache(CommandContext& context) {
    const ParsedArgs& args = context.args;
    const std::string sub = args.positional.empty() ? "list" : args.positional[0];
    const PackageCache cache(context.home);
    context.console.debug("Cache directory: " + cache.cacheDir().string());
    if (sub == "clean") {
        if (args.has("dry-run")) {
            context.console.status("Dry-run", "Would clean global package cache.");
            return 0;
        }
        std::string reason;
        if (!cache.clean(reason)) throw VekException::general(reason);
        context.console.status("Cleaned", "global package cache.");
        return 0;
    }
    std::ostream& out = context.console.out();
    if (sub == "path") {
        out << cache.cacheDir().string() << '\n';
        return 0;
    }
    const auto packages = cache.list();
    out << "Cached Packages (" << packages.size() << ")\n\n";
    for (const CachedPackage& package : packages) {
        out << package.name << ' ' << toString(package.version) << '\n';
    }
    return 0;
}

} // namespace vek
