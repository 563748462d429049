#include "zarn/driver/FormatCommand.h"

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/driver/Driver.h"
#include "zarn/tools/FileReplace.h"
#include "zarn/tools/Formatter.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>

namespace zarn {

namespace {

namespace fs = std::filesystem;

constexpr const char* kCheckOption = "--check";

// Every ".zarn" file below `folder`, in a stable order. Folders behind
// symbolic links are not entered, so a link loop cannot trap the walk.
bool collectSources(const std::string& folder, std::vector<std::string>& files) {
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                          error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        std::error_code typeError;
        if (walk->path().extension() == ".zarn" && walk->is_regular_file(typeError))
            files.push_back(walk->path().string());
    }
    if (error) {
        std::cerr << "Error: could not read folder '" << folder << "': " << error.message() << "\n";
        return false;
    }
    std::sort(files.begin(), files.end());
    return true;
}

// Formats one file; `inFolder` files that are empty are left alone quietly.
int formatOne(const std::string& path, bool check, bool inFolder) {
    std::string source;
    if (!readSourceFile(path, source)) return 1;
    if (source.empty()) return inFolder ? 0 : 1;

    DiagnosticEngine engine;
    std::optional<std::string> formatted = formatSource(source, path, engine);
    if (!formatted) {
        engine.printAll(std::cout);
        return 1;
    }
    if (check) {
        if (*formatted == source) return 0;
        std::cout << "Would reformat: " << path << "\n";
        return 1;
    }
    std::string error;
    if (*formatted != source && !replaceFileContent(path, *formatted, error)) {
        std::cerr << "Error: could not write file '" << path << "': " << error << "\n";
        return 1;
    }
    std::cout << "\u2713 File formatted: " << path << "\n";
    return 0;
}

} // namespace

bool hasFormatPath(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& arg) { return arg != kCheckOption; });
}

int runFormatCommand(const std::vector<std::string>& args) {
    bool check = std::find(args.begin(), args.end(), kCheckOption) != args.end();
    int status = 0;
    for (const std::string& path : args) {
        if (path == kCheckOption) continue;
        std::error_code error;
        if (!fs::is_directory(path, error)) {
            status |= formatOne(path, check, false);
            continue;
        }
        std::vector<std::string> files;
        if (!collectSources(path, files)) status = 1;
        for (const std::string& file : files) status |= formatOne(file, check, true);
    }
    return status;
}

} // namespace zarn
