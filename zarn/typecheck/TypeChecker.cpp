#include "zarn/typecheck/TypeChecker.h"

#include "zarn/frontend/ModuleResolver.h"

#include <string_view>

namespace zarn {

// Makes a fresh innermost scope for the lifetime of the guard.
class TypeChecker::ScopeGuard {
public:
    explicit ScopeGuard(TypeChecker& checker) : checker_(checker), scope_(checker.current_) {
        checker.current_ = &scope_;
    }
    ~ScopeGuard() { checker_.current_ = scope_.parent(); }
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;

private:
    TypeChecker& checker_;
    Scope scope_;
};

// One program whose top level is being declared: `next` is the index of the
// next statement to look at for a `use`.
struct TypeChecker::DeclareFrame {
    std::shared_ptr<Program> program;
    size_t next = 0;
    std::string directory; // where its relative module names resolve from
};

namespace {

// Restores a flag or a type when the construct that changed it is left.
template <typename T>
class Restore {
public:
    Restore(T& slot, T value) : slot_(slot), saved_(std::move(slot)) { slot_ = std::move(value); }
    ~Restore() { slot_ = std::move(saved_); }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

private:
    T& slot_;
    T saved_;
};

bool passesAsCondition(const TypePtr& type) {
    // Anything already in error passes too, so that one mistake is reported once.
    return !type || type->is(TypeKind::Boolean) || type->is(TypeKind::Any) ||
           type->is(TypeKind::Unknown);
}

// Keys of source modules in a scope's module list: the resolved path, set apart
// from built-in and unresolvable names.
std::string fileModuleKey(const std::string& path) { return std::string(1, '\0') + path; }

} // namespace

TypeChecker::TypeChecker(DiagnosticEngine& diagnostics)
    : diagnostics_(diagnostics), globals_(std::make_unique<Scope>(nullptr)),
      program_(std::make_unique<Scope>(globals_.get())),
      moduleCache_(std::make_shared<ModuleCache>(diagnostics)) {
    knownTypes_ = {
        {"int", intType()},         {"float", floatType()},  {"string", stringType()},
        {"Boolean", booleanType()}, {"bool", booleanType()}, {"void", voidType()},
        {"any", anyType()},
    };
    current_ = globals_.get();
    registerBuiltins();
    current_ = program_.get();
}

// Types stay on the syntax tree after the checker is gone; only the members
// of its class types are dropped, which ends the cycles among them.
TypeChecker::~TypeChecker() {
    for (const auto& classType : classTypes_) classType->clearMembers();
}

TypeRef<ClassType> TypeChecker::newClassType(const std::string& name) {
    classTypes_.push_back(makeClassType(name));
    return classTypes_.back();
}

void TypeChecker::setFile(const std::string& path) { filePath_ = path; }

// ---------------------------------------------------------------------------
// Types

TypePtr TypeChecker::resolveType(const std::string& name, const SourceLocation& location) {
    // Array layers are peeled off in a loop: "int[]", "List<int>" and any
    // nesting of the two, however deep.
    std::string_view base = name;
    size_t depth = 0;
    for (;;) {
        if (base.size() >= 2 && base.substr(base.size() - 2) == "[]") {
            base.remove_suffix(2);
            ++depth;
            continue;
        }
        size_t open = base.find('<');
        if (open != std::string_view::npos && !base.empty() && base.back() == '>' &&
            base.substr(0, open) == "List") {
            base = base.substr(open + 1, base.size() - open - 2);
            ++depth;
            continue;
        }
        break;
    }

    TypePtr type;
    if (base.empty()) {
        type = voidType();
    } else if (auto known = knownTypes_.find(base); known != knownTypes_.end()) {
        type = known->second;
    } else if (const Symbol* symbol = current_->lookup(base);
               symbol && symbol->kind == SymbolKind::Class) {
        type = symbol->type;
    } else {
        diagnostics_.report(diag::UnknownTypeName, location, {base});
        type = unknownType();
    }
    for (size_t i = 0; i < depth; ++i) type = arrayOf(std::move(type));
    return type;
}

TypePtr TypeChecker::arrayOf(TypePtr elementType) {
    if (!elementType) elementType = anyType();
    TypePtr& array = arrayTypes_[elementType.get()];
    if (!array) array = makeArrayType(std::move(elementType));
    return array;
}

TypePtr TypeChecker::parameterType(Parameter& parameter) {
    if (!parameter.resolvedType)
        parameter.resolvedType = resolveType(parameter.typeName, parameter.location);
    return parameter.resolvedType;
}

TypePtr TypeChecker::functionTypeOf(FunctionDeclStmt& node) {
    if (node.resolvedType) return node.resolvedType;
    std::vector<TypePtr> params;
    params.reserve(node.parameters.size());
    for (Parameter& parameter : node.parameters) params.push_back(parameterType(parameter));
    node.resolvedType =
        makeFunctionType(resolveType(node.returnType, node.location), std::move(params));
    return node.resolvedType;
}

// ---------------------------------------------------------------------------
// Declaration pre-pass and modules

void TypeChecker::declare(Program& program) {
    std::vector<DeclareFrame> stack;
    // The driver owns the program; the frame only borrows it.
    stack.push_back(DeclareFrame{std::shared_ptr<Program>(std::shared_ptr<Program>(), &program), 0,
                                 directoryOf(filePath_)});
    runDeclarations(stack);
}

void TypeChecker::declareModule(const std::string& name, const SourceLocation& location) {
    std::string path;
    std::shared_ptr<Program> module = beginModule(name, location, directoryOf(filePath_), path);
    if (!module) return;
    std::vector<DeclareFrame> stack;
    stack.push_back(DeclareFrame{std::move(module), 0, directoryOf(path)});
    runDeclarations(stack);
}

void TypeChecker::runDeclarations(std::vector<DeclareFrame>& stack) {
    while (!stack.empty()) {
        DeclareFrame& frame = stack.back();
        const std::vector<StmtPtr>& statements = frame.program->statements;
        if (frame.next < statements.size()) {
            auto* use = dynamic_cast<UseStmt*>(statements[frame.next++].get());
            if (!use) continue;
            std::string path;
            std::shared_ptr<Program> module =
                beginModule(use->moduleName, use->location, frame.directory, path);
            // `frame` may dangle after this push; it is not used again.
            if (module) stack.push_back(DeclareFrame{std::move(module), 0, directoryOf(path)});
            continue;
        }
        std::shared_ptr<Program> done = std::move(frame.program);
        stack.pop_back();
        declareClassesAndFunctions(*done);
    }
}

std::shared_ptr<Program> TypeChecker::beginModule(const std::string& name,
                                                  const SourceLocation& location,
                                                  const std::string& directory,
                                                  std::string& modulePath) {
    if (current_->moduleVisible(name)) return nullptr;
    if (declareBuiltinModule(name, location)) {
        current_->markModule(name);
        return nullptr;
    }
    modulePath = resolveModule(name, directory);
    if (modulePath.empty()) {
        current_->markModule(name);
        diagnostics_.report(diag::ModuleNotFound, location, {name},
                            {{"help", "no built-in module or file '" + name + ".zarn' found"}});
        return nullptr;
    }
    // A file reached under several names (or in a cycle) is declared once per scope chain.
    std::string key = fileModuleKey(modulePath);
    if (current_->moduleVisible(key)) return nullptr;
    current_->markModule(key);

    const ModuleCache::Module& module = moduleCache_->load(modulePath);
    if (!module.readable) {
        // Reported once, where the checker first meets it.
        if (unreadableModules_.insert(modulePath).second)
            diagnostics_.report(diag::ModuleUnreadable, location, {modulePath});
        return nullptr;
    }
    // A module with syntax errors is not declared: its half-built tree would
    // only add confusing follow-up errors (and the run fails anyway).
    return module.clean ? module.program : nullptr;
}

void TypeChecker::declareClassesAndFunctions(Program& program) {
    // Every class type exists before any field or signature is resolved, so
    // that classes may refer to classes declared later in the file.
    std::vector<ClassDeclStmt*> fresh;
    for (const StmtPtr& statement : program.statements) {
        auto* node = dynamic_cast<ClassDeclStmt*>(statement.get());
        if (!node) continue;
        if (!node->resolvedType) {
            node->resolvedType = newClassType(node->name);
            fresh.push_back(node);
        }
        knownTypes_[node->name] = node->resolvedType;
        current_->define(SymbolKind::Class, node->name, node->resolvedType, &node->location);
    }
    for (ClassDeclStmt* node : fresh)
        declareClassMembers(*node, static_cast<ClassType&>(*node->resolvedType));
    for (const StmtPtr& statement : program.statements) {
        auto* node = dynamic_cast<FunctionDeclStmt*>(statement.get());
        if (node)
            current_->define(SymbolKind::Function, node->name, functionTypeOf(*node),
                             &node->location);
    }
}

void TypeChecker::declareClassMembers(ClassDeclStmt& node, ClassType& classType) {
    for (const auto& field : node.fields) {
        if (!field) continue;
        if (!field->resolvedType)
            field->resolvedType = resolveType(field->typeName, field->location);
        classType.addField(field->name, field->resolvedType);
    }
    for (const auto& method : node.methods)
        if (method) classType.addMethod(method->name, functionTypeOf(*method));
}

// ---------------------------------------------------------------------------
// Statements

void TypeChecker::check(Program& program) { program.accept(*this); }

void TypeChecker::checkEntry(Program& entry) {
    discardEntry();
    typesBeforeEntry_ = knownTypes_;
    // A scope of its own: names of earlier entries may be declared again in
    // it, and dropping it undoes everything the entry declared.
    entry_ = std::make_unique<Scope>(program_.get());
    current_ = entry_.get();
    declare(entry);
    check(entry);
}

void TypeChecker::commitEntry() {
    if (!entry_) return;
    entry_->moveInto(*program_);
    entry_.reset();
    typesBeforeEntry_.clear();
    current_ = program_.get();
}

void TypeChecker::discardEntry() {
    if (!entry_) return;
    knownTypes_ = std::move(typesBeforeEntry_);
    typesBeforeEntry_.clear();
    entry_.reset();
    current_ = program_.get();
}

void TypeChecker::visitProgram(Program& node) { checkStatements(node.statements); }

void TypeChecker::checkStmt(const StmtPtr& statement) {
    if (statement) statement->accept(*this);
}

void TypeChecker::checkStatements(const std::vector<StmtPtr>& statements) {
    for (const StmtPtr& statement : statements) checkStmt(statement);
}

void TypeChecker::defineVariable(const std::string& name, const TypePtr& type,
                                 const SourceLocation& location) {
    if (!current_->define(SymbolKind::Variable, name, type, &location))
        diagnostics_.report(diag::AlreadyDefined, location, {name});
}

void TypeChecker::checkCondition(const ExprPtr& condition, const SourceLocation& at,
                                 bool whileForm) {
    const TypePtr& type = checkExpr(condition);
    if (passesAsCondition(type)) return;
    if (whileForm) diagnostics_.report(diag::WhileConditionNotBoolean, at);
    else diagnostics_.report(diag::ConditionNotBoolean, at, {type->toString()});
}

void TypeChecker::visitVarDeclStmt(VarDeclStmt& node) {
    // Class fields were resolved by the pre-pass; they are not resolved (and
    // reported) twice.
    if (!node.resolvedType) node.resolvedType = resolveType(node.typeName, node.location);
    const TypePtr& declared = node.resolvedType;
    if (node.initializer) {
        TypePtr found = checkExpr(node.initializer);
        if (found && !found->isCompatibleWith(declared)) {
            std::string expected = declared->toString(), actual = found->toString();
            diagnostics_.report(
                diag::DeclarationTypeMismatch, node.location, {actual, node.name, expected},
                {{"expected", expected},
                 {"found", actual},
                 {"help", "assign a value of type '" + expected + "' to '" + node.name + "'"}});
        }
    }
    defineVariable(node.name, declared, node.location);
}

void TypeChecker::visitAssignStmt(AssignStmt& node) {
    TypePtr found = checkExpr(node.value);
    TypePtr target = checkExpr(node.target);
    if (found && target && !found->isCompatibleWith(target)) {
        std::string expected = target->toString(), actual = found->toString();
        diagnostics_.report(diag::AssignTypeMismatch, node.location, {actual, expected},
                            {{"expected", expected}, {"found", actual}});
    }
}

void TypeChecker::visitBlockStmt(BlockStmt& node) {
    ScopeGuard scope(*this);
    checkStatements(node.statements);
}

void TypeChecker::visitIfStmt(IfStmt& node) {
    checkCondition(node.condition, node.location, false);
    checkStmt(node.thenBranch);
    checkStmt(node.elseBranch);
}

void TypeChecker::visitWhileStmt(WhileStmt& node) {
    checkCondition(node.condition, node.location, true);
    Restore loop(inLoop_, true);
    if (node.body) node.body->accept(*this);
}

void TypeChecker::visitDoWhileStmt(DoWhileStmt& node) {
    {
        Restore loop(inLoop_, true);
        if (node.body) node.body->accept(*this);
    }
    checkExpr(node.condition);
}

void TypeChecker::visitForStmt(ForStmt& node) {
    // The loop variable lives in a scope of the loop, as it does at run time,
    // so that two loops in one block may both declare `i`.
    ScopeGuard scope(*this);
    checkStmt(node.initializer);
    checkExpr(node.condition);
    checkStmt(node.increment);
    Restore loop(inLoop_, true);
    if (node.body) node.body->accept(*this);
}

void TypeChecker::visitForeachStmt(ForeachStmt& node) {
    TypePtr iterable = checkExpr(node.iterable);
    const ArrayType* array = asArray(iterable);
    ScopeGuard scope(*this);
    defineVariable(node.variable, array ? array->elementType : anyType(), node.location);
    Restore loop(inLoop_, true);
    if (node.body) node.body->accept(*this);
}

void TypeChecker::visitSwitchStmt(SwitchStmt& node) {
    checkExpr(node.value);
    Restore inSwitch(inSwitch_, true);
    for (const SwitchCase& clause : node.cases) {
        checkExpr(clause.value);
        checkStatements(clause.body);
    }
}

void TypeChecker::visitBreakStmt(BreakStmt& node) {
    if (!inLoop_ && !inSwitch_) diagnostics_.report(diag::BreakOutsideLoop, node.location);
}

void TypeChecker::visitContinueStmt(ContinueStmt& node) {
    if (!inLoop_) diagnostics_.report(diag::ContinueOutsideLoop, node.location);
}

void TypeChecker::visitReturnStmt(ReturnStmt& node) {
    TypePtr found = node.value ? checkExpr(node.value) : voidType();
    if (currentReturnType_ && found && !found->isCompatibleWith(currentReturnType_))
        diagnostics_.report(diag::ReturnTypeMismatch, node.location,
                            {currentReturnType_->toString(), found->toString()});
}

void TypeChecker::checkFunctionBody(FunctionDeclStmt& node) {
    const FunctionType* signature = asFunction(functionTypeOf(node));
    ScopeGuard scope(*this);
    Restore returnType(currentReturnType_, signature->returnType);
    for (Parameter& parameter : node.parameters)
        defineVariable(parameter.name, parameterType(parameter), parameter.location);
    if (node.body) checkStatements(node.body->statements);
}

void TypeChecker::visitFunctionDeclStmt(FunctionDeclStmt& node) {
    // Top-level functions were defined by the pre-pass; one declared inside a
    // block becomes known where it stands, as it does at run time.
    if (!node.resolvedType)
        current_->define(SymbolKind::Function, node.name, functionTypeOf(node), &node.location);
    checkFunctionBody(node);
}

void TypeChecker::visitClassDeclStmt(ClassDeclStmt& node) {
    if (!node.resolvedType) {
        // A class declared inside a block: known from here on.
        auto classType = newClassType(node.name);
        node.resolvedType = classType;
        knownTypes_[node.name] = classType;
        current_->define(SymbolKind::Class, node.name, classType, &node.location);
        declareClassMembers(node, *classType);
    }
    ScopeGuard scope(*this);
    current_->define(SymbolKind::Variable, "this", node.resolvedType);
    for (const auto& field : node.fields)
        if (field) field->accept(*this);
    // Methods call each other by bare name: at run time each method's scope
    // binds the class's methods after its fields, so they are known here too.
    for (const auto& method : node.methods)
        if (method)
            current_->define(SymbolKind::Function, method->name, functionTypeOf(*method),
                             &method->location);
    for (const auto& method : node.methods)
        if (method) checkFunctionBody(*method);
}

void TypeChecker::visitUseStmt(UseStmt& node) { declareModule(node.moduleName, node.location); }

void TypeChecker::visitExprStmt(ExprStmt& node) { checkExpr(node.expression); }

// ---------------------------------------------------------------------------
// Expressions

const TypePtr& TypeChecker::checkExpr(const ExprPtr& expression) {
    static const TypePtr none;
    if (!expression) return none;
    expression->accept(*this);
    return expression->type;
}

void TypeChecker::visitLiteralExpr(LiteralExpr& node) {
    switch (node.kind) {
    case LiteralKind::Integer: node.type = intType(); break;
    case LiteralKind::Float: node.type = floatType(); break;
    case LiteralKind::String: node.type = stringType(); break;
    case LiteralKind::Boolean: node.type = booleanType(); break;
    case LiteralKind::Null: node.type = nullType(); break;
    }
}

void TypeChecker::visitIdentifierExpr(IdentifierExpr& node) {
    if (const Symbol* symbol = current_->lookup(node.name)) {
        node.type = symbol->type;
        if (observer_) observer_->nameResolved(node, *symbol);
        return;
    }
    diagnostics_.report(diag::UndefinedName, node.location, {node.name});
    node.type = unknownType();
}

void TypeChecker::visitBinaryExpr(BinaryExpr& node) {
    const TypePtr& left = checkExpr(node.left);
    const TypePtr& right = checkExpr(node.right);
    if (!left || !right) {
        node.type = unknownType();
        return;
    }
    auto either = [&](TypeKind kind) { return left->is(kind) || right->is(kind); };
    switch (node.op) {
    case TokenType::Plus:
        node.type = either(TypeKind::String)  ? stringType()
                    : either(TypeKind::Float) ? floatType()
                                              : intType();
        break;
    case TokenType::Minus:
    case TokenType::Star:
    case TokenType::Slash:
    case TokenType::Percent: node.type = either(TypeKind::Float) ? floatType() : intType(); break;
    case TokenType::Equal:
    case TokenType::NotEqual:
    case TokenType::Less:
    case TokenType::Greater:
    case TokenType::LessEqual:
    case TokenType::GreaterEqual:
    case TokenType::And:
    case TokenType::Or: node.type = booleanType(); break;
    default: node.type = anyType(); break;
    }
}

void TypeChecker::visitUnaryExpr(UnaryExpr& node) {
    const TypePtr& operand = checkExpr(node.operand);
    if (node.op == TokenType::Not) node.type = booleanType();
    else node.type = operand ? operand : intType();
}

void TypeChecker::visitCallExpr(CallExpr& node) {
    const TypePtr& callee = checkExpr(node.callee);
    for (const ExprPtr& argument : node.arguments) checkExpr(argument);
    if (!callee || callee->is(TypeKind::Any)) {
        node.type = anyType();
    } else if (const FunctionType* function = asFunction(callee)) {
        node.type = function->returnType;
    } else if (callee->is(TypeKind::Unknown)) {
        node.type = unknownType(); // already reported where the callee failed
    } else {
        diagnostics_.report(diag::CallOfNonFunctionType, node.location, {callee->toString()});
        node.type = unknownType();
    }
}

void TypeChecker::visitIndexExpr(IndexExpr& node) {
    const TypePtr& object = checkExpr(node.object);
    checkExpr(node.index);
    const ArrayType* array = asArray(object);
    node.type = array ? array->elementType : anyType();
}

void TypeChecker::visitMemberExpr(MemberExpr& node) {
    node.type = memberType(checkExpr(node.object), node.member);
}

void TypeChecker::visitNewExpr(NewExpr& node) {
    for (const ExprPtr& argument : node.arguments) checkExpr(argument);
    node.type = resolveType(node.className, node.location);
}

void TypeChecker::visitLambdaExpr(LambdaExpr& node) {
    ScopeGuard scope(*this);
    std::vector<TypePtr> params;
    params.reserve(node.parameters.size());
    for (Parameter& parameter : node.parameters) {
        params.push_back(parameterType(parameter));
        defineVariable(parameter.name, params.back(), parameter.location);
    }
    TypePtr returns = resolveType(node.returnType, node.location);
    {
        Restore returnType(currentReturnType_, returns);
        if (node.body) checkStatements(node.body->statements);
    }
    node.resolvedType = makeFunctionType(std::move(returns), std::move(params));
    node.type = node.resolvedType;
}

void TypeChecker::visitArrayLiteralExpr(ArrayLiteralExpr& node) {
    TypePtr first;
    for (size_t i = 0; i < node.elements.size(); ++i) {
        TypePtr element = checkExpr(node.elements[i]);
        if (i == 0) first = std::move(element);
    }
    node.type = arrayOf(first ? first : anyType());
}

} // namespace zarn
