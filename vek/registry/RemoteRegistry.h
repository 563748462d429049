// The registry client: the REST API below "/api/v1/" of one registry, for the
// resolver (versions, dependency lists) and for the commands (downloads,
// publishing, search, package details, login).
#pragma once

#include <memory>
#include <string>

#include "vek/registry/HttpClient.h"
#include "vek/resolve/PackageSource.h"

namespace vek {

// Limits on what a registry may send: answers to API calls are small, archives
// are bounded too, so that a misbehaving registry cannot fill the memory or
// the disk.
inline constexpr std::uint64_t kMaxApiResponseBytes = 16u << 20;
inline constexpr std::uint64_t kMaxArchiveBytes = 256u << 20;

class RemoteRegistry : public IRegistry {
public:
    RemoteRegistry(std::string baseUrl, bool offline)
        : baseUrl_(std::move(baseUrl)), offline_(offline) {}

    void setOffline(bool offline) { offline_ = offline; }
    bool offline() const { return offline_; }
    // Shown while an archive downloads (the command decides where, if at all).
    void setProgress(ProgressFunction progress) { progress_ = std::move(progress); }

    // Raise VEK008 when the registry cannot be reached or answers other than
    // 200 or 404; an answer that is not the expected JSON is VEK008 too.
    std::vector<Version> getVersions(std::string_view name) override;
    std::optional<PackageRecord> getPackage(std::string_view name, const Version& version) override;
    std::string baseUrl() const override { return baseUrl_; }
    std::vector<PackageSummary> search(std::string_view query) override;
    std::optional<PackageSummary> getInfo(std::string_view name) override;

    bool download(std::string_view name, const Version& version,
                  const std::filesystem::path& destination, std::string& error) override;
    bool publish(const std::filesystem::path& archivePath, const std::string& token,
                 std::string& error) override;
    bool login(const std::string& usernameOrEmail, const std::string& password, LoginResult& result,
               std::string& error) override;

private:
    // One API call; `error` is set for a transport failure or offline mode.
    HttpResult call(const std::string& method, const std::string& path, const std::string& token,
                    const std::string& contentType, std::string body);
    std::string packagePath(std::string_view name) const;

    std::string baseUrl_;
    bool offline_;
    ProgressFunction progress_;
};

// The message of a failed call: the "error" member of a JSON answer, else
// a short body itself, else "HTTP <status>".
std::string failureText(const HttpResult& result);

} // namespace vek
