// Runs the front end and the checker over one source text, the way the driver
// does, and lists what was reported.
#pragma once

#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"
#include "zarn/typecheck/TypeChecker.h"

#include <string>

namespace zarn::testing {

// "CODE message" per diagnostic, one a line. Syntax errors come back prefixed
// with "parse: " (and the checker does not run), so a broken test program shows.
inline std::string checkSource(const std::string& source, const std::string& path) {
    DiagnosticEngine engine;
    Lexer lexer(source, path, engine);
    Parser parser(lexer.tokenize(), engine);
    std::shared_ptr<Program> program = parser.parseProgram();
    std::string result;
    if (engine.hasErrors()) {
        for (const Diagnostic& d : engine.diagnostics())
            result += "parse: " + d.code + " " + d.message + "\n";
        return result;
    }
    TypeChecker checker(engine);
    checker.setFile(path);
    checker.declare(*program);
    checker.check(*program);
    for (const Diagnostic& d : engine.diagnostics()) result += d.code + " " + d.message + "\n";
    return result;
}

} // namespace zarn::testing
