#include "vek/archive/SafeFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vek {
namespace {

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(-1); }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

bool failWith(std::string& error, const std::string& what) {
    error = what + ": " + std::strerror(errno);
    return false;
}

// Opens `root`, then each of the first `count` parts as a directory below it,
// creating those that are missing. Links are not followed below `root`.
bool openDirectoryChain(const std::filesystem::path& root, const std::vector<std::string>& parts,
                        std::size_t count, Descriptor& dir, std::string& error) {
    dir.reset(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) return failWith(error, "cannot open " + root.string());
    for (std::size_t i = 0; i < count; ++i) {
        const char* name = parts[i].c_str();
        if (::mkdirat(dir.get(), name, 0777) != 0 && errno != EEXIST) {
            return failWith(error, "cannot create directory " + parts[i]);
        }
        const int next = ::openat(dir.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) return failWith(error, "cannot enter directory " + parts[i]);
        dir.reset(next);
    }
    return true;
}

} // namespace

bool makeDirectoriesBelow(const std::filesystem::path& root, const std::vector<std::string>& parts,
                          std::string& error) {
    Descriptor dir;
    return openDirectoryChain(root, parts, parts.size(), dir, error);
}

bool writeFileBelow(const std::filesystem::path& root, const std::vector<std::string>& parts,
                    std::string_view data, std::string& error) {
    if (parts.empty()) {
        error = "no file name";
        return false;
    }
    Descriptor dir;
    if (!openDirectoryChain(root, parts, parts.size() - 1, dir, error)) return false;
    const char* name = parts.back().c_str();

    // Whatever stands at the name (a link, or a file that may be linked from
    // elsewhere) is removed first, so the new file is always a fresh inode.
    struct stat existing {};
    if (::fstatat(dir.get(), name, &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            errno = EISDIR;
            return failWith(error, "cannot replace directory " + parts.back());
        }
        if (::unlinkat(dir.get(), name, 0) != 0)
            return failWith(error, "cannot replace " + parts.back());
    }
    Descriptor file(
        ::openat(dir.get(), name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file.get() < 0) return failWith(error, "cannot create " + parts.back());
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(file.get(), data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return failWith(error, "cannot write " + parts.back());
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(file.release()) != 0) return failWith(error, "cannot close " + parts.back());
    return true;
}

} // namespace vek
