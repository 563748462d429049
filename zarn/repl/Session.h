// One interactive session: entries checked and run one after the other in the
// same checker and interpreter, so that what an entry declares (variables,
// functions, classes, modules) is there for the entries after it.
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/ModuleCache.h"
#include "zarn/runtime/Interpreter.h"
#include "zarn/runtime/NativeModules.h"
#include "zarn/typecheck/TypeChecker.h"

#include <iosfwd>
#include <memory>
#include <string>

namespace zarn {

class ReplSession {
public:
    // Modules resolve from the working directory. Values and diagnostics go to `out`.
    ReplSession(NativeModuleTable modules, std::ostream& out);
    ReplSession(const ReplSession&) = delete;
    ReplSession& operator=(const ReplSession&) = delete;

    // Lexes, parses, checks and runs one entry, printing the value of each
    // bare expression and, when a stage fails, its diagnostics. Returns false
    // when the entry failed; it then declared nothing. A script's
    // process.exit passes through (ProcessExit).
    bool submit(const std::string& text);

    // A stop request (Ctrl+C) ends a running entry.
    void setInterruptible(bool interruptible) { interpreter_.setInterruptible(interruptible); }
    // At a terminal, the "^C" that the terminal echoes into the output of an
    // interrupted entry is ended with a line break before the diagnostics.
    void setEchoedInterrupts(bool echoed) { echoedInterrupts_ = echoed; }

private:
    bool fail();
    void show(const ExprStmt& statement, Value value);

    std::ostream& out_;
    DiagnosticEngine engine_;
    std::shared_ptr<ModuleCache> sourceModules_;
    TypeChecker checker_;
    Interpreter interpreter_;
    size_t entries_ = 0;
    bool echoedInterrupts_ = false;
};

} // namespace zarn
