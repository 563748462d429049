#include "vek/archive/Cache.h"

#include <sys/stat.h>

#include "tests/vek/TestSupport.h"
#include "vek/archive/Checksum.h"
#include "vek/archive/Credentials.h"
#include "vek/archive/Zip.h"
#include "vek/base/Home.h"
#include "vek/base/VekException.h"

namespace vek {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::ScratchDir;
using test::writeFile;

Version ver(const char* text) { return *parseVersion(text); }

TEST(HomeTest, FallbackOrder) {
    HomeEnvironment env{"/zh", "/profile", "/home/u", "/cwd"};
    EXPECT_EQ(homeDir(env), fs::path("/zh"));
    env.zarnHome = "";
    EXPECT_EQ(homeDir(env), fs::path("/profile/.zarn"));
    env.userProfile = "";
    EXPECT_EQ(homeDir(env), fs::path("/home/u/.zarn"));
    env.home = "";
    EXPECT_EQ(homeDir(env), fs::path("/cwd/.zarn"));
}

TEST(CacheTest, LayoutAndStoreVerified) {
    ScratchDir dir;
    const PackageCache cache(dir / "home");
    EXPECT_EQ(cache.cacheDir(), dir / "home" / "cache" / "packages");
    EXPECT_EQ(cache.cachedArchivePath("json", ver("1.2.0")),
              dir / "home" / "cache" / "packages" / "json" / "1.2.0" / "json-1.2.0.vek");
    EXPECT_FALSE(cache.isCached("json", ver("1.2.0")));

    const std::string archive =
        buildArchive({{"zarn.toml", "[package]\n"}, {"src/json.zarn", "j"}});
    writeFile(dir / "download.vek", archive);
    const std::string digest = sha256Hex(archive);
    cache.storeVerified("json", ver("1.2.0"), dir / "download.vek", digest); // prefix added
    EXPECT_TRUE(cache.isCached("json", ver("1.2.0")));
    EXPECT_EQ(readFile(cache.cachedArchivePath("json", ver("1.2.0"))), archive);
    cache.storeVerified("json", ver("1.3.0"), dir / "download.vek", "sha256:" + digest);
    cache.storeVerified("abc", ver("0.1.0"), dir / "download.vek", ""); // nothing to check against
    EXPECT_TRUE(cache.isCached("abc", ver("0.1.0")));

    ASSERT_TRUE(cache.unpackFromCache("json", ver("1.2.0"), dir / "project" / "packages" / "json"));
    EXPECT_EQ(readFile(dir / "project" / "packages" / "json" / "src" / "json.zarn"), "j");
    EXPECT_FALSE(cache.unpackFromCache("json", ver("9.9.9"), dir / "nowhere"));

    fs::create_directories(cache.cacheDir() / "json" / "not-a-version");
    const auto listed = cache.list();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].name + " " + toString(listed[0].version), "abc 0.1.0");
    EXPECT_EQ(listed[1].name + " " + toString(listed[1].version), "json 1.2.0");
    EXPECT_EQ(listed[2].name + " " + toString(listed[2].version), "json 1.3.0");

    std::string error;
    EXPECT_TRUE(cache.clean(error));
    EXPECT_FALSE(fs::exists(cache.cacheDir()));
    EXPECT_TRUE(cache.clean(error)); // a missing cache is fine
    EXPECT_TRUE(cache.list().empty());
}

TEST(CacheTest, TamperedDownloadLeavesTheCacheUnchanged) {
    ScratchDir dir;
    const PackageCache cache(dir / "home");
    const std::string good = buildArchive({{"a", "1"}});
    writeFile(dir / "good.vek", good);
    cache.storeVerified("pkg", ver("1.0.0"), dir / "good.vek", sha256Hex(good));
    writeFile(dir / "bad.vek", good + "tampered");
    try {
        cache.storeVerified("pkg", ver("1.0.0"), dir / "bad.vek", sha256Hex(good));
        FAIL() << "no exception";
    } catch (const VekException& e) {
        EXPECT_EQ(e.code(), ErrorCode::ChecksumMismatch);
        EXPECT_EQ(e.exitCode(), 7);
        EXPECT_EQ(e.message(),
                  "Checksum verification failed for package 'pkg 1.0.0'.\nExpected: sha256:" +
                      sha256Hex(good) + "\nActual:   sha256:" + sha256Hex(good + "tampered"));
        EXPECT_EQ(e.help(), "The downloaded package may be corrupted or compromised.");
    }
    EXPECT_EQ(readFile(cache.cachedArchivePath("pkg", ver("1.0.0"))), good);
    EXPECT_EQ(std::distance(fs::directory_iterator(
                                cache.cachedArchivePath("pkg", ver("1.0.0")).parent_path()),
                            fs::directory_iterator()),
              1);
}

TEST(CacheTest, UnsafeNamesNeverBecomePaths) {
    ScratchDir dir;
    const PackageCache cache(dir / "home");
    writeFile(dir / "x.vek", buildArchive({{"a", "1"}}));
    EXPECT_FALSE(cache.isCached("../../evil", ver("1.0.0")));
    for (const auto& [name, version] :
         {std::pair{"../../evil", "1.0.0"}, {"ok", "1.0.0-a/../../b"}}) {
        try {
            cache.storeVerified(name, ver(version), dir / "x.vek", "");
            FAIL() << "no exception for " << name;
        } catch (const VekException& e) {
            EXPECT_EQ(e.code(), ErrorCode::PathTraversal);
            EXPECT_EQ(e.exitCode(), 1);
            EXPECT_EQ(e.message(),
                      std::string("Package '") + name + " " + version +
                          "' cannot be stored in the cache: its name or version is not a "
                          "plain file name.");
        }
    }
    EXPECT_FALSE(fs::exists(dir / "evil"));
}

TEST(CacheTest, StoreFailuresNameThePackage) {
    ScratchDir dir;
    auto storeError = [](const PackageCache& cache, const fs::path& download) {
        try {
            cache.storeVerified("pkg", ver("1.0.0"), download, "");
        } catch (const VekException& e) {
            EXPECT_EQ(e.code(), ErrorCode::InvalidArchive);
            EXPECT_EQ(e.exitCode(), 1);
            return e.message();
        }
        return std::string("no exception");
    };
    EXPECT_EQ(storeError(PackageCache(dir / "home"), dir / "missing.vek"),
              "Failed to store package 'pkg 1.0.0' in the cache: cannot read " +
                  (dir / "missing.vek").string());
    writeFile(dir / "x.vek", buildArchive({{"a", "1"}}));
    writeFile(dir / "blocked" / "cache", "a file where the cache directory belongs");
    EXPECT_EQ(storeError(PackageCache(dir / "blocked"), dir / "x.vek"),
              "Failed to store package 'pkg 1.0.0' in the cache: cannot create " +
                  (dir / "blocked" / "cache" / "packages" / "pkg" / "1.0.0").string());
}

TEST(CacheTest, DamagedCachedArchiveRaisesUnpackError) {
    ScratchDir dir;
    const PackageCache cache(dir / "home");
    writeFile(dir / "x.vek", buildArchive({{"../escape", "1"}}));
    cache.storeVerified("bad", ver("1.0.0"), dir / "x.vek", "");
    try {
        cache.unpackFromCache("bad", ver("1.0.0"), dir / "target");
        FAIL() << "no exception";
    } catch (const VekException& e) {
        EXPECT_EQ(e.code(), ErrorCode::InvalidArchive);
        EXPECT_EQ(e.exitCode(), 1);
        EXPECT_EQ(e.message(),
                  "Failed to unpack package 'bad': Path traversal security violation in "
                  "archive entry: ../escape");
    }
}

TEST(CredentialsTest, SavedOwnerOnlyAndReadBack) {
    ScratchDir dir;
    const fs::path home = dir / "new-home";
    EXPECT_TRUE(loadCredentials(home).token.empty());
    const Credentials saved{"tok\"en\\", "me \"quoted\"", "a@b.c", "https://r.example/x"};
    std::string error;
    ASSERT_TRUE(saveCredentials(home, saved, error)) << error;
    EXPECT_EQ(readFile(credentialsPath(home)), "{\n"
                                               "  \"token\": \"tok\\\"en\\\\\",\n"
                                               "  \"username\": \"me \\\"quoted\\\"\",\n"
                                               "  \"email\": \"a@b.c\",\n"
                                               "  \"registryUrl\": \"https://r.example/x\"\n"
                                               "}\n");
    struct stat st {};
    ASSERT_EQ(::stat(credentialsPath(home).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const Credentials loaded = loadCredentials(home);
    EXPECT_EQ(loaded.token, saved.token);
    EXPECT_EQ(loaded.username, saved.username);
    EXPECT_EQ(loaded.email, saved.email);
    EXPECT_EQ(loaded.registryUrl, saved.registryUrl);

    // An existing, readable file is replaced, not rewritten in place.
    ASSERT_EQ(::chmod(credentialsPath(home).c_str(), 0644), 0);
    ASSERT_TRUE(saveCredentials(home, {"t2", "u", "", ""}, error));
    ASSERT_EQ(::stat(credentialsPath(home).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_TRUE(removeCredentials(home, error));
    EXPECT_FALSE(fs::exists(credentialsPath(home)));
    EXPECT_TRUE(removeCredentials(home, error)); // nothing to remove is fine

    writeFile(dir / "blocked", "a file");
    EXPECT_FALSE(saveCredentials(dir / "blocked", saved, error));
    EXPECT_EQ(error, "Failed to create directory: " + (dir / "blocked").string());
}

TEST(CredentialsTest, TokenResolutionOrder) {
    ScratchDir dir;
    std::string error;
    ASSERT_TRUE(saveCredentials(dir.path(), {"saved", "u", "", ""}, error));
    EXPECT_EQ(resolveToken("flag", "env", dir.path()), "flag");
    EXPECT_EQ(resolveToken("", "env", dir.path()), "env");
    EXPECT_EQ(resolveToken("", "", dir.path()), "saved");
    EXPECT_EQ(resolveToken("", "", dir / "none"), "");
}

TEST(CredentialsTest, UnreadableFileGivesEmptyCredentials) {
    ScratchDir dir;
    writeFile(credentialsPath(dir.path()), "{\"token\": \"half");
    EXPECT_TRUE(loadCredentials(dir.path()).token.empty());
}

} // namespace
} // namespace vek
