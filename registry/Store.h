// The registry's store: package, version and account records in one SQLite
// database (write-ahead log, one transaction per change) and the archives as
// files named by their SHA-256 in an "archives" folder beside it.
//
// An archive is written, synced and renamed into place before the
// transaction that records its version commits, so after a crash at any
// point a version row always has its archive; an archive left without a row
// is removed when the store is next opened for serving.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/Accounts.h"
#include "registry/Validation.h"

struct sqlite3;

namespace registry {

struct User {
    std::int64_t id = 0;
    std::string name;
    std::string email;
};

// One package as search results and info show it: the fields of its latest
// version and the texts of all versions in ascending precedence.
struct PackageSummary {
    std::string name;
    std::string description;
    std::string latest;
    std::string license;
    std::string repository;
    std::string homepage;
    std::vector<std::string> keywords;
    std::vector<std::string> versions;
    std::vector<std::string> owners;
};

struct VersionRecord {
    PackageVersion package;
    std::string versionText;
    std::string published; // UTC, ISO 8601
    std::string publisher;
};

enum class PublishOutcome { Published, VersionExists, NotOwner, Failed };

class Store {
public:
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Opens or creates the store in `dataDir`. With `forServing`, leftovers of
    // an interrupted publish (temporary files, archives without a version)
    // are removed first; only the one server of a folder may do that.
    static std::unique_ptr<Store> open(const std::filesystem::path& dataDir, bool forServing,
                                       std::string& error);

    // Version texts in ascending precedence; nothing when the package is unknown.
    std::optional<std::vector<std::string>> versions(std::string_view name);
    std::optional<VersionRecord> version(std::string_view name, const vek::Version& version);
    std::optional<PackageSummary> summary(std::string_view name);
    // Packages whose name, description or keywords hold `query` (ASCII case
    // ignored), ordered by name; every package for an empty query.
    std::vector<PackageSummary> search(std::string_view query, std::size_t limit);
    // The archive file of a version, when it exists.
    std::optional<std::filesystem::path> archivePath(std::string_view name,
                                                     const vek::Version& version);

    // Stores the archive and records the version in one transaction. A new
    // package is owned by `publisher`; an existing one takes new versions only
    // from its owners. A version equal in precedence to a published one
    // (build metadata aside) is refused.
    PublishOutcome publish(const PackageVersion& package, std::string_view archive,
                           const User& publisher, std::string& error);

    // Accounts. addUser fails (with a reason) when the name or e-mail is taken.
    std::optional<User> addUser(const std::string& name, const std::string& email,
                                const PasswordHash& password, std::string& error);
    std::optional<User> userByName(std::string_view name);
    // Checks the password of the account with that name or e-mail address.
    std::optional<User> authenticate(std::string_view nameOrEmail, std::string_view password);
    // A new token for the account; the store keeps only its digest.
    std::optional<std::string> issueToken(const User& user, std::string& error);
    std::optional<User> userByToken(std::string_view token);

    const std::filesystem::path& archiveDir() const { return archiveDir_; }

private:
    Store(sqlite3* db, std::filesystem::path archiveDir);
    bool removeLeftovers(std::string& error);
    std::optional<std::int64_t> packageId(std::string_view name);
    std::vector<std::string> sortedVersions(std::int64_t packageId);
    std::optional<PackageSummary> summaryOf(std::int64_t packageId, const std::string& name);
    std::optional<User> userWhere(const char* sql, std::string_view value);
    bool writeArchive(const std::string& sha256, std::string_view bytes, std::string& error);

    sqlite3* db_;
    std::filesystem::path archiveDir_;
    // One connection serves every thread; statements run one at a time, and
    // publishes one at a time so that an archive is never removed while
    // another publish of the same bytes is about to record it.
    std::mutex dbMutex_;
    std::mutex publishMutex_;
};

} // namespace registry
