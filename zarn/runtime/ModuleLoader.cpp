// Loading source modules and scripts into the running program.
#include "zarn/runtime/Interpreter.h"

namespace zarn {

void Interpreter::loadSourceModule(UseStmt& node) {
    diagnostics_.error("E0051", "module '" + node.moduleName + "' does not exist", node.location);
}

void Interpreter::runScript(const std::string& path) {
    diagnostics_.error("E0051", "script file '" + path + "' not found", SourceLocation());
}

} // namespace zarn
