// Fuzzes the type checker behind the lexer and the parser: for any program
// that parses, declaring and checking it may not crash, hang or leak, and
// every diagnostic must render.
#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"
#include "zarn/typecheck/TypeChecker.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zarn;
    DiagnosticEngine engine;
    Lexer lexer(std::string(reinterpret_cast<const char*>(data), size), "fuzz.zarn", engine);
    Parser parser(lexer.tokenize(), engine);
    std::shared_ptr<Program> program = parser.parseProgram();
    if (!program || engine.hasErrors()) return 0;
    TypeChecker checker(engine);
    checker.setFile("fuzz.zarn");
    checker.declare(*program);
    checker.check(*program);
    for (const Diagnostic& diagnostic : engine.diagnostics()) (void)engine.render(diagnostic);
    return 0;
}
