#include "vek/manifest/Toml.h"

#include <gtest/gtest.h>

namespace vek {
namespace {

TomlTable parseOk(std::string_view text) {
    std::string error;
    auto doc = parseText(text, &error);
    EXPECT_TRUE(doc) << error;
    return doc.value_or(TomlTable{});
}

std::string parseError(std::string_view text) {
    std::string error;
    EXPECT_FALSE(parseText(text, &error)) << text;
    return error;
}

const std::string& str(const TomlTable& t, std::string_view key) {
    static const std::string missing = "<missing>";
    const TomlValue* value = find(t, key);
    return value && value->asString() ? *value->asString() : missing;
}

TEST(TomlTest, ScalarsCommentsAndBlankLines) {
    const auto doc = parseOk("# leading comment\n"
                             "\n"
                             "name = \"a#b\"   # trailing comment\n"
                             "count = -42\n"
                             "plus = +7\n"
                             "flag = true\n"
                             "other = false\r\n"
                             "  spaced   =   \"x\"  \n");
    EXPECT_EQ(str(doc, "name"), "a#b");
    EXPECT_EQ(*find(doc, "count")->asInteger(), -42);
    EXPECT_EQ(*find(doc, "plus")->asInteger(), 7);
    EXPECT_TRUE(*find(doc, "flag")->asBoolean());
    EXPECT_FALSE(*find(doc, "other")->asBoolean());
    EXPECT_EQ(str(doc, "spaced"), "x");
    EXPECT_EQ(find(doc, "name")->kind(), TomlKind::String);
}

TEST(TomlTest, StringEscapes) {
    const auto doc = parseOk(R"(a = "q\"b\\n\n\tz\xy"
b = "end\"
c = "\u00e9\U0001F600\u12"
d = "x\\"   # the comment is still a comment
e = ["p\\", "q#r"]
)");
    EXPECT_EQ(str(doc, "a"), "q\"b\\n\n\tzxy");
    EXPECT_EQ(str(doc, "b"), "end"); // a backslash before the closing quote is dropped
    EXPECT_EQ(str(doc, "c"), "\xC3\xA9\xF0\x9F\x98\x80u12");
    EXPECT_EQ(str(doc, "d"), "x\\");
    const TomlArray& e = *find(doc, "e")->asArray();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(*e[1].asString(), "q#r");
}

TEST(TomlTest, ArraysAndInlineTables) {
    const auto doc = parseOk("list = [ \"a,b\", 2, , [3, [4]], { k = \"v\" } ]\n"
                             "empty = []\n"
                             "dep = { version = \"^1.0\", path = \"../x\", \"odd key\" = 1 }\n"
                             "none = {}\n");
    const TomlArray& list = *find(doc, "list")->asArray();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(*list[0].asString(), "a,b");
    EXPECT_EQ(*list[1].asInteger(), 2);
    EXPECT_EQ(list[2].asArray()->size(), 2u);
    EXPECT_EQ(str(*list[3].asTable(), "k"), "v");
    EXPECT_TRUE(find(doc, "empty")->asArray()->empty());
    const TomlTable& dep = *find(doc, "dep")->asTable();
    EXPECT_EQ(str(dep, "version"), "^1.0");
    EXPECT_EQ(str(dep, "path"), "../x");
    EXPECT_EQ(*find(dep, "odd key")->asInteger(), 1);
    EXPECT_TRUE(find(doc, "none")->asTable()->empty());
}

TEST(TomlTest, TablesAndArraysOfTables) {
    const auto doc = parseOk("[a.b]\n"
                             "x = 1\n"
                             "[[package]]\n"
                             "name = \"one\"\n"
                             "[[package]]\n"
                             "name = \"two\"\n"
                             "[[a.b]]\n"
                             "y = 2\n"
                             "[ c . d ]\n"
                             "z = 3\n"
                             "z = 4\n");
    const TomlTable& b = *find(*find(doc, "a")->asTable(), "b")->asTable();
    EXPECT_EQ(*find(b, "x")->asInteger(), 1);
    const TomlArray& packages = *find(doc, "package")->asArray();
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(str(*packages[0].asTable(), "name"), "one");
    EXPECT_EQ(str(*packages[1].asTable(), "name"), "two");
    // "[[a.b]]" names a root key literally, dots and all.
    ASSERT_TRUE(find(doc, "a.b"));
    EXPECT_EQ(*find(*find(doc, "a.b")->asArray()->at(0).asTable(), "y")->asInteger(), 2);
    const TomlTable& d = *find(*find(doc, "c")->asTable(), "d")->asTable();
    EXPECT_EQ(*find(d, "z")->asInteger(), 4); // a later assignment replaces the earlier
}

TEST(TomlTest, ErrorTextsNameTheLine) {
    EXPECT_EQ(parseError("x = 1.5\n"), "Line 1: Failed to parse value for key 'x': 1.5");
    EXPECT_EQ(parseError("# c\n\nflag = True\n"),
              "Line 3: Failed to parse value for key 'flag': True");
    EXPECT_EQ(parseError("a = 1\n\n  just text  # note\n"),
              "Line 3: Expected '=' in statement: just text");
    EXPECT_EQ(parseError("[t]\n[[t]]\n"), "Line 2: Expected array of tables for t");
    EXPECT_EQ(parseError("x = \n"), "Line 1: Failed to parse value for key 'x': ");
    EXPECT_EQ(parseError("x = 99999999999999999999\n"),
              "Line 1: Failed to parse value for key 'x': 99999999999999999999");
    EXPECT_EQ(parseError("x = 12ab\n"), "Line 1: Failed to parse value for key 'x': 12ab");
    EXPECT_EQ(parseError("x = [1, nope]\n"),
              "Line 1: Failed to parse value for key 'x': [1, nope]");
    EXPECT_EQ(parseError("x = { a }\n"), "Line 1: Failed to parse value for key 'x': { a }");
    EXPECT_EQ(parseError("x = { a = [1, 2] }\n"),
              "Line 1: Failed to parse value for key 'x': { a = [1, 2] }");
    EXPECT_EQ(parseError("v = 1\n[v.w]\n"),
              "Line 2: Key 'v' already holds a value that is not a table");
}

TEST(TomlTest, IntegersAreWholeSigned64BitDecimals) {
    const auto doc = parseOk("min = -9223372036854775808\n"
                             "max = 9223372036854775807\n"
                             "zero = -0\n"
                             "lead = 007\n");
    EXPECT_EQ(*find(doc, "min")->asInteger(), INT64_MIN);
    EXPECT_EQ(*find(doc, "max")->asInteger(), INT64_MAX);
    EXPECT_EQ(*find(doc, "zero")->asInteger(), 0);
    EXPECT_EQ(*find(doc, "lead")->asInteger(), 7);
    for (const char* bad :
         {"9223372036854775808", "-9223372036854775809", "+-5", "-+5", "+", "-", "0x10", "1e3",
          "1_000", "1 2", "TRUE", "False", "'x'", "\"", "[1", "{"}) {
        EXPECT_FALSE(parseValue(bad)) << bad;
    }
}

TEST(TomlTest, KindsAreNumberedInOrder) {
    EXPECT_EQ(static_cast<int>(parseValue("\"s\"")->kind()), 0);
    EXPECT_EQ(static_cast<int>(parseValue("1")->kind()), 1);
    EXPECT_EQ(static_cast<int>(parseValue("true")->kind()), 2);
    EXPECT_EQ(static_cast<int>(parseValue("[]")->kind()), 3);
    EXPECT_EQ(static_cast<int>(parseValue("{}")->kind()), 4);
}

TEST(TomlTest, HeaderNamesAreTrimmedAndEmptyPartsIgnored) {
    const auto doc = parseOk("[[  list  ]]\n"
                             "a = 1\n"
                             "[ x..y. ]\n"
                             "b = 2\n"
                             "[x]\n"
                             "c = 3\n");
    EXPECT_EQ(*find(*find(doc, "list")->asArray()->at(0).asTable(), "a")->asInteger(), 1);
    const TomlTable& x = *find(doc, "x")->asTable();
    EXPECT_EQ(*find(*find(x, "y")->asTable(), "b")->asInteger(), 2);
    EXPECT_EQ(*find(x, "c")->asInteger(), 3); // an existing table is reopened, not replaced
    EXPECT_EQ(parseError("list = 1\n[[list]]\n"), "Line 2: Expected array of tables for list");
}

TEST(TomlTest, DeepNestingIsRefusedNotOverflowed) {
    const std::string deep = "x = " + std::string(100000, '[') + std::string(100000, ']') + "\n";
    EXPECT_EQ(parseError(deep).substr(0, 40), "Line 1: Failed to parse value for key 'x");
    std::string header = "[a";
    for (int i = 0; i < 100000; ++i) header += ".a";
    EXPECT_EQ(parseError(header + "]\n").substr(0, 42),
              "Line 1: Table header nests too deeply: [a.");
    parseOk("x = " + std::string(60, '[') + std::string(60, ']') + "\n");
}

TEST(TomlTest, MissingFileReadsAsEmptyDocument) {
    std::string error;
    const auto doc = parseFile("/nonexistent/dir/zarn.toml", &error);
    ASSERT_TRUE(doc);
    EXPECT_TRUE(doc->empty());
    EXPECT_TRUE(error.empty());
}

TEST(TomlTest, QuotedStringsReadBackExactly) {
    std::string every;
    for (int c = 1; c < 256; ++c) every += static_cast<char>(c);
    for (const std::string& text : {std::string(""), std::string("plain"), std::string("a\"b\\c#d"),
                                    std::string("tail\\"), every}) {
        const auto doc =
            parseOk("k = " + tomlQuote(text) + "  # comment\n" + tomlKey(text) + " = 1\n");
        EXPECT_EQ(str(doc, "k"), text);
        if (!text.empty() && text != "k") {
            EXPECT_TRUE(find(doc, text)) << text;
        }
    }
    EXPECT_EQ(tomlQuote("a\x01\x7f"), "\"a\\u0001\\u007F\"");
    EXPECT_EQ(tomlKey("my-pkg_2"), "my-pkg_2");
    EXPECT_EQ(tomlKey("a.b"), "\"a.b\"");
    EXPECT_EQ(tomlKey(""), "\"\"");
}

} // namespace
} // namespace vek
