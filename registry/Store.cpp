#include "registry/Store.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <nlohmann/json.hpp>

#include "registry/Platform.h"
#include "vek/base/AtomicFile.h"

namespace registry {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS users(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  email TEXT NOT NULL DEFAULT '',
  salt BLOB NOT NULL,
  digest BLOB NOT NULL,
  iterations INTEGER NOT NULL,
  created TEXT NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS users_email ON users(email) WHERE email <> '';
CREATE TABLE IF NOT EXISTS tokens(
  digest TEXT PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users(id),
  created TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS packages(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  created TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS owners(
  package_id INTEGER NOT NULL REFERENCES packages(id),
  user_id INTEGER NOT NULL REFERENCES users(id),
  PRIMARY KEY(package_id, user_id));
CREATE TABLE IF NOT EXISTS versions(
  id INTEGER PRIMARY KEY,
  package_id INTEGER NOT NULL REFERENCES packages(id),
  version TEXT NOT NULL,
  precedence TEXT NOT NULL,
  description TEXT NOT NULL,
  license TEXT NOT NULL,
  repository TEXT NOT NULL,
  homepage TEXT NOT NULL,
  keywords TEXT NOT NULL,
  dependencies TEXT NOT NULL,
  sha256 TEXT NOT NULL,
  size INTEGER NOT NULL,
  publisher_id INTEGER REFERENCES users(id),
  published TEXT NOT NULL,
  UNIQUE(package_id, precedence));
)sql";

// A prepared statement, finalised when it goes out of scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    Statement& bind(int index, std::string_view text) {
        sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindBlob(int index, std::string_view bytes) {
        sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int index, std::int64_t value) {
        sqlite3_bind_int64(stmt_, index, value);
        return *this;
    }
    // True while there is a row; false at the end or on an error.
    bool step() {
        if (!stmt_) return false;
        last_ = sqlite3_step(stmt_);
        return last_ == SQLITE_ROW;
    }
    bool done() const { return last_ == SQLITE_DONE; }
    std::string text(int column) const {
        const auto* data = sqlite3_column_blob(stmt_, column);
        const int size = sqlite3_column_bytes(stmt_, column);
        return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                    : std::string();
    }
    std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int last_ = SQLITE_OK;
};

bool execute(sqlite3* db, const char* sql, std::string* error = nullptr) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    if (error) *error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

std::string nowUtc() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string joinLines(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) text += (text.empty() ? "" : "\n") + item;
    return text;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (!text.empty() && start <= text.size()) {
        const auto end = std::min(text.find('\n', start), text.size());
        items.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool isArchiveName(const std::string& name) {
    if (name.size() != 64 + 4 || name.substr(64) != ".vek") return false;
    return name.find_first_not_of("0123456789abcdef") == 64;
}

// Rows of a transaction are undone unless it was committed.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) { open_ = execute(db_, "BEGIN IMMEDIATE"); }
    ~Transaction() {
        if (open_) execute(db_, "ROLLBACK");
    }
    bool ok() const { return open_; }
    bool commit(std::string& error) {
        if (!execute(db_, "COMMIT", &error)) return false;
        open_ = false;
        return true;
    }

private:
    sqlite3* db_;
    bool open_ = false;
};

} // namespace

Store::Store(sqlite3* db, fs::path archiveDir) : db_(db), archiveDir_(std::move(archiveDir)) {}

Store::~Store() { sqlite3_close_v2(db_); }

std::unique_ptr<Store> Store::open(const fs::path& dataDir, bool forServing, std::string& error) {
    std::error_code ec;
    fs::create_directories(dataDir / "archives", ec);
    if (ec) {
        error = "cannot create " + (dataDir / "archives").string() + ": " + ec.message();
        return nullptr;
    }
    sqlite3* db = nullptr;
    const fs::path file = dataDir / "registry.db";
    if (sqlite3_open_v2(file.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        error = "cannot open " + file.string() + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close_v2(db);
        return nullptr;
    }
    std::unique_ptr<Store> store(new Store(db, dataDir / "archives"));
    sqlite3_busy_timeout(db, 10000);
    std::string reason;
    if (!execute(db, "PRAGMA journal_mode=WAL", &reason) ||
        !execute(db, "PRAGMA synchronous=FULL", &reason) ||
        !execute(db, "PRAGMA foreign_keys=ON", &reason) || !execute(db, kSchema, &reason) ||
        (forServing && !store->removeLeftovers(reason))) {
        error = "cannot open the store in " + dataDir.string() + ": " + reason;
        return nullptr;
    }
    return store;
}

bool Store::removeLeftovers(std::string& error) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(archiveDir_, ec)) {
        const std::string name = entry.path().filename().string();
        bool keep = false;
        if (isArchiveName(name)) {
            Statement query(db_, "SELECT 1 FROM versions WHERE sha256 = ?1 LIMIT 1");
            keep = query.bind(1, std::string_view(name).substr(0, 64)).step();
            if (!query.ok()) {
                error = sqlite3_errmsg(db_);
                return false;
            }
        }
        if (!keep) fs::remove_all(entry.path(), ec);
    }
    if (ec) error = "cannot clean " + archiveDir_.string() + ": " + ec.message();
    return !ec;
}

std::optional<std::int64_t> Store::packageId(std::string_view name) {
    Statement query(db_, "SELECT id FROM packages WHERE name = ?1");
    if (!query.bind(1, name).step()) return std::nullopt;
    return query.integer(0);
}

std::vector<std::string> Store::sortedVersions(std::int64_t id) {
    Statement query(db_, "SELECT version FROM versions WHERE package_id = ?1");
    query.bind(1, id);
    std::vector<std::pair<vek::Version, std::string>> found;
    while (query.step()) {
        std::string text = query.text(0);
        if (auto parsed = vek::parseVersion(text)) found.emplace_back(std::move(*parsed), text);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> texts;
    for (auto& entry : found) texts.push_back(std::move(entry.second));
    return texts;
}

std::optional<std::vector<std::string>> Store::versions(std::string_view name) {
    std::lock_guard lock(dbMutex_);
    const auto id = packageId(name);
    if (!id) return std::nullopt;
    return sortedVersions(*id);
}

std::optional<VersionRecord> Store::version(std::string_view name, const vek::Version& version) {
    std::lock_guard lock(dbMutex_);
    Statement query(db_, R"sql(
        SELECT v.version, v.description, v.license, v.repository, v.homepage, v.keywords,
               v.dependencies, v.sha256, v.size, v.published, COALESCE(u.name, '')
        FROM versions v JOIN packages p ON p.id = v.package_id
        LEFT JOIN users u ON u.id = v.publisher_id
        WHERE p.name = ?1 AND v.precedence = ?2)sql");
    if (!query.bind(1, name).bind(2, precedenceKey(version)).step()) return std::nullopt;
    VersionRecord record;
    record.versionText = query.text(0);
    PackageVersion& package = record.package;
    package.name = std::string(name);
    package.version = vek::parseVersion(record.versionText).value_or(version);
    package.description = query.text(1);
    package.license = query.text(2);
    package.repository = query.text(3);
    package.homepage = query.text(4);
    package.keywords = splitLines(query.text(5));
    const json dependencies = json::parse(query.text(6), nullptr, false);
    if (dependencies.is_array()) {
        for (const auto& item : dependencies) {
            if (item.is_object() && item.value("name", json()).is_string() &&
                item.value("constraint", json()).is_string()) {
                package.dependencies.push_back({item["name"], item["constraint"]});
            }
        }
    }
    package.sha256 = query.text(7);
    package.size = static_cast<std::size_t>(query.integer(8));
    record.published = query.text(9);
    record.publisher = query.text(10);
    return record;
}

std::optional<PackageSummary> Store::summaryOf(std::int64_t id, const std::string& name) {
    PackageSummary summary;
    summary.name = name;
    summary.versions = sortedVersions(id);
    if (summary.versions.empty()) return std::nullopt;
    // The latest is the highest release, or the highest pre-release when
    // there is no release yet.
    summary.latest = summary.versions.back();
    for (auto it = summary.versions.rbegin(); it != summary.versions.rend(); ++it) {
        const auto parsed = vek::parseVersion(*it);
        if (parsed && parsed->prerelease.empty()) {
            summary.latest = *it;
            break;
        }
    }
    Statement latest(db_, R"sql(
        SELECT description, license, repository, homepage, keywords FROM versions
        WHERE package_id = ?1 AND version = ?2)sql");
    if (latest.bind(1, id).bind(2, summary.latest).step()) {
        summary.description = latest.text(0);
        summary.license = latest.text(1);
        summary.repository = latest.text(2);
        summary.homepage = latest.text(3);
        summary.keywords = splitLines(latest.text(4));
    }
    Statement owners(db_, R"sql(
        SELECT u.name FROM owners o JOIN users u ON u.id = o.user_id
        WHERE o.package_id = ?1 ORDER BY u.name)sql");
    owners.bind(1, id);
    while (owners.step()) summary.owners.push_back(owners.text(0));
    return summary;
}

std::optional<PackageSummary> Store::summary(std::string_view name) {
    std::lock_guard lock(dbMutex_);
    const auto id = packageId(name);
    if (!id) return std::nullopt;
    return summaryOf(*id, std::string(name));
}

std::vector<PackageSummary> Store::search(std::string_view query, std::size_t limit) {
    std::lock_guard lock(dbMutex_);
    const std::string needle = lowerAscii(query);
    // The description and keywords that count are those of the latest
    // version, so the match is made on the summary itself.
    Statement all(db_, "SELECT id, name FROM packages ORDER BY name");
    std::vector<PackageSummary> results;
    while (results.size() < limit && all.step()) {
        auto summary = summaryOf(all.integer(0), all.text(1));
        if (!summary) continue;
        bool match = needle.empty() ||
                     lowerAscii(summary->name).find(needle) != std::string::npos ||
                     lowerAscii(summary->description).find(needle) != std::string::npos;
        for (const auto& keyword : summary->keywords) {
            match = match || lowerAscii(keyword).find(needle) != std::string::npos;
        }
        if (match) results.push_back(std::move(*summary));
    }
    return results;
}

std::optional<fs::path> Store::archivePath(std::string_view name, const vek::Version& version) {
    std::lock_guard lock(dbMutex_);
    Statement query(db_, R"sql(
        SELECT v.sha256 FROM versions v JOIN packages p ON p.id = v.package_id
        WHERE p.name = ?1 AND v.precedence = ?2)sql");
    if (!query.bind(1, name).bind(2, precedenceKey(version)).step()) return std::nullopt;
    const std::string sha = query.text(0);
    if (!isArchiveName(sha + ".vek")) return std::nullopt;
    return archiveDir_ / (sha + ".vek");
}

bool Store::writeArchive(const std::string& sha256, std::string_view bytes, std::string& error) {
    const fs::path target = archiveDir_ / (sha256 + ".vek");
    std::string reason;
    if (!vek::writeFileAtomically(target, bytes, vek::FileAccess::Default, &reason) ||
        !syncDirectory(archiveDir_)) {
        error = "cannot store the archive: " + (reason.empty() ? "sync failed" : reason);
        return false;
    }
    return true;
}

PublishOutcome Store::publish(const PackageVersion& package, std::string_view archive,
                              const User& publisher, std::string& error) {
    std::lock_guard publishing(publishMutex_);
    const std::string key = precedenceKey(package.version);
    const auto taken = [&]() {
        Statement query(db_, R"sql(
            SELECT 1 FROM versions v JOIN packages p ON p.id = v.package_id
            WHERE p.name = ?1 AND v.precedence = ?2)sql");
        return query.bind(1, package.name).bind(2, key).step();
    };
    const auto ownedByOthers = [&](std::int64_t id) {
        Statement query(db_, "SELECT 1 FROM owners WHERE package_id = ?1 AND user_id = ?2");
        return !query.bind(1, id).bind(2, publisher.id).step();
    };
    {
        // Most refusals are known before the archive is written.
        std::lock_guard lock(dbMutex_);
        if (taken()) return PublishOutcome::VersionExists;
        if (const auto id = packageId(package.name); id && ownedByOthers(*id)) {
            return PublishOutcome::NotOwner;
        }
    }
    if (!writeArchive(package.sha256, archive, error)) return PublishOutcome::Failed;

    std::lock_guard lock(dbMutex_);
    const auto outcome = [&]() {
        Transaction transaction(db_);
        if (!transaction.ok()) {
            error = sqlite3_errmsg(db_);
            return PublishOutcome::Failed;
        }
        if (taken()) return PublishOutcome::VersionExists;
        const std::string now = nowUtc();
        auto id = packageId(package.name);
        if (id && ownedByOthers(*id)) return PublishOutcome::NotOwner;
        if (!id) {
            Statement insert(db_, "INSERT INTO packages(name, created) VALUES (?1, ?2)");
            insert.bind(1, package.name).bind(2, now).step();
            Statement owner(db_, "INSERT INTO owners(package_id, user_id) VALUES (?1, ?2)");
            owner.bind(1, sqlite3_last_insert_rowid(db_)).bind(2, publisher.id).step();
            id = packageId(package.name);
            if (!id || !owner.done()) {
                error = sqlite3_errmsg(db_);
                return PublishOutcome::Failed;
            }
        }
        json dependencies = json::array();
        for (const auto& dependency : package.dependencies) {
            dependencies.push_back(
                {{"name", dependency.name}, {"constraint", dependency.constraint}});
        }
        Statement insert(db_, R"sql(
            INSERT INTO versions(package_id, version, precedence, description, license,
                                 repository, homepage, keywords, dependencies, sha256, size,
                                 publisher_id, published)
            VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13))sql");
        insert.bind(1, *id)
            .bind(2, vek::toString(package.version))
            .bind(3, key)
            .bind(4, package.description)
            .bind(5, package.license)
            .bind(6, package.repository)
            .bind(7, package.homepage)
            .bind(8, joinLines(package.keywords))
            .bind(9, dependencies.dump(-1, ' ', false, json::error_handler_t::replace))
            .bind(10, package.sha256)
            .bind(11, static_cast<std::int64_t>(package.size))
            .bind(12, publisher.id)
            .bind(13, now)
            .step();
        if (!insert.done()) {
            error = sqlite3_errmsg(db_);
            return PublishOutcome::Failed;
        }
        return transaction.commit(error) ? PublishOutcome::Published : PublishOutcome::Failed;
    }();
    if (outcome != PublishOutcome::Published) {
        // The archive stays only when a recorded version (the same bytes) uses it.
        Statement used(db_, "SELECT 1 FROM versions WHERE sha256 = ?1 LIMIT 1");
        if (!used.bind(1, package.sha256).step()) {
            std::error_code ec;
            fs::remove(archiveDir_ / (package.sha256 + ".vek"), ec);
        }
    }
    return outcome;
}

std::optional<User> Store::addUser(const std::string& name, const std::string& email,
                                   const PasswordHash& password, std::string& error) {
    std::lock_guard lock(dbMutex_);
    Statement insert(db_, R"sql(
        INSERT INTO users(name, email, salt, digest, iterations, created)
        VALUES (?1, ?2, ?3, ?4, ?5, ?6))sql");
    insert.bind(1, name)
        .bind(2, email)
        .bindBlob(3, password.salt)
        .bindBlob(4, password.digest)
        .bind(5, static_cast<std::int64_t>(password.iterations))
        .bind(6, nowUtc())
        .step();
    if (!insert.done()) {
        const int code = sqlite3_extended_errcode(db_);
        error = code == SQLITE_CONSTRAINT_UNIQUE ? "an account with that name or e-mail exists"
                                                 : sqlite3_errmsg(db_);
        return std::nullopt;
    }
    return User{sqlite3_last_insert_rowid(db_), name, email};
}

std::optional<User> Store::userWhere(const char* sql, std::string_view value) {
    Statement query(db_, sql);
    if (!query.bind(1, value).step()) return std::nullopt;
    return User{query.integer(0), query.text(1), query.text(2)};
}

std::optional<User> Store::userByName(std::string_view name) {
    std::lock_guard lock(dbMutex_);
    return userWhere("SELECT id, name, email FROM users WHERE name = ?1", name);
}

std::optional<User> Store::authenticate(std::string_view nameOrEmail, std::string_view password) {
    // For an unknown account the same work is done against a made-up hash,
    // so that timing does not tell which names exist.
    PasswordHash stored{std::string(16, '\0'), std::string(32, '\0'), kPasswordIterations};
    std::optional<User> user;
    {
        std::lock_guard lock(dbMutex_);
        Statement query(db_, R"sql(
            SELECT id, name, email, salt, digest, iterations FROM users
            WHERE name = ?1 OR (email <> '' AND email = ?1)
            ORDER BY name = ?1 DESC LIMIT 1)sql");
        if (query.bind(1, nameOrEmail).step()) {
            user = User{query.integer(0), query.text(1), query.text(2)};
            stored = PasswordHash{query.text(3), query.text(4), static_cast<int>(query.integer(5))};
        }
    }
    // The slow derivation runs without holding the store.
    const bool verified = verifyPassword(password, stored);
    if (!user || !verified) return std::nullopt;
    return user;
}

std::optional<std::string> Store::issueToken(const User& user, std::string& error) {
    auto token = newToken();
    if (!token) {
        error = "the system's random generator failed";
        return std::nullopt;
    }
    std::lock_guard lock(dbMutex_);
    Statement insert(db_, "INSERT INTO tokens(digest, user_id, created) VALUES (?1, ?2, ?3)");
    insert.bind(1, tokenDigest(*token)).bind(2, user.id).bind(3, nowUtc()).step();
    if (!insert.done()) {
        error = sqlite3_errmsg(db_);
        return std::nullopt;
    }
    return token;
}

std::optional<User> Store::userByToken(std::string_view token) {
    if (token.empty()) return std::nullopt;
    std::lock_guard lock(dbMutex_);
    return userWhere(R"sql(
        SELECT u.id, u.name, u.email FROM tokens t JOIN users u ON u.id = t.user_id
        WHERE t.digest = ?1)sql",
                     tokenDigest(token));
}

} // namespace registry
