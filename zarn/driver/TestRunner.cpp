#include "zarn/driver/TestRunner.h"

#include "zarn/driver/Driver.h"
#include "zarn/driver/HostProcess.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <vector>

namespace zarn {

namespace {

namespace fs = std::filesystem;

// Every file or directory below `directory` whose extension is exactly
// ".zarn", sorted by bytes so that runs are reproducible whatever order the
// file system lists them in. False when the walk failed.
bool collectTests(const std::string& directory, std::vector<std::string>& files) {
    std::error_code error;
    fs::recursive_directory_iterator walk(directory, error);
    for (const fs::recursive_directory_iterator end; !error && walk != end; walk.increment(error)) {
        const fs::path& entry = walk->path();
        if (entry.extension() != ".zarn") continue;
        // A directory is listed (it fails as a test); a named pipe, a socket or
        // a device is skipped unopened: opening a pipe without a writer would
        // block the whole run.
        std::error_code typeError;
        fs::file_type type = walk->status(typeError).type();
        if (type == fs::file_type::regular || type == fs::file_type::directory ||
            type == fs::file_type::not_found)
            files.push_back(entry.string());
    }
    if (error) {
        std::cerr << "Error: could not read directory '" << directory << "': " << error.message()
                  << "\n";
        return false;
    }
    std::sort(files.begin(), files.end());
    return true;
}

} // namespace

int runTests(const std::string& path) {
    std::error_code error;
    fs::file_status status = fs::status(path, error);
    std::vector<std::string> files;
    if (fs::is_directory(status)) {
        if (!collectTests(path, files)) return 1;
    } else if (status.type() == fs::file_type::not_found) {
        std::cerr << "Error: path '" << path << "' not found.\n";
        return 1;
    } else if (error) {
        std::cerr << "Error: could not access path '" << path << "': " << error.message() << "\n";
        return 1;
    } else {
        files.push_back(path);
    }

    std::cout << "Running Zarn automated tests (" << files.size() << " files found)...\n\n";
    size_t passed = 0;
    size_t failed = 0;
    for (const std::string& file : files) {
        std::cout << "Running test: " << file << " ... " << std::flush;
        // Each test runs in a process of its own, so that a test that ends the
        // process (process.exit, with any status) ends only itself.
        if (runInChildProcess([&file]() { return runFile(file, {}); }) != 0) {
            std::cout << "[FAIL]\n";
            ++failed;
        } else {
            std::cout << "[PASS]\n";
            ++passed;
        }
    }
    std::cout << "\nTest Summary: " << passed << " passed, " << failed << " failed.\n";
    return failed > 0 ? 1 : 0;
}

} // namespace zarn
