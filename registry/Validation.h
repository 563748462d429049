// Checking an uploaded package archive before anything of it is stored: the
// archive must be readable, its entry names safe, and its "zarn.toml" must
// name a valid package and version.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vek/versions/Version.h"

namespace registry {

// The largest archive accepted for publishing.
inline constexpr std::size_t kMaxArchiveBytes = 50u * 1024u * 1024u;

struct DependencyEntry {
    std::string name;
    std::string constraint; // the text as written in the manifest
};

// What the registry keeps about one version, taken from its archive.
struct PackageVersion {
    std::string name;
    vek::Version version;
    std::string description;
    std::string license;
    std::string repository;
    std::string homepage;
    std::vector<std::string> keywords;
    std::vector<DependencyEntry> dependencies; // only [dependencies]
    std::string sha256;                        // of the whole archive, lowercase hex
    std::size_t size = 0;
};

// The version text in the strict form the registry accepts: three numbers,
// then pre-release and build identifiers made only of ASCII letters, digits
// and "-", none empty. Such a version is safe in URLs and file names.
bool isPlainVersion(const vek::Version& version);
// The version text with the build left out and numeric pre-release
// identifiers written without leading zeros: two versions of equal precedence
// give the same key.
std::string precedenceKey(const vek::Version& version);

// Checks an archive uploaded for publishing. On failure `error` says what is
// wrong in words that can be shown to the publisher.
std::optional<PackageVersion> validateArchive(std::string_view bytes, std::string& error);

} // namespace registry
