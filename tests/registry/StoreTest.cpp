#include "registry/Store.h"

#include <atomic>
#include <thread>

#include "tests/registry/RegistryTestSupport.h"

namespace registry {
namespace {

namespace fs = std::filesystem;
using test::packageArchive;
using test::ScratchDir;

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        store_ = Store::open(dir_.path(), true, error);
        ASSERT_TRUE(store_) << error;
        ada_ = addUser("ada", "ada@example.org");
        bob_ = addUser("bob", "");
    }

    User addUser(const std::string& name, const std::string& email) {
        std::string error;
        const auto user = store_->addUser(name, email, *hashPassword("secret", 1000), error);
        EXPECT_TRUE(user) << error;
        return user.value_or(User{});
    }

    PublishOutcome publish(const std::string& archive, const User& user) {
        std::string error;
        const auto package = validateArchive(archive, error);
        EXPECT_TRUE(package) << error;
        return store_->publish(*package, archive, user, error);
    }

    ScratchDir dir_;
    std::unique_ptr<Store> store_;
    User ada_;
    User bob_;
};

TEST_F(StoreTest, VersionsAreListedInPrecedenceOrderWithTheirDetails) {
    for (const char* version : {"1.10.0", "1.2.0", "1.2.0-rc.1", "0.9.0+old"}) {
        EXPECT_EQ(
            publish(packageArchive("kit", version, "\n[dependencies]\nbase = \">= 1.0\"\n"), ada_),
            PublishOutcome::Published);
    }
    EXPECT_EQ(*store_->versions("kit"),
              (std::vector<std::string>{"0.9.0+old", "1.2.0-rc.1", "1.2.0", "1.10.0"}));
    EXPECT_FALSE(store_->versions("nope"));

    const auto record = store_->version("kit", *vek::parseVersion("0.9.0"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->versionText, "0.9.0+old");
    EXPECT_EQ(record->publisher, "ada");
    ASSERT_EQ(record->package.dependencies.size(), 1u);
    EXPECT_EQ(record->package.dependencies[0].constraint, ">= 1.0");
    EXPECT_FALSE(store_->version("kit", *vek::parseVersion("3.0.0")));

    // The archive is kept under its SHA-256 with exactly the bytes published.
    const std::string archive = packageArchive("kit", "2.0.0");
    EXPECT_EQ(publish(archive, ada_), PublishOutcome::Published);
    const auto path = store_->archivePath("kit", *vek::parseVersion("2.0.0"));
    ASSERT_TRUE(path);
    EXPECT_EQ(path->filename().string(), vek::sha256Hex(archive) + ".vek");
    EXPECT_EQ(vek::test::readFile(*path), archive);

    const auto summary = store_->summary("kit");
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->latest, "2.0.0");
    EXPECT_EQ(summary->owners, std::vector<std::string>{"ada"});
}

TEST_F(StoreTest, AVersionIsPublishedOnceAndOnlyByOwners) {
    EXPECT_EQ(publish(packageArchive("kit", "1.0.0"), ada_), PublishOutcome::Published);
    // Build metadata does not make another version; nor does a different archive.
    EXPECT_EQ(publish(packageArchive("kit", "1.0.0+again"), ada_), PublishOutcome::VersionExists);
    EXPECT_EQ(publish(packageArchive("kit", "1.0.0", "description = \"x\"\n"), ada_),
              PublishOutcome::VersionExists);
    EXPECT_EQ(publish(packageArchive("kit", "1.1.0"), bob_), PublishOutcome::NotOwner);
    EXPECT_EQ(*store_->versions("kit"), std::vector<std::string>{"1.0.0"});
    // Refused archives are not kept.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(store_->archiveDir())) ++files;
    EXPECT_EQ(files, 1u);
}

TEST_F(StoreTest, ConcurrentPublishesOfOneVersionHaveOneWinner) {
    constexpr int kThreads = 8;
    std::atomic<int> published{0};
    std::atomic<int> exists{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            // Different bytes for the same version from each thread.
            const std::string archive =
                packageArchive("race", "1.0.0", "description = \"" + std::to_string(i) + "\"\n");
            std::string error;
            const auto package = validateArchive(archive, error);
            switch (store_->publish(*package, archive, ada_, error)) {
            case PublishOutcome::Published: ++published; break;
            case PublishOutcome::VersionExists: ++exists; break;
            default: break;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(published, 1);
    EXPECT_EQ(exists, kThreads - 1);
    const auto path = store_->archivePath("race", *vek::parseVersion("1.0.0"));
    ASSERT_TRUE(path);
    EXPECT_TRUE(fs::exists(*path));
}

TEST_F(StoreTest, SearchIgnoresCaseAndIsOrderedByName) {
    publish(packageArchive("zeta", "1.0.0", "description = \"Fast JSON reader\"\n"), ada_);
    publish(packageArchive("alpha", "1.0.0", "keywords = [\"Json\"]\n"), ada_);
    publish(packageArchive("json-kit", "1.0.0"), ada_);
    publish(packageArchive("other", "1.0.0", "description = \"percent % sign\"\n"), ada_);
    const auto names = [&](const std::string& query) {
        std::vector<std::string> found;
        for (const auto& summary : store_->search(query, 100)) found.push_back(summary.name);
        return found;
    };
    EXPECT_EQ(names("JSON"), (std::vector<std::string>{"alpha", "json-kit", "zeta"}));
    EXPECT_EQ(names("%"), std::vector<std::string>{"other"});
    EXPECT_EQ(names("").size(), 4u);
    EXPECT_EQ(store_->search("", 2).size(), 2u);
    EXPECT_TRUE(names("nothing").empty());
}

TEST_F(StoreTest, AccountsLogInByNameOrEmailAndTokensIdentifyThem) {
    std::string error;
    EXPECT_FALSE(store_->addUser("ada", "", *hashPassword("x", 1000), error));
    EXPECT_FALSE(store_->addUser("ada2", "ada@example.org", *hashPassword("x", 1000), error));
    // Several accounts without an e-mail address are fine.
    EXPECT_TRUE(store_->addUser("carl", "", *hashPassword("x", 1000), error));

    EXPECT_EQ(store_->authenticate("ada", "secret")->name, "ada");
    EXPECT_EQ(store_->authenticate("ada@example.org", "secret")->name, "ada");
    EXPECT_FALSE(store_->authenticate("ada", "wrong"));
    EXPECT_FALSE(store_->authenticate("", "secret"));
    EXPECT_FALSE(store_->authenticate("nobody", "secret"));

    const auto token = store_->issueToken(ada_, error);
    ASSERT_TRUE(token) << error;
    EXPECT_EQ(store_->userByToken(*token)->name, "ada");
    EXPECT_FALSE(store_->userByToken(""));
    EXPECT_FALSE(store_->userByToken(tokenDigest(*token)));
}

TEST_F(StoreTest, ReopeningKeepsRecordsAndRemovesLeftoversOfACrash) {
    const std::string archive = packageArchive("kit", "1.0.0");
    ASSERT_EQ(publish(archive, ada_), PublishOutcome::Published);
    // What a crash during a publish can leave: a temporary file and an
    // archive whose version was never recorded.
    const fs::path temp = store_->archiveDir() / ".x.vek.tmp123";
    const fs::path orphan = store_->archiveDir() / (std::string(64, 'a') + ".vek");
    vek::test::writeFile(temp, "half");
    vek::test::writeFile(orphan, "whole");
    store_.reset();

    std::string error;
    store_ = Store::open(dir_.path(), true, error);
    ASSERT_TRUE(store_) << error;
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_FALSE(fs::exists(orphan));
    EXPECT_EQ(*store_->versions("kit"), std::vector<std::string>{"1.0.0"});
    EXPECT_EQ(vek::test::readFile(*store_->archivePath("kit", *vek::parseVersion("1.0.0"))),
              archive);
    EXPECT_EQ(store_->authenticate("bob", "secret")->name, "bob");
}

} // namespace
} // namespace registry
