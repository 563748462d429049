// vek: the project and package manager of the Zarn language.
#include <iostream>

#include "vek/base/Home.h"
#include "vek/cli/Commands.h"
#include "vek/registry/RegistrySettings.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    const vek::ParsedArgs args = vek::parseArgs(words);
    vek::Console console(std::cout, std::cerr, vek::stdoutIsTerminal(), vek::stderrIsTerminal());

    const vek::HomeEnvironment environment = vek::HomeEnvironment::fromProcess();
    vek::CommandContext context{args,
                                console,
                                std::cin,
                                environment.currentDir,
                                vek::homeDir(environment),
                                vek::registryBaseUrl(vek::environmentValue("VEK_REGISTRY")),
                                vek::environmentValue("VEK_TOKEN"),
                                vek::offlineFromEnvironment(vek::environmentValue("VEK_OFFLINE"))};
    const int code = vek::runCommand(context);
    std::cout.flush();
    return code;
}
