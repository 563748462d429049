#include "vek/registry/RemoteRegistry.h"

#include <fstream>
#include <nlohmann/json.hpp>

#include "vek/base/VekException.h"

namespace vek {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* kOfflineRequest = "Cannot access registry in offline mode.";

// The parsed body, or a discarded value when it is not JSON at all.
json parseBody(const std::string& body) { return json::parse(body, nullptr, false); }

std::string stringMember(const json& object, const char* key) {
    if (!object.is_object()) return {};
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Control characters of a registry's text are not passed on to the terminal.
std::string printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return text;
}

std::optional<PackageSummary> readSummary(const json& object) {
    if (!object.is_object()) return std::nullopt;
    // These texts go to the terminal as they are, so control characters are
    // taken out.
    PackageSummary summary{printable(stringMember(object, "name")),
                           printable(stringMember(object, "description")),
                           printable(stringMember(object, "latest")),
                           printable(stringMember(object, "license")),
                           {}};
    if (const auto it = object.find("versions"); it != object.end() && it->is_array()) {
        for (const json& version : *it) {
            if (version.is_string())
                summary.versions.push_back(printable(version.get<std::string>()));
        }
    }
    return summary;
}

[[noreturn]] void unexpectedAnswer(const std::string& host, const std::string& what) {
    throw VekException::registry("Registry " + host + " sent an unexpected response " + what +
                                 ": the body is not the JSON the client expects.");
}

} // namespace

std::string failureText(const HttpResult& result) {
    if (!result.error.empty()) return result.error;
    const json answer = parseBody(result.body);
    if (std::string error = stringMember(answer, "error"); !error.empty()) return printable(error);
    if (!result.body.empty() && result.body.size() < 300) return printable(result.body);
    return "HTTP " + std::to_string(result.status);
}

std::string RemoteRegistry::packagePath(std::string_view name) const {
    return "/api/v1/packages/" + percentEncode(std::string(name));
}

HttpResult RemoteRegistry::call(const std::string& method, const std::string& path,
                                const std::string& token, const std::string& contentType,
                                std::string body) {
    HttpResult result;
    if (offline_) {
        result.error = kOfflineRequest;
        return result;
    }
    HttpRequest request;
    request.method = method;
    request.url = baseUrl_ + path;
    if (!token.empty()) {
        request.headers.push_back("Authorization: Bearer " + token);
        request.headers.push_back("X-Zarn-Token: " + token);
        request.headers.push_back("X-VEK-Token: " + token);
    }
    if (!contentType.empty()) request.headers.push_back("Content-Type: " + contentType);
    request.headers.push_back("Accept: application/json, text/plain, */*");
    request.body = std::move(body);
    request.maxBody = kMaxApiResponseBytes;
    return httpSend(request);
}

std::vector<Version> RemoteRegistry::getVersions(std::string_view name) {
    const HttpResult result = call("GET", packagePath(name) + "/versions", "", "", "");
    // Only a 404 means that the package does not exist; every other failure
    // is the registry's and is reported as such.
    if (result.error.empty() && result.status == 404) return {};
    const std::string what = "listing the versions of '" + std::string(name) + "'";
    if (!result.error.empty() || result.status != 200) {
        throw VekException::registry("Failed " + what + " from " + urlHost(baseUrl_) + ": " +
                                     failureText(result));
    }
    const json answer = parseBody(result.body);
    if (!answer.is_array()) unexpectedAnswer(urlHost(baseUrl_), "when " + what);
    std::vector<Version> versions;
    for (const json& element : answer) {
        if (!element.is_string()) continue;
        if (auto version = parseVersion(element.get<std::string>())) {
            versions.push_back(std::move(*version));
        }
    }
    return versions;
}

std::optional<PackageRecord> RemoteRegistry::getPackage(std::string_view name,
                                                        const Version& version) {
    const HttpResult result =
        call("GET", packagePath(name) + "/" + percentEncode(toString(version)), "", "", "");
    if (result.error.empty() && result.status == 404) return std::nullopt;
    const std::string what = "for package '" + std::string(name) + " " + toString(version) + "'";
    if (!result.error.empty() || result.status != 200) {
        throw VekException::registry("Failed to fetch the details " + what + " from " +
                                     urlHost(baseUrl_) + ": " + failureText(result));
    }
    const json answer = parseBody(result.body);
    if (!answer.is_object()) unexpectedAnswer(urlHost(baseUrl_), what);
    PackageRecord record;
    record.source = "registry+" + baseUrl_;
    record.checksum = stringMember(answer, "checksum");
    if (!record.checksum.empty() && record.checksum.rfind("sha256:", 0) != 0) {
        record.checksum = "sha256:" + record.checksum;
    }
    if (const auto it = answer.find("dependencies"); it != answer.end()) {
        if (!it->is_array()) unexpectedAnswer(urlHost(baseUrl_), what);
        for (const json& dependency : *it) {
            const std::string dependencyName = stringMember(dependency, "name");
            const std::string text = stringMember(dependency, "constraint");
            auto constraint = parseConstraint(text.empty() ? "*" : text);
            if (dependencyName.empty() || !constraint) {
                throw VekException::registry(
                    "Registry " + urlHost(baseUrl_) + " lists an unreadable dependency " + what +
                    ": '" + printable(dependencyName) + "' '" + printable(text) + "'.");
            }
            record.dependencies.push_back({dependencyName, std::move(*constraint)});
        }
    }
    return record;
}

std::optional<PackageSummary> RemoteRegistry::getInfo(std::string_view name) {
    const HttpResult result = call("GET", packagePath(name), "", "", "");
    if (result.error.empty() && result.status == 404) return std::nullopt;
    const std::string what = "for package '" + std::string(name) + "'";
    if (!result.error.empty() || result.status != 200) {
        throw VekException::registry("Failed to fetch the details " + what + " from " +
                                     urlHost(baseUrl_) + ": " + failureText(result));
    }
    auto summary = readSummary(parseBody(result.body));
    if (!summary) unexpectedAnswer(urlHost(baseUrl_), what);
    return summary;
}

std::vector<PackageSummary> RemoteRegistry::search(std::string_view query) {
    const std::string encoded = percentEncode(std::string(query));
    HttpResult result = call("GET", "/api/v1/packages?q=" + encoded, "", "", "");
    if (result.error.empty() && result.status != 200) {
        result = call("GET", "/api/v1/search?q=" + encoded, "", "", "");
    }
    if (!result.error.empty() || result.status != 200) {
        throw VekException::registry("Failed to search " + urlHost(baseUrl_) + ": " +
                                     failureText(result));
    }
    json answer = parseBody(result.body);
    // The results are a list, or a list under "packages" or "results".
    for (const char* key : {"packages", "results"}) {
        if (answer.is_object() && answer.contains(key)) answer = json(answer[key]);
    }
    if (!answer.is_array()) unexpectedAnswer(urlHost(baseUrl_), "to a search");
    std::vector<PackageSummary> results;
    for (const json& element : answer) {
        if (auto summary = readSummary(element)) results.push_back(std::move(*summary));
    }
    return results;
}

bool RemoteRegistry::download(std::string_view name, const Version& version,
                              const fs::path& destination, std::string& error) {
    if (offline_) {
        error = "Cannot download package in offline mode.";
        return false;
    }
    std::error_code ec;
    fs::create_directories(destination.parent_path(), ec);
    std::ofstream out(destination, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = "Could not open destination file: " + destination.string();
        return false;
    }
    HttpRequest request;
    request.url =
        baseUrl_ + packagePath(name) + "/" + percentEncode(toString(version)) + "/download";
    request.headers.push_back("Accept: application/octet-stream, */*");
    request.maxBody = kMaxArchiveBytes;
    const HttpResult result = httpStream(
        request,
        [&out](const char* data, std::size_t size) {
            out.write(data, static_cast<std::streamsize>(size));
            return static_cast<bool>(out);
        },
        progress_);
    out.close();
    if (result.error.empty() && result.status != 200) {
        error = "Registry returned HTTP " + std::to_string(result.status) + " on download.";
    } else if (!result.error.empty()) {
        error = result.error;
    } else if (!out) {
        error = "Could not write destination file: " + destination.string();
    } else {
        return true;
    }
    fs::remove(destination, ec); // half a download is never left behind
    return false;
}

bool RemoteRegistry::publish(const fs::path& archivePath, const std::string& token,
                             std::string& error) {
    if (offline_) {
        error = "Cannot publish package in offline mode.";
        return false;
    }
    if (token.empty()) {
        error = "Authentication token missing. Please run 'vek login' or supply '--token "
                "<token>' / set VEK_TOKEN.";
        return false;
    }
    std::ifstream in(archivePath, std::ios::binary);
    if (!in) {
        error = "Could not open archive to publish: " + archivePath.string();
        return false;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        error = "Package archive is empty: " + archivePath.string();
        return false;
    }
    const HttpResult result = call("POST", "/api/v1/packages/publish", token,
                                   "application/octet-stream", std::move(bytes));
    if (result.error.empty() && (result.status == 200 || result.status == 201)) return true;
    error = failureText(result);
    return false;
}

bool RemoteRegistry::login(const std::string& usernameOrEmail, const std::string& password,
                           LoginResult& login, std::string& error) {
    if (usernameOrEmail.empty() || password.empty()) {
        error = "Username and password cannot be empty.";
        return false;
    }
    const json body = {{"usernameOrEmail", usernameOrEmail}, {"password", password}};
    const HttpResult result = call("POST", "/api/v1/auth/login", "", "application/json",
                                   body.dump(-1, ' ', false, json::error_handler_t::replace));
    if (!result.error.empty() || result.status != 200) {
        error = failureText(result);
        return false;
    }
    const json answer = parseBody(result.body);
    login.token = stringMember(answer, "cliToken");
    if (login.token.empty()) login.token = stringMember(answer, "token");
    login.username = stringMember(answer, "username");
    login.email = stringMember(answer, "email");
    if (login.token.empty()) {
        error = "Invalid login response: authentication token missing.";
        return false;
    }
    return true;
}

std::string urlHost(const std::string& url) {
    std::string_view rest = url;
    if (const auto scheme = rest.find("://"); scheme != std::string_view::npos) {
        rest.remove_prefix(scheme + 3);
    }
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
    return std::string(rest);
}

std::string percentEncode(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

} // namespace vek
