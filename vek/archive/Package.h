// Packing a project into its ".vek" archive and unpacking archives safely.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vek {

// Packs "zarn.toml", "README.md" and "LICENSE" when present, and every
// regular file below "src" in byte order of their paths. `files` receives the
// entry names, `checksum` "sha256:" and the digest of the archive written.
bool packProject(const std::filesystem::path& projectDir, const std::filesystem::path& archivePath,
                 std::vector<std::string>& files, std::string& checksum, std::string& error);

// Writes every entry of the archive below `targetDir`. The whole archive is
// read and checked (CRCs, entry names) before the first file is written.
bool unpackArchive(const std::filesystem::path& archivePath, const std::filesystem::path& targetDir,
                   std::string& error);

// The parts of an entry name once "." and ".." are resolved, or false when
// the name is not a relative path that stays inside its directory.
bool safeEntryParts(std::string_view name, std::vector<std::string>& parts);

// True for a name that can stand as one file or directory name: not empty,
// not "." or "..", without separators or NUL.
bool isSafeFileName(std::string_view name);

} // namespace vek
