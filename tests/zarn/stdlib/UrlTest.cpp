#include <gtest/gtest.h>

#include "zarn/stdlib/Url.h"
#include "zarn/stdlib/UrlCodec.h"

namespace zarn::stdlib {
namespace {

TEST(UrlCodecTest, DecodeKeepsIncompleteAndInvalidEscapes) {
    EXPECT_EQ(percentDecode("a+b%2"), "a b%2");
    EXPECT_EQ(percentDecode("%41%4a"), "AJ");
    EXPECT_EQ(percentDecode("%"), "%");
    EXPECT_EQ(percentDecode("%%41"), "%A");
    EXPECT_EQ(percentDecode("%zz%4"), "%zz%4");
    EXPECT_EQ(percentDecode("%00x"), std::string("\0x", 2));
    EXPECT_EQ(percentDecode("%C3%A9"), "\xC3\xA9");
    EXPECT_EQ(percentDecode("%2B+"), "+ ");
}

TEST(UrlCodecTest, EncodeKeepsOnlyUnreservedBytes) {
    EXPECT_EQ(percentEncode("a b/c"), "a%20b%2Fc");
    EXPECT_EQ(encodeURIText("a b/c"), "a%20b/c");
    EXPECT_EQ(percentEncode("-._~AZaz09"), "-._~AZaz09");
    EXPECT_EQ(percentEncode(std::string("\n\0\xff", 3)), "%0A%00%FF");
    EXPECT_EQ(encodeURIText("#$&+,/:;=?@!*'()"), "#$&+,/:;=?@%21%2A%27%28%29");
    EXPECT_EQ(percentEncode(""), "");
}

TEST(UrlCodecTest, EncodeThenDecodeRestoresEveryByte) {
    std::string all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
    EXPECT_EQ(percentDecode(percentEncode(all)), all);
}

TEST(UrlCodecTest, QueryParsingKeepsOrderEmptiesAndRepeats) {
    auto pairs = parseQuery("a&b=&=c&&a=2");
    std::vector<QueryPair> expected{{"a", ""}, {"b", ""}, {"", "c"}, {"a", "2"}};
    EXPECT_EQ(pairs, expected);
    EXPECT_EQ(parseQuery("?x=1"), (std::vector<QueryPair>{{"x", "1"}}));
    EXPECT_EQ(parseQuery("??x=1"), (std::vector<QueryPair>{{"?x", "1"}}));
    EXPECT_EQ(parseQuery("k=a=b"), (std::vector<QueryPair>{{"k", "a=b"}}));
    EXPECT_EQ(parseQuery("q=a+b%26c"), (std::vector<QueryPair>{{"q", "a b&c"}}));
    EXPECT_TRUE(parseQuery("").empty());
    EXPECT_TRUE(parseQuery("?").empty());
    EXPECT_TRUE(parseQuery("&&&").empty());
}

TEST(UrlCodecTest, SerializeEncodesBothSidesAndKeepsEmptyValues) {
    EXPECT_EQ(serializeQuery({}), "");
    EXPECT_EQ(serializeQuery({{"a", ""}, {"b c", "d&e"}}), "a=&b%20c=d%26e");
}

TEST(UrlSearchParamsTest, FirstMatchSetAppendsAndDeleteRemovesAll) {
    auto params = URLSearchParams::fromQuery("a&b=&=c&&a=2");
    EXPECT_EQ(params.get("a"), "");
    EXPECT_EQ(params.get("missing"), "");
    EXPECT_TRUE(params.has(""));
    EXPECT_FALSE(params.has("A"));
    EXPECT_EQ(params.keys(), (std::vector<std::string>{"a", "b", "", "a"}));
    EXPECT_EQ(params.values(), (std::vector<std::string>{"", "", "c", "2"}));

    params.set("a", "1");
    EXPECT_EQ(params.values(), (std::vector<std::string>{"1", "", "c", "2"}));
    params.set("new", "x y");
    EXPECT_EQ(params.toString(), "a=1&b=&=c&a=2&new=x%20y");

    params.remove("a");
    EXPECT_EQ(params.keys(), (std::vector<std::string>{"b", "", "new"}));
    params.remove("nothing");
    EXPECT_EQ(params.pairs().size(), 3u);
}

TEST(ParsedUrlTest, FullUrlSplitsIntoEveryPart) {
    auto url = ParsedURL::parse("https://Example.COM:8443/a/b?x=1&y=%20z#top");
    EXPECT_EQ(url.href, "https://Example.COM:8443/a/b?x=1&y=%20z#top");
    EXPECT_EQ(url.protocol, "https");
    EXPECT_EQ(url.host, "Example.COM:8443");
    EXPECT_EQ(url.hostname, "Example.COM");
    EXPECT_EQ(url.port, 8443);
    EXPECT_EQ(url.pathname, "/a/b");
    EXPECT_EQ(url.search, "?x=1&y=%20z");
    EXPECT_EQ(url.query, "x=1&y=%20z");
    EXPECT_EQ(url.hash, "#top");
    EXPECT_EQ(url.path(), "/a/b?x=1&y=%20z");
    EXPECT_EQ(url.params.get("y"), " z");
    EXPECT_EQ(url.toString(), "https://Example.COM:8443/a/b?x=1&y=%20z#top");
}

TEST(ParsedUrlTest, DefaultPortsAndRebuilding) {
    auto upper = ParsedURL::parse("HTTP://h");
    EXPECT_EQ(upper.protocol, "http");
    EXPECT_EQ(upper.port, 80);
    EXPECT_EQ(upper.pathname, "/");
    EXPECT_EQ(upper.toString(), "http://h/");

    auto explicit80 = ParsedURL::parse("http://h:80/x");
    EXPECT_EQ(explicit80.port, 80);
    EXPECT_EQ(explicit80.toString(), "http://h/x");

    EXPECT_EQ(ParsedURL::parse("https://h").port, 443);
    EXPECT_EQ(ParsedURL::parse("ftp://h").port, 0);
    EXPECT_EQ(ParsedURL::parse("HTTPS://h:443").toString(), "https://h/");
    EXPECT_EQ(ParsedURL::parse("http://h:8080").toString(), "http://h:8080/");
}

TEST(ParsedUrlTest, PortTextIsReadLikeTheCIntegerConversion) {
    EXPECT_EQ(ParsedURL::parse("http://h:abc/").port, 0);
    EXPECT_EQ(ParsedURL::parse("http://h:/").port, 0);
    EXPECT_EQ(ParsedURL::parse("http://h: 12x/").port, 12);
    EXPECT_EQ(ParsedURL::parse("http://h:-5/").port, -5);
    EXPECT_EQ(ParsedURL::parse("http://h:+7/").port, 7);
    EXPECT_EQ(ParsedURL::parse("http://h:9223372036854775807/").port, INT64_MAX);
    EXPECT_EQ(ParsedURL::parse("http://h:9223372036854775808/").port, 0);
    EXPECT_EQ(ParsedURL::parse("http://h:-9223372036854775808/").port, INT64_MIN);
    EXPECT_EQ(ParsedURL::parse("http://h:-9223372036854775809/").port, 0);
    // A negative or zero port is not written back.
    EXPECT_EQ(ParsedURL::parse("http://h:-5/p").toString(), "http://h/p");
}

TEST(ParsedUrlTest, TextsWithoutSchemeAreAllPath) {
    auto url = ParsedURL::parse("example.com/a");
    EXPECT_EQ(url.protocol, "");
    EXPECT_EQ(url.hostname, "");
    EXPECT_EQ(url.pathname, "/example.com/a");
    EXPECT_EQ(url.port, 0);

    auto empty = ParsedURL::parse("");
    EXPECT_EQ(empty.pathname, "/");
    EXPECT_EQ(empty.toString(), "/");

    auto fragmentFirst = ParsedURL::parse("/p#frag?notquery");
    EXPECT_EQ(fragmentFirst.hash, "#frag?notquery");
    EXPECT_EQ(fragmentFirst.search, "");
    EXPECT_TRUE(fragmentFirst.params.empty());

    // The scheme separator inside the query does not count.
    auto queryScheme = ParsedURL::parse("/r?to=http://x");
    EXPECT_EQ(queryScheme.protocol, "");
    EXPECT_EQ(queryScheme.params.get("to"), "http://x");
    EXPECT_EQ(ParsedURL::parse("://").pathname, "/");
    EXPECT_EQ(ParsedURL::parse("://").host, "");
}

TEST(ParsedUrlTest, ParamsShowInToStringOnlyWithoutParsedQuery) {
    auto plain = ParsedURL::parse("http://h/p#f");
    plain.params.set("k", "v w");
    EXPECT_EQ(plain.toString(), "http://h/p?k=v%20w#f");

    auto queried = ParsedURL::parse("http://h/p?a=1");
    queried.params.set("a", "2");
    EXPECT_EQ(queried.params.get("a"), "2");
    EXPECT_EQ(queried.toString(), "http://h/p?a=1");

    ParsedURL bare;
    bare.hash = "x";
    EXPECT_EQ(bare.toString(), "/#x");
}

} // namespace
} // namespace zarn::stdlib
