#include <errno.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "vek/registry/Toolchain.h"

extern char** environ;

namespace vek {
namespace fs = std::filesystem;
namespace {

bool isExecutableFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

fs::path findToolchain(const fs::path& currentDir) {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && isExecutableFile(self.parent_path() / "zarn")) {
        return fs::weakly_canonical(self.parent_path() / "zarn", ec);
    }
    for (const char* candidate : {"build/zarn", "../build/zarn", "../../build/zarn"}) {
        const fs::path path = currentDir / candidate;
        if (isExecutableFile(path)) return fs::weakly_canonical(path, ec);
    }
    return "zarn";
}

int runProgram(const fs::path& program, const std::vector<std::string>& arguments,
               std::string& error) {
    std::vector<std::string> words;
    words.push_back(program.string());
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    // A bare name is looked up in PATH; a path is started as it is.
    const bool search = program.string().find('/') == std::string::npos;
    const int failed = search
                           ? ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ)
                           : ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (failed != 0) {
        error = "Failed to start " + program.string() + ": " + std::strerror(failed);
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            error = "Failed to wait for " + program.string() + ": " + std::strerror(errno);
            return -1;
        }
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

} // namespace vek
