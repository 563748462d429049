#include "zarn/tools/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace zarn {

namespace {

bool failWith(std::string& error, const char* what) {
    error = std::string(what) + ": " + std::strerror(errno);
    return false;
}

bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        content.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

} // namespace

bool replaceFileContent(const std::string& path, std::string_view content, std::string& error) {
    std::error_code code;
    std::filesystem::path target = std::filesystem::canonical(path, code);
    if (code) {
        error = code.message();
        return false;
    }
    struct stat status {};
    if (::stat(target.c_str(), &status) != 0) return failWith(error, "cannot read its mode");

    // The temporary file sits beside the target, so that the rename stays on
    // one file system and is atomic.
    std::string pattern =
        (target.parent_path() / ("." + target.filename().string() + ".fmt-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return failWith(error, "cannot create a temporary file");

    bool written = writeAll(fd, content);
    int savedErrno = errno;
    const char* step = "cannot write the temporary file";
    if (written && ::fchmod(fd, status.st_mode & 07777) != 0) {
        written = false;
        savedErrno = errno;
        step = "cannot set the file's mode";
    }
    if (written && ::fsync(fd) != 0) {
        written = false;
        savedErrno = errno;
        step = "cannot flush the temporary file";
    }
    if (::close(fd) != 0 && written) {
        written = false;
        savedErrno = errno;
        step = "cannot close the temporary file";
    }
    if (written && ::rename(name.data(), target.c_str()) != 0) {
        written = false;
        savedErrno = errno;
        step = "cannot replace the file";
    }
    if (!written) {
        ::unlink(name.data());
        errno = savedErrno;
        return failWith(error, step);
    }
    return true;
}

} // namespace zarn
