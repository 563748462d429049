#include "vek/base/Json.h"

#include <gtest/gtest.h>

namespace vek {
namespace {

TEST(JsonTest, QuotedTextReadsBack) {
    std::string every;
    for (int c = 1; c < 256; ++c) every += static_cast<char>(c);
    for (const std::string& text : {std::string(""), std::string("a\"b\\c"), every}) {
        const auto members = readStringMembers("{" + jsonQuote("k") + ": " + jsonQuote(text) + "}");
        ASSERT_TRUE(members);
        EXPECT_EQ(members->at("k"), text);
    }
    EXPECT_EQ(jsonQuote("a\"\\\n\x01\x7f"), "\"a\\\"\\\\\\n\\u0001\\u007F\"");
}

TEST(JsonTest, ReadsStringMembersAndSkipsOthers) {
    const auto members = readStringMembers(
        " {\"token\": \"t\\\"token\\\"\", \"n\": -1.5e3, \"o\": {\"token\": \"inner\", \"a\": [1, "
        "true, null]},"
        " \"token\": \"second\", \"u\": \"\\u00e9\\ud83d\\ude00\", \"e\": \"\"}\n");
    ASSERT_TRUE(members);
    EXPECT_EQ(members->at("token"), "t\"token\""); // the first occurrence counts
    EXPECT_EQ(members->at("u"), "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(members->at("e"), "");
    EXPECT_EQ(members->count("o"), 0u);
    EXPECT_TRUE(readStringMembers("{}"));
}

TEST(JsonTest, RejectsMalformedDocuments) {
    for (const char* bad :
         {"", "[]", "{", "{\"a\"}", "{\"a\": }", "{\"a\": \"b\",}", "{\"a\": \"b\"} x",
          "{\"a\": \"\\q\"}", "{\"a\": \"\\ud800\"}", "{\"a\": \"raw\nline\"}"}) {
        EXPECT_FALSE(readStringMembers(bad)) << bad;
    }
    EXPECT_FALSE(readStringMembers(std::string(100000, '[')));
    EXPECT_FALSE(readStringMembers("{\"a\": " + std::string(100000, '[') + "}"));
}

} // namespace
} // namespace vek
