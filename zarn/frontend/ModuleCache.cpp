#include "zarn/frontend/ModuleCache.h"

#include "zarn/frontend/ModuleResolver.h"
#include "zarn/frontend/Parser.h"

#include <filesystem>

namespace zarn {

namespace {

// The name a loaded file has in diagnostics: relative to the working
// directory when it lies below it (module paths are absolute), else as given.
std::string displayName(const std::string& path) {
    std::error_code error;
    std::filesystem::path base = std::filesystem::current_path(error);
    if (error) return path;
    std::filesystem::path relative = std::filesystem::path(path).lexically_proximate(base);
    if (relative.empty() || *relative.begin() == "..") return path;
    return relative.string();
}

} // namespace

const ModuleCache::Module& ModuleCache::load(const std::string& path) {
    auto [entry, fresh] = modules_.try_emplace(path);
    Module& module = entry->second;
    if (!fresh) return module;
    std::string text;
    if (!readModuleFile(path, text)) return module;
    module.readable = true;
    size_t reportedBefore = diagnostics_.count();
    // The lexer registers the text with the engine under its display name.
    module.program = parseSource(std::move(text), displayName(path), diagnostics_, true);
    ++parses_;
    module.clean = module.program && diagnostics_.count() == reportedBefore;
    return module;
}

} // namespace zarn
