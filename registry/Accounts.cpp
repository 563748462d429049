#include "registry/Accounts.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "registry/Platform.h"
#include "vek/archive/Checksum.h"

namespace registry {
namespace {

constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kDigestBytes = 32;

std::optional<std::string> derive(std::string_view password, const std::string& salt,
                                  int iterations) {
    std::string digest(kDigestBytes, '\0');
    const int ok = PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                                     reinterpret_cast<const unsigned char*>(salt.data()),
                                     static_cast<int>(salt.size()), iterations, EVP_sha256(),
                                     static_cast<int>(digest.size()),
                                     reinterpret_cast<unsigned char*>(digest.data()));
    if (ok != 1) return std::nullopt;
    return digest;
}

bool isNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

} // namespace

std::optional<PasswordHash> hashPassword(std::string_view password, int iterations) {
    auto salt = systemRandomBytes(kSaltBytes);
    if (!salt) return std::nullopt;
    auto digest = derive(password, *salt, iterations);
    if (!digest) return std::nullopt;
    return PasswordHash{std::move(*salt), std::move(*digest), iterations};
}

bool verifyPassword(std::string_view password, const PasswordHash& stored) {
    if (stored.iterations <= 0 || stored.digest.size() != kDigestBytes) return false;
    const auto digest = derive(password, stored.salt, stored.iterations);
    return digest && CRYPTO_memcmp(digest->data(), stored.digest.data(), kDigestBytes) == 0;
}

std::optional<std::string> newToken() {
    const auto bytes = systemRandomBytes(32);
    if (!bytes) return std::nullopt;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const char byte : *bytes) {
        const auto value = static_cast<unsigned char>(byte);
        text += kHex[value >> 4];
        text += kHex[value & 0xF];
    }
    return text;
}

std::string tokenDigest(std::string_view token) { return vek::sha256Hex(token); }

bool validateUserName(std::string_view name, std::string& reason) {
    if (name.empty() || name.size() > 64) {
        reason = "a user name has 1 to 64 characters";
        return false;
    }
    if (name.front() == '-' || name.front() == '_' || name.front() == '.') {
        reason = "a user name starts with a letter or a digit";
        return false;
    }
    for (const char c : name) {
        if (!isNameCharacter(c)) {
            reason = "a user name may only contain ASCII letters, digits, '-', '_' and '.'";
            return false;
        }
    }
    return true;
}

bool validateEmail(std::string_view email, std::string& reason) {
    const auto at = email.find('@');
    bool ok = email.size() <= 254 && at != std::string_view::npos && at > 0 &&
              at + 1 < email.size() && email.find('@', at + 1) == std::string_view::npos;
    for (const char c : email) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) ok = false;
    }
    if (!ok) reason = "'" + std::string(email.substr(0, 254)) + "' is not an e-mail address";
    return ok;
}

} // namespace registry
