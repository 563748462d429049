// Where the resolver and the commands get packages from: a package source
// answers which versions of a package exist and what one version needs; a
// registry adds searching, downloading, publishing and logging in. The
// registry client implements both; tests use sources held in memory.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vek/versions/Version.h"

namespace vek {

struct PackageDependency {
    std::string name;
    VersionConstraint constraint;
};

// One version of a package as its source describes it.
struct PackageRecord {
    std::string checksum; // "sha256:" and the hex digest, or empty when unknown
    std::string source;   // e.g. "registry+" and the registry's base URL
    std::vector<PackageDependency> dependencies;
};

// A package as search results and "vek info" show it.
struct PackageSummary {
    std::string name;
    std::string description;
    std::string latest;
    std::string license;
    std::vector<std::string> versions;
};

struct LoginResult {
    std::string token;
    std::string username;
    std::string email;
};

class IPackageSource {
public:
    virtual ~IPackageSource() = default;

    // Every published version, in the source's order; empty when the package
    // does not exist. A source that cannot answer raises VekException.
    virtual std::vector<Version> getVersions(std::string_view name) = 0;
    // One version's checksum, origin and dependencies; nothing when the
    // source does not know that version.
    virtual std::optional<PackageRecord> getPackage(std::string_view name,
                                                    const Version& version) = 0;
};

class IRegistry : public IPackageSource {
public:
    virtual std::string baseUrl() const = 0;
    virtual std::vector<PackageSummary> search(std::string_view query) = 0;
    // Nothing when the package does not exist.
    virtual std::optional<PackageSummary> getInfo(std::string_view name) = 0;
    // Writes the archive to `destination`; false with the reason in `error`.
    virtual bool download(std::string_view name, const Version& version,
                          const std::filesystem::path& destination, std::string& error) = 0;
    virtual bool publish(const std::filesystem::path& archivePath, const std::string& token,
                         std::string& error) = 0;
    // The token and account of a user; false with the reason in `error`.
    virtual bool login(const std::string& usernameOrEmail, const std::string& password,
                       LoginResult& result, std::string& error) = 0;
};

} // namespace vek
