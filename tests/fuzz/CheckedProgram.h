// The static stages shared by the fuzz targets: lex, parse, declare and check
// arbitrary bytes as the file "fuzz.zarn".
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"
#include "zarn/typecheck/TypeChecker.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zarn::fuzz {

// The program when it parses (null otherwise), after the checker ran over it;
// the checker's findings are in the engine.
inline std::shared_ptr<Program> checkedProgram(const uint8_t* data, size_t size,
                                               DiagnosticEngine& engine) {
    Lexer lexer(std::string(reinterpret_cast<const char*>(data), size), "fuzz.zarn", engine);
    Parser parser(lexer.tokenize(), engine);
    std::shared_ptr<Program> program = parser.parseProgram();
    if (!program || engine.hasErrors()) return nullptr;
    TypeChecker checker(engine);
    checker.setFile("fuzz.zarn");
    checker.declare(*program);
    checker.check(*program);
    return program;
}

} // namespace zarn::fuzz
