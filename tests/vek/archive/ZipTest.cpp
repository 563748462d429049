#include "vek/archive/Zip.h"

#include "tests/vek/TestSupport.h"
#include "vek/archive/Checksum.h"

namespace vek {
namespace {

std::uint32_t le32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<std::uint8_t>(b[at + static_cast<std::size_t>(i)]);
    return v;
}
std::uint32_t le16(const std::string& b, std::size_t at) {
    return static_cast<std::uint8_t>(b[at]) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8;
}

std::string parseError(std::string_view bytes) {
    std::vector<ArchiveEntry> entries;
    std::string error;
    EXPECT_FALSE(parseArchive(bytes, entries, error));
    return error;
}

TEST(ZipTest, RecordLayoutIsExact) {
    const std::string bytes = buildArchive({{"a.txt", "hello"}, {"src/b.zarn", ""}});
    // Local header of the first entry.
    EXPECT_EQ(le32(bytes, 0), 0x04034B50u);
    EXPECT_EQ(le16(bytes, 4), 10u);
    EXPECT_EQ(le16(bytes, 6), 0u);
    EXPECT_EQ(le16(bytes, 8), 0u);
    EXPECT_EQ(le32(bytes, 10), 0u); // time and date
    EXPECT_EQ(le32(bytes, 14), crc32("hello"));
    EXPECT_EQ(le32(bytes, 18), 5u);
    EXPECT_EQ(le32(bytes, 22), 5u);
    EXPECT_EQ(le16(bytes, 26), 5u);
    EXPECT_EQ(le16(bytes, 28), 0u);
    EXPECT_EQ(bytes.substr(30, 10), "a.txthello");
    const std::size_t second = 40;
    EXPECT_EQ(le32(bytes, second), 0x04034B50u);
    const std::size_t central = second + 30 + 10;
    EXPECT_EQ(le32(bytes, central), 0x02014B50u);
    EXPECT_EQ(le16(bytes, central + 4), 20u);
    EXPECT_EQ(le16(bytes, central + 6), 10u);
    EXPECT_EQ(le32(bytes, central + 16), crc32("hello"));
    EXPECT_EQ(le16(bytes, central + 28), 5u);
    EXPECT_EQ(le32(bytes, central + 38), 0u); // external attributes
    EXPECT_EQ(le32(bytes, central + 42), 0u); // offset of the first local header
    EXPECT_EQ(le32(bytes, central + 46 + 5 + 42), second);
    const std::size_t end = bytes.size() - 22;
    EXPECT_EQ(le32(bytes, end), 0x06054B50u);
    EXPECT_EQ(le32(bytes, end + 4), 0u);
    EXPECT_EQ(le16(bytes, end + 8), 2u);
    EXPECT_EQ(le16(bytes, end + 10), 2u);
    EXPECT_EQ(le32(bytes, end + 12), end - central);
    EXPECT_EQ(le32(bytes, end + 16), central);
    EXPECT_EQ(le16(bytes, end + 20), 0u);
}

std::string fromHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        if (hex[i] == ' ') {
            --i;
            continue;
        }
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return bytes;
}

TEST(ZipTest, EveryByteOfAOneEntryArchive) {
    // Entry "a" holding "xy" (CRC-32 0x8FE62899), laid out field by field.
    const std::string expected = fromHex(
        // local header: signature, version 10, flags, method, time, date
        "504b0304 0a00 0000 0000 0000 0000"
        // CRC, both sizes, name length 1, extra length 0, name, data
        " 9928e68f 02000000 02000000 0100 0000 61 7879"
        // central record: signature, made by 20, needed 10, flags, method, time, date
        " 504b0102 1400 0a00 0000 0000 0000 0000"
        // CRC, both sizes, name length, extra, comment, disk, internal, external, offset 0, name
        " 9928e68f 02000000 02000000 0100 0000 0000 0000 0000 00000000 00000000 61"
        // end record: signature, disks, count twice, directory size 47 at offset 33, comment length
        " 504b0506 0000 0000 0100 0100 2f000000 21000000 0000");
    EXPECT_EQ(buildArchive({{"a", "xy"}}), expected);
    EXPECT_EQ(buildArchive({}), fromHex("504b0506 0000 0000 0000 0000 00000000 00000000 0000"));
}

TEST(ZipTest, ReadsBackWhatWasWritten) {
    std::string binary;
    for (int i = 0; i < 70000; ++i) binary += static_cast<char>(i % 251);
    const std::vector<ArchiveEntry> written = {
        {"zarn.toml", "[package]\n"}, {"empty", ""}, {"bin", binary}};
    std::vector<ArchiveEntry> read;
    std::string error;
    ASSERT_TRUE(parseArchive(buildArchive(written), read, error)) << error;
    ASSERT_EQ(read.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(read[i].path, written[i].path);
        EXPECT_EQ(read[i].data, written[i].data);
    }
    // Only a central directory, or nothing at all: no entries, no error.
    EXPECT_TRUE(parseArchive(buildArchive({}), read, error));
    EXPECT_TRUE(read.empty());
    EXPECT_TRUE(parseArchive("", read, error));
}

TEST(ZipTest, DamagedArchivesAreRefused) {
    const std::string good = buildArchive({{"file.zarn", "println(1)"}});
    std::string flipped = good;
    flipped[30 + 9 + 3] ^= 0x20;
    EXPECT_EQ(parseError(flipped),
              "CRC-32 mismatch in archive entry 'file.zarn': the archive is damaged.");

    // Cut inside the header, the name and the data.
    EXPECT_EQ(parseError(good.substr(0, 20)),
              "Truncated archive: local header at offset 0 runs past the end of the file.");
    EXPECT_EQ(parseError(good.substr(0, 33)),
              "Truncated archive: entry name at offset 0 runs past the end of the file.");
    EXPECT_EQ(parseError(good.substr(0, 45)),
              "Truncated archive: data of entry 'file.zarn' runs past the end of the file.");

    // Sizes and name lengths that claim far more than the file holds.
    std::string huge = good;
    huge[18] = huge[19] = huge[20] = huge[21] = '\xFF';
    huge[22] = huge[23] = huge[24] = huge[25] = '\xFF';
    EXPECT_EQ(parseError(huge),
              "Truncated archive: data of entry 'file.zarn' runs past the end of the file.");
    std::string longName = good;
    longName[26] = longName[27] = '\xFF';
    EXPECT_EQ(parseError(longName),
              "Truncated archive: entry name at offset 0 runs past the end of the file.");
    std::string longExtra = good;
    longExtra[28] = longExtra[29] = '\xFF';
    EXPECT_EQ(parseError(longExtra),
              "Truncated archive: entry name at offset 0 runs past the end of the file.");

    std::string deflated = good;
    deflated[8] = 8;
    EXPECT_EQ(
        parseError(deflated),
        "Unsupported archive entry 'file.zarn': only unencrypted stored entries are allowed.");
    std::string described = good;
    described[6] = 8; // sizes in a trailing data descriptor
    EXPECT_EQ(
        parseError(described),
        "Unsupported archive entry 'file.zarn': only unencrypted stored entries are allowed.");
}

TEST(ZipTest, UnzipAcceptsTheArchive) {
    if (test::runCommand("command -v unzip >/dev/null") != 0)
        GTEST_SKIP() << "unzip is not installed";
    test::ScratchDir dir;
    std::string big(200000, 'x');
    test::writeFile(dir / "a.vek",
                    buildArchive({{"zarn.toml", "x = 1\n"}, {"src/deep/m.zarn", big}, {"e", ""}}));
    EXPECT_EQ(test::runCommand("unzip -tq " + test::quoteForShell((dir / "a.vek").string()) +
                               " >/dev/null"),
              0);
}

TEST(ZipTest, WriterRefusesWhatTheFormatCannotHold) {
    std::string bytes;
    ZipWriter writer([&bytes](std::string_view data) {
        bytes += data;
        return true;
    });
    std::string error;
    EXPECT_FALSE(writer.add(std::string(70000, 'n'), "", error));
    EXPECT_EQ(error.substr(0, 50), "Entry name is too long for the archive format: nnn");
    for (int i = 0; i < 65535; ++i) ASSERT_TRUE(writer.add("f", "", error)) << i;
    EXPECT_FALSE(writer.add("f", "", error));
    EXPECT_EQ(error, "Too many files for the archive format (at most 65535).");
    EXPECT_FALSE(writer.sinkFailed());

    ZipWriter failing([](std::string_view) { return false; });
    EXPECT_FALSE(failing.add("a", "b", error));
    EXPECT_TRUE(failing.sinkFailed());
}

TEST(ZipTest, MissingArchiveFile) {
    std::vector<ArchiveEntry> entries;
    std::string error;
    EXPECT_FALSE(readArchive("/nonexistent/x.vek", entries, error));
    EXPECT_EQ(error, "Could not open archive: /nonexistent/x.vek");
}

} // namespace
} // namespace vek
