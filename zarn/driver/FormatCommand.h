// `zarn format [--check] PATH...`: lays source files out in the house style.
#pragma once

#include <string>
#include <vector>

namespace zarn {

// Whether the arguments after the command word name at least one path.
bool hasFormatPath(const std::vector<std::string>& args);

// Formats each file named, and every ".zarn" file below each folder named,
// in place; with "--check" changes nothing and names each file that would
// change. A file with syntax errors gets its diagnostics and stays as it is.
// Returns 0 when every file was (or, with "--check", already is) formatted.
int runFormatCommand(const std::vector<std::string>& args);

} // namespace zarn
