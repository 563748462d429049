#include "registry/Accounts.h"

#include <gtest/gtest.h>

namespace registry {
namespace {

TEST(AccountsTest, PasswordsVerifyOnlyWithTheRightText) {
    // Few iterations keep the test quick; the rule is the same.
    const auto hash = hashPassword("correct horse", 1000);
    ASSERT_TRUE(hash);
    EXPECT_EQ(hash->salt.size(), 16u);
    EXPECT_TRUE(verifyPassword("correct horse", *hash));
    EXPECT_FALSE(verifyPassword("correct horse ", *hash));
    EXPECT_FALSE(verifyPassword("", *hash));
    // The same password gets a different salt and digest each time.
    const auto again = hashPassword("correct horse", 1000);
    EXPECT_NE(again->salt, hash->salt);
    EXPECT_NE(again->digest, hash->digest);
    EXPECT_FALSE(verifyPassword("correct horse", PasswordHash{hash->salt, hash->digest, 999}));
    EXPECT_FALSE(verifyPassword("x", PasswordHash{"", "", 0}));
    EXPECT_GE(kPasswordIterations, 200000);
}

TEST(AccountsTest, TokensAreRandomHexAndStoredAsDigests) {
    const auto first = newToken();
    const auto second = newToken();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->size(), 64u);
    EXPECT_EQ(first->find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(tokenDigest(*first).size(), 64u);
    EXPECT_NE(tokenDigest(*first), *first);
}

TEST(AccountsTest, UserNamesAndEmails) {
    std::string reason;
    EXPECT_TRUE(validateUserName("ada.l_1-x", reason));
    EXPECT_FALSE(validateUserName("", reason));
    EXPECT_FALSE(validateUserName(std::string(65, 'a'), reason));
    EXPECT_FALSE(validateUserName("-ada", reason));
    EXPECT_FALSE(validateUserName("ada lovelace", reason));
    EXPECT_FALSE(validateUserName("ad\xc3\xa1", reason));
    EXPECT_TRUE(validateEmail("ada@example.org", reason));
    EXPECT_FALSE(validateEmail("ada", reason));
    EXPECT_FALSE(validateEmail("@example.org", reason));
    EXPECT_FALSE(validateEmail("a@b@c", reason));
    EXPECT_FALSE(validateEmail("ada @example.org", reason));
}

} // namespace
} // namespace registry
