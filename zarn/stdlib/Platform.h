// The host services the system modules need: process, environment and file
// calls. Everything operating-system specific of the os, process and
// filesystem modules lives behind these functions; none of them throws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zarn::stdlib::platform {

// "Linux", "macOS" or "Windows": the system this program was built for.
std::string_view systemName();
// "x86_64", "aarch64", ...: the machine this program was built for.
std::string_view machineArchitecture();

int64_t currentProcessId();
// The host name, or "localhost" when it cannot be read.
std::string hostName();
// The working directory, or "." when it cannot be determined.
std::string currentDirectory();
// USERPROFILE when set and not empty, else HOME, else "".
std::string homeDirectory();
// Path of the running executable, or "" when it cannot be determined.
std::string executablePath();

// The variable's value; nothing when it is not set or the name cannot be a
// variable name (empty, holding "=" or a NUL byte).
std::optional<std::string> environmentVariable(std::string_view name);
// Sets the variable for this process and the children it starts. False (and
// nothing changed) when the name is not a valid variable name or either text
// holds a NUL byte.
bool setEnvironmentVariable(std::string_view name, std::string_view value);

// Runs the command through "/bin/sh -c" and waits. Returns the command's exit
// status, or -1 when it could not be run, was ended by a signal, or holds a
// NUL byte (which would silently cut it short).
int runShellCommand(std::string_view command);

// Starts "/bin/sh -c <command>" without waiting and returns its process id,
// or -1 when it could not be started. The process is detached from this one,
// so it is reaped by the system when it finishes and never stays a zombie.
int64_t spawnShellCommand(std::string_view command);

// Blocks the calling thread for that many milliseconds; 0 or less returns at
// once. Interruptions by signals do not shorten the wait.
void sleepMilliseconds(int64_t milliseconds);

// The whole file, bytes unchanged; nothing when it cannot be opened or read,
// or is not a regular file (directories, named pipes and devices included).
std::optional<std::string> readWholeFile(std::string_view path);
// Creates or truncates the file and writes every byte. True only when the
// file was opened and all of the content was written; false at once for
// anything that exists and is not a regular file.
bool writeWholeFile(std::string_view path, std::string_view content);
// True when the path names something that can be opened for reading and is
// not a directory.
bool canOpenForReading(std::string_view path);

} // namespace zarn::stdlib::platform
