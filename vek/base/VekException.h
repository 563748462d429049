// The error that ends a vek command: a code from the table below, the message
// shown under the header, an optional help line and the process exit code.
// Every layer raises it; only the command line renders it.
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
    General = 12, // none of the above; renders as "VEK000"
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
    case ErrorCode::General: break;
    }
    return "error";
}

class VekException : public std::runtime_error {
public:
    VekException(ErrorCode code, std::string message, std::string help, std::int32_t exitCode)
        : std::runtime_error(message), code_(code), message_(std::move(message)),
          help_(std::move(help)), exitCode_(exitCode) {}

    // One factory per code and exit status that the commands use.
    static VekException manifest(std::string message) {
        return {ErrorCode::ManifestParse, std::move(message), "", 1};
    }
    // A missing or malformed argument of a command (exit 2).
    static VekException usage(std::string message) {
        return {ErrorCode::InvalidPackageName, std::move(message), "", 2};
    }
    // A name that breaks the package-name rules where a project is created.
    static VekException invalidName(std::string message) {
        return {ErrorCode::InvalidPackageName, std::move(message), "", 6};
    }
    static VekException invalidVersion(std::string message) {
        return {ErrorCode::InvalidVersion, std::move(message), "", 1};
    }
    static VekException dependencyNotFound(std::string message) {
        return {ErrorCode::DependencyNotFound, std::move(message), "", 1};
    }
    static VekException conflict(std::string message, std::string help) {
        return {ErrorCode::DependencyConflict, std::move(message), std::move(help), 4};
    }
    static VekException packageNotFound(std::string message) {
        return {ErrorCode::PackageNotFound, std::move(message), "", 1};
    }
    static VekException checksum(std::string message, std::string help) {
        return {ErrorCode::ChecksumMismatch, std::move(message), std::move(help), 7};
    }
    static VekException registry(std::string message, std::string help = "") {
        return {ErrorCode::Registry, std::move(message), std::move(help), 1};
    }
    static VekException authentication(std::string message, std::string help) {
        return {ErrorCode::Authentication, std::move(message), std::move(help), 8};
    }
    static VekException archive(std::string message) {
        return {ErrorCode::InvalidArchive, std::move(message), "", 1};
    }
    static VekException pathTraversal(std::string message) {
        return {ErrorCode::PathTraversal, std::move(message), "", 1};
    }
    static VekException build(std::string message) {
        return {ErrorCode::BuildFailed, std::move(message), "", 1};
    }
    // A failure of the system around a command (a file that cannot be
    // removed) that fits none of the codes.
    static VekException general(std::string message) {
        return {ErrorCode::General, std::move(message), "", 1};
    }

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
