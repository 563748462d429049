// CRC-32 (the ZIP polynomial) and SHA-256 (FIPS 180-4), both incremental.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vek {

// CRC-32 with the reflected polynomial 0xEDB88320, initial value all ones and
// final inversion. Pass the previous result to continue over more data.
std::uint32_t crc32(std::string_view data, std::uint32_t previous = 0);

class Sha256 {
public:
    Sha256();
    void update(std::string_view data);
    // The digest of everything given so far; the object must not be updated after.
    std::array<std::uint8_t, 32> finish();
    // finish() as 64 lowercase hexadecimal digits.
    std::string finishHex();

private:
    void compress(const std::uint8_t* block, std::size_t blocks);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

std::string sha256Hex(std::string_view data);
// The lowercase hexadecimal digest of a file's contents; nothing when it
// cannot be read.
std::optional<std::string> sha256File(const std::filesystem::path& path);

} // namespace vek
