// Runs one golden case: a program invocation whose standard output, standard
// error and exit status are compared byte for byte with files beside it.
//
//   golden_runner <program> <case-base>
//
// For the case base "dir/name" the files are:
//   name.out     expected standard output (required; defines the case)
//   name.err     expected standard error (optional; ignored when absent)
//   name.status  expected exit status (optional; default 0)
//   name.args    the arguments, one per line (optional; default "run name.zarn")
//   name.stdin   standard input (optional; default empty)
//   name.env     extra environment, one KEY=VALUE per line (optional)
// The program runs in "dir". With ZARN_BLESS=1 the expected files are rewritten
// from the actual run instead of compared, for review in the diff.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kTimeoutSeconds = 60;

std::optional<std::string> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

struct Outcome {
    std::string out, err;
    int status = -1;
    bool timedOut = false;
};

Outcome run(const std::string& program, const std::vector<std::string>& args, const fs::path& dir,
            const std::string& input, const std::vector<std::string>& env) {
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe(inPipe) || pipe(outPipe) || pipe(errPipe)) {
        perror("pipe");
        std::exit(2);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
        posix_spawn_file_actions_addclose(&actions, fd);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    Outcome outcome;
    if (rc != 0) {
        std::cerr << "cannot start " << program << ": " << strerror(rc) << "\n";
        std::exit(2);
    }

    signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    if (input.empty()) close(inPipe[1]), inPipe[1] = -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        std::vector<pollfd> fds;
        if (outOpen) fds.push_back({outPipe[0], POLLIN, 0});
        if (errOpen) fds.push_back({errPipe[0], POLLIN, 0});
        if (inPipe[1] >= 0) fds.push_back({inPipe[1], POLLOUT, 0});
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            outcome.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds.data(), fds.size(), static_cast<int>(left)) < 0) continue;
        for (const pollfd& p : fds) {
            if (!p.revents) continue;
            if (p.fd == inPipe[1]) {
                ssize_t n = write(p.fd, input.data() + written, input.size() - written);
                if (n > 0) written += static_cast<size_t>(n);
                if (n < 0 || written == input.size()) close(inPipe[1]), inPipe[1] = -1;
                continue;
            }
            char buffer[65536];
            ssize_t n = read(p.fd, buffer, sizeof buffer);
            bool isOut = p.fd == outPipe[0];
            if (n <= 0) {
                (isOut ? outOpen : errOpen) = false;
            } else {
                (isOut ? outcome.out : outcome.err).append(buffer, static_cast<size_t>(n));
            }
        }
    }
    if (inPipe[1] >= 0) close(inPipe[1]);
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) outcome.status = 128 + WTERMSIG(status);
    return outcome;
}

// Reports the first difference between two texts with a little context.
bool compare(const std::string& what, const std::string& expected, const std::string& actual) {
    if (expected == actual) return true;
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    std::cout << "--- " << what << " differs at byte " << at << "\n"
              << "--- expected:\n"
              << expected << "\n--- actual:\n"
              << actual << "\n--- end\n";
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: golden_runner <program> <case-base>\n";
        return 2;
    }
    std::string program = fs::absolute(argv[1]).string();
    fs::path base = fs::absolute(argv[2]);
    fs::path dir = base.parent_path();
    std::string name = base.filename().string();
    auto sibling = [&](const char* ext) { return dir / (name + ext); };

    std::vector<std::string> args;
    if (auto text = readFile(sibling(".args"))) args = lines(*text);
    else args = {"run", name + ".zarn"};

    // The inherited environment, with the case's settings replacing any
    // variable of the same name (getenv takes the first match).
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    auto setVariable = [&env](const std::string& entry) {
        std::string key = entry.substr(0, entry.find('=') + 1);
        std::erase_if(env,
                      [&](const std::string& e) { return e.compare(0, key.size(), key) == 0; });
        env.push_back(entry);
    };
    setVariable("TZ=UTC");
    setVariable("ZARN_HEADLESS=1");
    if (auto text = readFile(sibling(".env")))
        for (auto& line : lines(*text))
            if (line.find('=') != std::string::npos) setVariable(line);

    Outcome outcome = run(program, args, dir, readFile(sibling(".stdin")).value_or(""), env);
    if (outcome.timedOut) {
        std::cout << "timed out after " << kTimeoutSeconds << " s\n";
        return 1;
    }

    if (const char* bless = std::getenv("ZARN_BLESS"); bless && std::string(bless) == "1") {
        writeFile(sibling(".out"), outcome.out);
        if (!outcome.err.empty() || fs::exists(sibling(".err")))
            writeFile(sibling(".err"), outcome.err);
        if (outcome.status != 0)
            writeFile(sibling(".status"), std::to_string(outcome.status) + "\n");
        else fs::remove(sibling(".status"));
        return 0;
    }

    bool ok = compare("stdout", readFile(sibling(".out")).value_or(""), outcome.out);
    if (auto expectedErr = readFile(sibling(".err")))
        ok = compare("stderr", *expectedErr, outcome.err) && ok;
    int expectedStatus = 0;
    if (auto text = readFile(sibling(".status"))) expectedStatus = std::atoi(text->c_str());
    if (outcome.status != expectedStatus) {
        std::cout << "--- exit status " << outcome.status << ", expected " << expectedStatus
                  << "\n";
        if (!outcome.err.empty()) std::cout << "--- stderr:\n" << outcome.err << "\n";
        ok = false;
    }
    return ok ? 0 : 1;
}
