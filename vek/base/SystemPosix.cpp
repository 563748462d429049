#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

#include "vek/base/System.h"

namespace vek {
namespace fs = std::filesystem;

DirectoryLock::~DirectoryLock() {
    if (fd_ >= 0) ::close(fd_); // closing releases the lock
}

bool DirectoryLock::acquire(const fs::path& dir, std::string& error) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + dir.string() + ": " + std::strerror(errno);
        return false;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        error = "cannot lock " + dir.string() + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    return true;
}

fs::path makeTempDirectory(const fs::path& parent, std::string_view prefix, std::string& error) {
    std::string pattern =
        (parent / (std::string(prefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) {
        error = "cannot create a temporary directory in " + parent.string() + ": " +
                std::strerror(errno);
        return {};
    }
    return pattern;
}

HiddenInput::HiddenInput() {
    termios settings{};
    if (::isatty(STDIN_FILENO) != 1 || ::tcgetattr(STDIN_FILENO, &settings) != 0) return;
    savedFlags_ = settings.c_lflag;
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &settings) == 0;
}

HiddenInput::~HiddenInput() {
    termios settings{};
    if (!active_ || ::tcgetattr(STDIN_FILENO, &settings) != 0) return;
    settings.c_lflag = static_cast<tcflag_t>(savedFlags_);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &settings);
}

long currentProcessId() { return static_cast<long>(::getpid()); }

bool processAlive(long pid) {
    if (pid <= 0) return true;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

void sweepDeadTemporaries(const fs::path& dir, std::string_view prefix) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const char* digits = name.c_str() + prefix.size();
        char* stop = nullptr;
        const long pid = std::strtol(digits, &stop, 10);
        if (stop == digits || pid == currentProcessId() || processAlive(pid)) continue;
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

} // namespace vek
