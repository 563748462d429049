// Helpers shared by the command implementations.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "vek/base/System.h"
#include "vek/cli/Commands.h"
#include "vek/manifest/Manifest.h"
#include "vek/registry/RemoteRegistry.h"

namespace vek {

inline constexpr const char* kManifestFile = "zarn.toml";
inline constexpr const char* kLockFile = "zarn.lock";

// "zarn.toml" of the current directory; VEK001 when it cannot be read.
Manifest loadProjectManifest(const CommandContext& context);
// VEK001 "Failed to write zarn.toml." when it cannot be written.
void saveProjectManifest(const Manifest& manifest, const std::filesystem::path& path);
// The first positional word; VEK002 with `usage` (exit 2) when there is none.
const std::string& firstArgument(const ParsedArgs& args, const char* usage);
// Whether something (even a dangling link) stands at the path.
bool pathExists(const std::filesystem::path& path);

// Packs the project into name-version.vek in the project directory; the
// reason of a failure, or empty.
std::string packCurrentProject(CommandContext& context, const Manifest& manifest,
                               std::filesystem::path& archive, std::vector<std::string>& files,
                               std::string& checksum);

// The advisory lock on the current project, held while a command changes
// "zarn.toml", "zarn.lock" or "packages/".
void lockProject(const CommandContext& context, DirectoryLock& lock);

// The registry client of the command: the context's registry, offline when
// the context says so. Downloads show a progress bar on a terminal.
std::unique_ptr<RemoteRegistry> makeRegistry(const CommandContext& context);

// Runs install on the manifest in the current directory; the caller holds
// the project lock. `update` resolves without the lockfile's preferences.
int installLocked(CommandContext& context, bool update);

} // namespace vek
