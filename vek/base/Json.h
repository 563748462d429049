// The little JSON that vek writes and reads by hand: quoting strings for the
// documents it prints and stores, and reading the string members of a flat
// object (the credentials file).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vek {

// A double-quoted JSON string that reads back as `text`.
std::string jsonQuote(std::string_view text);

// The members of a top-level JSON object whose values are strings, keyed by
// member name; members of other kinds are skipped. When a name appears twice
// the first one counts. Nothing when the text is not one well-formed object.
std::optional<std::map<std::string, std::string>> readStringMembers(std::string_view text);

} // namespace vek
