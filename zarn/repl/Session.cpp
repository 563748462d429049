#include "zarn/repl/Session.h"

#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/Parser.h"
#include "zarn/runtime/StopSignal.h"

#include <ostream>

namespace zarn {

namespace {
// Entries are named for their place in the session; locations in diagnostics
// read "<repl:3>:1:9" for line 1, column 9 of the third entry.
std::string entryName(size_t number) { return "<repl:" + std::to_string(number) + ">"; }
} // namespace

ReplSession::ReplSession(NativeModuleTable modules, std::ostream& out)
    : out_(out), sourceModules_(std::make_shared<ModuleCache>(engine_)), checker_(engine_),
      interpreter_(engine_, std::move(modules)) {
    // Module files resolve from the working directory, for the checker and
    // the interpreter alike, as if the entries were a file there.
    const std::string here = "./" + entryName(0);
    checker_.setFile(here);
    interpreter_.setScriptPath(here);
    checker_.setModuleCache(sourceModules_);
    interpreter_.setModuleCache(sourceModules_);
}

bool ReplSession::fail() {
    if (echoedInterrupts_ && stopRequested()) out_ << '\n';
    engine_.printAll(out_);
    out_.flush();
    return false;
}

bool ReplSession::submit(const std::string& text) {
    engine_.clearDiagnostics();
    // The lexer registers the text under the entry's name, so that
    // diagnostics about it (also ones met later, in a function it declared)
    // quote it.
    Lexer lexer(text, entryName(++entries_), engine_);
    std::vector<Token> tokens = lexer.tokenize();
    if (engine_.hasErrors()) return fail();
    Parser parser(std::move(tokens), engine_);
    std::shared_ptr<Program> program = parser.parseProgram();
    if (engine_.hasErrors() || !program) return fail();

    checker_.checkEntry(*program);
    if (engine_.hasErrors()) {
        checker_.discardEntry();
        return fail();
    }
    bool ran = interpreter_.runEntry(
        program, [this](const ExprStmt& statement, Value value) { show(statement, value); });
    if (!ran || engine_.hasErrors()) {
        checker_.discardEntry();
        return fail();
    }
    checker_.commitEntry();
    out_.flush();
    return true;
}

// A bare expression shows its value as println would print it. Nothing is
// shown for an expression of type void, nor for a call that returned null
// (println itself, a method without a result).
void ReplSession::show(const ExprStmt& statement, Value value) {
    const Expression* expression = statement.expression.get();
    if (expression == nullptr) return;
    if (expression->type && expression->type->is(TypeKind::Void)) return;
    if (value.kind == ValueKind::Null && dynamic_cast<const CallExpr*>(expression) != nullptr)
        return;
    out_ << toString(value) << '\n';
}

} // namespace zarn
