// Commands on the project's dependencies: add, remove, install, update, tree.
#include <algorithm>
#include <map>

#include "vek/archive/Cache.h"
#include "vek/archive/Package.h"
#include "vek/cli/CommandSupport.h"
#include "vek/resolve/Resolver.h"

namespace vek {
namespace fs = std::filesystem;
namespace {

constexpr const char* kTempPrefix = ".vek-tmp-";

// Offline, the lockfile is the package source: each locked package has its
// locked version, and needs its locked dependencies at their locked versions.
class LockedSource : public IPackageSource {
public:
    explicit LockedSource(const Lockfile* lock) : lock_(lock) {}

    std::vector<Version> getVersions(std::string_view name) override {
        if (const LockedPackage* locked = find(name)) return {locked->version};
        throw unavailable(std::string(name));
    }

    std::optional<PackageRecord> getPackage(std::string_view name,
                                            const Version& version) override {
        const LockedPackage* locked = find(name);
        if (!locked || !(locked->version == version)) return std::nullopt;
        PackageRecord record{locked->checksum, locked->source, {}};
        for (const std::string& dependency : locked->dependencies) {
            const LockedPackage* target = find(dependency);
            if (!target) throw unavailable(dependency);
            record.dependencies.push_back(
                {dependency, *parseConstraint("=" + toString(target->version))});
        }
        return record;
    }

private:
    const LockedPackage* find(std::string_view name) const {
        return lock_ ? lock_->find(std::string(name)) : nullptr;
    }

    static VekException unavailable(const std::string& name) {
        return VekException::registry("Package '" + name +
                                          "' is not in zarn.lock and cannot be resolved in "
                                          "offline mode.",
                                      "Run 'vek install' with internet connection to cache "
                                      "dependencies.");
    }

    const Lockfile* lock_;
};

// A download folder of this process below the system's temporary folder,
// removed with everything in it when the install ends.
class TempFolder {
public:
    TempFolder() = default;
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }

    const fs::path& create(const fs::path& parent) {
        if (!path_.empty()) return path_;
        std::string reason;
        path_ = makeTempDirectory(parent, kTempPrefix, reason);
        if (path_.empty())
            throw VekException::general("Failed to create a temporary folder: " + reason);
        return path_;
    }

private:
    fs::path path_;
};

void requireCacheKey(const ResolvedPackage& package) {
    if (!isSafeFileName(package.name) || !isSafeFileName(toString(package.version))) {
        throw VekException::pathTraversal("Package '" + package.name + " " +
                                          toString(package.version) +
                                          "' cannot be installed: its name or version is not a "
                                          "plain file name.");
    }
}

// Makes sure that every package of the resolution is in the cache and matches
// its checksum; records the computed checksum where none was known.
void fillCache(CommandContext& context, Resolution& resolution, RemoteRegistry& registry) {
    const PackageCache cache(context.home);
    TempFolder downloads;
    for (auto& [name, package] : resolution.packages) {
        requireCacheKey(package);
        const std::string label = name + " v" + toString(package.version);
        if (cache.isCached(name, package.version)) {
            context.console.status("Unpacking", label + " (cached)");
            package.checksum = cache.verifyCached(name, package.version, package.checksum);
            continue;
        }
        if (context.offline) {
            throw VekException::registry("Package '" + name + " " + toString(package.version) +
                                             "' is unavailable in offline mode.",
                                         "Run 'vek install' with internet connection to cache "
                                         "dependencies.");
        }
        context.console.status("Downloading", label);
        const fs::path file = downloads.create(fs::temp_directory_path()) /
                              (name + "-" + toString(package.version) + ".vek");
        std::string reason;
        if (!registry.download(name, package.version, file, reason)) {
            throw VekException::registry("Failed to download package '" + name + "': " + reason);
        }
        std::error_code ec;
        fs::create_directories(cache.cacheDir(), ec);
        DirectoryLock cacheLock;
        if (!cacheLock.acquire(cache.cacheDir(), reason)) {
            throw VekException::general("Failed to lock the package cache: " + reason);
        }
        package.checksum = cache.storeVerified(name, package.version, file, package.checksum);
        fs::remove(file, ec);
    }
}

// Unpacks every package into a staging folder inside "packages", then moves
// each into place. Until the last step nothing the project had is touched;
// when a step fails, what was moved is moved back.
class PackagesSwap {
public:
    explicit PackagesSwap(fs::path packages) : packages_(std::move(packages)) {}
    PackagesSwap(const PackagesSwap&) = delete;
    PackagesSwap& operator=(const PackagesSwap&) = delete;
    ~PackagesSwap() {
        std::error_code ec;
        if (!committed_) rollBack();
        if (!staging_.empty()) fs::remove_all(staging_, ec);
    }

    void stage(const CommandContext& context, const Resolution& resolution) {
        std::error_code ec;
        fs::create_directories(packages_, ec);
        if (!fs::is_directory(packages_, ec)) {
            throw VekException::general("Failed to create directory " + packages_.string());
        }
        sweepDeadTemporaries(packages_, kTempPrefix);
        std::string reason;
        staging_ = makeTempDirectory(packages_, kTempPrefix, reason);
        if (staging_.empty()) throw VekException::general("Failed to stage packages: " + reason);
        const PackageCache cache(context.home);
        for (const auto& [name, package] : resolution.packages) {
            if (!cache.unpackFromCache(name, package.version, staging_ / "new" / name)) {
                throw VekException::archive("Failed to unpack package '" + name +
                                            "': it is missing from the cache.");
            }
        }
    }

    void swapIn(const Resolution& resolution) {
        for (const auto& [name, package] : resolution.packages) {
            const fs::path target = packages_ / name;
            const fs::path old = staging_ / "old" / name;
            std::error_code ec;
            if (pathExists(target)) {
                fs::create_directories(old.parent_path(), ec);
                fs::rename(target, old, ec);
                if (ec) fail("Failed to replace " + target.string() + ": " + ec.message());
                moved_.push_back({target, old});
            } else {
                moved_.push_back({target, {}});
            }
            fs::rename(staging_ / "new" / name, target, ec);
            if (ec) fail("Failed to install " + target.string() + ": " + ec.message());
        }
    }

    void commit() { committed_ = true; }

private:
    [[noreturn]] void fail(const std::string& message) { throw VekException::general(message); }

    void rollBack() {
        std::error_code ec;
        fs::create_directories(staging_ / "undo", ec);
        for (auto it = moved_.rbegin(); it != moved_.rend(); ++it) {
            const fs::path& target = it->first;
            // A package that was newly placed goes back to staging; the old
            // one returns to its place.
            if (pathExists(target)) fs::rename(target, staging_ / "undo" / target.filename(), ec);
            if (!it->second.empty()) fs::rename(it->second, target, ec);
        }
    }

    fs::path packages_;
    fs::path staging_;
    std::vector<std::pair<fs::path, fs::path>> moved_; // target, where the old one went
    bool committed_ = false;
};

std::optional<Lockfile> readProjectLock(const CommandContext& context) {
    std::string reason;
    auto lock = readLockfile(context.currentDir / kLockFile, reason);
    if (!reason.empty()) throw VekException::manifest("Failed to read zarn.lock: " + reason);
    return lock;
}

Resolution resolveProject(CommandContext& context, const Manifest& manifest,
                          const std::optional<Lockfile>& lock, RemoteRegistry& registry) {
    const Lockfile* preferred = lock ? &*lock : nullptr;
    if (context.offline) {
        LockedSource source(preferred);
        return resolve(manifest, source, preferred);
    }
    return resolve(manifest, registry, preferred);
}

} // namespace

int installLocked(CommandContext& context, bool update) {
    const Manifest manifest = loadProjectManifest(context);
    const std::optional<Lockfile> lock = readProjectLock(context);
    const auto registry = makeRegistry(context);
    // Updating resolves afresh; the old lockfile still vouches for the
    // checksums of the versions that stay.
    Resolution resolution =
        resolveProject(context, manifest, update ? std::nullopt : lock, *registry);
    if (update && lock) {
        for (auto& [name, package] : resolution.packages) {
            const LockedPackage* locked = lock->find(name);
            if (locked && locked->version == package.version && !locked->checksum.empty()) {
                package.checksum = locked->checksum;
            }
        }
    }

    if (context.args.has("dry-run")) {
        for (const auto& [name, package] : resolution.packages) {
            context.console.status("Dry-run",
                                   "Would install " + name + " v" + toString(package.version));
        }
        return 0;
    }

    fillCache(context, resolution, *registry);
    PackagesSwap swap(context.currentDir / "packages");
    swap.stage(context, resolution);
    swap.swapIn(resolution);
    // The lockfile is written last, in one step: when it cannot be written the
    // packages go back to what they were.
    std::string reason;
    if (!writeLockfile(toLockfile(resolution), context.currentDir / kLockFile, reason)) {
        throw VekException::general("Failed to write zarn.lock: " + reason);
    }
    swap.commit();
    context.console.status("Finished", "installation of dependencies");
    return 0;
}

int commandInstall(CommandContext& context) {
    DirectoryLock lock;
    lockProject(context, lock);
    return installLocked(context, context.args.has("update"));
}

int commandUpdate(CommandContext& context) {
    if (context.args.has("dry-run")) {
        context.console.status(
            "Dry-run",
            "Would check registry and update dependencies to latest compatible versions.");
        return 0;
    }
    DirectoryLock lock;
    lockProject(context, lock);
    return installLocked(context, true);
}

int commandAdd(CommandContext& context) {
    const ParsedArgs& args = context.args;
    const std::string& requested =
        firstArgument(args, "Missing package name. Usage: vek add <package>[@version]");
    const auto at = requested.find('@');
    Dependency dependency;
    dependency.name = requested.substr(0, at);
    std::string reason;
    if (!validatePackageName(dependency.name, reason)) {
        throw VekException::usage("Invalid package name '" + dependency.name + "': " + reason);
    }

    DirectoryLock lock;
    if (!args.has("dry-run")) lockProject(context, lock);
    Manifest manifest = loadProjectManifest(context);
    if (args.has("path")) {
        dependency.kind = DependencyKind::Path;
        dependency.path = args.option("path");
    } else if (args.has("git")) {
        dependency.kind = DependencyKind::Git;
        dependency.git = args.option("git");
        dependency.branch = args.option("branch");
        dependency.tag = args.option("tag");
        dependency.rev = args.option("rev");
    } else {
        const auto registry = makeRegistry(context);
        std::vector<Version> versions;
        if (!context.offline) versions = registry->getVersions(dependency.name);
        if (versions.empty()) {
            throw VekException::packageNotFound("Package '" + dependency.name +
                                                "' was not found in the registry.");
        }
        const std::string text = at == std::string::npos ? "" : requested.substr(at + 1);
        if (!text.empty()) {
            auto constraint = parseConstraint(text);
            if (!constraint)
                throw VekException::invalidVersion("Invalid version constraint: " + text);
            dependency.constraint = std::move(*constraint);
        } else {
            const Version& newest = *std::max_element(versions.begin(), versions.end());
            dependency.constraint = *parseConstraint("^" + toString(newest));
        }
    }

    const std::string constraint = toString(dependency.constraint);
    const std::string name = dependency.name;
    DependencyMap& table = args.has("dev") ? manifest.devDependencies : manifest.dependencies;
    table.insert_or_assign(name, std::move(dependency));
    if (args.has("dry-run")) {
        context.console.status("Dry-run", "Would add dependency '" + name + "' with constraint '" +
                                              constraint + "'");
        return 0;
    }
    saveProjectManifest(manifest, context.currentDir / kManifestFile);
    context.console.status("Adding", name + " v" + constraint + " to dependencies");
    return installLocked(context, args.has("update"));
}

int commandRemove(CommandContext& context) {
    const ParsedArgs& args = context.args;
    const std::string& name =
        firstArgument(args, "Missing package name to remove. Usage: vek remove <package>");
    DirectoryLock lock;
    if (!args.has("dry-run")) lockProject(context, lock);
    Manifest manifest = loadProjectManifest(context);
    if (!manifest.removeDependency(name)) {
        throw VekException::dependencyNotFound("Dependency '" + name +
                                               "' is not listed in zarn.toml.");
    }
    if (args.has("dry-run")) {
        context.console.status("Dry-run", "Would remove dependency '" + name + "'");
        return 0;
    }
    saveProjectManifest(manifest, context.currentDir / kManifestFile);
    context.console.status("Removing", name + " from dependencies");
    // Only a name that is one plain file name can be an installed package; any
    // other would delete something outside "packages".
    if (isSafeFileName(name)) {
        std::error_code ec;
        fs::remove_all(context.currentDir / "packages" / name, ec);
    }
    return installLocked(context, args.has("update"));
}

int commandTree(CommandContext& context) {
    const Manifest manifest = loadProjectManifest(context);
    const std::optional<Lockfile> lock = readProjectLock(context);
    const auto registry = makeRegistry(context);
    const Resolution resolution = resolveProject(context, manifest, lock, *registry);
    if (context.console.json()) {
        printJson(resolution, context.console.out());
    } else {
        printTree(resolution, context.console.out());
    }
    return 0;
}

} // namespace vek
