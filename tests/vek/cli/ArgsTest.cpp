#include "vek/cli/Args.h"

#include <gtest/gtest.h>

namespace vek {
namespace {

TEST(ArgsTest, CommandPositionalFlagsAndOptions) {
    const ParsedArgs a = parseArgs({"add", "json@^1", "--path", "../json", "--dev", "--tag=v1=x",
                                    "--empty=", "-vv", "-x", "-h", "extra", "-"});
    EXPECT_EQ(a.command, "add");
    EXPECT_EQ(a.positional, (std::vector<std::string>{"json@^1", "extra", "-"}));
    EXPECT_EQ(a.option("path"), "../json");
    EXPECT_EQ(a.option("tag"), "v1=x");
    EXPECT_TRUE(a.has("empty"));
    EXPECT_EQ(a.option("empty", "fallback"), "");
    EXPECT_TRUE(a.has("dev"));
    EXPECT_EQ(a.option("dev", "d"), "d"); // a flag has no value
    EXPECT_TRUE(a.has("vv"));
    EXPECT_TRUE(a.has("x"));
    EXPECT_TRUE(a.has("help"));
    EXPECT_FALSE(a.has("h"));
    EXPECT_FALSE(a.has("v"));
}

TEST(ArgsTest, ValuesAreNeverTakenFromDashWords) {
    const ParsedArgs a = parseArgs({"login", "--token", "-abc", "--username", "--json"});
    EXPECT_TRUE(a.flags.count("token"));
    EXPECT_TRUE(a.flags.count("abc"));
    EXPECT_TRUE(a.flags.count("username"));
    EXPECT_TRUE(a.flags.count("json"));
    EXPECT_TRUE(a.options.empty());
    // An empty word does not begin with "-", so it is a value.
    const ParsedArgs b = parseArgs({"login", "--token", "", "--token", "second"});
    EXPECT_EQ(b.option("token", "none"), "second"); // a later value replaces the earlier
    EXPECT_TRUE(b.positional.empty());
}

TEST(ArgsTest, EverythingAfterDoubleDashPassesThrough) {
    const ParsedArgs a = parseArgs({"run", "--release", "--", "-x", "--y=1", "--", "plain"});
    EXPECT_EQ(a.command, "run");
    EXPECT_TRUE(a.has("release"));
    EXPECT_EQ(a.passthrough, (std::vector<std::string>{"-x", "--y=1", "--", "plain"}));
    EXPECT_FALSE(a.has("y"));
    const ParsedArgs none = parseArgs({});
    EXPECT_TRUE(none.command.empty());
}

} // namespace
} // namespace vek
