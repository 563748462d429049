#include "vek/archive/Package.h"

#include <algorithm>
#include <fstream>

#include "vek/archive/Checksum.h"
#include "vek/archive/SafeFiles.h"
#include "vek/archive/Zip.h"
#include "vek/base/AtomicFile.h"

namespace vek {
namespace fs = std::filesystem;
namespace {

bool readWholeFile(const fs::path& path, std::string& data) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec) return false;
    data.resize(size);
    in.read(data.data(), static_cast<std::streamsize>(size));
    return static_cast<std::uintmax_t>(in.gcount()) == size && in.peek() == EOF;
}

bool isRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// Whether the file at `path` may go into the archive: a regular file, or a
// link to a regular file inside the project. A link that leads out of the
// project would pack a file the author never meant to publish under an
// innocent name, and special files (FIFOs, sockets, devices) are no sources;
// both are refused with the reason, never skipped silently.
bool mayPack(const fs::path& projectDir, const fs::path& path, const std::string& name,
             std::string& error) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (fs::is_regular_file(status)) return true;
    if (fs::is_symlink(status)) {
        const fs::path root = fs::weakly_canonical(projectDir, ec);
        const fs::path target = fs::weakly_canonical(path, ec);
        const fs::path inside = target.lexically_relative(root);
        if (ec || inside.empty() || *inside.begin() == "..") {
            error = "Refusing to package '" + name + "': it is a link to " + target.string() +
                    ", outside the project.";
            return false;
        }
        if (fs::is_regular_file(target, ec)) return true;
        error = "Refusing to package '" + name + "': it is a link that does not name a file.";
        return false;
    }
    error = "Refusing to package '" + name + "': it is not a regular file.";
    return false;
}

// Every file below `dir`, as paths relative to `base` with "/" separators,
// sorted so that the archive does not depend on the order in which the file
// system lists directories.
bool collectSources(const fs::path& base, const fs::path& dir, std::vector<std::string>& out,
                    std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return true;
    fs::recursive_directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) continue;
        std::string name = it->path().lexically_relative(base).generic_string();
        if (!mayPack(base, it->path(), name, error)) return false;
        std::replace(name.begin(), name.end(), '\\', '/');
        out.push_back(std::move(name));
    }
    if (ec) {
        error = "Failed to read directory " + dir.string() + ": " + ec.message();
        return false;
    }
    std::sort(out.begin(), out.end());
    return true;
}

} // namespace

bool packProject(const fs::path& projectDir, const fs::path& archivePath,
                 std::vector<std::string>& files, std::string& checksum, std::string& error) {
    files.clear();
    if (!isRegularFile(projectDir / "zarn.toml")) {
        error = "Project missing zarn.toml manifest.";
        return false;
    }
    for (const char* top : {"zarn.toml", "README.md", "LICENSE"}) {
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(projectDir / top, ec))) continue;
        if (!mayPack(projectDir, projectDir / top, top, error)) return false;
        files.push_back(top);
    }
    std::vector<std::string> sources;
    if (!collectSources(projectDir, projectDir / "src", sources, error)) return false;
    if (sources.empty()) {
        error = "Project contains no source files under src/.";
        return false;
    }
    files.insert(files.end(), sources.begin(), sources.end());

    std::error_code ec;
    if (archivePath.has_parent_path()) fs::create_directories(archivePath.parent_path(), ec);
    const std::string createFailure = "Failed to create archive file: " + archivePath.string();
    AtomicFile file;
    if (!file.open(archivePath, FileAccess::Default)) {
        error = createFailure;
        return false;
    }
    // The checksum is taken over the bytes as they are written.
    Sha256 hash;
    ZipWriter writer([&](std::string_view bytes) {
        hash.update(bytes);
        return file.write(bytes);
    });
    std::string data;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::path source = projectDir / fs::path(files[i]);
        if (!readWholeFile(source, data)) {
            error = "Failed to read file: " + source.string();
            return false;
        }
        if (!writer.add(files[i], data, error)) {
            if (writer.sinkFailed()) error = createFailure;
            return false;
        }
    }
    if (!writer.finish(error)) {
        if (writer.sinkFailed()) error = createFailure;
        return false;
    }
    if (!file.commit()) {
        error = createFailure;
        return false;
    }
    checksum = "sha256:" + hash.finishHex();
    return true;
}

bool safeEntryParts(std::string_view name, std::vector<std::string>& parts) {
    parts.clear();
    if (name.empty() || name.find('\0') != std::string_view::npos) return false;
    if (name.size() >= 2 && name[1] == ':') return false;
    std::string normal(name);
    std::replace(normal.begin(), normal.end(), '\\', '/');
    if (normal.front() == '/') return false;
    std::size_t start = 0;
    while (start <= normal.size()) {
        const auto slash = std::min(normal.find('/', start), normal.size());
        std::string part = normal.substr(start, slash - start);
        start = slash + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (parts.empty()) return false;
            parts.pop_back();
        } else {
            parts.push_back(std::move(part));
        }
    }
    return true;
}

bool isSafeFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

bool unpackArchive(const fs::path& archivePath, const fs::path& targetDir, std::string& error) {
    std::vector<ArchiveEntry> entries;
    if (!readArchive(archivePath, entries, error)) return false;
    if (entries.empty()) return true;

    std::vector<std::vector<std::string>> targets(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!safeEntryParts(entries[i].path, targets[i])) {
            error = "Path traversal security violation in archive entry: " + entries[i].path;
            return false;
        }
    }

    std::error_code ec;
    fs::create_directories(targetDir, ec);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ArchiveEntry& entry = entries[i];
        fs::path destination = targetDir;
        for (const auto& part : targets[i]) destination /= part;
        // A name ending in "/" with no data is a directory of its own.
        const bool directory = !entry.path.empty() &&
                               (entry.path.back() == '/' || entry.path.back() == '\\') &&
                               entry.data.empty();
        std::string reason;
        const bool ok = directory ? makeDirectoriesBelow(targetDir, targets[i], reason)
                                  : writeFileBelow(targetDir, targets[i], entry.data, reason);
        if (!ok) {
            error = "Failed to write extracted file: " + destination.string();
            return false;
        }
    }
    return true;
}

} // namespace vek
