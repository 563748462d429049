// Replacing a file as one step: the new contents go into a temporary file
// beside the target, which is then renamed over it, so that a reader (or a
// crash) never sees half a file. AtomicFile.cpp is the only place in the
// base layer that writes files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vek {

enum class FileAccess {
    Default,   // the mode of the file it replaces, else the usual mode for new files
    OwnerOnly, // readable and writable by its owner only (secrets)
};

class AtomicFile {
public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile(); // an uncommitted file is thrown away

    // Creates the temporary file in the target's directory.
    bool open(const std::filesystem::path& target, FileAccess access);
    bool write(std::string_view data);
    // Flushes, syncs and renames the temporary file over the target.
    bool commit();
    // What went wrong with the last failing call, as the system describes it.
    const std::string& error() const { return error_; }
    // Throws the temporary file away; the target stays as it was.
    void discard();

private:
    bool flush();
    bool writeAll(std::string_view data);

    std::filesystem::path target_;
    std::filesystem::path temp_;
    std::string buffer_;
    std::string error_;
    int fd_ = -1;
    bool failed_ = false;
};

// Writes the whole of `data` to `target` through an AtomicFile.
bool writeFileAtomically(const std::filesystem::path& target, std::string_view data,
                         FileAccess access, std::string* error = nullptr);

} // namespace vek
