// Fuzzes the whole run pipeline: for any program that parses and passes the
// type checker, running it may not crash, leak or corrupt the heap. The
// collector runs at every allocation (so that a missing root shows up), and
// the build gives the interpreter a step budget, so that loops without end
// stop with a run-time error. Only the math module is available: nothing a
// program does here reaches files, processes or the network.
#include "CheckedProgram.h"
#include "zarn/runtime/Interpreter.h"
#include "zarn/stdlib/MathModule.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("ZARN_GC_STRESS", "1", 1);
    // `input()` must never wait for a terminal.
    if (std::freopen("/dev/null", "r", stdin) == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zarn;
    DiagnosticEngine engine;
    std::shared_ptr<Program> program = fuzz::checkedProgram(data, size, engine);
    if (!program || engine.hasErrors()) return 0;

    NativeModuleTable modules;
    modules.add("math", stdlib::initMathModule);
    Interpreter interpreter(engine, std::move(modules));
    interpreter.interpret(program);
    for (const Diagnostic& diagnostic : engine.diagnostics()) (void)engine.render(diagnostic);
    return 0;
}
