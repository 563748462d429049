#include "vek/versions/Version.h"

#include <algorithm>
#include <charconv>

namespace vek {
namespace {

constexpr std::string_view kBlank = " \t\r\n";

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlank);
    return text.substr(first, last - first + 1);
}

bool allDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::optional<std::uint64_t> parseNumber(std::string_view text) {
    if (!allDigits(text)) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Numeric identifiers compare by value; they may exceed 64 bits, so compare
// by significant length first and then digit by digit.
int compareNumeric(std::string_view a, std::string_view b) {
    a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
    b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    const int c = a.compare(b);
    return (c > 0) - (c < 0);
}

int compareIdentifiers(const std::string& a, const std::string& b) {
    const bool numericA = allDigits(a);
    const bool numericB = allDigits(b);
    if (numericA && numericB) return compareNumeric(a, b);
    if (numericA != numericB) return numericA ? -1 : 1;
    const int c = a.compare(b);
    return (c > 0) - (c < 0);
}

template <typename T>
int threeWay(const T& a, const T& b) {
    return (a > b) - (a < b);
}

bool triplesEqual(const Version& a, const Version& b) {
    return a.major == b.major && a.minor == b.minor && a.patch == b.patch;
}

// The upper bound (exclusive) of a caret or tilde range, or nothing when the
// bound would overflow (then the range is open above).
std::optional<Version> caretBound(const Version& v) {
    Version bound;
    if (v.major > 0) {
        if (v.major == UINT64_MAX) return std::nullopt;
        bound.major = v.major + 1;
    } else if (v.minor > 0) {
        if (v.minor == UINT64_MAX) return std::nullopt;
        bound.minor = v.minor + 1;
    } else {
        return std::nullopt; // ^0.0.x accepts exactly 0.0.x, handled by the caller
    }
    return bound;
}

std::optional<Version> tildeBound(const Version& v) {
    if (v.minor == UINT64_MAX) return std::nullopt;
    Version bound;
    bound.major = v.major;
    bound.minor = v.minor + 1;
    return bound;
}

const char* operatorText(Operator op) {
    switch (op) {
    case Operator::Equal: return "=";
    case Operator::Greater: return ">";
    case Operator::GreaterEqual: return ">=";
    case Operator::Less: return "<";
    case Operator::LessEqual: return "<=";
    case Operator::Caret: return "^";
    case Operator::Tilde: return "~";
    case Operator::Any: return "*";
    }
    return "";
}

// A version inside a constraint may leave out minor and patch: "1" is 1.0.0
// and "1.2" is 1.2.0. The missing parts are appended to the whole text, so a
// shortened version cannot carry a pre-release or build.
std::optional<Version> parseLooseVersion(std::string_view text) {
    const auto dots = std::count(text.begin(), text.end(), '.');
    if (dots >= 2) return parseVersion(text);
    std::string padded(text);
    padded += dots == 0 ? ".0.0" : ".0";
    return parseVersion(padded);
}

std::vector<std::string_view> splitConstraintTokens(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const bool separator = i == text.size() || text[i] == ',' || text[i] == ' ' ||
                               text[i] == '\t' || text[i] == '\r' || text[i] == '\n' ||
                               text[i] == '\v' || text[i] == '\f';
        if (!separator) continue;
        if (i > start) tokens.push_back(text.substr(start, i - start));
        start = i + 1;
    }
    return tokens;
}

} // namespace

int Version::compare(const Version& other) const {
    if (int c = threeWay(major, other.major)) return c;
    if (int c = threeWay(minor, other.minor)) return c;
    if (int c = threeWay(patch, other.patch)) return c;
    if (prerelease.empty() != other.prerelease.empty()) return prerelease.empty() ? 1 : -1;
    const std::size_t shared = std::min(prerelease.size(), other.prerelease.size());
    for (std::size_t i = 0; i < shared; ++i) {
        if (int c = compareIdentifiers(prerelease[i], other.prerelease[i])) return c;
    }
    return threeWay(prerelease.size(), other.prerelease.size());
}

std::optional<Version> parseVersion(std::string_view text) {
    text = trim(text);
    if (!text.empty() && (text.front() == 'v' || text.front() == 'V')) text.remove_prefix(1);

    Version version;
    if (const auto plus = text.find('+'); plus != std::string_view::npos) {
        version.build = std::string(text.substr(plus + 1));
        text = text.substr(0, plus);
    }
    if (const auto dash = text.find('-'); dash != std::string_view::npos) {
        std::string_view rest = text.substr(dash + 1);
        text = text.substr(0, dash);
        while (true) {
            const auto dot = rest.find('.');
            version.prerelease.emplace_back(rest.substr(0, dot));
            if (dot == std::string_view::npos) break;
            rest.remove_prefix(dot + 1);
        }
    }

    std::uint64_t* parts[] = {&version.major, &version.minor, &version.patch};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto dot = text.find('.');
        if ((i < 2) == (dot == std::string_view::npos)) return std::nullopt;
        const auto number = parseNumber(text.substr(0, dot));
        if (!number) return std::nullopt;
        *parts[i] = *number;
        text = i < 2 ? text.substr(dot + 1) : std::string_view{};
    }
    return version;
}

std::string toString(const Version& version) {
    std::string text = std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
                       std::to_string(version.patch);
    for (std::size_t i = 0; i < version.prerelease.size(); ++i) {
        text += i == 0 ? '-' : '.';
        text += version.prerelease[i];
    }
    if (!version.build.empty()) text += "+" + version.build;
    return text;
}

bool Comparator::matches(const Version& candidate) const {
    if (op == Operator::Any) return true;
    // A pre-release is only accepted by a comparator on the same release triple,
    // unless the comparator names a pre-release itself.
    if (!candidate.prerelease.empty() && version.prerelease.empty() &&
        !triplesEqual(candidate, version)) {
        return false;
    }
    const int c = candidate.compare(version);
    switch (op) {
    case Operator::Equal: return c == 0;
    case Operator::Greater: return c > 0;
    case Operator::GreaterEqual: return c >= 0;
    case Operator::Less: return c < 0;
    case Operator::LessEqual: return c <= 0;
    case Operator::Caret: {
        if (c < 0) return false;
        if (version.major == 0 && version.minor == 0) return c == 0;
        const auto bound = caretBound(version);
        return !bound || candidate < *bound;
    }
    case Operator::Tilde: {
        if (c < 0) return false;
        const auto bound = tildeBound(version);
        return !bound || candidate < *bound;
    }
    case Operator::Any: return true;
    }
    return false;
}

bool VersionConstraint::matches(const Version& candidate) const {
    for (const auto& comparator : comparators) {
        if (!comparator.matches(candidate)) return false;
    }
    return true;
}

std::optional<VersionConstraint> parseConstraint(std::string_view text) {
    VersionConstraint constraint;
    constraint.source = std::string(text);
    const std::string_view trimmed = trim(text);
    if (trimmed == "*") {
        constraint.comparators.push_back({Operator::Any, {}});
        return constraint;
    }

    static constexpr std::pair<std::string_view, Operator> kPrefixes[] = {
        {">=", Operator::GreaterEqual}, {"<=", Operator::LessEqual}, {">", Operator::Greater},
        {"<", Operator::Less},          {"=", Operator::Equal},      {"^", Operator::Caret},
        {"~", Operator::Tilde},
    };

    const auto tokens = splitConstraintTokens(trimmed);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        std::string_view token = tokens[i];
        Operator op = Operator::Equal;
        bool hasOperator = false;
        for (const auto& [prefix, prefixOp] : kPrefixes) {
            if (token.substr(0, prefix.size()) == prefix) {
                op = prefixOp;
                token.remove_prefix(prefix.size());
                hasOperator = true;
                break;
            }
        }
        if (hasOperator && token.empty()) {
            if (++i == tokens.size()) return std::nullopt;
            token = tokens[i];
        }
        if (!hasOperator && token == "*") {
            constraint.comparators.push_back({Operator::Any, {}});
            continue;
        }
        // "1.*" is every release with major version 1.
        if (!hasOperator && token == "1.*") {
            constraint.comparators.push_back({Operator::GreaterEqual, Version{1, 0, 0, {}, {}}});
            constraint.comparators.push_back({Operator::Less, Version{2, 0, 0, {}, {}}});
            continue;
        }
        auto version = parseLooseVersion(token);
        if (!version) return std::nullopt;
        constraint.comparators.push_back({op, std::move(*version)});
    }
    return constraint;
}

std::string toString(const VersionConstraint& constraint) {
    if (!constraint.source.empty()) return constraint.source;
    std::string text;
    for (const auto& comparator : constraint.comparators) {
        if (!text.empty()) text += ", ";
        text += operatorText(comparator.op);
        if (comparator.op != Operator::Any) text += toString(comparator.version);
    }
    return text;
}

VersionConstraint anyVersion() {
    VersionConstraint constraint;
    constraint.comparators.push_back({Operator::Any, {}});
    constraint.source = "*";
    return constraint;
}

} // namespace vek
