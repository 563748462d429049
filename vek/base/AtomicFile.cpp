#include "vek/base/AtomicFile.h"

#include "vek/base/System.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace vek {
namespace {

constexpr std::size_t kBufferSize = 1 << 18;

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

namespace {

// Temporaries are named "." + stem + ".tmp" + pid + "-" + tick + extension:
// hidden, and matched by the same ignore patterns as the file they replace
// ("*.vek" covers ".p-1.0.0.tmp42-7.vek").
std::string tempPrefix(const std::filesystem::path& target) {
    return "." + target.stem().string() + ".tmp";
}

} // namespace

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::open(const std::filesystem::path& target, FileAccess access) {
    discard();
    target_ = target;
    failed_ = false;
    error_.clear();
    const std::filesystem::path dir = target.parent_path().empty() ? "." : target.parent_path();
    // What a killed writer of this file left behind goes first.
    sweepDeadTemporaries(dir, tempPrefix(target));

    mode_t mode = 0666; // narrowed by the process's umask when the file is created
    struct stat existing {};
    if (access == FileAccess::OwnerOnly) {
        mode = 0600;
    } else if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        mode = existing.st_mode & 07777;
    }

    // A name nobody else uses: the process id and a clock tick, retried on a clash.
    auto tick = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt, ++tick) {
        temp_ = dir / (tempPrefix(target) + std::to_string(::getpid()) + "-" +
                       std::to_string(tick % 1000000007ULL) + target.extension().string());
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd_ >= 0) break;
        if (errno != EEXIST) break;
    }
    if (fd_ < 0) {
        error_ = systemError("cannot create temporary file");
        temp_.clear();
        return false;
    }
    // The creation mode went through the umask; an existing file's own mode or
    // the owner-only mode is set exactly.
    if (access == FileAccess::OwnerOnly || S_ISREG(existing.st_mode)) {
        if (::fchmod(fd_, mode) != 0) {
            error_ = systemError("cannot set file mode");
            discard();
            return false;
        }
    }
    buffer_.reserve(kBufferSize);
    return true;
}

bool AtomicFile::write(std::string_view data) {
    if (fd_ < 0 || failed_) return false;
    if (buffer_.size() + data.size() > kBufferSize && !flush()) return false;
    if (data.size() >= kBufferSize) return writeAll(data);
    buffer_.append(data);
    return true;
}

bool AtomicFile::flush() {
    if (!writeAll(buffer_)) return false;
    buffer_.clear();
    return true;
}

bool AtomicFile::writeAll(std::string_view data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = systemError("cannot write file");
            failed_ = true;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool AtomicFile::commit() {
    if (fd_ < 0 || failed_ || !flush()) {
        discard();
        return false;
    }
    if (::fsync(fd_) != 0) {
        error_ = systemError("cannot sync file");
        discard();
        return false;
    }
    if (::close(fd_) != 0) {
        fd_ = -1;
        error_ = systemError("cannot close file");
        discard();
        return false;
    }
    fd_ = -1;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        error_ = systemError("cannot replace file");
        discard();
        return false;
    }
    temp_.clear();
    return true;
}

void AtomicFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    buffer_.clear();
}

bool writeFileAtomically(const std::filesystem::path& target, std::string_view data,
                         FileAccess access, std::string* error) {
    AtomicFile file;
    if (file.open(target, access) && file.write(data) && file.commit()) return true;
    if (error) *error = file.error();
    return false;
}

} // namespace vek
