// The lockfile "zarn.lock": the exact versions, sources and checksums of the
// last resolution, so that installs repeat and downloads are verified.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "vek/versions/Version.h"

namespace vek {

struct LockedPackage {
    std::string name;
    Version version;
    std::string source;
    std::string checksum;
    std::vector<std::string> dependencies;
};

struct Lockfile {
    std::int64_t version = 1;
    std::vector<LockedPackage> packages;

    const LockedPackage* find(const std::string& name) const;
};

std::string renderLockfile(const Lockfile& lock);
// Replaces the file in one step; false with the reason when it cannot.
bool writeLockfile(const Lockfile& lock, const std::filesystem::path& path, std::string& error);
// Nothing when the file does not exist; `error` is set when it exists but is
// not a lockfile this reader understands.
std::optional<Lockfile> readLockfile(const std::filesystem::path& path, std::string& error);
std::optional<Lockfile> parseLockfile(std::string_view text, std::string& error);

} // namespace vek
