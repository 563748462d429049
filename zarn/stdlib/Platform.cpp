#include "zarn/stdlib/Platform.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
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

}  // namespace

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
  if (const char* profile = std::getenv("USERPROFILE"); profile != nullptr && *profile != '\0') return profile;
  if (const char* home = std::getenv("HOME"); home != nullptr) return home;
  return {};
}

std::string executablePath() {
  std::vector<char> buffer(PATH_MAX);
  while (true) {
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(length));
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
  // A short-lived shell starts the command in the background, writes its
  // process id on descriptor 3 and exits at once; this process reaps that
  // shell, and the command itself is adopted by the system, which reaps it
  // when it ends. Descriptor 4 carries our standard input to the command,
  // because a background job of a shell would otherwise read /dev/null.
  bool haveStdin = ::fcntl(STDIN_FILENO, F_GETFD) != -1;
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return -1;
  FileDescriptor readEnd(report[0]);
  FileDescriptor writeEnd(report[1]);

  const char* script = haveStdin ? "/bin/sh -c \"$1\" <&4 4<&- 3>&- & echo $! >&3"
                                 : "/bin/sh -c \"$1\" 3>&- & echo $! >&3";
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  bool prepared = posix_spawn_file_actions_adddup2(&actions, report[1], 3) == 0 &&
                  (!haveStdin || posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, 4) == 0);
  std::string commandText(command);
  char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>(script),
                  const_cast<char*>("sh"), commandText.data(), nullptr};
  pid_t shell = -1;
  int spawnError = prepared ? posix_spawn(&shell, "/bin/sh", &actions, nullptr, argv, environ) : -1;
  posix_spawn_file_actions_destroy(&actions);
  writeEnd.reset();
  if (spawnError != 0) return -1;

  std::string digits;
  char buffer[32];
  while (digits.size() < 64) {
    ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    digits.append(buffer, static_cast<size_t>(got));
  }
  int shellStatus = 0;
  while (::waitpid(shell, &shellStatus, 0) < 0 && errno == EINTR) {
  }

  int64_t pid = 0;
  bool any = false;
  for (char c : digits) {
    if (c == '\n') break;
    if (c < '0' || c > '9' || pid > INT32_MAX) return -1;
    pid = pid * 10 + (c - '0');
    any = true;
  }
  return any && pid > 0 ? pid : -1;
}

std::optional<std::string> readWholeFile(std::string_view path) {
  FileDescriptor file(openForReading(path, 0));
  if (file.get() < 0) return std::nullopt;
  try {
    std::string content;
    struct stat info {};
    if (::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
      content.reserve(static_cast<size_t>(info.st_size));
    }
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
  int fd;
  do {
    fd = ::open(cPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  FileDescriptor file(fd);
  if (file.get() < 0) return false;
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

}  // namespace zarn::stdlib::platform
