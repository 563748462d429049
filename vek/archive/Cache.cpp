#include "vek/archive/Cache.h"

#include <algorithm>
#include <fstream>
#include <memory>

#include "vek/archive/Checksum.h"
#include "vek/archive/Package.h"
#include "vek/base/AtomicFile.h"
#include "vek/base/VekException.h"

namespace vek {
namespace fs = std::filesystem;
namespace {

// Names and versions become directory and file names in the cache, so each
// must stay one plain path component.
bool safeCacheKey(std::string_view name, const Version& version) {
    return isSafeFileName(name) && isSafeFileName(toString(version));
}

void requireSafeCacheKey(std::string_view name, const Version& version) {
    if (!safeCacheKey(name, version)) {
        throw VekException::pathTraversal(
            "Package '" + std::string(name) + " " + toString(version) +
            "' cannot be stored in the cache: its name or version is not a plain file name.");
    }
}

// Raises VEK007 when a checksum is expected and differs from the actual one.
void requireChecksum(const std::string& label, std::string_view expectedChecksum,
                     const std::string& actual) {
    if (expectedChecksum.empty()) return;
    std::string expected(expectedChecksum);
    if (expected.rfind("sha256:", 0) != 0) expected = "sha256:" + expected;
    if (expected != actual) {
        throw VekException::checksum("Checksum verification failed for package '" + label +
                                         "'.\nExpected: " + expected + "\nActual:   " + actual,
                                     "The downloaded package may be corrupted or compromised.");
    }
}

} // namespace

fs::path PackageCache::cacheDir() const { return home_ / "cache" / "packages"; }

fs::path PackageCache::cachedArchivePath(std::string_view name, const Version& version) const {
    const std::string versionText = toString(version);
    return cacheDir() / std::string(name) / versionText /
           (std::string(name) + "-" + versionText + ".vek");
}

bool PackageCache::isCached(std::string_view name, const Version& version) const {
    if (!safeCacheKey(name, version)) return false;
    std::error_code ec;
    return fs::exists(cachedArchivePath(name, version), ec);
}

std::string PackageCache::storeVerified(std::string_view name, const Version& version,
                                        const fs::path& downloadedFile,
                                        std::string_view expectedChecksum) const {
    requireSafeCacheKey(name, version);
    const fs::path target = cachedArchivePath(name, version);
    const std::string label = std::string(name) + " " + toString(version);
    auto storeFailure = [&](const std::string& what) {
        return VekException::archive("Failed to store package '" + label +
                                     "' in the cache: " + what);
    };

    std::ifstream in(downloadedFile, std::ios::binary);
    if (!in) throw storeFailure("cannot read " + downloadedFile.string());
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) throw storeFailure("cannot create " + target.parent_path().string());

    // The copy is hashed while it is written and only takes the place of the
    // cached archive once its checksum is known to be right: the bytes checked
    // are the bytes stored.
    AtomicFile copy;
    if (!copy.open(target, FileAccess::Default)) throw storeFailure(copy.error());
    Sha256 hash;
    constexpr std::size_t kChunk = 1 << 20;
    const auto buffer = std::make_unique<char[]>(kChunk);
    while (in) {
        in.read(buffer.get(), kChunk);
        const std::string_view chunk(buffer.get(), static_cast<std::size_t>(in.gcount()));
        hash.update(chunk);
        if (!copy.write(chunk)) throw storeFailure(copy.error());
    }
    if (in.bad()) throw storeFailure("cannot read " + downloadedFile.string());

    const std::string actual = "sha256:" + hash.finishHex();
    try {
        requireChecksum(label, expectedChecksum, actual);
    } catch (const VekException&) {
        // Folders made for this version go again when they stay empty, so
        // that the listing never shows a version that is not there.
        copy.discard();
        fs::remove(target.parent_path(), ec);
        fs::remove(target.parent_path().parent_path(), ec);
        throw;
    }
    if (!copy.commit()) throw storeFailure(copy.error());
    return actual;
}

std::string PackageCache::verifyCached(std::string_view name, const Version& version,
                                       std::string_view expectedChecksum) const {
    requireSafeCacheKey(name, version);
    const fs::path archive = cachedArchivePath(name, version);
    const std::string label = std::string(name) + " " + toString(version);
    const auto digest = sha256File(archive);
    if (!digest) {
        throw VekException::archive("Failed to read cached package '" + label +
                                    "': " + archive.string());
    }
    const std::string actual = "sha256:" + *digest;
    try {
        requireChecksum(label, expectedChecksum, actual);
    } catch (const VekException&) {
        // A damaged archive never stays in the cache: the next install fetches
        // it again.
        std::error_code ec;
        fs::remove(archive, ec);
        throw;
    }
    return actual;
}

bool PackageCache::unpackFromCache(std::string_view name, const Version& version,
                                   const fs::path& targetDir) const {
    if (!isCached(name, version)) return false;
    std::string error;
    if (!unpackArchive(cachedArchivePath(name, version), targetDir, error)) {
        throw VekException::archive("Failed to unpack package '" + std::string(name) +
                                    "': " + error);
    }
    return true;
}

std::vector<CachedPackage> PackageCache::list() const {
    std::vector<CachedPackage> packages;
    std::error_code ec;
    for (fs::directory_iterator names(cacheDir(), ec), end; !ec && names != end;
         names.increment(ec)) {
        if (!names->is_directory(ec)) continue;
        std::error_code inner;
        for (fs::directory_iterator versions(names->path(), inner); !inner && versions != end;
             versions.increment(inner)) {
            if (!versions->is_directory(inner)) continue;
            if (auto version = parseVersion(versions->path().filename().string())) {
                packages.push_back({names->path().filename().string(), std::move(*version)});
            }
        }
    }
    std::sort(packages.begin(), packages.end(), [](const CachedPackage& a, const CachedPackage& b) {
        if (a.name != b.name) return a.name < b.name;
        return a.version < b.version;
    });
    return packages;
}

bool PackageCache::clean(std::string& error) const {
    // Each folder on the way from the home to the cache is looked at without
    // following links: a link is removed itself, never what it points to, and
    // a missing folder (or a file where a folder belongs) leaves nothing to do.
    fs::path at = home_;
    for (const char* part : {"cache", "packages"}) {
        at /= part;
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(at, ec);
        if (fs::is_symlink(status) ||
            (part == std::string_view("packages") && fs::exists(status))) {
            fs::remove_all(at, ec);
            if (ec) {
                error = "Failed to remove " + at.string() + ": " + ec.message();
                return false;
            }
            return true;
        }
        if (!fs::is_directory(status)) return true;
    }
    return true;
}

} // namespace vek
