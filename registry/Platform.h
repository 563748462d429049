// The few operating-system calls the registry makes, behind one small layer
// (PlatformPosix.cpp here).
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace registry {

// `size` bytes from the system's random generator; nothing when it fails.
std::optional<std::string> systemRandomBytes(std::size_t size);

// Makes a rename or a new file in `dir` durable: syncs the directory itself.
bool syncDirectory(const std::filesystem::path& dir);

// Reads one line of standard input without echoing it when it is a
// terminal (the prompt goes to standard error then). The line end is dropped.
std::optional<std::string> readSecretLine(const std::string& prompt);

// An exclusive lock on a file held for the life of the object, so that only
// one server works on a data folder.
class FolderLock {
public:
    FolderLock() = default;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();
    // False with the reason when the file cannot be locked (another server holds it).
    bool acquire(const std::filesystem::path& file, std::string& error);

private:
    int fd_ = -1;
};

// Blocks the stop signals (SIGINT, SIGTERM, SIGHUP) in the calling thread and in
// every thread it starts later; they are then received only by StopSignals.
void blockStopSignals();

// A thread that waits for a stop signal and calls `onStop` once when one
// arrives. Destroying it without a signal ends the thread too.
class StopSignals {
public:
    explicit StopSignals(std::function<void()> onStop);
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    ~StopSignals();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace registry
