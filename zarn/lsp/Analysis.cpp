#include "zarn/lsp/Analysis.h"

#include "zarn/frontend/ModuleResolver.h"
#include "zarn/frontend/Parser.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

namespace zarn::lsp {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

bool isOpener(TokenType type) {
    return type == TokenType::LeftParen || type == TokenType::LeftBracket ||
           type == TokenType::LeftBrace;
}

TokenType closerOf(TokenType opener) {
    switch (opener) {
    case TokenType::LeftParen: return TokenType::RightParen;
    case TokenType::LeftBracket: return TokenType::RightBracket;
    default: return TokenType::RightBrace;
    }
}

bool isCloser(TokenType type) {
    return type == TokenType::RightParen || type == TokenType::RightBracket ||
           type == TokenType::RightBrace;
}

bool isWordByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string typeText(const TypePtr& type) { return type ? type->toString() : "any"; }

CompletionKind completionKindOf(SymbolKind kind) {
    switch (kind) {
    case SymbolKind::Function: return CompletionKind::Function;
    case SymbolKind::Class: return CompletionKind::Class;
    case SymbolKind::Module: return CompletionKind::Module;
    default: return CompletionKind::Variable;
    }
}

SymbolKind symbolKindOf(CompletionKind kind) {
    switch (kind) {
    case CompletionKind::Function:
    case CompletionKind::Method: return SymbolKind::Function;
    case CompletionKind::Class: return SymbolKind::Class;
    case CompletionKind::Module: return SymbolKind::Module;
    default: return SymbolKind::Variable;
    }
}

constexpr const char* kKeywords[] = {
    "let",     "function", "class", "new",     "if",    "else",     "while",   "do",  "for",
    "foreach", "switch",   "case",  "default", "break", "continue", "return",  "use", "not",
    "true",    "false",    "null",  "int",     "float", "string",   "Boolean", "void"};

} // namespace

// Records which declaration each identifier of the document refers to.
class DocumentAnalysis::Resolutions final : public NameObserver {
public:
    explicit Resolutions(DocumentAnalysis& analysis) : analysis_(analysis) {}
    void nameResolved(const IdentifierExpr& use, const Symbol& symbol) override {
        analysis_.resolved_[&use] =
            Declaration{symbol.kind, symbol.name, symbol.type, symbol.declaredAt, "", false};
    }

private:
    DocumentAnalysis& analysis_;
};

// Walks the document's tree once: the token extent of every expression, the
// name token of every declaration, identifiers and members by token, classes
// and `use`s.
class DocumentAnalysis::Indexer final : public ASTVisitor {
public:
    explicit Indexer(DocumentAnalysis& analysis) : a_(analysis) {}

    size_t expr(const ExprPtr& expression) {
        if (!expression) return kNone;
        last_ = kNone;
        expression->accept(*this);
        return last_;
    }
    void stmt(const StmtPtr& statement) {
        if (statement) statement->accept(*this);
    }
    void stmts(const std::vector<StmtPtr>& statements) {
        for (const StmtPtr& statement : statements) stmt(statement);
    }
    void block(const NodeRef<BlockStmt>& body) {
        if (body) body->accept(*this);
    }

    void visitProgram(Program& node) override { stmts(node.statements); }
    void visitBlockStmt(BlockStmt& node) override { stmts(node.statements); }
    void visitClassDeclStmt(ClassDeclStmt& node) override {
        declare(node, SymbolKind::Class, node.name, node.resolvedType);
        a_.classes_.emplace(node.name, ClassEntry{&node, a_.path_});
        // Inside the methods, fields and methods are used by bare name.
        for (const auto& field : node.fields)
            if (field) a_.memberOwners_[&field->location] = node.name;
        for (const auto& method : node.methods)
            if (method) a_.memberOwners_[&method->location] = node.name;
        inContainer(node.name, [&] {
            for (const auto& field : node.fields)
                if (field) field->accept(*this);
            for (const auto& method : node.methods)
                if (method) method->accept(*this);
        });
    }
    void visitFunctionDeclStmt(FunctionDeclStmt& node) override {
        declare(node, SymbolKind::Function, node.name, node.resolvedType);
        inContainer("", [&] {
            parameters(node.parameters);
            block(node.body);
        });
    }
    void visitVarDeclStmt(VarDeclStmt& node) override {
        declare(node, SymbolKind::Variable, node.name, node.resolvedType);
        inContainer("", [&] { expr(node.initializer); });
    }
    void visitUseStmt(UseStmt& node) override {
        std::string path = resolveModule(node.moduleName, directoryOf(a_.path_));
        if (path.empty()) return;
        // Every token of the name, up to the end of its line, leads to the file.
        const uint32_t line = node.location.line();
        for (size_t i = a_.startOf(node) + 1; i < a_.tokens_.size(); ++i) {
            const Token& token = a_.tokens_[i];
            if (token.location.line() != line || token.type == TokenType::Semicolon ||
                token.type == TokenType::EndOfFile)
                break;
            a_.uses_.emplace_back(i, path);
        }
    }
    void visitContinueStmt(ContinueStmt&) override {}
    void visitBreakStmt(BreakStmt&) override {}
    void visitReturnStmt(ReturnStmt& node) override { expr(node.value); }
    void visitSwitchStmt(SwitchStmt& node) override {
        expr(node.value);
        for (const SwitchCase& clause : node.cases) {
            expr(clause.value);
            stmts(clause.body);
        }
    }
    void visitForeachStmt(ForeachStmt& node) override {
        size_t start = a_.startOf(node);
        expr(node.iterable);
        const ArrayType* array = node.iterable ? asArray(node.iterable->type) : nullptr;
        TypePtr element = array ? array->elementType : anyType();
        if (size_t name = a_.nameToken(start, node.variable); name != kNone)
            a_.declarationsByToken_[name] = Declaration{
                SymbolKind::Variable, node.variable, element, &node.location, "", false};
        block(node.body);
    }
    void visitForStmt(ForStmt& node) override {
        stmt(node.initializer);
        expr(node.condition);
        stmt(node.increment);
        block(node.body);
    }
    void visitDoWhileStmt(DoWhileStmt& node) override {
        block(node.body);
        expr(node.condition);
    }
    void visitWhileStmt(WhileStmt& node) override {
        expr(node.condition);
        block(node.body);
    }
    void visitIfStmt(IfStmt& node) override {
        expr(node.condition);
        stmt(node.thenBranch);
        stmt(node.elseBranch);
    }
    void visitExprStmt(ExprStmt& node) override { expr(node.expression); }
    void visitAssignStmt(AssignStmt& node) override {
        expr(node.target);
        expr(node.value);
    }

    void visitLambdaExpr(LambdaExpr& node) override {
        size_t first = a_.startOf(node);
        parameters(node.parameters);
        block(node.body);
        size_t last = node.body ? a_.closing(a_.startOf(*node.body)) : kNone;
        record(node, first, last == kNone ? first : last);
    }
    void visitArrayLiteralExpr(ArrayLiteralExpr& node) override {
        size_t first = a_.startOf(node);
        for (const ExprPtr& element : node.elements) expr(element);
        size_t last = a_.closing(first);
        record(node, first, last == kNone ? first : last);
    }
    void visitNewExpr(NewExpr& node) override {
        size_t first = a_.startOf(node);
        for (const ExprPtr& argument : node.arguments) expr(argument);
        size_t last = a_.closing(a_.nextOfKind(first, TokenType::LeftParen));
        record(node, first, last == kNone ? first : last);
    }
    void visitIndexExpr(IndexExpr& node) override {
        size_t objectEnd = expr(node.object);
        expr(node.index);
        size_t last = a_.closing(a_.nextOfKind(objectEnd, TokenType::LeftBracket));
        record(node, a_.startOf(node), last == kNone ? objectEnd : last);
    }
    void visitMemberExpr(MemberExpr& node) override {
        size_t objectEnd = expr(node.object);
        size_t dot = a_.nextOfKind(objectEnd, TokenType::Dot);
        size_t last = objectEnd;
        if (dot != kNone && dot + 1 < a_.tokens_.size() &&
            a_.tokens_[dot + 1].type == TokenType::Identifier &&
            a_.tokens_[dot + 1].lexeme == node.member) {
            last = dot + 1;
            a_.members_[last] = &node;
        }
        record(node, a_.startOf(node), last);
    }
    void visitCallExpr(CallExpr& node) override {
        size_t calleeEnd = expr(node.callee);
        size_t argumentsEnd = calleeEnd;
        for (const ExprPtr& argument : node.arguments)
            if (size_t end = expr(argument); end != kNone)
                argumentsEnd = std::max(argumentsEnd == kNone ? end : argumentsEnd, end);
        size_t last = a_.closing(a_.nextOfKind(calleeEnd, TokenType::LeftParen));
        record(node, a_.startOf(node), last == kNone ? argumentsEnd : last);
    }
    void visitUnaryExpr(UnaryExpr& node) override {
        size_t operandEnd = expr(node.operand);
        size_t first = a_.startOf(node);
        size_t last = operandEnd == kNone ? first : node.prefix ? operandEnd : operandEnd + 1;
        record(node, first, std::min(last, a_.tokens_.size() - 1));
    }
    void visitBinaryExpr(BinaryExpr& node) override {
        size_t leftEnd = expr(node.left);
        size_t rightEnd = expr(node.right);
        record(node, a_.startOf(node), rightEnd != kNone ? rightEnd : leftEnd);
    }
    void visitIdentifierExpr(IdentifierExpr& node) override {
        size_t at = a_.startOf(node);
        a_.identifiers_[at] = &node;
        record(node, at, at);
    }
    void visitLiteralExpr(LiteralExpr& node) override {
        size_t at = a_.startOf(node);
        record(node, at, at);
    }

private:
    // Declarations met inside `body` belong to the class `name` ("" for none).
    template <typename Body>
    void inContainer(std::string name, Body body) {
        std::swap(container_, name);
        body();
        std::swap(container_, name);
    }
    void record(const Expression& node, size_t first, size_t last) {
        if (first == kNone || last == kNone || last < first) last = first;
        if (first != kNone) a_.expressions_.push_back({&node, Extent{first, last}});
        last_ = last;
    }
    void declare(const Statement& node, SymbolKind kind, const std::string& name,
                 const TypePtr& type) {
        size_t token = a_.nameToken(a_.startOf(node), name);
        if (token != kNone)
            a_.declarationsByToken_[token] =
                Declaration{kind, name, type, &node.location, container_, false};
    }
    void parameters(std::vector<Parameter>& list) {
        for (Parameter& parameter : list) {
            size_t token = a_.tokenStartingAt(parameter.location.offset);
            if (token != kNone && a_.tokens_[token].lexeme == parameter.name)
                a_.declarationsByToken_[token] = Declaration{SymbolKind::Variable,
                                                             parameter.name,
                                                             parameter.resolvedType,
                                                             &parameter.location,
                                                             "",
                                                             true};
        }
    }

    DocumentAnalysis& a_;
    size_t last_ = kNone;
    std::string container_;
};

DocumentAnalysis::DocumentAnalysis(std::string text, std::string path)
    : text_(std::move(text)), path_(std::move(path)) {
    analyze();
}

DocumentAnalysis::~DocumentAnalysis() = default;

void DocumentAnalysis::analyze() {
    // Each stage reports into the engine `zarn check` would print only while
    // the stages before it were clean; after that its findings go to a scratch
    // engine, so that a tree with errors still gets types and names.
    lexer_ = std::make_unique<Lexer>(text_, path_, engine_);
    std::vector<Token> tokens = lexer_->tokenize();
    for (const Token& token : tokens)
        if (token.type != TokenType::Newline) tokens_.push_back(token);
    matching_.assign(tokens_.size(), kNone);
    std::vector<size_t> open;
    for (size_t i = 0; i < tokens_.size(); ++i) {
        TokenType type = tokens_[i].type;
        if (isOpener(type)) {
            open.push_back(i);
        } else if (isCloser(type)) {
            // A closer pairs with the nearest opener of its kind; openers left
            // unclosed in between stay unmatched.
            auto it = std::find_if(open.rbegin(), open.rend(),
                                   [&](size_t at) { return closerOf(tokens_[at].type) == type; });
            if (it == open.rend()) continue;
            matching_[*it] = i;
            matching_[i] = *it;
            open.erase(std::next(it).base(), open.end());
        }
    }

    DiagnosticEngine& parseEngine = engine_.hasErrors() ? scratch_ : engine_;
    Parser parser(std::move(tokens), parseEngine);
    program_ = parser.parseProgram();
    if (!program_) program_ = std::make_shared<Program>(std::vector<StmtPtr>{}, SourceLocation{});

    DiagnosticEngine& checkEngine = engine_.hasErrors() ? scratch_ : engine_;
    modules_ = std::make_shared<ModuleCache>(checkEngine);
    checker_ = std::make_unique<TypeChecker>(checkEngine);
    Resolutions resolutions(*this);
    checker_->setFile(path_);
    checker_->setModuleCache(modules_);
    checker_->setNameObserver(&resolutions);
    checker_->declare(*program_);
    checker_->check(*program_);
    checker_->setNameObserver(nullptr);

    Indexer indexer(*this);
    program_->accept(indexer);
    // Classes of the source modules the document uses (and they use), for
    // the definitions of their members.
    std::vector<std::pair<std::shared_ptr<Program>, std::string>> pending;
    std::set<std::string> seen;
    auto follow = [&](const Program& program, const std::string& file) {
        for (const StmtPtr& statement : program.statements) {
            auto* use = dynamic_cast<UseStmt*>(statement.get());
            if (!use) continue;
            std::string modulePath = resolveModule(use->moduleName, directoryOf(file));
            if (modulePath.empty() || !seen.insert(modulePath).second) continue;
            const ModuleCache::Module& module = modules_->load(modulePath);
            if (module.program) pending.emplace_back(module.program, modulePath);
        }
    };
    follow(*program_, path_);
    while (!pending.empty()) {
        auto [program, file] = std::move(pending.back());
        pending.pop_back();
        for (const StmtPtr& statement : program->statements)
            if (auto* node = dynamic_cast<ClassDeclStmt*>(statement.get()))
                classes_.emplace(node->name, ClassEntry{node, file});
        follow(*program, file);
    }
}

// ---- tokens -----------------------------------------------------------------

size_t DocumentAnalysis::tokenStartingAt(size_t offset) const {
    auto it = std::lower_bound(
        tokens_.begin(), tokens_.end(), offset,
        [](const Token& token, size_t value) { return token.location.offset < value; });
    if (it == tokens_.end()) return tokens_.empty() ? kNone : tokens_.size() - 1;
    return static_cast<size_t>(it - tokens_.begin());
}

std::optional<size_t> DocumentAnalysis::tokenAt(size_t offset) const {
    // The token under the offset, or the one just before it (a cursor right
    // after a name still means that name).
    size_t index = tokenStartingAt(offset + 1);
    for (size_t candidate : {index, index - 1, index - 2}) {
        if (candidate >= tokens_.size()) continue;
        const Token& token = tokens_[candidate];
        if (token.type == TokenType::EndOfFile) continue;
        size_t start = token.location.offset, end = start + token.location.length;
        if (start <= offset && offset < end) return candidate;
    }
    if (offset > 0) {
        size_t before = tokenStartingAt(offset);
        if (before > 0 && before != kNone) --before;
        for (size_t candidate : {before, before + 1}) {
            if (candidate >= tokens_.size()) continue;
            const Token& token = tokens_[candidate];
            if (token.type == TokenType::Identifier &&
                token.location.offset + token.location.length == offset)
                return candidate;
        }
    }
    return std::nullopt;
}

size_t DocumentAnalysis::nextOfKind(size_t from, TokenType kind) const {
    if (from == kNone) return kNone;
    for (size_t i = from + 1; i < tokens_.size(); ++i)
        if (tokens_[i].type == kind) return i;
    return kNone;
}

size_t DocumentAnalysis::closing(size_t opener) const {
    return opener < matching_.size() ? matching_[opener] : kNone;
}

size_t DocumentAnalysis::nameToken(size_t from, const std::string& name) const {
    if (from == kNone) return kNone;
    for (size_t i = from; i < tokens_.size() && i <= from + 2; ++i)
        if (tokens_[i].type == TokenType::Identifier && tokens_[i].lexeme == name) return i;
    return kNone;
}

size_t DocumentAnalysis::endOffset(size_t token) const {
    if (token >= tokens_.size()) return text_.size();
    return tokens_[token].location.offset + tokens_[token].location.length;
}

const Expression* DocumentAnalysis::expressionAt(size_t index) const {
    const Expression* best = nullptr;
    size_t bestWidth = kNone;
    for (const auto& [expression, extent] : expressions_) {
        if (extent.first > index || extent.last < index) continue;
        size_t width = extent.last - extent.first;
        if (width < bestWidth) {
            best = expression;
            bestWidth = width;
        }
    }
    return best;
}

const Expression* DocumentAnalysis::receiverBefore(size_t dot) const {
    if (dot == 0 || dot == kNone) return nullptr;
    size_t end = dot - 1;
    const Expression* best = nullptr;
    size_t bestFirst = 0;
    for (const auto& [expression, extent] : expressions_) {
        if (extent.last != end) continue;
        // Postfix forms bind tightest: in `a + b.` the receiver is `b`.
        if (!best || extent.first > bestFirst) {
            best = expression;
            bestFirst = extent.first;
        }
    }
    return best;
}

// ---- files --------------------------------------------------------------------

std::string DocumentAnalysis::absolutePath(const std::string& file) const {
    if (file == path_) return path_;
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(file, error);
    return error ? file : absolute.lexically_normal().string();
}

std::optional<FileSpan> DocumentAnalysis::declarationSpan(const std::string& path,
                                                          const SourceLocation& location,
                                                          const std::string& name) const {
    FileSpan span{path, location.offset, location.length};
    std::string fileText;
    const std::string* text = &text_;
    if (span.path != path_) {
        if (!readModuleFile(span.path, fileText)) return span;
        text = &fileText;
    }
    // A declaration is located at its keyword (`let`, `function`, `class`,
    // `foreach`) or, for a parameter, at its name: find the name itself.
    size_t at = std::min<size_t>(location.offset, text->size());
    auto nameAt = [&](size_t position) {
        return text->compare(position, name.size(), name) == 0 &&
               (position + name.size() >= text->size() ||
                !isWordByte((*text)[position + name.size()]));
    };
    if (!nameAt(at)) {
        while (at < text->size() && isWordByte((*text)[at])) ++at;
        while (at < text->size() && ((*text)[at] == ' ' || (*text)[at] == '\t')) ++at;
        if (!nameAt(at)) return span;
    }
    span.offset = at;
    span.length = name.size();
    return span;
}

// ---- queries ------------------------------------------------------------------

std::string DocumentAnalysis::hoverText(const Declaration& declaration) const {
    std::string owner = declaration.container.empty() ? "" : declaration.container + ".";
    switch (declaration.kind) {
    case SymbolKind::Class: return "(class) " + declaration.name;
    case SymbolKind::Module: return "(module) " + declaration.name;
    case SymbolKind::Function:
        return std::string(owner.empty() ? "(function) " : "(method) ") + owner + declaration.name +
               ": " + typeText(declaration.type);
    case SymbolKind::Variable: break;
    }
    const char* word = declaration.parameter ? "(parameter) "
                       : owner.empty()       ? "(variable) "
                                             : "(field) ";
    return word + owner + declaration.name + ": " + typeText(declaration.type);
}

std::optional<std::pair<DocumentAnalysis::NameInScope, FileSpan>>
DocumentAnalysis::interpolatedName(size_t index, size_t offset) const {
    const Token& token = tokens_[index];
    if (token.type != TokenType::StringLiteral) return std::nullopt;
    // The literal as written: escapes ("\{" among them) are still in it.
    size_t start = token.location.offset;
    size_t end = std::min(text_.size(), start + token.location.length);
    size_t open = kNone, found = kNone;
    for (size_t at = start + 1; at < end && found == kNone; ++at) {
        if (text_[at] == '\\') {
            ++at;
        } else if (text_[at] == '{') {
            open = at;
        } else if (text_[at] == '}' && open != kNone) {
            if (open < offset && offset < at) found = open;
            open = kNone;
        }
    }
    if (found == kNone) return std::nullopt;
    open = found;
    size_t wordStart = offset, wordEnd = offset;
    while (wordStart > open + 1 && isWordByte(text_[wordStart - 1])) --wordStart;
    while (wordEnd < end && isWordByte(text_[wordEnd])) ++wordEnd;
    // A plain name only: not a number, not a member after ".".
    if (wordStart == wordEnd || (text_[wordStart] >= '0' && text_[wordStart] <= '9') ||
        text_[wordStart - 1] == '.')
        return std::nullopt;
    ScopeNames names;
    addNamesInScope(offset, names);
    auto it = names.find(text_.substr(wordStart, wordEnd - wordStart));
    if (it == names.end() || it->second.kind == CompletionKind::Keyword) return std::nullopt;
    return std::make_pair(it->second, FileSpan{path_, wordStart, wordEnd - wordStart});
}

std::optional<HoverInfo> DocumentAnalysis::hover(size_t offset) const {
    std::optional<size_t> index = tokenAt(offset);
    if (!index) return std::nullopt;
    const Token& token = tokens_[*index];
    HoverInfo info{"", token.location.offset, token.location.length};
    if (auto it = identifiers_.find(*index); it != identifiers_.end()) {
        auto resolved = resolved_.find(it->second);
        if (resolved != resolved_.end()) {
            Declaration declaration = resolved->second;
            declaration.type = it->second->type ? it->second->type : declaration.type;
            if (auto owner = memberOwners_.find(declaration.location); owner != memberOwners_.end())
                declaration.container = owner->second;
            info.text = hoverText(declaration);
        } else {
            info.text = it->second->name + ": " + typeText(it->second->type);
        }
        return info;
    }
    if (auto it = members_.find(*index); it != members_.end()) {
        const MemberExpr& member = *it->second;
        TypePtr objectType = member.object ? member.object->type : nullptr;
        std::string owner = objectType ? objectType->toString() + "." : "";
        const char* word = asFunction(member.type) ? "(method) " : "(field) ";
        if (const auto* object = dynamic_cast<const IdentifierExpr*>(member.object.get())) {
            auto resolved = resolved_.find(object);
            if (resolved != resolved_.end() && resolved->second.kind == SymbolKind::Module)
                word = "(function) ";
        }
        if (!asClass(objectType)) word = asFunction(member.type) ? "(method) " : "";
        info.text = word + owner + member.member + ": " + typeText(member.type);
        return info;
    }
    if (auto it = declarationsByToken_.find(*index); it != declarationsByToken_.end()) {
        info.text = hoverText(it->second);
        return info;
    }
    if (token.type == TokenType::Identifier) {
        if (auto it = classes_.find(std::string(token.lexeme)); it != classes_.end()) {
            info.text = "(class) " + it->first;
            return info;
        }
    }
    if (auto name = interpolatedName(*index, offset))
        return HoverInfo{hoverText(name->first.declaration), name->second.offset,
                         name->second.length};
    if (const Expression* expression = expressionAt(*index)) {
        if (!expression->type) return std::nullopt;
        for (const auto& [node, extent] : expressions_) {
            if (node != expression) continue;
            info.offset = tokens_[extent.first].location.offset;
            info.length = endOffset(extent.last) - info.offset;
        }
        info.text = typeText(expression->type);
        return info;
    }
    return std::nullopt;
}

std::optional<FileSpan> DocumentAnalysis::definition(size_t offset) const {
    std::optional<size_t> index = tokenAt(offset);
    if (!index) return std::nullopt;
    const Token& token = tokens_[*index];
    if (auto it = identifiers_.find(*index); it != identifiers_.end()) {
        auto resolved = resolved_.find(it->second);
        if (resolved == resolved_.end() || !resolved->second.location) return std::nullopt;
        const SourceLocation& location = *resolved->second.location;
        return declarationSpan(absolutePath(location.file), location, resolved->second.name);
    }
    if (auto it = members_.find(*index); it != members_.end()) {
        const MemberExpr& member = *it->second;
        const ClassType* owner = member.object ? asClass(member.object->type) : nullptr;
        if (!owner) return std::nullopt;
        auto entry = classes_.find(owner->name);
        if (entry == classes_.end()) return std::nullopt;
        const ClassDeclStmt& node = *entry->second.node;
        auto inFile = [&](const SourceLocation& location) {
            return declarationSpan(entry->second.path, location, member.member);
        };
        for (const auto& field : node.fields)
            if (field && field->name == member.member) return inFile(field->location);
        for (const auto& method : node.methods)
            if (method && method->name == member.member) return inFile(method->location);
        return std::nullopt;
    }
    if (auto it = declarationsByToken_.find(*index); it != declarationsByToken_.end())
        return FileSpan{path_, token.location.offset, token.location.length};
    for (const auto& [useToken, modulePath] : uses_)
        if (useToken == *index) return FileSpan{modulePath, 0, 0};
    if (token.type == TokenType::Identifier) {
        if (auto it = classes_.find(std::string(token.lexeme)); it != classes_.end()) {
            return declarationSpan(it->second.path, it->second.node->location, it->first);
        }
    }
    if (auto name = interpolatedName(*index, offset)) {
        const Declaration& declaration = name->first.declaration;
        if (!declaration.location) return std::nullopt;
        return declarationSpan(absolutePath(declaration.location->file), *declaration.location,
                               declaration.name);
    }
    return std::nullopt;
}

bool DocumentAnalysis::insideBlock(const BlockStmt* block, size_t offset) const {
    if (!block) return false;
    size_t open = startOf(*block);
    if (open == kNone || tokens_[open].location.offset >= offset) return false;
    size_t close = closing(open);
    return close == kNone || offset <= tokens_[close].location.offset;
}

void DocumentAnalysis::addLocals(const std::vector<StmtPtr>& statements, size_t offset,
                                 ScopeNames& names) const {
    auto add = [&](const std::string& name, CompletionKind kind, const TypePtr& type,
                   const SourceLocation* location, const std::string& container = "") {
        names[name] = NameInScope{
            kind, Declaration{symbolKindOf(kind), name, type, location, container, false}};
    };
    auto addParameters = [&](const std::vector<Parameter>& parameters) {
        for (const Parameter& parameter : parameters) {
            add(parameter.name, CompletionKind::Variable, parameter.resolvedType,
                &parameter.location);
            names[parameter.name].declaration.parameter = true;
        }
    };
    for (const StmtPtr& statement : statements) {
        if (!statement || statement->location.offset >= offset) break;
        Statement* node = statement.get();
        if (auto* var = dynamic_cast<VarDeclStmt*>(node)) {
            add(var->name, CompletionKind::Variable, var->resolvedType, &var->location);
        } else if (auto* function = dynamic_cast<FunctionDeclStmt*>(node)) {
            add(function->name, CompletionKind::Function, function->resolvedType,
                &function->location);
            if (insideBlock(function->body.get(), offset)) {
                addParameters(function->parameters);
                addLocals(function->body->statements, offset, names);
            }
        } else if (auto* klass = dynamic_cast<ClassDeclStmt*>(node)) {
            add(klass->name, CompletionKind::Class, klass->resolvedType, &klass->location);
            for (const auto& method : klass->methods) {
                if (!method || !insideBlock(method->body.get(), offset)) continue;
                add("this", CompletionKind::Variable, klass->resolvedType, nullptr);
                for (const auto& field : klass->fields)
                    if (field)
                        add(field->name, CompletionKind::Field, field->resolvedType,
                            &field->location, klass->name);
                for (const auto& other : klass->methods)
                    if (other)
                        add(other->name, CompletionKind::Method, other->resolvedType,
                            &other->location, klass->name);
                addParameters(method->parameters);
                addLocals(method->body->statements, offset, names);
            }
        } else if (auto* block = dynamic_cast<BlockStmt*>(node)) {
            if (insideBlock(block, offset)) addLocals(block->statements, offset, names);
        } else if (auto* branch = dynamic_cast<IfStmt*>(node)) {
            for (IfStmt* at = branch; at;) {
                auto* then = dynamic_cast<BlockStmt*>(at->thenBranch.get());
                if (insideBlock(then, offset)) addLocals(then->statements, offset, names);
                auto* otherwise = dynamic_cast<BlockStmt*>(at->elseBranch.get());
                if (insideBlock(otherwise, offset)) addLocals(otherwise->statements, offset, names);
                at = dynamic_cast<IfStmt*>(at->elseBranch.get());
            }
        } else if (auto* loop = dynamic_cast<WhileStmt*>(node)) {
            if (insideBlock(loop->body.get(), offset))
                addLocals(loop->body->statements, offset, names);
        } else if (auto* loop = dynamic_cast<DoWhileStmt*>(node)) {
            if (insideBlock(loop->body.get(), offset))
                addLocals(loop->body->statements, offset, names);
        } else if (auto* loop = dynamic_cast<ForStmt*>(node)) {
            if (insideBlock(loop->body.get(), offset)) {
                if (loop->initializer) addLocals({loop->initializer}, offset, names);
                addLocals(loop->body->statements, offset, names);
            }
        } else if (auto* loop = dynamic_cast<ForeachStmt*>(node)) {
            if (insideBlock(loop->body.get(), offset)) {
                const ArrayType* array = loop->iterable ? asArray(loop->iterable->type) : nullptr;
                add(loop->variable, CompletionKind::Variable,
                    array ? array->elementType : anyType(), &loop->location);
                addLocals(loop->body->statements, offset, names);
            }
        } else if (auto* choice = dynamic_cast<SwitchStmt*>(node)) {
            for (const SwitchCase& clause : choice->cases)
                if (clause.location.offset < offset) addLocals(clause.body, offset, names);
        }
    }
}

void DocumentAnalysis::addNamesInScope(size_t offset, ScopeNames& names) const {
    for (const char* keyword : kKeywords)
        names[keyword] =
            NameInScope{CompletionKind::Keyword,
                        Declaration{SymbolKind::Variable, keyword, nullptr, nullptr, "", false}};
    auto addScope = [&](const Scope& scope) {
        scope.forEachSymbol([&](const Symbol& symbol) {
            names[symbol.name] = NameInScope{
                completionKindOf(symbol.kind),
                Declaration{symbol.kind, symbol.name, symbol.type, symbol.declaredAt, "", false}};
        });
    };
    addScope(checker_->globalScope());
    addScope(checker_->programScope());
    addLocals(program_->statements, offset, names);
    // Lambdas around the offset, outermost first.
    std::vector<std::pair<Extent, const LambdaExpr*>> lambdas;
    for (const auto& [expression, extent] : expressions_)
        if (auto* lambda = dynamic_cast<const LambdaExpr*>(expression))
            if (insideBlock(lambda->body.get(), offset)) lambdas.push_back({extent, lambda});
    std::sort(lambdas.begin(), lambdas.end(),
              [](const auto& x, const auto& y) { return x.first.first < y.first.first; });
    for (const auto& [extent, lambda] : lambdas) {
        for (const Parameter& parameter : lambda->parameters)
            names[parameter.name] =
                NameInScope{CompletionKind::Variable,
                            Declaration{SymbolKind::Variable, parameter.name,
                                        parameter.resolvedType, &parameter.location, "", true}};
        addLocals(lambda->body->statements, offset, names);
    }
}

std::vector<CompletionEntry> DocumentAnalysis::completion(size_t offset) const {
    offset = std::min(offset, text_.size());
    size_t wordStart = offset;
    while (wordStart > 0 && isWordByte(text_[wordStart - 1])) --wordStart;
    ScopeNames names;
    std::vector<CompletionEntry> entries;
    if (wordStart > 0 && text_[wordStart - 1] == '.') {
        size_t dot = tokenStartingAt(wordStart - 1);
        if (dot == kNone || tokens_[dot].type != TokenType::Dot) return entries;
        const Expression* receiver = receiverBefore(dot);
        TypePtr type = receiver ? receiver->type : nullptr;
        bool module = false;
        if (auto* name = dynamic_cast<const IdentifierExpr*>(receiver)) {
            auto resolved = resolved_.find(name);
            module = resolved != resolved_.end() && resolved->second.kind == SymbolKind::Module;
        }
        if ((!type || type->is(TypeKind::Any)) && dot > 0 &&
            tokens_[dot - 1].type == TokenType::Identifier) {
            // The tree lost the receiver (the text is mid-edit): take the name's type.
            addNamesInScope(wordStart, names);
            if (auto it = names.find(std::string(tokens_[dot - 1].lexeme)); it != names.end()) {
                module = it->second.kind == CompletionKind::Module;
                type = it->second.declaration.type;
            }
        }
        for (const auto& [name, memberType] : checker_->knownMembers(type)) {
            CompletionKind kind = module                   ? CompletionKind::Function
                                  : asFunction(memberType) ? CompletionKind::Method
                                                           : CompletionKind::Field;
            entries.push_back(CompletionEntry{name, kind, typeText(memberType)});
        }
    } else {
        addNamesInScope(wordStart, names);
        for (const auto& [name, entry] : names)
            entries.push_back(CompletionEntry{
                name, entry.kind,
                entry.kind == CompletionKind::Keyword ? "" : typeText(entry.declaration.type)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const CompletionEntry& x, const CompletionEntry& y) { return x.label < y.label; });
    return entries;
}

std::vector<DocumentSymbolInfo> DocumentAnalysis::symbols() const {
    std::vector<DocumentSymbolInfo> result;
    auto lineEnd = [&](size_t at) {
        size_t end = text_.find('\n', at);
        return end == std::string::npos ? text_.size() : end;
    };
    // A declaration reaches to the brace that closes its body, or to the end of its line.
    auto make = [&](const Statement& node, const std::string& name, SymbolKindCode kind,
                    const TypePtr& type, const BlockStmt* body) {
        DocumentSymbolInfo info;
        info.name = name;
        info.kind = kind;
        info.detail = kind == SymbolKindCode::Class ? "" : typeText(type);
        info.start = node.location.offset;
        size_t name_ = nameToken(startOf(node), name);
        info.nameStart = name_ == kNone ? info.start : tokens_[name_].location.offset;
        info.nameEnd = name_ == kNone ? info.start : endOffset(name_);
        size_t open = body ? startOf(*body)
                      : kind == SymbolKindCode::Class
                          ? nextOfKind(name_ == kNone ? startOf(node) : name_, TokenType::LeftBrace)
                          : kNone;
        size_t close = open == kNone ? kNone : closing(open);
        info.end = close == kNone ? lineEnd(info.nameEnd) : endOffset(close);
        info.end = std::max(info.end, info.nameEnd);
        return info;
    };
    for (const StmtPtr& statement : program_->statements) {
        Statement* node = statement.get();
        if (auto* klass = dynamic_cast<ClassDeclStmt*>(node)) {
            DocumentSymbolInfo info =
                make(*klass, klass->name, SymbolKindCode::Class, klass->resolvedType, nullptr);
            for (const auto& field : klass->fields)
                if (field)
                    info.children.push_back(make(*field, field->name, SymbolKindCode::Field,
                                                 field->resolvedType, nullptr));
            for (const auto& method : klass->methods)
                if (method)
                    info.children.push_back(make(*method, method->name, SymbolKindCode::Method,
                                                 method->resolvedType, method->body.get()));
            result.push_back(std::move(info));
        } else if (auto* function = dynamic_cast<FunctionDeclStmt*>(node)) {
            result.push_back(make(*function, function->name, SymbolKindCode::Function,
                                  function->resolvedType, function->body.get()));
        } else if (auto* var = dynamic_cast<VarDeclStmt*>(node)) {
            result.push_back(
                make(*var, var->name, SymbolKindCode::Variable, var->resolvedType, nullptr));
        }
    }
    return result;
}

} // namespace zarn::lsp
