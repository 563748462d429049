#include "vek/cli/Args.h"

namespace vek {

bool ParsedArgs::has(std::string_view name) const {
    return flags.find(name) != flags.end() || options.find(name) != options.end();
}

std::string ParsedArgs::option(std::string_view name, std::string_view fallback) const {
    const auto it = options.find(name);
    return it == options.end() ? std::string(fallback) : it->second;
}

ParsedArgs parseArgs(const std::vector<std::string>& words) {
    ParsedArgs args;
    bool passthrough = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (passthrough) {
            args.passthrough.push_back(word);
        } else if (word == "--") {
            passthrough = true;
        } else if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
            const auto eq = word.find('=');
            if (eq != std::string::npos) {
                args.options.insert_or_assign(word.substr(2, eq - 2), word.substr(eq + 1));
            } else if (i + 1 < words.size() && (words[i + 1].empty() || words[i + 1][0] != '-')) {
                args.options.insert_or_assign(word.substr(2), words[++i]);
            } else {
                args.flags.insert(word.substr(2));
            }
        } else if (word.size() >= 2 && word[0] == '-') {
            // Short flags never take a value; "-h" is the help flag.
            args.flags.insert(word == "-h" ? std::string("help") : word.substr(1));
        } else if (args.command.empty()) {
            args.command = word;
        } else {
            args.positional.push_back(word);
        }
    }
    return args;
}

} // namespace vek
