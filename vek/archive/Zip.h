// The ".vek" archive: a ZIP file whose entries are all stored uncompressed,
// with zero times and dates so that the same files always give the same bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vek {

struct ArchiveEntry {
    std::string path; // relative, "/" separated
    std::string data;
};

// Writes the archive layout to a sink, entry by entry: each entry's local
// header and data at once, the central directory at the end.
class ZipWriter {
public:
    using Sink = std::function<bool(std::string_view)>;
    explicit ZipWriter(Sink sink) : sink_(std::move(sink)) {}

    // False with a reason when the entry cannot be represented (a name or a
    // size past the format's limits) or the sink fails.
    bool add(std::string_view name, std::string_view data, std::string& error);
    bool finish(std::string& error);
    // True once the sink refused data (the reason is the sink's own).
    bool sinkFailed() const { return sinkFailed_; }

private:
    struct Record {
        std::string name;
        std::uint32_t crc;
        std::uint32_t size;
        std::uint32_t offset;
    };
    bool emit(std::string_view bytes, std::string& error);

    Sink sink_;
    std::vector<Record> records_;
    std::uint64_t written_ = 0;
    bool sinkFailed_ = false;
};

// The archive as bytes (used for small archives and in tests).
std::string buildArchive(const std::vector<ArchiveEntry>& entries);

// Reads the entries from the local headers at the start of the archive; the
// list ends at the first record that is not a local header. Every entry's
// CRC-32 is checked, and headers, names or data that run past the end of the
// archive are refused.
bool parseArchive(std::string_view bytes, std::vector<ArchiveEntry>& entries, std::string& error);
bool readArchive(const std::filesystem::path& path, std::vector<ArchiveEntry>& entries,
                 std::string& error);

} // namespace vek
