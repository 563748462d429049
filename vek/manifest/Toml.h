// The small line-oriented TOML subset that manifests and lockfiles are written
// in: one statement per line, strings, integers, booleans, arrays, inline
// tables, table headers and arrays of tables.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vek {

struct TomlValue;
using TomlArray = std::vector<TomlValue>;
using TomlTable = std::map<std::string, TomlValue, std::less<>>;

enum class TomlKind : std::uint8_t { String = 0, Integer = 1, Boolean = 2, Array = 3, Table = 4 };

struct TomlValue {
    // The alternatives are in the order of TomlKind.
    std::variant<std::string, std::int64_t, bool, TomlArray, TomlTable> data;

    TomlKind kind() const { return static_cast<TomlKind>(data.index()); }
    const std::string* asString() const { return std::get_if<std::string>(&data); }
    const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&data); }
    const bool* asBoolean() const { return std::get_if<bool>(&data); }
    const TomlArray* asArray() const { return std::get_if<TomlArray>(&data); }
    const TomlTable* asTable() const { return std::get_if<TomlTable>(&data); }
    TomlArray* asArray() { return std::get_if<TomlArray>(&data); }
    TomlTable* asTable() { return std::get_if<TomlTable>(&data); }
};

// Parses a whole document. On failure returns nothing and stores
// "Line <n>: ..." into `error` when given. A file that cannot be opened reads
// as an empty document; callers that need the file check that it exists.
std::optional<TomlTable> parseFile(const std::filesystem::path& path, std::string* error = nullptr);
std::optional<TomlTable> parseText(std::string_view text, std::string* error = nullptr);

// Parses the right-hand side of an assignment (already trimmed or not).
std::optional<TomlValue> parseValue(std::string_view text);

// Looks up a key of a table; nothing when absent.
const TomlValue* find(const TomlTable& table, std::string_view key);

// A double-quoted basic string that both this reader and standard TOML read
// back as `text`: quotes, backslashes and control characters are escaped.
std::string tomlQuote(std::string_view text);

// A key as written before "=": bare when it is made of letters, digits, "-"
// and "_", else quoted like a string.
std::string tomlKey(std::string_view key);

} // namespace vek
