#include "vek/versions/Version.h"

#include <gtest/gtest.h>

namespace vek {
namespace {

Version v(std::string_view text) {
    auto parsed = parseVersion(text);
    EXPECT_TRUE(parsed) << text;
    return parsed.value_or(Version{});
}

bool accepts(std::string_view constraint, std::string_view version) {
    auto parsed = parseConstraint(constraint);
    EXPECT_TRUE(parsed) << constraint;
    return parsed && parsed->matches(v(version));
}

TEST(VersionTest, ParsesCorePrereleaseAndBuild) {
    const Version full = v("  v1.20.3-beta.2+build.7\r\n");
    EXPECT_EQ(full.major, 1u);
    EXPECT_EQ(full.minor, 20u);
    EXPECT_EQ(full.patch, 3u);
    EXPECT_EQ(full.prerelease, (std::vector<std::string>{"beta", "2"}));
    EXPECT_EQ(full.build, "build.7");
    EXPECT_EQ(toString(full), "1.20.3-beta.2+build.7");
    EXPECT_EQ(toString(v("V0.0.0")), "0.0.0");
    EXPECT_EQ(toString(v("18446744073709551615.0.1")), "18446744073709551615.0.1");
    // The build may itself hold "-"; only the text before "+" has a pre-release.
    EXPECT_TRUE(v("1.0.0+build-5").prerelease.empty());
}

TEST(VersionTest, RejectsIncompleteOrMalformedCores) {
    for (const char* bad : {"", "v", "1", "1.2", "1.2.3.4", "1..3", "1.2.x", "a.b.c", "-1.2.3",
                            "1.2.+3", "18446744073709551616.0.0", "1.2. 3", "1.2.3 x"}) {
        EXPECT_FALSE(parseVersion(bad)) << bad;
    }
}

TEST(VersionTest, OrdersBySemverPrecedence) {
    const char* ascending[] = {
        "1.0.0-2",    "1.0.0-10",     "1.0.0-alpha",   "1.0.0-alpha.1", "1.0.0-alpha.beta",
        "1.0.0-beta", "1.0.0-beta.2", "1.0.0-beta.11", "1.0.0-rc.1",    "1.0.0",
        "1.0.1",      "1.2.0",        "2.0.0",         "10.0.0"};
    for (std::size_t i = 0; i + 1 < std::size(ascending); ++i) {
        EXPECT_LT(v(ascending[i]), v(ascending[i + 1]))
            << ascending[i] << " < " << ascending[i + 1];
        EXPECT_GT(v(ascending[i + 1]), v(ascending[i]));
    }
    EXPECT_EQ(v("1.0.0+build5"), v("1.0.0"));
    EXPECT_EQ(v("1.0.0-01"), v("1.0.0-1")); // numeric identifiers compare by value
    // Numeric identifiers longer than 64 bits still compare by value.
    EXPECT_LT(v("1.0.0-99999999999999999999"), v("1.0.0-100000000000000000000"));
}

TEST(VersionTest, ConstraintsParseTheSameWithOrWithoutSpaces) {
    const auto a = parseConstraint(">=1.0.0, <2.0.0");
    const auto b = parseConstraint(">= 1.0.0 < 2.0.0");
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->comparators.size(), 2u);
    ASSERT_EQ(b->comparators.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(a->comparators[i].op, b->comparators[i].op);
        EXPECT_EQ(a->comparators[i].version, b->comparators[i].version);
    }
    EXPECT_EQ(a->comparators[0].op, Operator::GreaterEqual);
    EXPECT_EQ(a->comparators[1].op, Operator::Less);
    EXPECT_EQ(toString(*b), ">= 1.0.0 < 2.0.0"); // the source text is kept
}

// The comparators of a constraint, each written operator then version.
std::string comparatorsOf(std::string_view constraint) {
    const auto parsed = parseConstraint(constraint);
    if (!parsed) return "<fails>";
    std::string text;
    for (const Comparator& c : parsed->comparators) {
        VersionConstraint one;
        one.comparators.push_back(c);
        text += (text.empty() ? "" : " ") + toString(one);
    }
    return text;
}

TEST(VersionTest, ConstraintShortVersionsArePadded) {
    EXPECT_TRUE(accepts("1.2", "1.2.0"));
    EXPECT_FALSE(accepts("1.2", "1.2.1"));
    EXPECT_TRUE(accepts("^1", "1.9.9"));
    EXPECT_EQ(comparatorsOf("1"), "=1.0.0");
    EXPECT_EQ(comparatorsOf("v1.2"), "=1.2.0");
    EXPECT_EQ(comparatorsOf("~ 0"), "~0.0.0");
    EXPECT_EQ(comparatorsOf("<=1.2.3-rc.1+b"), "<=1.2.3-rc.1+b");
    // The padding goes at the end of the text, so a shortened version cannot
    // carry a pre-release or build.
    for (const char* bad : {">=1.2-beta", "1-rc", "1.2+build", "^1-a.b", "1.2.3.4"}) {
        EXPECT_FALSE(parseConstraint(bad)) << bad;
    }
    EXPECT_FALSE(parseConstraint(">="));
    EXPECT_FALSE(parseConstraint("1.2.*"));
    EXPECT_FALSE(parseConstraint("^x"));
    EXPECT_FALSE(parseConstraint(">=1.0 <"));
}

TEST(VersionTest, CaretTildeAndWildcardRanges) {
    EXPECT_TRUE(accepts("^1.2.3", "1.9.0"));
    EXPECT_FALSE(accepts("^1.2.3", "2.0.0"));
    EXPECT_FALSE(accepts("^1.2.3", "1.2.2"));
    EXPECT_TRUE(accepts("^0.2.3", "0.2.9"));
    EXPECT_FALSE(accepts("^0.2.3", "0.3.0"));
    EXPECT_TRUE(accepts("^0.0.3", "0.0.3"));
    EXPECT_FALSE(accepts("^0.0.3", "0.0.4"));
    EXPECT_TRUE(accepts("~1.2.3", "1.2.9"));
    EXPECT_FALSE(accepts("~1.2.3", "1.3.0"));
    EXPECT_TRUE(accepts("1.*", "1.9.0"));
    EXPECT_FALSE(accepts("1.*", "2.0.0"));
    EXPECT_FALSE(accepts("1.*", "0.9.0"));
    EXPECT_TRUE(accepts("*", "0.0.1"));
    EXPECT_TRUE(accepts(">1.0.0 *", "1.0.1"));
    EXPECT_TRUE(accepts("^18446744073709551615.0.0", "18446744073709551615.5.0"));
    EXPECT_TRUE(accepts("<=1.0.0", "1.0.0"));
    EXPECT_FALSE(accepts(">1.0.0", "1.0.0"));
    EXPECT_TRUE(accepts("=1.0.0", "1.0.0+meta"));
}

TEST(VersionTest, PrereleasesOnlyMatchTheirOwnTriple) {
    EXPECT_FALSE(accepts("^1.0.0", "1.1.0-beta"));
    EXPECT_TRUE(accepts(">=1.1.0-alpha", "1.1.0-beta"));
    EXPECT_FALSE(accepts(">=1.0.0", "2.0.0-rc.1"));
    EXPECT_TRUE(accepts("^1.1.0-alpha", "1.1.0-alpha.2"));
    // The guard lets a pre-release of the comparator's own triple through.
    EXPECT_TRUE(accepts("<2.0.0", "2.0.0-rc.1"));
    EXPECT_FALSE(accepts("<2.0.0", "1.5.0-rc.1"));
}

TEST(VersionTest, OperatorsWildcardsAndBoundaries) {
    EXPECT_EQ(comparatorsOf(">=1.0.0"), ">=1.0.0");
    EXPECT_EQ(comparatorsOf("<= 1.0.0"), "<=1.0.0");
    EXPECT_EQ(comparatorsOf(">1"), ">1.0.0");
    EXPECT_EQ(comparatorsOf("<1"), "<1.0.0");
    EXPECT_EQ(comparatorsOf("=1"), "=1.0.0");
    EXPECT_EQ(comparatorsOf("^1"), "^1.0.0");
    EXPECT_EQ(comparatorsOf("~1"), "~1.0.0");
    EXPECT_EQ(comparatorsOf(" * "), "*");
    EXPECT_EQ(comparatorsOf("1.*"), ">=1.0.0 <2.0.0");
    EXPECT_EQ(comparatorsOf(">=1,\t<2\n, ,*"), ">=1.0.0 <2.0.0 *");
    EXPECT_EQ(comparatorsOf(""), ""); // no comparators: every version matches
    EXPECT_TRUE(accepts("", "7.0.0"));
    // Only the token "1.*" stands for a range; any other "*" in a version fails.
    for (const char* bad : {"2.*", "01.*", "1.*.0", ">=1.*", "^*", "1.2.*", "*1", "1.x"}) {
        EXPECT_FALSE(parseConstraint(bad)) << bad;
    }
    EXPECT_TRUE(accepts(">=1.0.0", "1.0.0"));
    EXPECT_FALSE(accepts(">=1.0.0", "0.9.9"));
    EXPECT_FALSE(accepts("<1.0.0", "1.0.0"));
    EXPECT_TRUE(accepts("<1.0.0", "0.9.9"));
    EXPECT_FALSE(accepts("<=1.0.0", "1.0.1"));
    EXPECT_FALSE(accepts("=1.0.0", "1.0.1"));
    EXPECT_TRUE(accepts("1.0.0", "1.0.0"));
    EXPECT_TRUE(accepts("~1.2.3", "1.2.3"));
    EXPECT_FALSE(accepts("~1.2.3", "1.2.2"));
    EXPECT_TRUE(accepts("~0.0.3", "0.0.9"));
    EXPECT_FALSE(accepts("~0.0.3", "0.1.0"));
    EXPECT_TRUE(accepts("^0.2.3", "0.2.3"));
    EXPECT_FALSE(accepts("^0.2.3", "0.2.2"));
    EXPECT_FALSE(accepts("^0.0.3", "0.0.2"));
    EXPECT_TRUE(accepts("^1.2.3", "1.2.3"));
    EXPECT_TRUE(accepts("1.*", "1.0.0"));
    EXPECT_TRUE(accepts(">=1.0.0, <2.0.0", "1.5.0"));
    EXPECT_FALSE(accepts(">=1.0.0, <2.0.0", "2.0.0"));
    // Any accepts pre-releases too: the guard applies to the other operators.
    EXPECT_TRUE(accepts("*", "3.0.0-alpha"));
}

TEST(VersionTest, OperatorNumbering) {
    const Operator ops[] = {Operator::Equal, Operator::Greater,   Operator::GreaterEqual,
                            Operator::Less,  Operator::LessEqual, Operator::Caret,
                            Operator::Tilde, Operator::Any};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(static_cast<int>(ops[i]), i);
}

TEST(VersionTest, ConstraintWithoutSourceJoinsComparators) {
    VersionConstraint c;
    c.comparators.push_back({Operator::GreaterEqual, v("1.0.0")});
    c.comparators.push_back({Operator::Caret, v("1.2.0-rc.1")});
    c.comparators.push_back({Operator::Any, {}});
    EXPECT_EQ(toString(c), ">=1.0.0, ^1.2.0-rc.1, *");
    EXPECT_EQ(toString(anyVersion()), "*");
}

} // namespace
} // namespace vek
