// Finding the zarn program and starting it: directly, with an argument
// vector, so that no argument is ever read by a shell.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vek {

// The first that exists of: "zarn" beside the running vek, the project's
// build directories below the current directory ("build/zarn",
// "../build/zarn", "../../build/zarn"); else the bare name "zarn", looked up
// in PATH when it starts.
std::filesystem::path findToolchain(const std::filesystem::path& currentDir);

// Starts `program` with `arguments` (the program name is added in front),
// waits for it and returns its exit status; 128 + the signal number when a
// signal ended it. -1 with the reason in `error` when it could not start.
int runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               std::string& error);

} // namespace vek
