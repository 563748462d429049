#include "registry/Validation.h"

#include "tests/registry/RegistryTestSupport.h"

namespace registry {
namespace {

using test::packageArchive;

std::string refusal(const std::string& archive) {
    std::string error;
    EXPECT_FALSE(validateArchive(archive, error).has_value());
    return error;
}

TEST(ValidationTest, ReadsTheManifestOfAGoodArchive) {
    const std::string archive =
        packageArchive("json-kit", "1.2.0-beta.1+exp.7",
                       "description = \"JSON tools\"\nlicense = \"Apache-2.0\"\n"
                       "keywords = [\"json\", \"parse\"]\n\n[dependencies]\nbase = \"^1.0\"\n\n"
                       "[dev-dependencies]\ntester = \"1.0.0\"\n");
    std::string error;
    const auto package = validateArchive(archive, error);
    ASSERT_TRUE(package) << error;
    EXPECT_EQ(package->name, "json-kit");
    EXPECT_EQ(vek::toString(package->version), "1.2.0-beta.1+exp.7");
    EXPECT_EQ(package->description, "JSON tools");
    EXPECT_EQ(package->license, "Apache-2.0");
    EXPECT_EQ(package->keywords, (std::vector<std::string>{"json", "parse"}));
    // Only [dependencies] count; development dependencies stay with the author.
    ASSERT_EQ(package->dependencies.size(), 1u);
    EXPECT_EQ(package->dependencies[0].name, "base");
    EXPECT_EQ(package->dependencies[0].constraint, "^1.0");
    EXPECT_EQ(package->sha256, vek::sha256Hex(archive));
    EXPECT_EQ(package->size, archive.size());
}

TEST(ValidationTest, RefusesWhatIsNotAPackageArchive) {
    EXPECT_EQ(refusal(""), "the package archive is empty");
    EXPECT_EQ(refusal("PK\x05\x06 not really"),
              "the package archive is not a ZIP archive with stored entries");
    EXPECT_NE(refusal(std::string(kMaxArchiveBytes + 1, 'x')).find("exceeds the limit"),
              std::string::npos);
    // A header that promises more data than there is.
    std::string truncated = packageArchive("ok", "1.0.0");
    truncated.resize(40);
    EXPECT_NE(refusal(truncated).find("cannot be read"), std::string::npos);
    EXPECT_EQ(refusal(vek::buildArchive({{"src/main.zarn", "x"}})),
              "the package archive has no zarn.toml");
}

TEST(ValidationTest, RefusesUnsafeOrAmbiguousEntryNames) {
    const std::string manifest = "[package]\nname = \"ok\"\nversion = \"1.0.0\"\n";
    const std::vector<std::string> names = {
        "../evil", "/etc/passwd", "C:x", "a/../../x", "src/\x01.zarn", std::string("src/a\0b", 7),
        "."};
    for (const auto& name : names) {
        const auto archive = vek::buildArchive({{"zarn.toml", manifest}, {name, "x"}});
        EXPECT_NE(refusal(archive).find("unsafe entry name"), std::string::npos) << name;
    }
    const auto twice =
        vek::buildArchive({{"zarn.toml", manifest}, {"src/a.zarn", "1"}, {"src/./a.zarn", "2"}});
    EXPECT_EQ(refusal(twice), "the package archive holds 'src/a.zarn' twice");
}

TEST(ValidationTest, RefusesBadNamesVersionsAndDependencies) {
    EXPECT_NE(refusal(packageArchive("Bad", "1.0.0")).find("should be lowercase"),
              std::string::npos);
    EXPECT_NE(refusal(packageArchive("ok", "1.0")).find("Invalid package version"),
              std::string::npos);
    // Identifiers that would be unsafe in a URL or a cache path.
    for (const char* version :
         {"1.0.0-../../x", "1.0.0-a b", "1.0.0+a/b", "1.0.0-a..b", "1.0.0-%2F"}) {
        EXPECT_NE(refusal(packageArchive("ok", version)).find("may only use letters"),
                  std::string::npos)
            << version;
    }
    EXPECT_NE(
        refusal(packageArchive("ok", "1.0.0", "\n[dependencies]\nlocal = { path = \"../x\" }\n"))
            .find("is not a registry dependency"),
        std::string::npos);
    EXPECT_NE(refusal(packageArchive("ok", "1.0.0", "\n[dependencies]\n\"../x\" = \"1.0\"\n"))
                  .find("dependency '../x'"),
              std::string::npos);
    const auto workspace = vek::buildArchive({{"zarn.toml", "[workspace]\nmembers = []\n"}});
    EXPECT_NE(refusal(workspace).find("needs a [package] section"), std::string::npos);
}

TEST(ValidationTest, PrecedenceKeysIgnoreBuildAndLeadingZeros) {
    const auto key = [](const char* text) { return precedenceKey(*vek::parseVersion(text)); };
    EXPECT_EQ(key("1.0.0+build.5"), key("1.0.0"));
    EXPECT_EQ(key("v1.0.0-rc.01"), key("1.0.0-rc.1"));
    EXPECT_NE(key("1.0.0-rc.1"), key("1.0.0-rc.1.0"));
    EXPECT_NE(key("1.0.0-alpha"), key("1.0.0"));
}

} // namespace
} // namespace registry
