#include "registry/Platform.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/random.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <thread>

namespace registry {

std::optional<std::string> systemRandomBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::size_t filled = 0;
    while (filled < size) {
        const ssize_t got = ::getrandom(bytes.data() + filled, size - filled, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        filled += static_cast<std::size_t>(got);
    }
    return bytes;
}

bool syncDirectory(const std::filesystem::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

std::optional<std::string> readSecretLine(const std::string& prompt) {
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios saved{};
    if (terminal) {
        std::cerr << prompt << std::flush;
        if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::cerr << "\n";
    }
    if (!got && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool FolderLock::acquire(const std::filesystem::path& file, std::string& error) {
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        error = "cannot open " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? "another registry server is using this data folder"
                                     : "cannot lock " + file.string() + ": " + std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    return true;
}

namespace {

sigset_t stopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR1); // wakes the waiting thread when it is destroyed
    return set;
}

} // namespace

void blockStopSignals() {
    const sigset_t set = stopSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A peer that closes early must never end the process.
    std::signal(SIGPIPE, SIG_IGN);
}

struct StopSignals::State {
    std::thread thread;
    std::atomic<bool> closing{false};
};

StopSignals::StopSignals(std::function<void()> onStop) : state_(std::make_unique<State>()) {
    State* state = state_.get();
    state->thread = std::thread([state, onStop = std::move(onStop)] {
        const sigset_t set = stopSignalSet();
        for (;;) {
            int signal = 0;
            if (::sigwait(&set, &signal) != 0) continue;
            if (state->closing) return;
            if (signal == SIGUSR1) continue;
            onStop();
            return;
        }
    });
}

StopSignals::~StopSignals() {
    state_->closing = true;
    ::pthread_kill(state_->thread.native_handle(), SIGUSR1);
    state_->thread.join();
}

} // namespace registry
