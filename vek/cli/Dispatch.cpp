#include <string_view>

#include "vek/cli/Commands.h"

namespace vek {

const char* const kVersionLine = "vek 1.0.0 (Zarn Package Manager)\n";

const char* const kHelpText =
    "Zarn Package Manager (vek) 1.0.0\n"
    "\n"
    "Usage:\n"
    "  vek <command> [arguments] [options]\n"
    "\n"
    "Project Commands:\n"
    "  new <name>            Create a new Zarn project\n"
    "  init [name]           Initialize an existing directory as a Zarn package\n"
    "  build                 Compile the current project\n"
    "  run [-- <args>]       Run project entry point with arguments\n"
    "  check                 Type check project without executing\n"
    "  clean                 Remove project packages and build cache\n"
    "\n"
    "Dependency Commands:\n"
    "  add <pkg>[@version]   Add dependency to zarn.toml and install\n"
    "  remove <pkg>          Remove dependency from zarn.toml\n"
    "  install               Install all dependencies from lockfile/manifest\n"
    "  update [pkg]          Update dependencies to latest compatible versions\n"
    "  list                  List direct dependencies\n"
    "  tree                  Display visual dependency tree\n"
    "\n"
    "Package & Registry Commands:\n"
    "  package               Build .vek package archive\n"
    "  publish [--token <t>] Publish package to registry (requires authentication)\n"
    "  login [--token <t>]   Authenticate with online registry\n"
    "  logout                Clear saved registry authentication\n"
    "  whoami                Display currently authenticated user\n"
    "  search <query>        Search for packages in online registry\n"
    "  info <pkg>            Show details and versions of a package\n"
    "  cache [clean|list]    Manage global package cache\n"
    "\n"
    "General Options:\n"
    "  -v, -vv, -vvv         Verbose, debug, or trace output\n"
    "  --json                Emit machine-readable JSON output\n"
    "  --offline             Disable all network operations\n"
    "  --dry-run             Preview changes without modifying files\n"
    "  --help, -h            Show this help message\n";

namespace {

using Handler = int (*)(CommandContext&);

struct CommandEntry {
    std::string_view name;
    Handler handler;
    // Commands that would change files without a way to preview it refuse
    // --dry-run rather than ignore it.
    bool refusesDryRun = false;
};

constexpr CommandEntry kCommands[] = {
    {"init", commandInit},
    {"new", commandNew},
    {"add", commandAdd},
    {"remove", commandRemove},
    {"install", commandInstall},
    {"update", commandUpdate},
    {"list", commandList},
    {"tree", commandTree},
    {"build", commandBuild},
    {"run", commandRun, true},
    {"clean", commandClean},
    {"check", commandCheck},
    {"package", commandPackage, true},
    {"publish", commandPublish, true},
    {"login", commandLogin, true},
    {"logout", commandLogout},
    {"whoami", commandWhoami},
    {"search", commandSearch},
    {"info", commandInfo},
    {"cache", commandCache},
};

} // namespace

int runCommand(CommandContext& context) {
    const ParsedArgs& args = context.args;
    Console& console = context.console;
    // The last of -v, -vv, -vvv wins.
    if (args.has("v")) console.setVerbosity(1);
    if (args.has("vv")) console.setVerbosity(2);
    if (args.has("vvv")) console.setVerbosity(3);
    if (args.has("json")) console.setJson(true);
    if (args.has("offline")) context.offline = true;

    // An explicit request for help wins; "--version" works without a command
    // word; a bare "vek" shows the help.
    const bool askedForHelp = args.command == "help" || args.has("help") || args.has("h");
    if (!askedForHelp && (args.command == "version" || args.has("version"))) {
        console.out() << kVersionLine;
        return 0;
    }
    if (askedForHelp || args.command.empty()) {
        console.out() << kHelpText;
        return 0;
    }

    const CommandEntry* entry = nullptr;
    for (const CommandEntry& candidate : kCommands) {
        if (candidate.name == args.command) entry = &candidate;
    }
    if (!entry) {
        console.errorLine("Unknown command '" + args.command + "'. Run 'vek help' for usage.");
        return 2;
    }

    try {
        if (entry->refusesDryRun && args.has("dry-run")) {
            throw VekException::usage("'vek " + args.command + "' does not support --dry-run.");
        }
        return entry->handler(context);
    } catch (const VekException& error) {
        console.render(error);
        return error.exitCode();
    } catch (const std::exception& error) {
        console.errorLine(std::string("Unexpected error: ") + error.what());
        return 1;
    }
}

} // namespace vek
