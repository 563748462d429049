// Fuzzes the type checker behind the lexer and the parser: for any program
// that parses, declaring and checking it may not crash, hang or leak, and
// every diagnostic must render.
#include "CheckedProgram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zarn::DiagnosticEngine engine;
    if (!zarn::fuzz::checkedProgram(data, size, engine)) return 0;
    for (const zarn::Diagnostic& diagnostic : engine.diagnostics()) (void)engine.render(diagnostic);
    return 0;
}
