// The zarn command line: command words, help and version texts, and the pipelines.
#pragma once

#include <string>
#include <vector>

namespace zarn {

// Dispatches on argv[1] and returns the process exit status.
int runCommandLine(int argc, char** argv);

} // namespace zarn
