// The tree-walking interpreter: executes a checked Program directly. Native
// modules use the slim API of NativeApi.h, which this class implements.
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/AST.h"
#include "zarn/frontend/ModuleCache.h"
#include "zarn/runtime/Arithmetic.h"
#include "zarn/runtime/ClassInfo.h"
#include "zarn/runtime/Environment.h"
#include "zarn/runtime/GC.h"
#include "zarn/runtime/NameTable.h"
#include "zarn/runtime/NativeApi.h"
#include "zarn/runtime/NativeModules.h"
#include "zarn/runtime/Object.h"
#include "zarn/runtime/RootStack.h"
#include "zarn/runtime/StopSignal.h"
#include "zarn/runtime/Value.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zarn {

enum class ControlSignal : uint8_t { None = 0, Return = 1, Break = 2, Continue = 3 };

// What a member node remembers of the last instance it reached: that
// instance's layout and the slot of the member's name in it (kNoSlot: none).
struct FieldSite {
    const InstanceLayout* layout = nullptr;
    uint32_t slot = InstanceLayout::kNoSlot;
};

class Interpreter final : public ASTVisitor {
public:
    explicit Interpreter(DiagnosticEngine& diagnostics, NativeModuleTable modules = {});
    ~Interpreter() override;
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    // The path of the main script: module resolution starts in its directory.
    void setScriptPath(const std::string& path);
    // The run's module cache, shared with the type checker (by default the
    // interpreter reads modules into one of its own).
    void setModuleCache(std::shared_ptr<ModuleCache> cache) { moduleCache_ = std::move(cache); }
    void setScriptArguments(std::vector<std::string> arguments) {
        scriptArguments_ = std::move(arguments);
    }
    const std::vector<std::string>& scriptArguments() const { return scriptArguments_; }

    // Runs the top-level statements, then `main`, then serves registered servers.
    // A failure that ends the run is reported as "E9000".
    void interpret(const std::shared_ptr<Program>& program);

    // An interactive session runs each entry as one more program in the same
    // global scope: its declarations first, then its statements in order, then
    // the registered servers (`main` is not called). `onValue` gets the value
    // of each top-level expression statement. An entry that reports an error
    // declares nothing: the names it declared at top level get their earlier
    // values back (Null for new names), and so do the classes. Returns false then.
    using EntryValueHandler = std::function<void(const ExprStmt&, Value)>;
    bool runEntry(const std::shared_ptr<Program>& program, const EntryValueHandler& onValue);
    // When set, a stop request (Ctrl+C) ends the running code with "E9000".
    void setInterruptible(bool interruptible) { interruptible_ = interruptible; }

    // ---- what NativeApi.h builds on ---------------------------------------------
    // The text must not live in an unreachable heap object (see makeStringObject).
    Value makeString(std::string_view text);
    Value makeArray(std::span<const Value> elements = {});
    Value makeNative(std::string name, NativeCallable callable, std::vector<Value> captures = {});
    // A new instance with the layout's fields, all Null.
    ClassInstanceObject* makeInstance(const InstanceLayout& layout);
    // The layout of instances of a name without a class declaration (objects
    // that natives build field by field): no fixed fields.
    const InstanceLayout& plainLayout(NameId className);
    // Calls any value: a script function, a lambda, a native function. Reports
    // "E0024" for non-callable values and returns Null then.
    Value callValue(Value callee, std::span<const Value> arguments,
                    const SourceLocation& location = SourceLocation());
    // Reports a failure that ends the run (E9001, E9002) at the call being
    // made, with the call stack as notes; the E9000 that follows is placed
    // there too. The native then throws.
    void reportFailure(const DiagnosticMessage& message, std::string_view detail);
    // Defines a name in the scope that is running (a `use` statement's scope).
    void defineHere(std::string_view name, Value value);
    void defineGlobal(std::string_view name, Value value);
    Value getGlobal(std::string_view name);
    // Keeps a value alive for the rest of the run.
    void retain(Value value) { retained_.push_back(value); }
    void registerServer(std::shared_ptr<ServedObject> server);

    DiagnosticEngine& diagnostics() { return diagnostics_; }
    GC& gc() { return gc_; }
    NameTable& symbols() { return symbols_; }
    const std::string& currentDirectory() const { return currentDirectory_; }

    // Values pushed on a RootScope are roots until the scope ends.
    using RootScope = zarn::RootScope;
    RootStack& rootStack() { return tempRoots_; }

    // ---- execution ----------------------------------------------------------
    void execute(Statement* statement) {
        if (statement != nullptr && signal_ == ControlSignal::None) statement->accept(*this);
    }
    // How a block runs, kept in its cache: in a scope of its own, or (when
    // it defines no names) in the current one.
    enum : uint32_t { kScopedBlock = 1, kPlainBlock = 2 };
    // A loop body: a block, run without the visitor's dispatch.
    void executeBlock(BlockStmt* block) {
        if (block == nullptr || signal_ != ControlSignal::None) return;
        // A block known to define no names runs in the current scope
        // (visitBlockStmt decides that on its first run).
        if (block->cache.owner == runId_ && block->cache.id == kPlainBlock) [[likely]]
            executeStatements(block->statements);
        else visitBlockStmt(*block);
    }
    // Shapes of expressions read without a visit (Expression::runtimeShape).
    enum : uint8_t {
        kShapeUnknown = 0,
        kShapeName = 1,
        kShapeInteger = 2,
        kShapeOther = 3,
        kShapeBinary = 4,
        kShapeCall = 5,
        kShapeIndex = 6,
        kShapeMember = 7,
        kShapeFloat = 8,
        kShapeTrue = 9,
        kShapeFalse = 10,
        kShapeConcat = 11, // a run of "+" that made a string (concatValue)
        kShapeNull = 12,
        kShapeStepName = 13,    // "++" or "--" on a variable
        kShapeMemberCall = 14,  // a call of a member: "a.push(x)", "p.move()"
        kShapeCompareName = 15, // a comparison whose left operand is a variable ("n < 2")
        // Operators run without the switch on their token: each shape is one
        // operator, with the cases for two numbers in its own handler.
        kShapePlus = 16,
        kShapeMinus = 17,
        kShapeStar = 18,
        kShapePercent = 19,
        kShapeLess = 20,
        kShapeLessEqual = 21,
        kShapeGreater = 22,
        kShapeGreaterEqual = 23,
        kShapeEqual = 24,
        kShapeNotEqual = 25,
        kShapeSlash = 26,
        // The same operators again, in the same order, for nodes whose two
        // operands were numbers read without a call (leafNumber): their
        // handler reads them itself before it tries the general path.
        kShapeLeafPlus = 27,
        kOperatorShapes = kShapeLeafPlus - kShapePlus,
        // An element of an array in a frame variable at an index read as a
        // leaf ("code[pc]"): read without saving registers (leafIndexValue).
        kShapeLeafIndex = kShapeLeafPlus + kOperatorShapes,
        // A field of an instance in a frame variable ("b.x"), read the same way
        // (leafMemberValue).
        kShapeLeafMember,
        kShapeCount,
    };
    // Statements leave no signal pending when they evaluate an expression
    // (each checks after running a statement of its own), and calls restore
    // the signal they found, so evaluating never needs to test for one.
    [[gnu::always_inline]] Value evaluate(Expression* expression) {
        ZARN_ASSERT(signal_ == ControlSignal::None,
                    "expressions run only while no signal is pending");
        if (expression == nullptr) [[unlikely]]
            return Value();
        const uint8_t shape = expression->runtimeShape;
        if (shape == kShapeName) {
            // A name's value stays reachable through its scope, so it needs no
            // lastValue root.
            // variableOf without its first-run branch, which would make this
            // inlined path 2% slower: a name not yet seen goes to the visit.
            // A place of the current epoch is this interpreter's, and so is
            // the name's id then (see nameEpoch_).
            auto* name = static_cast<IdentifierExpr*>(expression);
            const uint32_t epoch = name->place.epoch;
            if (epoch != nameEpoch_ && epoch == frameEpoch_)
                return current_->frameValue(name->place.slot);
            if (epoch == nameEpoch_ || name->cache.owner == runId_) [[likely]] {
                Value* slot = current_->lookup(name->cache.id, name->place, nameEpoch_);
                return slot ? *slot : Value();
            }
        } else if (shape == kShapeInteger) {
            return Value::fromInt(static_cast<LiteralExpr*>(expression)->intValue);
        }
        return shapeHandlers_[shape](*this, expression);
    }
    // True for an expression whose evaluation cannot allocate (a name read
    // before, an integer literal), so values held across it need no root.
    static bool allocatesNothing(const Expression* expression) {
        const uint8_t shape = expression ? expression->runtimeShape : uint8_t{kShapeUnknown};
        return shape == kShapeName || shape == kShapeInteger;
    }
    // How evaluate runs each shape other than the two it reads inline:
    // operators, calls, elements and fields directly, an unknown shape by a
    // visit (which sets the shape).
    using ShapeHandler = Value (*)(Interpreter&, Expression*);
    template <uint8_t Shape>
    static Value evaluateShape(Interpreter& self, Expression* expression);
    static const std::array<ShapeHandler, kShapeCount> shapeHandlers_;
    [[gnu::always_inline]] Value indexValue(IndexExpr& node);
    [[gnu::always_inline]] Value memberValue(MemberExpr& node);
    // Counts one step of the run. Only a build that defines ZARN_STEP_BUDGET
    // (the fuzz target) counts: past the budget the run ends with "E9000".
    void countStep() {
#ifdef ZARN_STEP_BUDGET
        if (++steps_ > ZARN_STEP_BUDGET) [[unlikely]]
            throw std::runtime_error("step budget exhausted");
#endif
        if (interruptible_ && stopRequested()) [[unlikely]]
            interrupted();
    }
    // Executes statements in the current scope until one leaves a signal
    // pending. A block of one statement (most branches and loop bodies) runs
    // it without the loop's call.
    void executeStatements(const std::vector<StmtPtr>& statements) {
        if (statements.size() == 1) {
            if (signal_ != ControlSignal::None) return;
            countStep();
            statements.front()->accept(*this);
            return;
        }
        executeStatementList(statements);
    }
    void executeStatementList(const std::vector<StmtPtr>& statements);
    // Top-level functions and classes of a file are defined before its first
    // statement runs, so code above a declaration may use it; declarations
    // nested in blocks keep their place.
    static bool isHoisted(const Statement* statement);
    void defineHoisted(const std::vector<StmtPtr>& statements);
    // The top-level statements of the main file: the hoisted ones first.
    void executeTopLevel(const std::vector<StmtPtr>& statements);
    // Scopes come from a pool of released ones when it has any; these run on
    // every call, so they are inline.
    Environment* newEnvironment(Environment* parent) {
        if (pool_.empty()) [[unlikely]]
            return allocateEnvironment(parent);
        // Pooled scopes were reset when they were released.
        Environment* env = pool_.back();
        pool_.pop_back();
        env->parent = parent;
        return env;
    }
    [[gnu::noinline]] Environment* allocateEnvironment(Environment* parent);
    // The same for blocks, out of line: inlined there, they made the common
    // blocks without a scope of their own (most loop bodies) slower.
    [[gnu::noinline]] Environment* blockScope(Environment* parent);
    [[gnu::noinline]] void releaseBlockScope(Environment* scope);
    void releaseEnvironment(Environment* env) {
        if (env->captured || pool_.size() >= kPoolLimit) return;
        env->reset(nullptr);
        pool_.push_back(env);
    }
    static constexpr size_t kPoolLimit = 128;
    // `callSite` is the call expression (null: called by the runtime); it
    // must outlive the call.
    Value invokeMethod(ClassInstanceObject* instance, FunctionDeclStmt& method,
                       std::span<const Value> arguments, const SourceLocation* callSite = nullptr);
    // The same with the instance's class information already looked up (may be null).
    Value invokeMethod(const ClassInfo* info, ClassInstanceObject* instance,
                       FunctionDeclStmt& method, std::span<const Value> arguments,
                       const SourceLocation* callSite);
    // A method call in two steps, so that a call expression can evaluate its
    // arguments straight into the method's scope: openMethodScope takes the
    // scope with "this" defined (instance must be rooted; the caller roots the
    // scope and defines the parameters), enterMethod runs the body in it.
    Environment* openMethodScope(const ClassInfo* info, ClassInstanceObject* instance,
                                 const FunctionShape& shape);
    Value enterMethod(const ClassInfo* info, ClassInstanceObject* instance,
                      FunctionDeclStmt& method, Environment* scope, const SourceLocation* callSite);
    // The same two steps, inlined into the call expression of a method.
    [[gnu::always_inline]] Environment* openMethodScopeInline(const ClassInfo* info,
                                                              ClassInstanceObject* instance,
                                                              const FunctionShape& shape);
    [[gnu::always_inline]] Value enterMethodInline(const ClassInfo* info,
                                                   ClassInstanceObject* instance,
                                                   FunctionDeclStmt& method, Environment* scope,
                                                   const SourceLocation* callSite);
    // Evaluates a call's arguments into the callee's new scope, which the
    // caller has rooted, as its parameters.
    [[gnu::always_inline]] void bindArguments(CallExpr& node, const std::vector<NameId>& params,
                                              Environment* scope);
    // The same for a function that runs in a frame (opened already): the
    // arguments take the first places.
    [[gnu::always_inline]] void bindFrameArguments(CallExpr& node, const FunctionShape& shape,
                                                   Environment* scope);
    // Puts argument values into a new scope (a frame opened already) as the
    // parameters; missing ones are Null, extra ones are dropped.
    static void bindArgumentValues(const FunctionShape& shape, Environment* scope,
                                   std::span<const Value> arguments);
    // Gives the locals of a function, lambda or method fixed places when its
    // body allows (see FrameLayout.h), once its shape is prepared in the
    // cache: marks the shape and the nodes that use them.
    void layOutFrameOf(RuntimeDataCache& cache, const std::vector<Parameter>& parameters,
                       const NodeRef<BlockStmt>& body);
    // The locals in scope at a call or a `new` (by its location) of a body
    // laid out in a frame; null for any other site.
    const FrameSite* frameSite(const SourceLocation* site) const {
        auto it = frameSites_.find(site);
        return it == frameSites_.end() ? nullptr : it->second.get();
    }
    std::unordered_map<const SourceLocation*, std::unique_ptr<FrameSite>> frameSites_;
    static const FunctionShape& shapeOf(const FunctionDeclStmt& method) {
        return *static_cast<const FunctionShape*>(method.cache.data.get());
    }
    // The run-time expansion of "{expression}" placeholders in a string
    // literal, appended to out; the literal's cache is made by stringLiteral.
    void interpolate(const LiteralExpr& literal, std::string& out);

    // Module loading (ModuleLoader.cpp): a `use` of a name that is not a
    // native module, and loading another script into the running program.
    void loadSourceModule(UseStmt& node);
    void runScript(const std::string& path);

    void visitProgram(Program& node) override;
    void visitClassDeclStmt(ClassDeclStmt& node) override;
    void visitFunctionDeclStmt(FunctionDeclStmt& node) override;
    void visitUseStmt(UseStmt& node) override;
    void visitContinueStmt(ContinueStmt& node) override;
    void visitBreakStmt(BreakStmt& node) override;
    void visitReturnStmt(ReturnStmt& node) override;
    void visitSwitchStmt(SwitchStmt& node) override;
    void visitForeachStmt(ForeachStmt& node) override;
    void visitForStmt(ForStmt& node) override;
    void visitDoWhileStmt(DoWhileStmt& node) override;
    void visitWhileStmt(WhileStmt& node) override;
    void visitIfStmt(IfStmt& node) override;
    void visitExprStmt(ExprStmt& node) override;
    void visitAssignStmt(AssignStmt& node) override;
    // visitAssignStmt jumps to one of three: an assignment to a variable of
    // the running frame, to any other variable, or to any target.
    [[gnu::noinline]] void assignFrameVariable(AssignStmt& node);
    [[gnu::noinline]] void assignVariable(AssignStmt& node);
    [[gnu::noinline]] void assignStatement(AssignStmt& node);
    // A plain store or a combination of numbers into a variable's slot; the
    // rest goes to assignValue.
    [[gnu::always_inline]] void storeInVariable(AssignStmt& node, Value& slot, Value value);
    // The assignment of an evaluated value, for every target.
    [[gnu::noinline]] void assignValue(AssignStmt& node, Value value);
    [[gnu::always_inline]] void assignValueInline(AssignStmt& node, Value value);
    void visitVarDeclStmt(VarDeclStmt& node) override;
    void visitBlockStmt(BlockStmt& node) override;
    void visitLambdaExpr(LambdaExpr& node) override;
    void visitArrayLiteralExpr(ArrayLiteralExpr& node) override;
    void visitNewExpr(NewExpr& node) override;
    void visitIndexExpr(IndexExpr& node) override;
    void visitMemberExpr(MemberExpr& node) override;
    void visitCallExpr(CallExpr& node) override;
    void visitUnaryExpr(UnaryExpr& node) override;
    void visitBinaryExpr(BinaryExpr& node) override;
    void visitIdentifierExpr(IdentifierExpr& node) override;
    void visitLiteralExpr(LiteralExpr& node) override;

    // Names of the built-in string and array methods, interned once.
    struct MethodNames {
        NameId length, contains, startsWith, endsWith, substring, replace, split, trim, toUpper,
            toLower, add, push, size, pop, clear;
    };

private:
    // Defines or replaces a name in the current scope (declarations).
    [[gnu::always_inline]] void defineInScope(NameId name, Value value) {
        if (current_->captured) [[unlikely]]
            hideFromEarlierFunctions(name);
        current_->define(name, value);
    }
    void hideFromEarlierFunctions(NameId name);
    // Marks a declaration's cache id as a frame's fixed place (the low bits)
    // rather than a name; names never reach this bit.
    static constexpr NameId kFramePlace = 0x80000000u;
    // Bodies with more locals keep their scopes.
    static constexpr size_t kMostFramePlaces = 64;
    // Makes every remembered place (NamePlace) count as unknown.
    void forgetNamePlaces() { nameEpoch_ = uniqueMark(); }
    // The variable a name refers to from the current scope, or null.
    [[gnu::always_inline]] Value* variableOf(IdentifierExpr& name) {
        if (name.place.epoch == frameEpoch_) return &current_->frameValue(name.place.slot);
        if (name.place.epoch != nameEpoch_ && name.cache.owner != runId_) [[unlikely]]
            fillSymbol(name.cache, name.name);
        return current_->lookup(name.cache.id, name.place, nameEpoch_);
    }
    // Takes the node's name as it is kept (text or SharedText): its text is
    // looked at only on the node's first run.
    template <typename Cache, typename Name>
    NameId symbolOf(Cache& cache, const Name& name) {
        if (cache.owner == runId_) [[likely]]
            return cache.id;
        return fillSymbol(cache, static_cast<const std::string&>(name));
    }
    NameId fillSymbol(RuntimeCache& cache, const std::string& name);
    // Also drops what another interpreter kept in the cache.
    NameId fillSymbol(RuntimeDataCache& cache, const std::string& name) {
        cache.data.reset();
        return fillSymbol(static_cast<RuntimeCache&>(cache), name);
    }
    void markRoots(GC& gc);
    void initGlobals();
    // Ends the run when calls nest too deeply for the host stack.
    void checkStack() {
        if (callDepth_ >= kMaxCallDepth ||
            reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < stackLimit_) [[unlikely]]
            stackOverflow();
    }
    [[noreturn]] void stackOverflow();
    [[noreturn]] void interrupted();
    // After a failure that ended the running code: reports it as "E9000" and
    // resets the execution state, cutting the temporary roots back to `rootMark`.
    void recoverFromFailure(const char* what, size_t rootMark);

    // The calls in progress, outermost first, for the locations and call
    // stacks of run-time errors. No values: nothing here is a root.
    struct CallFrame {
        const std::string* owner;       // the class of a method, else null
        const std::string* name;        // null for a native function; "" for a lambda
        const SourceLocation* callSite; // null when the runtime made the call
    };
    // The location a call site names: null for the default location, and the
    // string literal for an expression inside one of its placeholders.
    const SourceLocation* siteOf(const SourceLocation& location) const {
        if (location.file.empty()) return nullptr;
        if (!interpolations_.empty() && location.file == kInterpolationFile)
            return interpolations_.back();
        return &location;
    }
    void pushFrame(const std::string* owner, const std::string* name,
                   const SourceLocation* callSite) {
        frames_.push_back(CallFrame{owner, name, callSite ? siteOf(*callSite) : nullptr});
    }
    // Reports a run-time error that does not end the run (E0024) at the call
    // site, or at the innermost known one, with the call stack as notes.
    void reportAtCall(const DiagnosticMessage& message, const SourceLocation& location);
    // The call stack as notes, innermost first, capped at kMaxNotedFrames.
    std::vector<DiagnosticNote> callStackNotes() const;
    // Keeps where the run failed and the call stack then; the first capture
    // of a failure wins (it is the innermost).
    void captureFailure();
    static constexpr const char* kInterpolationFile = "<interpolation>";
    static constexpr size_t kMaxNotedFrames = 20;
    struct DepthGuard {
        explicit DepthGuard(size_t& depth) : depth_(depth) { ++depth_; }
        ~DepthGuard() { --depth_; }
        size_t& depth_;
    };
    // Well above what real programs need. The zarn program runs on a stack
    // large enough for this depth, so that a runaway recursion ends at the
    // same depth (and with the same report) in every build; the host stack
    // limit is the backstop elsewhere.
    static constexpr size_t kMaxCallDepth = 5000;
    // Runs a function or method body in its scope with a signal of its own;
    // the value of its `return`, else Null.
    Value runCallBody(Environment* scope, const std::vector<StmtPtr>& statements);
    Value callFunction(FunctionObject* function, std::span<const Value> arguments,
                       const SourceLocation& callSite);
    Value callNative(NativeFunctionObject* function, std::span<const Value> arguments,
                     const SourceLocation& location);
    // callValue without rooting: the callee and arguments are already roots.
    Value callRooted(Value callee, std::span<const Value> arguments,
                     const SourceLocation& location);
    // Builds (once per node) what every function object of a declaration shares.
    void prepareShape(RuntimeDataCache& cache, const std::string& name,
                      const std::vector<Parameter>& parameters, const NodeRef<BlockStmt>& body);
    Value makeFunction(RuntimeDataCache& cache, const std::string& name,
                       const std::vector<Parameter>& parameters, const NodeRef<BlockStmt>& body);
    void markCaptured();
    Value boundMethod(ClassInstanceObject* instance, NameId method);
    const ClassInfo* findClass(NameId name) const {
        return name < classes_.size() ? classes_[name] : nullptr;
    }
    void ensureBoundMethods(ClassInstanceObject* instance, const ClassInfo& info);
    // The field a member node names on instance, or null. The node's cache
    // remembers the slot for the last layout seen, so most reads index
    // directly; the name of a member node is taken with memberSymbol.
    Value* fieldOf(RuntimeDataCache& cache, ClassInstanceObject* instance, NameId name) {
        auto* site = static_cast<const FieldSite*>(cache.data.get());
        if (site != nullptr && site->layout == instance->layout) [[likely]]
            return site->slot != InstanceLayout::kNoSlot ? instance->slots() + site->slot
                                                         : instance->findExtraField(name);
        return findFieldSlow(cache, instance, name);
    }
    Value* findFieldSlow(RuntimeDataCache& cache, ClassInstanceObject* instance, NameId name);
    Value memberOf(Value object, NameId member, const std::string& memberName);
    // The arguments a built-in string or array method needs to be called
    // directly, or -1 when the name is not one of them.
    int builtinArity(ObjectKind receiver, NameId method) const;
    // Runs a built-in method; false when the receiver has no such method.
    bool callBuiltinMethod(Value receiver, NameId method, std::span<const Value> arguments,
                           Value& result);
    Value binaryOperation(TokenType op, const Value& left, const Value& right);
    // Whether the condition of an if, a while or a do-while holds. A
    // comparison with a variable on its left (kShapeCompareName) is decided
    // as binaryValue would decide it, without its dispatch or its Boolean
    // value; counted for loops call comparisonHolds from a shape of their own.
    [[gnu::always_inline]] bool conditionHolds(Expression* condition) {
        if (condition == nullptr) [[unlikely]]
            return false;
        if (condition->runtimeShape == kShapeCompareName)
            return comparisonHolds(*static_cast<BinaryExpr*>(condition));
        return isTruthy(evaluate(condition));
    }
    bool comparisonHolds(BinaryExpr& condition);
    // "++" or "--" on a variable, as visitUnaryExpr does it: the value before
    // or after the step.
    Value stepVariable(UnaryExpr& node);
    // A call whose callee is a member expression (visitCallExpr); the result
    // is also kept in lastValue_ when it may be a heap object.
    Value memberCallValue(CallExpr& node);
    // The new value of a compound assignment to a field or an element.
    Value combine(TokenType op, const Value& old, const Value& operand);
    // The value of an operator expression; a heap result is also kept in lastValue_.
    Value binaryValue(BinaryExpr& node);
    // binaryValue for an operator known from the node's shape.
    template <TokenType Op>
    Value operatorValue(BinaryExpr& node);
    // The same for a node of a leaf shape: two numbers read by leafNumber
    // make the result here, in a function that saves no registers; any other
    // operands go on to operatorValue.
    template <TokenType Op>
    Value leafOperatorValue(BinaryExpr& node);
    // Reads an operand that needs no call to read: a number literal, or a
    // variable of the running frame (whose value the frame keeps reachable).
    // Reading it has no effect, so a caller that gets false may evaluate the
    // operand as usual. The operand must not be null.
    [[gnu::always_inline]] bool leafValue(const Expression& operand, Value& out) const {
        const uint8_t shape = operand.runtimeShape;
        if (shape == kShapeName) {
            const NamePlace& place = static_cast<const IdentifierExpr&>(operand).place;
            if (place.epoch != frameEpoch_) return false;
            out = current_->frameValue(place.slot);
            return true;
        }
        if (shape == kShapeInteger) {
            out = Value::fromInt(static_cast<const LiteralExpr&>(operand).intValue);
            return true;
        }
        if (shape == kShapeFloat) {
            out = Value::fromFloat(static_cast<const LiteralExpr&>(operand).floatValue);
            return true;
        }
        return false;
    }
    // The field slot a member node names on an instance in a frame variable,
    // when the node's cache knows it for the instance's layout; else null.
    [[gnu::always_inline]] Value* leafField(const MemberExpr& node) {
        Value object;
        if (!leafValue(*node.object, object) || object.kind != ValueKind::Object) return nullptr;
        GcObject* heap = object.as.object;
        if (heap == nullptr || heap->objectKind != ObjectKind::ClassInstance) return nullptr;
        auto* instance = static_cast<ClassInstanceObject*>(heap);
        auto* site = static_cast<const FieldSite*>(node.cache.data.get());
        if (node.cache.owner != runId_ || site == nullptr || site->layout != instance->layout ||
            site->slot == InstanceLayout::kNoSlot)
            return nullptr;
        return instance->slots() + site->slot;
    }
    // leafValue for an operand that holds a number; a field read by
    // leafField counts as a leaf here.
    [[gnu::always_inline]] bool leafNumber(const Expression& operand, Value& out) {
        if (leafValue(operand, out)) return out.isNumber();
        if (operand.runtimeShape != kShapeLeafMember) return false;
        const Value* field = leafField(static_cast<const MemberExpr&>(operand));
        if (field == nullptr) return false;
        out = *field;
        return out.isNumber();
    }
    [[gnu::always_inline]] inline bool leafPosition(const Expression& index, Value& out);
    [[gnu::noinline]] Value leafIndexValue(IndexExpr& node);
    // indexValue and memberValue with the result kept in lastValue_.
    [[gnu::noinline]] Value rootedIndexValue(IndexExpr& node);
    [[gnu::noinline]] Value rootedMemberValue(MemberExpr& node);
    [[gnu::noinline]] Value leafMemberValue(MemberExpr& node);
    // operatorValue once the operands are not two numbers: out of line.
    [[gnu::noinline]] Value mixedOperatorValue(TokenType op, const Value& left, const Value& right);
    // binaryValue once the left operand is a heap object: kept out of line,
    // so that the path for numbers saves and restores fewer registers.
    [[gnu::noinline]] Value heapBinaryValue(BinaryExpr& node, Value left);
    // a + b + c ... joined into one new string once the run has met a string.
    Value concatValue(BinaryExpr& node);
    // The value of a call expression.
    Value callExpression(CallExpr& node);
    // Runs the body of a script function of that shape in its scope, which
    // holds its arguments already. The function object itself is not needed:
    // shapes outlive the objects made from them.
    [[gnu::always_inline]] Value enterFunction(const FunctionShape& shape, Environment* scope,
                                               const SourceLocation& callSite);
    // The text forms of both values joined ("+" with a string on either side).
    Value concatenate(const Value& left, const Value& right);
    Value stringLiteral(LiteralExpr& literal);
    // The literal's compiled form for this run, made on first use.
    void* literalCache(LiteralExpr& literal);
    // Compiles every placeholder the literal can expand and adds their
    // expressions; false when it has too many to compile ahead.
    bool placeholdersOf(LiteralExpr& literal, std::vector<Expression*>& expressions);
    Value boundBuiltin(Value receiver, NameId method, const std::string& name);
    Value defaultValueFor(const std::string& typeName);
    void serveRegisteredServers();
    void reportRuntimeError(const std::string& text);

    DiagnosticEngine& diagnostics_;
    NativeModuleTable modules_;
    // Every function shape this interpreter prepared; declared before the
    // collector, so it outlasts the function objects that point at them.
    std::vector<std::shared_ptr<const FunctionShape>> keptShapes_;
    GC gc_;
    NameTable symbols_;
    MethodNames methodNames_{};
    NameId thisSymbol_ = kNoName;
    NameId mainSymbol_ = kNoName;

    Environment* globals_ = nullptr;
    Environment* current_ = nullptr;
    Value lastValue_;
    // Keeps a value in lastValue_ (rooted while it may be a temporary's only
    // reference) and returns it. The result comes from the argument, not from
    // lastValue_: reading a Value back right after storing it from registers
    // makes the processor wait for the store (its kind was stored narrower).
    [[gnu::always_inline]] Value keepLast(Value value) {
        lastValue_ = value;
        return value;
    }
    // Reused by string literals with placeholders for their expansion; one that
    // grew past kKeptExpansionBuffer bytes is not kept.
    std::string expansionBuffer_;
    static constexpr size_t kKeptExpansionBuffer = 64 * 1024;
    // What string literals keep for this run (see LiteralExpr::stringCache):
    // a literal points at its entry while its cacheOwner is this run's id.
    std::vector<std::shared_ptr<void>> stringLiteralCaches_;
    ControlSignal signal_ = ControlSignal::None;
    Value returnValue_;
    RootStack tempRoots_;
    std::vector<Environment*> pool_;
    std::vector<Value> retained_;

    std::vector<const ClassInfo*> classes_; // indexed by class name id (ids are dense)
    std::vector<std::unique_ptr<ClassInfo>> classStore_;
    std::vector<std::unique_ptr<InstanceLayout>> plainLayouts_; // by class name id

    std::vector<std::shared_ptr<ServedObject>> servers_;
    std::vector<std::string> scriptArguments_;
    std::string currentDirectory_;
    std::unordered_set<std::string> loadedModules_;
    std::vector<std::shared_ptr<Program>> loadedPrograms_;
    // Module loading (ModuleLoader.cpp): the modules whose top-level
    // statements are running, so that a chain of `use`s needs no recursion.
    struct ModuleRun;
    ModuleRun* moduleRun_ = nullptr;
    // The tree of a module or script file, read and parsed once per run; null
    // when the file is unreadable (reported as `unreadable`) or the run holds an error.
    std::shared_ptr<Program> loadProgram(const std::string& path,
                                         const DiagnosticMessage& unreadable,
                                         const SourceLocation& location);
    std::shared_ptr<ModuleCache> moduleCache_;
    void runModuleStatements(std::shared_ptr<Program> program, std::string directory);

#ifdef ZARN_STEP_BUDGET
    uint64_t steps_ = 0;
#endif
    std::vector<CallFrame> frames_;
    // The string literals whose placeholders are being evaluated, innermost last.
    std::vector<const SourceLocation*> interpolations_;
    struct Failure {
        bool taken = false;
        bool reported = false; // an E9001 or E9002 carries the call stack already
        SourceLocation location;
        std::vector<DiagnosticNote> notes;
    } failure_;
    size_t callDepth_ = 0;
    // A number that no other interpreter of the process has had (0 never).
    // Counted for the whole process; marks wrap after 2^32 of them.
    static uint32_t uniqueMark();
    // This interpreter's mark on the nodes whose caches it filled
    // (RuntimeCache::owner), so that one made where an earlier one lay in
    // memory does not take that one's caches for its own.
    const uint32_t runId_ = uniqueMark();
    // The places names remember (NamePlace) hold while this stays the same. A
    // script run again from another scope sees other scopes around it, so
    // runScript moves it on, as does a declaration that hides a variable
    // from a function made before it (defineInScope). Being unique too, a
    // place of this epoch was found by this interpreter, with its own id for
    // the name in the node's cache: reading a name needs no other test.
    uint32_t nameEpoch_ = uniqueMark();
    // The mark of a name bound to a frame's fixed place (NamePlace::slot):
    // such a name is read in the current scope, which is its frame.
    const uint32_t frameEpoch_ = uniqueMark();
    uintptr_t stackLimit_ = 0; // below this address a call reports a stack overflow
    bool interruptible_ = false;
};

// Inline, for the loops and conditions of both halves of the interpreter.
inline bool Interpreter::comparisonHolds(BinaryExpr& condition) {
    // Reading a variable has no effect, so the general path may read it
    // again when this one does not apply. The value is copied before the
    // right operand runs, as binaryValue does.
    Value* slot = variableOf(static_cast<IdentifierExpr&>(*condition.left));
    if (slot == nullptr || slot->kind != ValueKind::Int) return isTruthy(evaluate(&condition));
    // Only the number is kept (the kind is Int): a whole Value copied here
    // went through a vector register and was read back in halves, which
    // the processor cannot forward from its store.
    const int64_t leftInt = slot->as.integer;
    const Value right = evaluate(condition.right.get());
    Value result;
    // Two Ints (the commonest loop condition) are compared at once: the
    // operator is a comparison, so the arithmetic cases need no test.
    if (right.kind == ValueKind::Int &&
        arithmetic::compareNumbers(condition.op, leftInt, right.as.integer, result))
        return result.as.boolean;
    const Value left = Value::fromInt(leftInt);
    if (!arithmetic::numericOperation(condition.op, left, right, result))
        result = keepLast(binaryOperation(condition.op, left, right));
    return isTruthy(result);
}

inline Value Interpreter::stepVariable(UnaryExpr& node) {
    // The variable's old value stays reachable through its scope or is no
    // heap object, so the result needs no root.
    Value* slot = variableOf(*static_cast<IdentifierExpr*>(node.operand.get()));
    Value old = slot ? *slot : Value();
    Value updated;
    if (!arithmetic::stepped(old, node.op, updated)) return old;
    *slot = updated;
    return node.prefix ? updated : old;
}

} // namespace zarn
