// `zarn test`: runs every ".zarn" file below a directory (or one file) as a test.
#pragma once

#include <string>

namespace zarn {

// Runs the tests at `path` and prints one line per test and a summary.
// Returns 1 when a test failed or the path could not be used, else 0.
int runTests(const std::string& path);

} // namespace zarn
