// The command line of vek split into a command word, positional words,
// pass-through words (after "--"), flags and valued options.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vek {

struct ParsedArgs {
    std::string command;
    std::vector<std::string> positional;
    std::vector<std::string> passthrough;
    std::set<std::string, std::less<>> flags;
    std::map<std::string, std::string, std::less<>> options;

    // True when the name is a flag or an option.
    bool has(std::string_view name) const;
    // The option's value, or `fallback` when it was not given with a value.
    std::string option(std::string_view name, std::string_view fallback = {}) const;
};

// Parses the words that follow the program name.
ParsedArgs parseArgs(const std::vector<std::string>& words);

} // namespace vek
