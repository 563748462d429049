#include "vek/archive/Checksum.h"

#include "tests/vek/TestSupport.h"

namespace vek {
namespace {

TEST(ChecksumTest, Crc32KnownValues) {
    EXPECT_EQ(crc32(""), 0u);
    EXPECT_EQ(crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    // Continuing over pieces gives the CRC of the whole, whatever the split.
    const std::string text = "The quick brown fox jumps over the lazy dog, again and again.";
    for (std::size_t split = 0; split <= text.size(); ++split) {
        EXPECT_EQ(crc32(text.substr(split), crc32(text.substr(0, split))), crc32(text));
    }
}

// The test vectors published with the standard.
TEST(ChecksumTest, Sha256StandardVectors) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(
        sha256Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopq"
                  "klmnopqrlmnopqrsmnopqrstnopqrstu"),
        "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(ChecksumTest, Sha256IncrementalMatchesOneShotAtEveryPaddingBoundary) {
    std::string data;
    for (int i = 0; i < 300; ++i) data += static_cast<char>(i * 7 + 3);
    for (std::size_t length : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 300}) {
        const std::string part = data.substr(0, length);
        Sha256 pieces;
        for (std::size_t i = 0; i < part.size(); i += 13) pieces.update(part.substr(i, 13));
        EXPECT_EQ(pieces.finishHex(), sha256Hex(part)) << length;
    }
}

TEST(ChecksumTest, Sha256FileAgreesWithSha256sum) {
    test::ScratchDir dir;
    std::string data;
    for (int i = 0; i < (3 << 20) + 17; ++i) data += static_cast<char>((i * 31) ^ (i >> 9));
    test::writeFile(dir / "blob", data);
    const auto digest = sha256File(dir / "blob");
    ASSERT_TRUE(digest);
    EXPECT_EQ(*digest, sha256Hex(data));
    EXPECT_FALSE(sha256File(dir / "missing"));
    if (test::runCommand("command -v sha256sum >/dev/null") != 0) GTEST_SKIP() << "no sha256sum";
    const std::string command = "sha256sum " + test::quoteForShell((dir / "blob").string()) +
                                " > " + test::quoteForShell((dir / "sum").string());
    ASSERT_EQ(test::runCommand(command), 0);
    EXPECT_EQ(test::readFile(dir / "sum").substr(0, 64), *digest);
}

} // namespace
} // namespace vek
