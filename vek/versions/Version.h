// Package versions (semantic versioning precedence) and the constraints that
// dependencies put on them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vek {

struct Version {
    std::uint64_t major = 0;
    std::uint64_t minor = 0;
    std::uint64_t patch = 0;
    std::vector<std::string> prerelease; // identifiers after "-", empty for a release
    std::string build;                   // text after "+", ignored by ordering

    // Negative, zero or positive as this version orders before, equal to or after
    // `other`. The build text never takes part.
    int compare(const Version& other) const;

    friend bool operator==(const Version& a, const Version& b) { return a.compare(b) == 0; }
    friend bool operator<(const Version& a, const Version& b) { return a.compare(b) < 0; }
    friend bool operator<=(const Version& a, const Version& b) { return a.compare(b) <= 0; }
    friend bool operator>(const Version& a, const Version& b) { return a.compare(b) > 0; }
    friend bool operator>=(const Version& a, const Version& b) { return a.compare(b) >= 0; }
};

// "1.2.3", "v1.2.3", "1.0.0-beta.2+build5"; surrounding white space is ignored.
std::optional<Version> parseVersion(std::string_view text);
std::string toString(const Version& version);

enum class Operator : std::uint8_t {
    Equal = 0,
    Greater = 1,
    GreaterEqual = 2,
    Less = 3,
    LessEqual = 4,
    Caret = 5,
    Tilde = 6,
    Any = 7,
};

struct Comparator {
    Operator op = Operator::Any;
    Version version;

    bool matches(const Version& candidate) const;
};

// All comparators must hold. The source text is kept so that a manifest is
// written back the way it was typed.
struct VersionConstraint {
    std::vector<Comparator> comparators;
    std::string source;

    bool matches(const Version& candidate) const;
};

// "^1.2", ">=1.0, <2.0", "~1.4.1", "1.*", "*", "1.2.0" (exactly 1.2.0).
std::optional<VersionConstraint> parseConstraint(std::string_view text);
std::string toString(const VersionConstraint& constraint);

// The constraint that accepts every version, written "*".
VersionConstraint anyVersion();

} // namespace vek
