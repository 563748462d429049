// Loading source modules and scripts into the running program.
#include "zarn/runtime/Interpreter.h"

#include "zarn/frontend/ModuleResolver.h"

#include <filesystem>

namespace zarn {

// The modules whose top-level statements one call of runModuleStatements is
// running, innermost last. A `use` that is itself one of those top-level
// statements queues its module here instead of running it by recursion: the
// module runs to its end before the next statement of the one that used it,
// exactly as a nested call would, but a chain of modules thousands deep needs
// no deeper host stack than a single module.
struct Interpreter::ModuleRun {
    struct Frame {
        std::shared_ptr<Program> program;
        size_t next = 0;       // index of the next top-level statement
        std::string directory; // the module's own directory
    };
    std::vector<Frame> frames;
    const Statement* directUse = nullptr; // the top-level statement now executing
};

namespace {

// Restores a slot when the scope ends, also when a failure unwinds through it.
template <typename T>
class RestoreOnExit {
public:
    explicit RestoreOnExit(T& slot) : slot_(slot), saved_(slot) {}
    ~RestoreOnExit() { slot_ = std::move(saved_); }
    RestoreOnExit(const RestoreOnExit&) = delete;
    RestoreOnExit& operator=(const RestoreOnExit&) = delete;

private:
    T& slot_;
    T saved_;
};

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

std::shared_ptr<Program> Interpreter::loadProgram(const std::string& path,
                                                  const DiagnosticMessage& unreadable,
                                                  const SourceLocation& location) {
    const ModuleCache::Module& module = moduleCache_->load(path);
    if (!module.readable) {
        diagnostics_.report(unreadable, location, {path});
        return nullptr;
    }
    // Nothing runs once the run holds an error (a syntax error in this file included).
    if (!module.program || diagnostics_.hasErrors()) return nullptr;
    // Functions and classes of the file refer to its nodes for the rest of the run.
    loadedPrograms_.push_back(module.program);
    return module.program;
}

void Interpreter::loadSourceModule(UseStmt& node) {
    std::string path = resolveModule(node.moduleName, currentDirectory_);
    if (path.empty()) {
        diagnostics_.report(diag::ModuleNotFound, node.location, {node.moduleName});
        return;
    }
    // Each file loads once per run, which also ends cycles of modules.
    if (!loadedModules_.insert(path).second) return;
    std::shared_ptr<Program> program = loadProgram(path, diag::ModuleUnreadable, node.location);
    if (!program) return;
    if (moduleRun_ && moduleRun_->directUse == &node) {
        moduleRun_->frames.push_back(ModuleRun::Frame{std::move(program), 0, directoryOf(path)});
        return;
    }
    runModuleStatements(std::move(program), directoryOf(path));
}

void Interpreter::runModuleStatements(std::shared_ptr<Program> program, std::string directory) {
    ModuleRun run;
    run.frames.push_back(ModuleRun::Frame{std::move(program), 0, std::move(directory)});
    RestoreOnExit<ModuleRun*> restoreRun(moduleRun_);
    RestoreOnExit<std::string> restoreDirectory(currentDirectory_);
    moduleRun_ = &run;
    while (!run.frames.empty()) {
        ModuleRun::Frame& frame = run.frames.back();
        // A top-level return ends this module only: the one that used it goes
        // on with its next statement.
        if (signal_ != ControlSignal::None) {
            signal_ = ControlSignal::None;
            returnValue_ = Value();
            run.frames.pop_back();
            continue;
        }
        if (frame.next >= frame.program->statements.size()) {
            run.frames.pop_back();
            continue;
        }
        currentDirectory_ = frame.directory;
        if (frame.next == 0) defineHoisted(frame.program->statements);
        Statement* statement = frame.program->statements[frame.next++].get();
        if (isHoisted(statement)) continue;
        // `frame` may move when the statement queues a module; it is not used again.
        run.directUse = statement;
        execute(statement);
        run.directUse = nullptr;
    }
}

void Interpreter::runScript(const std::string& requested) {
    std::filesystem::path location(requested);
    if (location.is_relative() && !currentDirectory_.empty())
        location = std::filesystem::path(currentDirectory_) / location;
    std::string path = location.string();
    if (!endsWith(path, ".zarn")) path += ".zarn";
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        diagnostics_.report(diag::ScriptNotFound, SourceLocation(), {path});
        return;
    }
    std::shared_ptr<Program> program = loadProgram(path, diag::ScriptUnreadable, SourceLocation());
    if (!program) return;

    RestoreOnExit<std::string> restoreDirectory(currentDirectory_);
    std::string directory = directoryOf(path);
    // The script's names may have been placed from another scope before.
    forgetNamePlaces();
    // `main` as seen from where the script runs, before and after: only a main
    // that the script itself defined is called, never the running program's
    // own main again (which could start this script again, without end).
    // Run from a frame, the script sees the locals in scope at the call that
    // started it, by name, as it would in a scope of names; functions it
    // defines may keep seeing them. Where that call would be in a scope of
    // its own (in a loop, say), the script declares into a scope made here.
    Environment* frame = current_->frameSlots != 0 ? current_ : nullptr;
    const FrameSite* site =
        frame && !frames_.empty() ? frameSite(frames_.back().callSite) : nullptr;
    Environment* own = nullptr;
    RootScope roots(tempRoots_);
    if (site != nullptr) {
        frame->publish(&site->visible, !site->nested);
        if (site->nested) {
            own = newEnvironment(frame);
            roots.push(Value(own));
            current_ = own;
        }
    }
    Value* slot = current_->lookup(mainSymbol_);
    GcObject* before = slot ? slot->asObject() : nullptr;
    runModuleStatements(std::move(program), directory);
    // A top-level return of the script ends the script, not its caller.
    signal_ = ControlSignal::None;
    currentDirectory_ = directory;
    slot = current_->lookup(mainSymbol_);
    Value mainFunction = slot ? *slot : Value();
    if (mainFunction.kind == ValueKind::Object && mainFunction.asObject() != before)
        callValue(mainFunction, {}, SourceLocation());
    if (own != nullptr) {
        current_ = frame;
        releaseEnvironment(own);
    }
    if (site != nullptr) frame->publish(frame->captured ? frame->published : nullptr, false);
}

} // namespace zarn
