#include "vek/archive/Zip.h"

#include <fstream>

#include "vek/archive/Checksum.h"

namespace vek {
namespace {

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::uint64_t kMaxField32 = 0xFFFFFFFFu;
constexpr std::size_t kMaxField16 = 0xFFFF;
// Sizes and offsets are 32-bit fields, so no archive can be larger.
constexpr std::uint64_t kMaxArchiveSize = kMaxField32;

void put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::uint32_t get16(std::string_view b, std::size_t at) {
    return std::uint32_t{static_cast<std::uint8_t>(b[at])} |
           std::uint32_t{static_cast<std::uint8_t>(b[at + 1])} << 8;
}

std::uint32_t get32(std::string_view b, std::size_t at) {
    return get16(b, at) | get16(b, at + 2) << 16;
}

std::string offsetText(std::size_t offset) { return " at offset " + std::to_string(offset); }

} // namespace

bool ZipWriter::emit(std::string_view bytes, std::string& error) {
    written_ += bytes.size();
    if (!sink_(bytes)) {
        sinkFailed_ = true;
        error = "could not write archive data";
        return false;
    }
    return true;
}

bool ZipWriter::add(std::string_view name, std::string_view data, std::string& error) {
    if (name.size() > kMaxField16) {
        error =
            "Entry name is too long for the archive format: " + std::string(name.substr(0, 80)) +
            "...";
        return false;
    }
    if (records_.size() >= kMaxField16) {
        error = "Too many files for the archive format (at most 65535).";
        return false;
    }
    if (written_ + kLocalHeaderSize + name.size() + data.size() > kMaxArchiveSize) {
        error = "Archive would exceed 4 GiB at entry: " + std::string(name);
        return false;
    }
    const Record record{std::string(name), crc32(data), static_cast<std::uint32_t>(data.size()),
                        static_cast<std::uint32_t>(written_)};
    std::string header;
    header.reserve(kLocalHeaderSize + name.size());
    put32(header, kLocalSignature);
    put16(header, 10); // version needed
    put16(header, 0);  // flags
    put16(header, 0);  // stored
    put16(header, 0);  // time
    put16(header, 0);  // date
    put32(header, record.crc);
    put32(header, record.size);
    put32(header, record.size);
    put16(header, static_cast<std::uint32_t>(name.size()));
    put16(header, 0); // extra length
    header += name;
    if (!emit(header, error) || !emit(data, error)) return false;
    records_.push_back(record);
    return true;
}

bool ZipWriter::finish(std::string& error) {
    std::string directory;
    for (const Record& r : records_) {
        put32(directory, kCentralSignature);
        put16(directory, 20); // version made by
        put16(directory, 10); // version needed
        put16(directory, 0);  // flags
        put16(directory, 0);  // stored
        put16(directory, 0);  // time
        put16(directory, 0);  // date
        put32(directory, r.crc);
        put32(directory, r.size);
        put32(directory, r.size);
        put16(directory, static_cast<std::uint32_t>(r.name.size()));
        put16(directory, 0); // extra length
        put16(directory, 0); // comment length
        put16(directory, 0); // disk number
        put16(directory, 0); // internal attributes
        put32(directory, 0); // external attributes
        put32(directory, r.offset);
        directory += r.name;
    }
    if (written_ + directory.size() + 22 > kMaxArchiveSize) {
        error = "Archive would exceed 4 GiB.";
        return false;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(written_);
    const auto count = static_cast<std::uint32_t>(records_.size());
    put32(directory, kEndSignature);
    put16(directory, 0); // this disk
    put16(directory, 0); // disk of the directory
    put16(directory, count);
    put16(directory, count);
    put32(directory, static_cast<std::uint32_t>(directory.size() - 12));
    put32(directory, directoryOffset);
    put16(directory, 0); // comment length
    return emit(directory, error);
}

std::string buildArchive(const std::vector<ArchiveEntry>& entries) {
    std::string bytes;
    ZipWriter writer([&bytes](std::string_view data) {
        bytes += data;
        return true;
    });
    std::string error;
    for (const ArchiveEntry& entry : entries) writer.add(entry.path, entry.data, error);
    writer.finish(error);
    return bytes;
}

bool parseArchive(std::string_view bytes, std::vector<ArchiveEntry>& entries, std::string& error) {
    entries.clear();
    std::size_t pos = 0;
    while (bytes.size() - pos >= 4 && get32(bytes, pos) == kLocalSignature) {
        if (bytes.size() - pos < kLocalHeaderSize) {
            error = "Truncated archive: local header" + offsetText(pos) +
                    " runs past the end of the file.";
            return false;
        }
        const std::uint32_t flags = get16(bytes, pos + 6);
        const std::uint32_t method = get16(bytes, pos + 8);
        const std::uint32_t crc = get32(bytes, pos + 14);
        const std::uint64_t compressed = get32(bytes, pos + 18);
        const std::uint64_t uncompressed = get32(bytes, pos + 22);
        const std::size_t nameLength = get16(bytes, pos + 26);
        const std::size_t extraLength = get16(bytes, pos + 28);
        const std::size_t nameAt = pos + kLocalHeaderSize;
        if (bytes.size() - nameAt < nameLength + extraLength) {
            error = "Truncated archive: entry name" + offsetText(pos) +
                    " runs past the end of the file.";
            return false;
        }
        std::string name(bytes.substr(nameAt, nameLength));
        const std::size_t dataAt = nameAt + nameLength + extraLength;
        if (bytes.size() - dataAt < compressed) {
            error =
                "Truncated archive: data of entry '" + name + "' runs past the end of the file.";
            return false;
        }
        // Only stored entries whose sizes sit in the local header can be read;
        // anything else would be taken for its raw bytes.
        if (method != 0 || (flags & 0x9) != 0 || compressed != uncompressed) {
            error = "Unsupported archive entry '" + name +
                    "': only unencrypted stored entries are allowed.";
            return false;
        }
        std::string_view data = bytes.substr(dataAt, compressed);
        if (crc32(data) != crc) {
            error = "CRC-32 mismatch in archive entry '" + name + "': the archive is damaged.";
            return false;
        }
        entries.push_back({std::move(name), std::string(data)});
        pos = dataAt + compressed;
    }
    return true;
}

bool readArchive(const std::filesystem::path& path, std::vector<ArchiveEntry>& entries,
                 std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!in || ec) {
        error = "Could not open archive: " + path.string();
        return false;
    }
    if (size > kMaxArchiveSize) {
        error = "Archive is larger than 4 GiB: " + path.string();
        return false;
    }
    std::string bytes(size, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (static_cast<std::uintmax_t>(in.gcount()) != size) {
        error = "Could not read archive: " + path.string();
        return false;
    }
    return parseArchive(bytes, entries, error);
}

} // namespace vek
