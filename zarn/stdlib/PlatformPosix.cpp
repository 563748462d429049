// Platform.h on POSIX systems.
#include "zarn/stdlib/Platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <new>
#include <vector>

extern char** environ;

namespace zarn::stdlib::platform {
namespace {

bool holdsNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

bool isVariableName(std::string_view name) {
    return !name.empty() && !holdsNul(name) && name.find('=') == std::string_view::npos;
}

// Opens a path for reading; -1 for paths that hold a NUL byte (the C call
// would otherwise open a shorter path) and for directories.
int openForReading(std::string_view path, int extraFlags) {
    if (holdsNul(path)) return -1;
    std::string cPath(path);
    int fd;
    do {
        fd = ::open(cPath.c_str(), O_RDONLY | O_CLOEXEC | extraFlags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now and reports whether closing succeeded.
    bool reset() {
        if (fd_ < 0) return true;
        bool ok = ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

} // namespace

std::string_view systemName() {
#if defined(_WIN32)
    return "Windows";
#elif defined(__APPLE__)
    return "macOS";
#elif defined(__linux__)
    return "Linux";
#elif defined(__FreeBSD__)
    return "FreeBSD";
#else
    return "Unknown";
#endif
}

std::string_view machineArchitecture() {
#if defined(__x86_64__) || defined(_M_X64)
    return "x86_64";
#elif defined(__aarch64__) || defined(_M_ARM64)
    return "aarch64";
#elif defined(__i386__) || defined(_M_IX86)
    return "x86";
#elif defined(__arm__)
    return "arm";
#elif defined(__riscv) && __riscv_xlen == 64
    return "riscv64";
#else
    return "unknown";
#endif
}

int64_t currentProcessId() { return static_cast<int64_t>(::getpid()); }

std::string hostName() {
    char buffer[256];
    if (::gethostname(buffer, sizeof buffer) != 0) return "localhost";
    buffer[sizeof buffer - 1] = '\0';
    if (buffer[0] == '\0') return "localhost";
    return buffer;
}

std::string currentDirectory() {
    std::vector<char> buffer(PATH_MAX);
    while (true) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) return buffer.data();
        if (errno != ERANGE || buffer.size() > (1u << 20)) return ".";
        buffer.resize(buffer.size() * 2);
    }
}

std::string homeDirectory() {
    if (const char* profile = std::getenv("USERPROFILE"); profile != nullptr && *profile != '\0')
        return profile;
    if (const char* home = std::getenv("HOME"); home != nullptr) return home;
    return {};
}

std::string executablePath() {
    std::vector<char> buffer(PATH_MAX);
    while (true) {
        ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(length));
        if (buffer.size() > (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::string> environmentVariable(std::string_view name) {
    if (!isVariableName(name)) return std::nullopt;
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool setEnvironmentVariable(std::string_view name, std::string_view value) {
    if (!isVariableName(name) || holdsNul(value)) return false;
    return ::setenv(std::string(name).c_str(), std::string(value).c_str(), 1) == 0;
}

int runShellCommand(std::string_view command) {
    if (holdsNul(command)) return -1;
    int status = std::system(std::string(command).c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

int64_t spawnShellCommand(std::string_view command) {
    if (holdsNul(command)) return -1;
    // An intermediate child starts the shell and exits at once, handing the
    // shell's process id back through a pipe. This process reaps the
    // intermediate child; the shell is adopted by the system, which reaps it
    // when it ends. The children only call pipe2, fork, execve, read, write,
    // close and _exit, which are safe between fork and exec.
    std::string commandText(command);
    char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), commandText.data(),
                    nullptr};
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return -1;
    FileDescriptor readEnd(report[0]);
    FileDescriptor writeEnd(report[1]);

    pid_t intermediate = ::fork();
    if (intermediate < 0) return -1;
    if (intermediate == 0) {
        // The shell reports a failed exec (a command line too long for the
        // system, say) over a pipe that a successful exec closes unwritten.
        int execReport[2];
        if (::pipe2(execReport, O_CLOEXEC) != 0) ::_exit(0);
        pid_t shell = ::fork();
        if (shell == 0) {
            ::execve("/bin/sh", argv, environ);
            int failure = errno;
            ssize_t ignored = ::write(execReport[1], &failure, sizeof failure);
            (void)ignored;
            ::_exit(127);
        }
        ::close(execReport[1]);
        int failure = 0;
        ssize_t got;
        do {
            got = ::read(execReport[0], &failure, sizeof failure);
        } while (got < 0 && errno == EINTR);
        if (shell > 0 && got == 0) {
            int64_t pid = shell;
            ssize_t ignored = ::write(report[1], &pid, sizeof pid);
            (void)ignored;
        }
        ::_exit(0);
    }
    writeEnd.reset();
    int64_t pid = -1;
    size_t got = 0;
    auto* bytes = reinterpret_cast<char*>(&pid);
    while (got < sizeof pid) {
        ssize_t n = ::read(readEnd.get(), bytes + got, sizeof pid - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    while (::waitpid(intermediate, nullptr, 0) < 0 && errno == EINTR) {
    }
    return got == sizeof pid && pid > 0 ? pid : -1;
}

void sleepMilliseconds(int64_t milliseconds) {
    if (milliseconds <= 0) return;
    struct timespec remaining {};
    remaining.tv_sec = static_cast<time_t>(milliseconds / 1000);
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

std::optional<std::string> readWholeFile(std::string_view path) {
    // Non-blocking, so that a named pipe without a writer does not hang the
    // open; anything but a regular file is then refused like a directory.
    FileDescriptor file(openForReading(path, O_NONBLOCK));
    if (file.get() < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    try {
        std::string content;
        if (info.st_size > 0) content.reserve(static_cast<size_t>(info.st_size));
        char buffer[65536];
        while (true) {
            ssize_t got = ::read(file.get(), buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return std::nullopt;
            if (got == 0) break;
            content.append(buffer, static_cast<size_t>(got));
        }
        return content;
    } catch (const std::exception&) {
        // Too large to hold in memory.
        return std::nullopt;
    }
}

bool writeWholeFile(std::string_view path, std::string_view content) {
    if (holdsNul(path)) return false;
    std::string cPath(path);
    // Only regular files are written, as directories are not: a named pipe
    // without a reader would block, a device is no file to replace.
    struct stat info {};
    if (::stat(cPath.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return false;
    int fd;
    do {
        fd = ::open(cPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    } while (fd < 0 && errno == EINTR);
    FileDescriptor file(fd);
    if (file.get() < 0) return false;
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    while (!content.empty()) {
        ssize_t put = ::write(file.get(), content.data(), content.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        content.remove_prefix(static_cast<size_t>(put));
    }
    return file.reset();
}

bool canOpenForReading(std::string_view path) {
    // Non-blocking, so that a named pipe without a writer does not hang here.
    FileDescriptor file(openForReading(path, O_NONBLOCK));
    return file.get() >= 0;
}

} // namespace zarn::stdlib::platform
