// The error that ends a vek command: a code from the table below, the message
// shown under the header, an optional help line and the process exit code.
// Header-only so that the lower layers that raise it link nothing of the
// command line.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vek {

enum class ErrorCode : std::int32_t {
    ManifestParse = 0,
    InvalidPackageName = 1, // also every usage error of a command
    InvalidVersion = 2,
    DependencyNotFound = 3,
    DependencyConflict = 4,
    PackageNotFound = 5,
    ChecksumMismatch = 6,
    Registry = 7,
    Authentication = 8,
    InvalidArchive = 9,
    PathTraversal = 10,
    BuildFailed = 11,
};

// "VEK001" for code 0 and so on; "VEK000" for a value outside the table.
inline std::string errorIdentifier(ErrorCode code) {
    const auto value = static_cast<std::int32_t>(code);
    if (value < 0 || value > 11) return "VEK000";
    const int number = value + 1;
    return std::string("VEK0") + static_cast<char>('0' + number / 10) +
           static_cast<char>('0' + number % 10);
}

inline std::string_view errorName(ErrorCode code) {
    switch (code) {
    case ErrorCode::ManifestParse: return "manifest parse error";
    case ErrorCode::InvalidPackageName: return "invalid package name";
    case ErrorCode::InvalidVersion: return "invalid version or constraint";
    case ErrorCode::DependencyNotFound: return "dependency not found";
    case ErrorCode::DependencyConflict: return "dependency conflict";
    case ErrorCode::PackageNotFound: return "package not found";
    case ErrorCode::ChecksumMismatch: return "checksum verification failed";
    case ErrorCode::Registry: return "registry error";
    case ErrorCode::Authentication: return "authentication error";
    case ErrorCode::InvalidArchive: return "invalid package archive";
    case ErrorCode::PathTraversal: return "path traversal security violation";
    case ErrorCode::BuildFailed: return "build failed";
    }
    return "error";
}

class VekException : public std::runtime_error {
public:
    VekException(ErrorCode code, std::string message, std::string help, std::int32_t exitCode)
        : std::runtime_error(message), code_(code), message_(std::move(message)),
          help_(std::move(help)), exitCode_(exitCode) {}

    ErrorCode code() const { return code_; }
    const std::string& message() const { return message_; }
    const std::string& help() const { return help_; }
    std::int32_t exitCode() const { return exitCode_; }

private:
    ErrorCode code_;
    std::string message_;
    std::string help_;
    std::int32_t exitCode_;
};

} // namespace vek
