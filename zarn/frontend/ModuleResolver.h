// Finds the file behind `use NAME` for a source module or an installed package.
// The type checker and the interpreter both resolve through here, so that they
// always agree on which file a name means.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zarn {

// The parts of the process environment that resolution depends on. Tests build
// one by hand; everything else takes it from the running process.
struct ModuleSearchEnvironment {
    std::filesystem::path workingDirectory;
    std::optional<std::string> zarnHome;    // ZARN_HOME
    std::optional<std::string> userProfile; // USERPROFILE
    std::optional<std::string> home;        // HOME
    std::optional<std::string> zarnPath;    // ZARN_PATH, entries split at ';' and ':'

    static ModuleSearchEnvironment fromProcess();
};

// The absolute path of the module file that `use name` means when written in a
// file of `directory` (empty: no directory), or "" when nothing matches.
std::string resolveModule(const std::string& name, const std::string& directory);
std::string resolveModule(const std::string& name, const std::string& directory,
                          const ModuleSearchEnvironment& environment);

// The package search roots for `directory`, in search order (existing
// directories only, canonical, without repeats).
std::vector<std::filesystem::path> moduleSearchRoots(const std::string& directory,
                                                     const ModuleSearchEnvironment& environment);

// The spellings tried for a package name, in order and without repeats.
std::vector<std::string> moduleNameVariants(const std::string& name);

// Nothing the toolchain accepts as a source file comes near this size; a
// larger file is refused instead of being read into memory.
constexpr std::uintmax_t kMaxSourceFileBytes = std::uintmax_t{64} << 20;

// Reads a module or script file whole. False when it is not a regular file,
// cannot be read, or is larger than any source file the toolchain accepts.
bool readModuleFile(const std::string& path, std::string& text);

// The directory part of a file path, "" when it has none.
std::string directoryOf(const std::string& path);

} // namespace zarn
