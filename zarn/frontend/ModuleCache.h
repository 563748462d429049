// Source modules of one run, each read and parsed once. The driver makes one
// cache and hands it to the type checker and the interpreter, which then share
// the trees: a module used by the checker, by several modules and by the
// running program is read from disk and parsed a single time.
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/AST.h"

#include <memory>
#include <string>
#include <unordered_map>

namespace zarn {

class ModuleCache {
public:
    struct Module {
        // Null when the file could not be read.
        std::shared_ptr<Program> program;
        bool readable = false;
        // Whether lexing and parsing it reported nothing (its errors went to the
        // engine once, when it was parsed).
        bool clean = false;
    };

    explicit ModuleCache(DiagnosticEngine& diagnostics) : diagnostics_(diagnostics) {}
    ModuleCache(const ModuleCache&) = delete;
    ModuleCache& operator=(const ModuleCache&) = delete;

    // The module file at a resolved path, read and parsed on its first request.
    const Module& load(const std::string& path);

    // How many files were parsed so far.
    size_t parseCount() const { return parses_; }

private:
    DiagnosticEngine& diagnostics_;
    std::unordered_map<std::string, Module> modules_;
    size_t parses_ = 0;
};

} // namespace zarn
