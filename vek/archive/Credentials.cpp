#include "vek/archive/Credentials.h"

#include <fstream>
#include <sstream>

#include "vek/base/AtomicFile.h"
#include "vek/base/Json.h"

namespace vek {
namespace fs = std::filesystem;

fs::path credentialsPath(const fs::path& home) { return home / "credentials.json"; }

Credentials loadCredentials(const fs::path& home, bool* damaged) {
    Credentials credentials;
    if (damaged) *damaged = false;
    std::ifstream in(credentialsPath(home), std::ios::binary);
    if (!in) return credentials;
    std::ostringstream text;
    text << in.rdbuf();
    const auto members = readStringMembers(text.view());
    if (!members) {
        if (damaged) *damaged = true;
        return credentials;
    }
    auto take = [&members](const char* key, std::string& field) {
        if (const auto it = members->find(key); it != members->end()) field = it->second;
    };
    take("token", credentials.token);
    take("username", credentials.username);
    take("email", credentials.email);
    take("registryUrl", credentials.registryUrl);
    return credentials;
}

bool saveCredentials(const fs::path& home, const Credentials& credentials, std::string& error) {
    std::error_code ec;
    fs::create_directories(home, ec);
    if (ec || !fs::is_directory(home, ec)) {
        error = "Failed to create directory: " + home.string();
        return false;
    }
    const std::string text = "{\n  \"token\": " + jsonQuote(credentials.token) +
                             ",\n  \"username\": " + jsonQuote(credentials.username) +
                             ",\n  \"email\": " + jsonQuote(credentials.email) +
                             ",\n  \"registryUrl\": " + jsonQuote(credentials.registryUrl) +
                             "\n}\n";
    const fs::path path = credentialsPath(home);
    if (!writeFileAtomically(path, text, FileAccess::OwnerOnly)) {
        error = "Failed to open credentials file for writing: " + path.string();
        return false;
    }
    return true;
}

bool removeCredentials(const fs::path& home, std::string& error) {
    const fs::path path = credentialsPath(home);
    std::error_code ec;
    fs::remove(path, ec);
    // A home that is missing or is not a folder holds no credentials either.
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
        error = "Failed to remove credentials file: " + path.string();
        return false;
    }
    return true;
}

std::string resolveToken(const std::string& explicitToken, const std::string& environmentToken,
                         const fs::path& home) {
    if (!explicitToken.empty()) return explicitToken;
    if (!environmentToken.empty()) return environmentToken;
    return loadCredentials(home).token;
}

} // namespace vek
