// The package cache below the home directory: one verified archive per
// package version, unpacked from there into projects.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "vek/versions/Version.h"

namespace vek {

struct CachedPackage {
    std::string name;
    Version version;
};

class PackageCache {
public:
    explicit PackageCache(std::filesystem::path home) : home_(std::move(home)) {}

    // home/cache/packages
    std::filesystem::path cacheDir() const;
    // cacheDir/<name>/<version>/<name>-<version>.vek
    std::filesystem::path cachedArchivePath(std::string_view name, const Version& version) const;
    bool isCached(std::string_view name, const Version& version) const;

    // Checks the downloaded file against the expected checksum (when one is
    // known) and copies it into the cache; returns the actual checksum. Raises
    // VEK007 on a mismatch, leaving the cache as it was.
    std::string storeVerified(std::string_view name, const Version& version,
                              const std::filesystem::path& downloadedFile,
                              std::string_view expectedChecksum) const;
    // Checks a cached archive against the expected checksum (when one is
    // known) and returns its actual checksum. Raises VEK007 on a mismatch and
    // removes the damaged archive from the cache.
    std::string verifyCached(std::string_view name, const Version& version,
                             std::string_view expectedChecksum) const;
    // False when the package is not cached; raises VEK010 when unpacking fails.
    bool unpackFromCache(std::string_view name, const Version& version,
                         const std::filesystem::path& targetDir) const;

    // Every cached version, sorted by name and then by version.
    std::vector<CachedPackage> list() const;
    // Removes the whole cache; a missing cache is not an error.
    bool clean(std::string& error) const;

private:
    std::filesystem::path home_;
};

} // namespace vek
