// The zarn command line: command words, help and version texts, and the pipelines.
#pragma once

#include <string>
#include <vector>

namespace zarn {

// Dispatches on argv[1] and returns the process exit status.
int runCommandLine(int argc, char** argv);

// The whole content of a file, read in binary mode. When it cannot be read,
// prints the open error to the standard error stream and returns "".
std::string readSourceFile(const std::string& path);

// Like readSourceFile, but tells whether the file could be read at all, so that
// an unreadable file (a directory, say) is not mistaken for an empty one.
bool readSourceFile(const std::string& path, std::string& content);

// The run pipeline: read, lex, parse, check and run the file with the given
// script arguments. Prints the diagnostics of a failed stage; returns 0 or 1.
int runFile(const std::string& path, const std::vector<std::string>& scriptArgs);

// The check pipeline: the run pipeline without running. On success prints the
// static-check line; returns 0 or 1.
int checkFile(const std::string& path);

} // namespace zarn
