// The interpreter's core: construction and roots, the scope pool, calls,
// methods, the run order of a program, and every statement.
#include "zarn/runtime/Interpreter.h"

#include "zarn/runtime/FrameLayout.h"
#include "zarn/runtime/StackLimit.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace zarn {

namespace {

bool stressRequested() {
    const char* value = std::getenv("ZARN_GC_STRESS");
    return value != nullptr && std::string_view(value) == "1";
}

} // namespace

uint32_t Interpreter::uniqueMark() {
    // The one thing interpreters share, so that their marks differ.
    static std::atomic<uint32_t> last{0};
    uint32_t id = last.fetch_add(1, std::memory_order_relaxed) + 1;
    return id != 0 ? id : last.fetch_add(1, std::memory_order_relaxed) + 1;
}

Interpreter::Interpreter(DiagnosticEngine& diagnostics, NativeModuleTable modules)
    : diagnostics_(diagnostics), modules_(std::move(modules)), gc_(stressRequested()),
      moduleCache_(std::make_shared<ModuleCache>(diagnostics)) {
    stackLimit_ = stackLimitForThisThread();
    gc_.setRootMarker([this](GC& gc) { markRoots(gc); });
    auto intern = [this](const char* name) { return symbols_.intern(name); };
    methodNames_ = MethodNames{intern("length"),   intern("contains"),  intern("startsWith"),
                               intern("endsWith"), intern("substring"), intern("replace"),
                               intern("split"),    intern("trim"),      intern("toUpper"),
                               intern("toLower"),  intern("add"),       intern("push"),
                               intern("size"),     intern("pop"),       intern("clear")};
    thisSymbol_ = intern("this");
    mainSymbol_ = intern("main");
    globals_ = gc_.allocate<Environment>(nullptr);
    current_ = globals_;
    initGlobals();
    if (ModuleInitializer math = modules_.find("math")) math(*this);
}

Interpreter::~Interpreter() = default;

void Interpreter::markRoots(GC& gc) {
    gc.markObject(globals_);
    gc.markObject(current_);
    gc.markValue(lastValue_);
    gc.markValue(returnValue_);
    for (const Value& v : tempRoots_.all()) gc.markValue(v);
    for (Environment* env : pool_) gc.markObject(env);
    for (const Value& v : retained_) gc.markValue(v);
}

NameId Interpreter::fillSymbol(RuntimeCache& cache, const std::string& name) {
    cache.owner = runId_;
    cache.id = symbols_.intern(name);
    return cache.id;
}

void Interpreter::setScriptPath(const std::string& path) {
    currentDirectory_ = std::filesystem::path(path).parent_path().string();
    // The main file is loaded already: a `use` of it (directly or through a
    // cycle) must not run it a second time. Module paths are canonical.
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::canonical(path, error);
    if (!error) loadedModules_.insert(canonical.string());
}

// ---- what NativeApi.h builds on ---------------------------------------------------------------

Value Interpreter::makeString(std::string_view text) { return Value(makeStringObject(gc_, text)); }

Value Interpreter::makeArray(std::span<const Value> elements) {
    return Value(gc_.allocate<ArrayObject>(elements));
}

Value Interpreter::makeNative(std::string name, NativeCallable callable,
                              std::vector<Value> captures) {
    RootScope roots(tempRoots_);
    for (const Value& v : captures) roots.push(v);
    return Value(gc_.allocate<NativeFunctionObject>(std::move(name), std::move(callable),
                                                    std::move(captures)));
}

void Interpreter::defineHere(std::string_view name, Value value) {
    // Natives define rarely (modules that are used), and from any scope: the
    // check is made whether or not the scope was captured.
    NameId symbol = symbols_.intern(name);
    hideFromEarlierFunctions(symbol);
    current_->define(symbol, value);
}

void Interpreter::hideFromEarlierFunctions(NameId name) {
    // Code that ran in or below this scope (a function made here, say) may
    // have remembered where it found a variable of this name further out; a
    // new one here hides that variable from now on, so every remembered place
    // is given up.
    if (current_->findDefined(name) == nullptr && current_->parent != nullptr &&
        current_->parent->lookup(name) != nullptr)
        forgetNamePlaces();
}

void Interpreter::defineGlobal(std::string_view name, Value value) {
    globals_->define(symbols_.intern(name), value);
}

Value Interpreter::getGlobal(std::string_view name) {
    NameId symbol = symbols_.find(name);
    return symbol == kNoName ? Value() : globals_->get(symbol);
}

void Interpreter::registerServer(std::shared_ptr<ServedObject> server) {
    for (const auto& known : servers_)
        if (known == server) return;
    servers_.push_back(std::move(server));
}

// ---- scopes -------------------------------------------------------------------

Environment* Interpreter::allocateEnvironment(Environment* parent) {
    // Every parent is reachable already (the current scope, a rooted callee's
    // closure, the globals), and the temporary-root stack must not move here:
    // callers still read arguments from it.
    return gc_.allocate<Environment>(parent);
}

void Interpreter::markCaptured() {
    for (Environment* env = current_; env != nullptr && !env->captured; env = env->parent)
        env->captured = true;
}

bool Interpreter::isHoisted(const Statement* statement) {
    return dynamic_cast<const FunctionDeclStmt*>(statement) != nullptr ||
           dynamic_cast<const ClassDeclStmt*>(statement) != nullptr;
}

void Interpreter::defineHoisted(const std::vector<StmtPtr>& statements) {
    for (const StmtPtr& statement : statements)
        if (isHoisted(statement.get())) execute(statement.get());
}

void Interpreter::executeTopLevel(const std::vector<StmtPtr>& statements) {
    defineHoisted(statements);
    for (const StmtPtr& statement : statements) {
        if (signal_ != ControlSignal::None) return;
        if (isHoisted(statement.get())) continue;
        countStep();
        statement->accept(*this);
    }
}

void Interpreter::executeStatementList(const std::vector<StmtPtr>& statements) {
    for (const StmtPtr& statement : statements) {
        if (signal_ != ControlSignal::None) return;
        countStep();
        statement->accept(*this);
    }
}

// ---- calls --------------------------------------------------------------------

void Interpreter::stackOverflow() {
    captureFailure();
    throw std::runtime_error("stack overflow (call depth limit reached)");
}

namespace {
// Arguments copied out of storage that may move; small counts stay on the stack.
class ArgumentCopy {
public:
    explicit ArgumentCopy(std::span<const Value> source) {
        if (source.size() <= kSmall) {
            std::copy(source.begin(), source.end(), small_);
            view_ = std::span<const Value>(small_, source.size());
        } else {
            large_.assign(source.begin(), source.end());
            view_ = large_;
        }
    }
    operator std::span<const Value>() const { return view_; }
    size_t size() const { return view_.size(); }
    const Value& operator[](size_t i) const { return view_[i]; }

private:
    static constexpr size_t kSmall = 8;
    Value small_[kSmall];
    std::vector<Value> large_;
    std::span<const Value> view_;
};

} // namespace

Value Interpreter::callValue(Value callee, std::span<const Value> arguments,
                             const SourceLocation& location) {
    RootScope roots(tempRoots_);
    roots.push(callee);
    for (const Value& v : arguments) roots.push(v);
    // Natives may hand in storage of their own; the pushed copies are the roots.
    return callRooted(callee, tempRoots_.last(arguments.size()), location);
}

Value Interpreter::callNative(NativeFunctionObject* function, std::span<const Value> arguments,
                              const SourceLocation& location) {
    DepthGuard depth(callDepth_);
    pushFrame(nullptr, nullptr, &location);
    checkStack();
    // A copy: the temporary-root stack may grow (and move) during the call.
    ArgumentCopy copy(arguments);
    NativeArgs args(copy, *function, location);
    Value result;
    try {
        result = function->callable(*this, args);
    } catch (...) {
        // Taken here, while every location of the call stack still exists.
        captureFailure();
        throw;
    }
    frames_.pop_back();
    return result;
}

void Interpreter::ensureBoundMethods(ClassInstanceObject* instance, const ClassInfo& info) {
    if (info.methodNames.empty()) return;
    InstanceExtras& extras = instance->extras();
    if (extras.boundFor == &info) return;
    extras.boundFor = &info;
    extras.boundMethods.clear();
    RootScope roots(tempRoots_);
    roots.push(Value(instance));
    for (NameId method : info.methodNames) {
        Value bound = boundMethod(instance, method);
        // Made after each allocation: the extras stay where they are.
        extras.boundMethods.push_back(static_cast<NativeFunctionObject*>(bound.as.object));
    }
}

const InstanceLayout& Interpreter::plainLayout(NameId className) {
    if (plainLayouts_.size() <= className) plainLayouts_.resize(className + 1);
    std::unique_ptr<InstanceLayout>& layout = plainLayouts_[className];
    if (!layout) {
        layout = std::make_unique<InstanceLayout>();
        layout->classSymbol = className;
        layout->className = &symbols_.name(className);
    }
    return *layout;
}

Value* Interpreter::findFieldSlow(RuntimeDataCache& cache, ClassInstanceObject* instance,
                                  NameId name) {
    if (!cache.data) cache.data = std::make_shared<FieldSite>();
    auto* site = static_cast<FieldSite*>(cache.data.get());
    site->layout = instance->layout;
    site->slot = instance->layout->slotOf(name);
    return site->slot != InstanceLayout::kNoSlot ? instance->slots() + site->slot
                                                 : instance->findExtraField(name);
}

ClassInstanceObject* Interpreter::makeInstance(const InstanceLayout& layout) {
    return gc_.allocateSized<ClassInstanceObject>(ClassInstanceObject::bytesFor(layout), layout);
}

Value Interpreter::boundMethod(ClassInstanceObject* instance, NameId method) {
    // The callable looks the method up again at call time, so it needs no
    // pointer into the class table.
    NameId classSymbol = instance->classSymbol();
    return makeNative(
        symbols_.name(method),
        [classSymbol, method](Interpreter& interp, const NativeArgs& args) -> Value {
            auto* self = static_cast<ClassInstanceObject*>(args.self().captures[0].as.object);
            const ClassInfo* info = interp.findClass(classSymbol);
            FunctionDeclStmt* declaration = info ? info->findMethod(method) : nullptr;
            if (declaration == nullptr) return Value();
            return interp.invokeMethod(self, *declaration, args.all(), &args.location());
        },
        {Value(instance)});
}

Value Interpreter::invokeMethod(ClassInstanceObject* instance, FunctionDeclStmt& method,
                                std::span<const Value> arguments, const SourceLocation* callSite) {
    return invokeMethod(findClass(instance->classSymbol()), instance, method, arguments, callSite);
}

Value Interpreter::invokeMethod(const ClassInfo* info, ClassInstanceObject* instance,
                                FunctionDeclStmt& method, std::span<const Value> passed,
                                const SourceLocation* callSite) {
    // A copy first: the arguments may live on the temporary-root stack, which
    // moves when it grows (the originals stay there as roots).
    ArgumentCopy arguments(passed);
    RootScope roots(tempRoots_);
    roots.push(Value(instance));
    const FunctionShape& shape = shapeOf(method);
    Environment* scope = openMethodScope(info, instance, shape);
    roots.push(Value(scope));
    bindArgumentValues(shape, scope, arguments);
    return enterMethod(info, instance, method, scope, callSite);
}

void Interpreter::prepareShape(RuntimeDataCache& cache, const std::string& name,
                               const std::vector<Parameter>& parameters,
                               const NodeRef<BlockStmt>& body) {
    if (cache.owner == runId_ && cache.data) return;
    auto shape = std::make_shared<FunctionShape>();
    shape->name = name;
    for (const Parameter& p : parameters) shape->params.push_back(symbols_.intern(p.name));
    shape->body = body;
    cache.owner = runId_;
    cache.id = symbols_.intern(name);
    keptShapes_.push_back(shape);
    cache.data = std::move(shape);
}

Value Interpreter::makeFunction(RuntimeDataCache& cache, const std::string& name,
                                const std::vector<Parameter>& parameters,
                                const NodeRef<BlockStmt>& body) {
    prepareShape(cache, name, parameters, body);
    markCaptured();
    return Value(gc_.allocate<FunctionObject>(static_cast<const FunctionShape*>(cache.data.get()),
                                              current_));
}

// ---- running a program ---------------------------------------------------------

// ---- where run-time errors happen ----------------------------------------------

std::vector<DiagnosticNote> Interpreter::callStackNotes() const {
    // Native functions are the failing expression itself, not a frame of it.
    // Top-level code is the outermost frame unless the runtime made the
    // outermost call (main, say).
    size_t total = frames_.empty() || frames_.front().callSite != nullptr ? 1 : 0;
    for (const CallFrame& frame : frames_)
        if (frame.name != nullptr) ++total;
    std::vector<DiagnosticNote> notes;
    for (auto frame = frames_.rbegin(); frame != frames_.rend(); ++frame) {
        if (frame->name == nullptr) continue;
        if (notes.size() == kMaxNotedFrames) break;
        std::string text = "in ";
        if (frame->owner != nullptr) text += *frame->owner + ".";
        text += frame->name->empty() ? "<lambda>" : *frame->name;
        if (const SourceLocation* site = frame->callSite) {
            const auto [line, column] = site->file.lineAndColumn(site->offset);
            text += ", called at " + site->file + ":" + std::to_string(line) + ":" +
                    std::to_string(column);
        }
        notes.emplace_back("", std::move(text));
    }
    if (notes.size() < kMaxNotedFrames && notes.size() < total) notes.emplace_back("", "in <main>");
    if (total > notes.size())
        notes.emplace_back("", "... and " + std::to_string(total - notes.size()) + " more frames");
    return notes;
}

void Interpreter::captureFailure() {
    if (failure_.taken) return;
    failure_.taken = true;
    // The innermost call with a known site is the expression that failed.
    for (auto frame = frames_.rbegin(); frame != frames_.rend(); ++frame) {
        if (frame->callSite != nullptr) {
            failure_.location = *frame->callSite;
            break;
        }
    }
    failure_.notes = callStackNotes();
}

void Interpreter::reportFailure(const DiagnosticMessage& message, std::string_view detail) {
    captureFailure();
    diagnostics_.report(message, failure_.location, {detail}, failure_.notes);
    failure_.reported = true;
}

void Interpreter::reportAtCall(const DiagnosticMessage& message, const SourceLocation& location) {
    const SourceLocation* site = siteOf(location);
    for (auto frame = frames_.rbegin(); site == nullptr && frame != frames_.rend(); ++frame)
        site = frame->callSite;
    diagnostics_.report(message, site ? *site : location, {}, callStackNotes());
}

void Interpreter::reportRuntimeError(const std::string& text) {
    // A failure outside any native call (memory exhausted in the interpreter
    // itself) is placed at the innermost call.
    captureFailure();
    diagnostics_.report(diag::RuntimeError, failure_.location, {text},
                        failure_.reported ? std::vector<DiagnosticNote>() : failure_.notes);
}

void Interpreter::interpret(const std::shared_ptr<Program>& program) {
    if (!program) return;
    loadedPrograms_.push_back(program);
    try {
        executeTopLevel(program->statements);
        signal_ = ControlSignal::None;
        returnValue_ = Value();
        Value mainFunction = globals_->get(mainSymbol_);
        if (mainFunction.kind == ValueKind::Object) callValue(mainFunction, {}, SourceLocation());
        serveRegisteredServers();
    } catch (const std::exception& failure) {
        recoverFromFailure(failure.what(), 0);
    }
}

void Interpreter::recoverFromFailure(const char* what, size_t rootMark) {
    reportRuntimeError(what);
    frames_.clear();
    interpolations_.clear();
    failure_ = Failure();
    current_ = globals_;
    signal_ = ControlSignal::None;
    tempRoots_.cut(rootMark);
    callDepth_ = 0;
}

void Interpreter::interrupted() {
    captureFailure();
    throw std::runtime_error("interrupted");
}

namespace {
// The name a top-level statement defines in the global scope, if any.
const std::string* definedName(const Statement& statement) {
    if (auto* variable = dynamic_cast<const VarDeclStmt*>(&statement)) return &variable->name;
    if (auto* function = dynamic_cast<const FunctionDeclStmt*>(&statement)) return &function->name;
    return nullptr;
}
} // namespace

bool Interpreter::runEntry(const std::shared_ptr<Program>& program,
                           const EntryValueHandler& onValue) {
    if (!program) return true;
    loadedPrograms_.push_back(program);
    // What the entry's definitions replace: rooted until the entry has ended.
    RootScope earlier(tempRoots_);
    const size_t firstEarlier = tempRoots_.size();
    std::vector<NameId> defined;
    std::vector<std::pair<NameId, const ClassInfo*>> classesBefore;
    for (const StmtPtr& statement : program->statements) {
        if (auto* declaration = dynamic_cast<const ClassDeclStmt*>(statement.get())) {
            NameId name = symbols_.intern(declaration->name);
            classesBefore.emplace_back(name, findClass(name));
        } else if (const std::string* name = statement ? definedName(*statement) : nullptr) {
            defined.push_back(symbols_.intern(*name));
            earlier.push(globals_->get(defined.back()));
        }
    }
    const Statement* running = nullptr;
    try {
        defineHoisted(program->statements);
        for (const StmtPtr& statement : program->statements) {
            if (signal_ != ControlSignal::None) break;
            if (isHoisted(statement.get())) continue;
            running = statement.get();
            countStep();
            auto* expression = dynamic_cast<ExprStmt*>(statement.get());
            if (expression == nullptr || !onValue) {
                statement->accept(*this);
                continue;
            }
            Value value = evaluate(expression->expression.get());
            if (signal_ != ControlSignal::None) continue;
            RootScope shown(tempRoots_);
            shown.push(value);
            onValue(*expression, value);
        }
        // A top-level return ends the entry, not the session.
        signal_ = ControlSignal::None;
        returnValue_ = Value();
        serveRegisteredServers();
    } catch (const std::exception& failure) {
        // Outside any call (an interrupted loop, say) the failure is placed
        // at the top-level statement that was running.
        if (failure_.location.file.empty() && running != nullptr)
            failure_.location = running->location;
        recoverFromFailure(failure.what(), firstEarlier + defined.size());
    }
    if (!diagnostics_.hasErrors()) return true;
    for (size_t i = 0; i < defined.size(); ++i)
        globals_->define(defined[i], tempRoots_.all()[firstEarlier + i]);
    for (const auto& [name, info] : classesBefore)
        if (name < classes_.size()) classes_[name] = info;
    return false;
}

void Interpreter::visitProgram(Program& node) { executeStatements(node.statements); }

// ---- statements ----------------------------------------------------------------

void Interpreter::visitExprStmt(ExprStmt& node) {
    Expression* expression = node.expression.get();
    if (expression != nullptr && expression->runtimeShape == kShapeStepName) {
        // "i++" as a statement on an Int of the running frame: only the
        // variable changes (stepVariable does the rest).
        auto& step = static_cast<UnaryExpr&>(*expression);
        const NamePlace& place = static_cast<IdentifierExpr&>(*step.operand).place;
        Value updated;
        if (place.epoch == frameEpoch_ &&
            arithmetic::stepped(current_->frameValue(place.slot), step.op, updated)) {
            current_->frameValue(place.slot) = updated;
            return;
        }
    }
    evaluate(expression);
}

Value Interpreter::defaultValueFor(const std::string& typeName) {
    if (typeName == "int") return Value::fromInt(0);
    if (typeName == "float") return Value::fromFloat(0.0);
    if (typeName == "string") return makeString(std::string());
    if (typeName == "Boolean" || typeName == "bool") return Value::fromBool(false);
    return Value();
}

void Interpreter::visitVarDeclStmt(VarDeclStmt& node) {
    NameId name = symbolOf(node.cache, node.name);
    Value value =
        node.initializer ? evaluate(node.initializer.get()) : defaultValueFor(node.typeName);
    if (name & kFramePlace) {
        current_->frameValue(name & ~kFramePlace) = value;
        return;
    }
    defineInScope(name, value);
}

void Interpreter::visitBlockStmt(BlockStmt& node) {
    if (node.cache.owner != runId_) {
        node.cache.owner = runId_;
        node.cache.id = definesNames(node.statements) ? kScopedBlock : kPlainBlock;
    }
    if (node.cache.id == kPlainBlock) {
        executeStatements(node.statements);
        return;
    }
    Environment* saved = current_;
    Environment* scope = blockScope(current_);
    current_ = scope;
    executeStatements(node.statements);
    current_ = saved;
    releaseBlockScope(scope);
}

Environment* Interpreter::blockScope(Environment* parent) { return newEnvironment(parent); }

void Interpreter::releaseBlockScope(Environment* scope) { releaseEnvironment(scope); }

void Interpreter::visitIfStmt(IfStmt& node) {
    bool holds = conditionHolds(node.condition.get());
    if (signal_ != ControlSignal::None) return;
    if (holds) executeBlock(node.thenBranch.get());
    else if (node.elseIsBlock) executeBlock(static_cast<BlockStmt*>(node.elseBranch.get()));
    else execute(node.elseBranch.get());
}

namespace {
// Consumes a loop signal: true when the loop must stop (Break is cleared, a
// Return stays pending), false when it goes on (Continue is cleared).
bool loopShouldStop(ControlSignal& signal) {
    switch (signal) {
    case ControlSignal::None: return false;
    case ControlSignal::Continue: signal = ControlSignal::None; return false;
    case ControlSignal::Break: signal = ControlSignal::None; return true;
    case ControlSignal::Return: return true;
    }
    return true;
}
} // namespace

void Interpreter::visitWhileStmt(WhileStmt& node) {
    while (true) {
        countStep();
        bool holds = conditionHolds(node.condition.get());
        if (signal_ != ControlSignal::None || !holds) break;
        executeBlock(node.body.get());
        if (loopShouldStop(signal_)) break;
    }
}

void Interpreter::visitDoWhileStmt(DoWhileStmt& node) {
    while (true) {
        countStep();
        executeBlock(node.body.get());
        if (loopShouldStop(signal_)) break;
        bool holds = conditionHolds(node.condition.get());
        if (signal_ != ControlSignal::None || !holds) break;
    }
}

namespace {
// How a for loop's condition and step run: bits of ForStmt::cache.id.
enum LoopShape : uint32_t {
    kLoopCompares = 2,   // the condition compares a variable with anything
    kLoopSteps = 4,      // the step is "i++" or "i--" on a variable
    kLoopAssigns = 8,    // the step is an assignment
    kLoopPlainBody = 16, // the body defines no names: it runs in the loop's scope
    kLoopInFrame = 32,   // the loop runs in its function's frame, without a scope
};

uint32_t loopShapeOf(const ForStmt& node) {
    uint32_t shape = 0;
    // Known before the condition first runs (kShapeCompareName is known
    // after), and tested without loading the condition's shape each time.
    if (auto* compare = dynamic_cast<BinaryExpr*>(node.condition.get())) {
        if (isComparison(compare->op) && dynamic_cast<IdentifierExpr*>(compare->left.get()))
            shape |= kLoopCompares;
    }
    if (auto* statement = dynamic_cast<ExprStmt*>(node.increment.get())) {
        auto* step = dynamic_cast<UnaryExpr*>(statement->expression.get());
        if (step != nullptr &&
            (step->op == TokenType::PlusPlus || step->op == TokenType::MinusMinus) &&
            dynamic_cast<IdentifierExpr*>(step->operand.get()))
            shape |= kLoopSteps;
    } else if (dynamic_cast<AssignStmt*>(node.increment.get())) {
        shape |= kLoopAssigns;
    }
    if (node.body && !definesNames(node.body->statements)) shape |= kLoopPlainBody;
    return shape;
}
} // namespace

void Interpreter::visitForStmt(ForStmt& node) {
    if (node.cache.owner != runId_) {
        node.cache.owner = runId_;
        node.cache.id = loopShapeOf(node);
    }
    // The commonest condition and steps run without the visitor's dispatch,
    // with the same effects in the same order.
    const uint32_t shape = node.cache.id;
    Environment* saved = current_;
    Environment* scope = shape & kLoopInFrame ? nullptr : newEnvironment(current_);
    if (scope != nullptr) current_ = scope;
    execute(node.initializer.get());
    while (signal_ == ControlSignal::None) {
        countStep();
        if (node.condition) {
            bool holds = shape & kLoopCompares
                             ? comparisonHolds(static_cast<BinaryExpr&>(*node.condition))
                             : isTruthy(evaluate(node.condition.get()));
            if (signal_ != ControlSignal::None || !holds) break;
        }
        // A plain body is run as visitBlockStmt would run it, without its
        // checks (no signal is pending here).
        if (shape & kLoopPlainBody) executeStatements(node.body->statements);
        else executeBlock(node.body.get());
        if (loopShouldStop(signal_)) break;
        if (shape & kLoopSteps) {
            stepVariable(
                static_cast<UnaryExpr&>(*static_cast<ExprStmt&>(*node.increment).expression));
        } else if (shape & kLoopAssigns) {
            visitAssignStmt(static_cast<AssignStmt&>(*node.increment));
        } else {
            execute(node.increment.get());
        }
    }
    if (signal_ == ControlSignal::Break) signal_ = ControlSignal::None;
    if (scope != nullptr) {
        current_ = saved;
        releaseEnvironment(scope);
    }
}

void Interpreter::visitForeachStmt(ForeachStmt& node) {
    NameId variable = symbolOf(node.cache, node.variable);
    Value iterable = evaluate(node.iterable.get());
    if (signal_ != ControlSignal::None) return;
    GcObject* object = iterable.asObject();
    if (object == nullptr || object->objectKind != ObjectKind::Array) return;
    auto* array = static_cast<ArrayObject*>(object);
    RootScope roots(tempRoots_);
    roots.push(iterable);
    if (variable & kFramePlace) {
        // In a frame: the variable has its place, and the loop no scope.
        for (size_t i = 0; i < array->length(); ++i) {
            current_->frameValue(variable & ~kFramePlace) = array->get(i);
            execute(node.body.get());
            if (loopShouldStop(signal_)) break;
        }
        return;
    }
    Environment* saved = current_;
    Environment* scope = newEnvironment(current_);
    current_ = scope;
    // By index, re-reading the size each time: the body may grow or shrink the
    // array, and no reference into its storage is held across the body.
    for (size_t i = 0; i < array->length(); ++i) {
        scope->define(variable, array->get(i));
        execute(node.body.get());
        if (loopShouldStop(signal_)) break;
    }
    current_ = saved;
    releaseEnvironment(scope);
}

namespace {
// A switch whose case values are all integer literals: the values in order,
// each with its case's index. Comparing an Int subject with them gives what
// evaluating the literals and comparing would, without evaluating them.
struct IntegerCases {
    std::vector<int64_t> values;
    std::vector<uint32_t> clauses;
};

std::shared_ptr<IntegerCases> integerCasesOf(const SwitchStmt& node) {
    auto cases = std::make_shared<IntegerCases>();
    for (size_t i = 0; i < node.cases.size(); ++i) {
        const SwitchCase& clause = node.cases[i];
        if (!clause.value) continue;
        auto* literal = dynamic_cast<const LiteralExpr*>(clause.value.get());
        if (literal == nullptr || literal->kind != LiteralKind::Integer) return nullptr;
        cases->values.push_back(literal->intValue);
        cases->clauses.push_back(static_cast<uint32_t>(i));
    }
    return cases;
}
} // namespace

void Interpreter::visitSwitchStmt(SwitchStmt& node) {
    Value subject = evaluate(node.value.get());
    if (signal_ != ControlSignal::None) return;
    RootScope roots(tempRoots_);
    if (subject.isHeap()) roots.push(subject);
    if (node.cache.owner != runId_) {
        node.cache.owner = runId_;
        node.cache.data = integerCasesOf(node);
    }
    // The case that matches first, in order; size(): none.
    size_t first = node.cases.size();
    const auto* integers = static_cast<const IntegerCases*>(node.cache.data.get());
    if (integers != nullptr && subject.kind == ValueKind::Int) {
        // Scanned in order like the literals, so the branches follow the same
        // pattern (a lookup by value was measured slower: it mispredicts).
        const size_t count = integers->values.size();
        for (size_t k = 0; k < count; ++k) {
            if (integers->values[k] == subject.as.integer) {
                first = integers->clauses[k];
                break;
            }
        }
    } else {
        for (size_t i = 0; i < node.cases.size(); ++i) {
            const SwitchCase& clause = node.cases[i];
            if (!clause.value) continue;
            Value candidate = evaluate(clause.value.get());
            if (signal_ != ControlSignal::None) return;
            const bool equal = subject.kind == ValueKind::Int && candidate.kind == ValueKind::Int
                                   ? subject.as.integer == candidate.as.integer
                                   : valuesEqual(subject, candidate);
            if (equal) {
                first = i;
                break;
            }
        }
    }
    if (first < node.cases.size()) {
        // From the matching case on, each case's body runs in turn (a default
        // met during fall-through is skipped) until one leaves a signal.
        for (size_t i = first; i < node.cases.size(); ++i) {
            const SwitchCase& clause = node.cases[i];
            if (!clause.value) continue;
            executeStatements(clause.body);
            if (signal_ != ControlSignal::None) break;
        }
    } else {
        const SwitchCase* lastDefault = nullptr;
        for (const SwitchCase& clause : node.cases)
            if (!clause.value) lastDefault = &clause;
        if (lastDefault != nullptr) executeStatements(lastDefault->body);
    }
    if (signal_ == ControlSignal::Break) signal_ = ControlSignal::None;
}

void Interpreter::visitBreakStmt(BreakStmt&) { signal_ = ControlSignal::Break; }

void Interpreter::visitContinueStmt(ContinueStmt&) { signal_ = ControlSignal::Continue; }

void Interpreter::visitReturnStmt(ReturnStmt& node) {
    Value value = node.value ? evaluate(node.value.get()) : Value();
    if (signal_ != ControlSignal::None) return;
    returnValue_ = value;
    signal_ = ControlSignal::Return;
}

void Interpreter::visitFunctionDeclStmt(FunctionDeclStmt& node) {
    const bool prepared = node.cache.owner == runId_ && node.cache.data;
    Value function = makeFunction(node.cache, node.name, node.parameters, node.body);
    if (!prepared) layOutFrameOf(node.cache, node.parameters, node.body);
    defineInScope(node.cache.id, function);
}

void Interpreter::layOutFrameOf(RuntimeDataCache& cache, const std::vector<Parameter>& parameters,
                                const NodeRef<BlockStmt>& body) {
    if (!body) return;
    const PlaceholderSource placeholders = [this](LiteralExpr& literal,
                                                  std::vector<Expression*>& expressions) {
        return placeholdersOf(literal, expressions);
    };
    std::optional<FrameLayout> layout =
        layOutFrame(parameters, *body, kMostFramePlaces, placeholders);
    if (!layout) return;
    // Every mark below is this run's: a later interpreter lays the body out again.
    for (auto [use, place] : layout->uses) {
        use->cache.owner = runId_;
        use->cache.id = symbols_.intern(use->name);
        use->place.epoch = frameEpoch_;
        use->place.depth = 0;
        use->place.slot = place;
        use->runtimeShape = kShapeName;
    }
    for (auto [declaration, place] : layout->declarations) {
        declaration->cache.owner = runId_;
        declaration->cache.id = kFramePlace | place;
    }
    for (BlockStmt* block : layout->blocks) {
        block->cache.owner = runId_;
        block->cache.id = 2; // no scope of its own (see visitBlockStmt)
    }
    for (ForStmt* loop : layout->loops) {
        loop->cache.owner = runId_;
        loop->cache.id = loopShapeOf(*loop) | kLoopPlainBody | kLoopInFrame;
    }
    for (auto [loop, place] : layout->eachLoops) {
        loop->cache.owner = runId_;
        loop->cache.id = kFramePlace | place;
    }
    for (const FrameLayout::Site& site : layout->sites) {
        auto entry = std::make_unique<FrameSite>();
        for (const auto& [name, place] : site.visible)
            entry->visible.push_back(FrameBinding{symbols_.intern(name), place});
        entry->nested = site.nested;
        frameSites_[site.location] = std::move(entry);
    }
    auto* shape = static_cast<FunctionShape*>(cache.data.get());
    shape->frame = true;
    shape->framePlaces = layout->places;
}

void Interpreter::visitClassDeclStmt(ClassDeclStmt& node) {
    auto info = std::make_unique<ClassInfo>();
    info->name = symbols_.intern(node.name);
    info->declaration = NodeRef<ClassDeclStmt>(&node);
    info->layout.classSymbol = info->name;
    info->layout.className = &symbols_.name(info->name);
    for (const auto& field : node.fields) {
        NameId name = symbols_.intern(field->name);
        info->fieldNames.push_back(name);
        uint32_t slot = info->layout.slotOf(name);
        if (slot == InstanceLayout::kNoSlot) {
            slot = static_cast<uint32_t>(info->layout.fieldNames.size());
            info->layout.fieldNames.push_back(name);
        }
        info->fieldSlots.push_back(slot);
        // Literals read nothing, unless a string's placeholders do.
        const auto* literal = dynamic_cast<const LiteralExpr*>(field->initializer.get());
        if (field->initializer &&
            (literal == nullptr || (literal->kind == LiteralKind::String &&
                                    literal->text.str().find('{') != std::string::npos)))
            info->initializersReadNames = true;
    }
    // Methods prepared before (the same declaration run again) keep their layout.
    std::vector<bool> prepared;
    for (const auto& method : node.methods) {
        info->methodNames.push_back(symbols_.intern(method->name));
        prepared.push_back(method->cache.owner == runId_ && method->cache.data);
        prepareShape(method->cache, method->name, method->parameters, method->body);
    }
    info->lazyMethods = true;
    for (size_t i = 0; i < info->methodNames.size(); ++i) {
        NameId method = info->methodNames[i];
        bool clash = method == thisSymbol_;
        for (const auto& other : node.methods)
            for (const Parameter& p : other->parameters)
                clash = clash || p.name == node.methods[i]->name;
        for (size_t j = 0; j < i; ++j) clash = clash || info->methodNames[j] == method;
        if (clash) info->lazyMethods = false;
    }
    // Methods defined by name before the parameters would hide them: only
    // the methods of a class without such clashes get frames.
    if (info->lazyMethods)
        for (size_t i = 0; i < node.methods.size(); ++i)
            if (!prepared[i])
                layOutFrameOf(node.methods[i]->cache, node.methods[i]->parameters,
                              node.methods[i]->body);
    if (classes_.size() <= info->name) classes_.resize(info->name + 1, nullptr);
    classes_[info->name] = info.get();
    classStore_.push_back(std::move(info));
}

void Interpreter::visitUseStmt(UseStmt& node) {
    if (ModuleInitializer initializer = modules_.find(node.moduleName)) {
        initializer(*this);
        return;
    }
    loadSourceModule(node);
}

} // namespace zarn
