#include "registry/Validation.h"

#include <set>

#include "vek/archive/Checksum.h"
#include "vek/archive/Package.h"
#include "vek/archive/Zip.h"
#include "vek/manifest/Manifest.h"

namespace registry {
namespace {

bool isPlainIdentifier(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        const bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        if (!ok) return false;
    }
    return true;
}

bool isDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Control characters and DEL have no place in an entry name.
bool hasControlBytes(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    }
    return false;
}

// The name as it can be shown in a message: control bytes become "?".
std::string visible(std::string_view text) {
    std::string out(text.substr(0, 200));
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return out;
}

} // namespace

bool isPlainVersion(const vek::Version& version) {
    for (const auto& identifier : version.prerelease) {
        if (!isPlainIdentifier(identifier)) return false;
    }
    if (!version.build.empty()) {
        std::size_t start = 0;
        while (start <= version.build.size()) {
            const auto dot = std::min(version.build.find('.', start), version.build.size());
            if (!isPlainIdentifier(std::string_view(version.build).substr(start, dot - start))) {
                return false;
            }
            start = dot + 1;
        }
    }
    return true;
}

std::string precedenceKey(const vek::Version& version) {
    std::string key = std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
                      std::to_string(version.patch);
    for (std::size_t i = 0; i < version.prerelease.size(); ++i) {
        std::string_view identifier = version.prerelease[i];
        if (isDigits(identifier)) {
            while (identifier.size() > 1 && identifier.front() == '0') identifier.remove_prefix(1);
        }
        key += (i == 0 ? "-" : ".");
        key += identifier;
    }
    return key;
}

std::optional<PackageVersion> validateArchive(std::string_view bytes, std::string& error) {
    if (bytes.empty()) {
        error = "the package archive is empty";
        return std::nullopt;
    }
    if (bytes.size() > kMaxArchiveBytes) {
        error = "the package archive exceeds the limit of " +
                std::to_string(kMaxArchiveBytes / (1024 * 1024)) + " MiB";
        return std::nullopt;
    }
    std::vector<vek::ArchiveEntry> entries;
    std::string reason;
    if (!vek::parseArchive(bytes, entries, reason)) {
        error = "the package archive cannot be read: " + reason;
        return std::nullopt;
    }
    if (entries.empty()) {
        error = "the package archive is not a ZIP archive with stored entries";
        return std::nullopt;
    }

    // Every name must stay inside the package directory and mean one file
    // only, so that unpacking can neither escape nor overwrite.
    std::set<std::string> seen;
    const vek::ArchiveEntry* manifestEntry = nullptr;
    for (const auto& entry : entries) {
        std::vector<std::string> parts;
        if (hasControlBytes(entry.path) || !vek::safeEntryParts(entry.path, parts) ||
            parts.empty()) {
            error = "unsafe entry name in the package archive: " + visible(entry.path);
            return std::nullopt;
        }
        std::string normal;
        for (const auto& part : parts) normal += (normal.empty() ? "" : "/") + part;
        if (!seen.insert(normal).second) {
            error = "the package archive holds '" + visible(normal) + "' twice";
            return std::nullopt;
        }
        if (normal == "zarn.toml") manifestEntry = &entry;
    }
    if (!manifestEntry) {
        error = "the package archive has no zarn.toml";
        return std::nullopt;
    }

    const auto manifest = vek::parseManifest(manifestEntry->data, reason);
    if (!manifest) {
        error = "zarn.toml: " + reason;
        return std::nullopt;
    }
    const vek::PackageInfo& package = manifest->package;
    if (package.name.empty()) {
        error = "zarn.toml: a published package needs a [package] section with a name";
        return std::nullopt;
    }
    if (!isPlainVersion(package.version)) {
        error = "zarn.toml: version '" + vek::toString(package.version) +
                "' may only use letters, digits and '-' in its pre-release and build parts";
        return std::nullopt;
    }

    PackageVersion result;
    result.name = package.name;
    result.version = package.version;
    result.description = package.description;
    result.license = package.license;
    result.repository = package.repository;
    result.homepage = package.homepage;
    result.keywords = package.keywords;
    for (const auto& [name, dependency] : manifest->dependencies) {
        std::string nameReason;
        if (!vek::validatePackageName(name, nameReason)) {
            error = "zarn.toml: dependency '" + name + "': " + nameReason;
            return std::nullopt;
        }
        if (dependency.kind != vek::DependencyKind::Registry) {
            error = "zarn.toml: dependency '" + name +
                    "' is not a registry dependency; a published package can only depend on "
                    "published packages";
            return std::nullopt;
        }
        result.dependencies.push_back({name, vek::toString(dependency.constraint)});
    }
    result.sha256 = vek::sha256Hex(bytes);
    result.size = bytes.size();
    return result;
}

} // namespace registry
