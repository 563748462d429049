// build, run and check: the project's entry file handed to the zarn program.
#include "vek/cli/CommandSupport.h"
#include "vek/registry/Toolchain.h"

namespace vek {
namespace fs = std::filesystem;
namespace {

// The manifest of the project in `dir`; VEK012 when there is none or it
// does not load.
Manifest loadBuildManifest(const fs::path& dir) {
    const fs::path path = dir / kManifestFile;
    if (!pathExists(path)) {
        throw VekException::build("No zarn.toml manifest found in " + dir.string());
    }
    std::string reason;
    auto manifest = loadManifest(path, reason);
    if (!manifest) throw VekException::build(reason);
    return std::move(*manifest);
}

// The entry file, checked before anything starts.
fs::path entryFile(const fs::path& dir, const Manifest& manifest) {
    const fs::path entry = dir / manifest.entry;
    std::error_code ec;
    if (!fs::is_regular_file(entry, ec)) {
        throw VekException::build("Entry file does not exist: " + entry.string());
    }
    return entry;
}

// For the debug line only: each word in double quotes, as it is passed.
std::string displayLine(const fs::path& program, const std::vector<std::string>& arguments) {
    std::string line = "\"" + program.string() + "\"";
    for (const std::string& argument : arguments) line += " \"" + argument + "\"";
    return line;
}

int runTool(CommandContext& context, const std::string& subcommand, const fs::path& file,
            const std::vector<std::string>& extra = {}) {
    const fs::path program = findToolchain(context.currentDir);
    std::vector<std::string> arguments{subcommand, file.string()};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    context.console.debug("Executing: " + displayLine(program, arguments));
    context.console.out().flush();
    std::string reason;
    const int status = runProgram(program, arguments, reason);
    if (status < 0) throw VekException::build(reason);
    return status;
}

void buildPackage(CommandContext& context, const fs::path& dir) {
    const Manifest manifest = loadBuildManifest(dir);
    const fs::path entry = entryFile(dir, manifest);
    context.console.status("Compiling",
                           manifest.package.name + " v" + toString(manifest.package.version));
    if (const int status = runTool(context, "check", entry); status != 0) {
        throw VekException::build("Compilation failed with exit code " + std::to_string(status));
    }
}

} // namespace

int commandBuild(CommandContext& context) {
    const Manifest manifest = loadBuildManifest(context.currentDir);
    if (!context.args.has("workspace") && !manifest.isWorkspace) {
        buildPackage(context, context.currentDir);
        return 0;
    }
    context.console.status("Building", "workspace members...");
    for (const std::string& member : manifest.members) {
        context.console.statusCyan("Package", member);
        buildPackage(context, context.currentDir / member);
    }
    return 0;
}

int commandRun(CommandContext& context) {
    const Manifest manifest = loadBuildManifest(context.currentDir);
    const fs::path entry = entryFile(context.currentDir, manifest);
    context.console.status("Running", manifest.package.name + " (" + entry.string() + ")");
    const int status = runTool(context, "run", entry, context.args.passthrough);
    if (status != 0) {
        // The program's own status is passed on.
        throw VekException(ErrorCode::BuildFailed,
                           "Execution failed with exit code " + std::to_string(status), "", status);
    }
    return 0;
}

int commandCheck(CommandContext& context) {
    const Manifest manifest = loadBuildManifest(context.currentDir);
    const fs::path entry = entryFile(context.currentDir, manifest);
    context.console.status("Checking", manifest.package.name);
    if (const int status = runTool(context, "check", entry); status != 0) {
        throw VekException::build("Type check failed with exit code " + std::to_string(status));
    }
    return 0;
}

} // namespace vek
