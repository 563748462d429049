// The vek commands and the dispatcher that runs one of them.
#pragma once

#include <filesystem>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "vek/cli/Args.h"
#include "vek/cli/Console.h"

namespace vek {

// What a command may read of its surroundings; filled from the process in
// main, or by hand in tests.
struct CommandContext {
    const ParsedArgs& args;
    Console& console;
    std::istream& input;
    std::filesystem::path currentDir;
    std::filesystem::path home;
    std::string registryUrl;
    std::string environmentToken; // VEK_TOKEN
    bool offline = false;         // --offline or VEK_OFFLINE
};

// Each returns the exit code; failures are raised as VekException.
int commandNew(CommandContext& context);
int commandInit(CommandContext& context);
int commandList(CommandContext& context);
int commandPackage(CommandContext& context);
int commandClean(CommandContext& context);
int commandUpdate(CommandContext& context);
int commandCache(CommandContext& context);
int commandLogin(CommandContext& context);
int commandLogout(CommandContext& context);
int commandWhoami(CommandContext& context);
int commandAdd(CommandContext& context);
int commandRemove(CommandContext& context);
int commandInstall(CommandContext& context);
int commandPublish(CommandContext& context);
int commandTree(CommandContext& context);
int commandSearch(CommandContext& context);
int commandInfo(CommandContext& context);
int commandBuild(CommandContext& context);
int commandRun(CommandContext& context);
int commandCheck(CommandContext& context);

// The help text printed by "vek help".
extern const char* const kHelpText;
extern const char* const kVersionLine;

// Applies the global settings, dispatches, renders failures and returns the
// process exit code.
int runCommand(CommandContext& context);

} // namespace vek
