// The few process and file-system services that vek needs beyond the standard
// library; SystemPosix.cpp implements them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vek {

// An advisory lock on a directory, held until the object goes: two vek
// processes that change one project (or the cache) take turns.
class DirectoryLock {
public:
    DirectoryLock() = default;
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    ~DirectoryLock();

    // Waits until the lock is free; false with the reason when the directory
    // cannot be opened.
    bool acquire(const std::filesystem::path& dir, std::string& error);

private:
    int fd_ = -1;
};

// A new directory below `parent` whose name starts with `prefix` and holds
// this process's id; empty with the reason when it cannot be made.
std::filesystem::path makeTempDirectory(const std::filesystem::path& parent,
                                        std::string_view prefix, std::string& error);

// Turns off the echo of standard input while it lives, when standard input is
// a terminal (for typing a password); does nothing otherwise.
class HiddenInput {
public:
    HiddenInput();
    HiddenInput(const HiddenInput&) = delete;
    HiddenInput& operator=(const HiddenInput&) = delete;
    ~HiddenInput();
    bool active() const { return active_; }

private:
    bool active_ = false;
    unsigned long savedFlags_ = 0;
};

long currentProcessId();
// False only when no process with that id exists any more.
bool processAlive(long pid);

// Removes the entries of `dir` named `prefix` + pid + ... whose process is gone:
// the temporaries a killed vek left behind.
void sweepDeadTemporaries(const std::filesystem::path& dir, std::string_view prefix);

} // namespace vek
