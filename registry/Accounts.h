// Passwords and API tokens: passwords are kept as salted PBKDF2-HMAC-SHA256
// digests, tokens as the SHA-256 digest of 32 random bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace registry {

inline constexpr int kPasswordIterations = 210000;

struct PasswordHash {
    std::string salt;   // raw bytes
    std::string digest; // raw bytes
    int iterations = kPasswordIterations;
};

std::optional<PasswordHash> hashPassword(std::string_view password,
                                         int iterations = kPasswordIterations);
// Compares in constant time.
bool verifyPassword(std::string_view password, const PasswordHash& stored);

// A new token as 64 lowercase hexadecimal digits; nothing when the system
// has no randomness to give.
std::optional<std::string> newToken();
// What the store keeps of a token: the hex SHA-256 of its text.
std::string tokenDigest(std::string_view token);

// Account names: 1 to 64 ASCII letters, digits, "-", "_" or ".", starting with a
// letter or digit. False with a reason otherwise.
bool validateUserName(std::string_view name, std::string& reason);
// A plausible e-mail address: one "@" with text on both sides, no spaces
// or control bytes, at most 254 bytes.
bool validateEmail(std::string_view email, std::string& reason);

} // namespace registry
