#include "zarn/frontend/ModuleCache.h"

#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/ModuleResolver.h"
#include "zarn/frontend/Parser.h"

namespace zarn {

const ModuleCache::Module& ModuleCache::load(const std::string& path) {
    auto [entry, fresh] = modules_.try_emplace(path);
    Module& module = entry->second;
    if (!fresh) return module;
    std::string text;
    if (!readModuleFile(path, text)) return module;
    module.readable = true;
    size_t reportedBefore = diagnostics_.diagnostics().size();
    // The lexer registers the text with the engine under the path.
    Lexer lexer(std::move(text), path, diagnostics_);
    Parser parser(lexer.tokenize(), diagnostics_);
    module.program = parser.parseProgram();
    ++parses_;
    module.clean = module.program && diagnostics_.diagnostics().size() == reportedBefore;
    return module;
}

} // namespace zarn
