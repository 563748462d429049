// The saved registry credentials, "credentials.json" in the home directory.
#pragma once

#include <filesystem>
#include <string>

namespace vek {

struct Credentials {
    std::string token;
    std::string username;
    std::string email;
    std::string registryUrl;
};

std::filesystem::path credentialsPath(const std::filesystem::path& home);
// The saved credentials; empty ones when the file is missing or unreadable.
// `damaged` (when given) tells whether the file exists but could not be read.
Credentials loadCredentials(const std::filesystem::path& home, bool* damaged = nullptr);
// Replaces the file in one step, readable by its owner only.
bool saveCredentials(const std::filesystem::path& home, const Credentials& credentials,
                     std::string& error);
// Deletes the file when it exists.
bool removeCredentials(const std::filesystem::path& home, std::string& error);

// The first non-empty of: the token given on the command line, the token
// from the environment (VEK_TOKEN), the saved token.
std::string resolveToken(const std::string& explicitToken, const std::string& environmentToken,
                         const std::filesystem::path& home);

} // namespace vek
