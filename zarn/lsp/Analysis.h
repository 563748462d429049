// What the language server knows about one open document: the front end and
// the checker run over its text, plus the indexes that answer an editor's
// questions (hover, definition, completion, symbols) by byte offset.
#pragma once

#include "zarn/diagnostics/DiagnosticEngine.h"
#include "zarn/frontend/AST.h"
#include "zarn/frontend/Lexer.h"
#include "zarn/frontend/ModuleCache.h"
#include "zarn/frontend/Token.h"
#include "zarn/typecheck/TypeChecker.h"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zarn::lsp {

// A span of bytes in some file.
struct FileSpan {
    std::string path;
    size_t offset = 0;
    size_t length = 0;
};

struct HoverInfo {
    std::string text; // one line, such as "(variable) count: int"
    size_t offset = 0;
    size_t length = 0;
};

// The kinds of completion items and document symbols, numbered as editors expect.
enum class CompletionKind {
    Method = 2,
    Function = 3,
    Field = 5,
    Variable = 6,
    Class = 7,
    Module = 9,
    Keyword = 14
};
enum class SymbolKindCode { Class = 5, Method = 6, Field = 8, Function = 12, Variable = 13 };

struct CompletionEntry {
    std::string label;
    CompletionKind kind = CompletionKind::Variable;
    std::string detail; // the type, when known
};

struct DocumentSymbolInfo {
    std::string name;
    SymbolKindCode kind = SymbolKindCode::Variable;
    std::string detail;
    size_t start = 0, end = 0;         // the whole declaration
    size_t nameStart = 0, nameEnd = 0; // its name
    std::vector<DocumentSymbolInfo> children;
};

class DocumentAnalysis {
public:
    // `path` names the document (its directory is where `use` resolves from).
    DocumentAnalysis(std::string text, std::string path);
    ~DocumentAnalysis();
    DocumentAnalysis(const DocumentAnalysis&) = delete;
    DocumentAnalysis& operator=(const DocumentAnalysis&) = delete;

    const std::string& text() const { return text_; }
    const std::string& path() const { return path_; }

    // What `zarn check` reports for this text: the diagnostics of the first
    // stage that failed, or none.
    const std::vector<Diagnostic>& diagnostics() const { return engine_.diagnostics(); }

    std::optional<HoverInfo> hover(size_t offset) const;
    std::optional<FileSpan> definition(size_t offset) const;
    std::vector<CompletionEntry> completion(size_t offset) const;
    std::vector<DocumentSymbolInfo> symbols() const;

private:
    struct Extent {
        size_t first = 0, last = 0; // token indexes
    };
    struct Declaration {
        SymbolKind kind;
        std::string name;
        TypePtr type;
        const SourceLocation* location;
        std::string container; // the class of a field or method
        bool parameter = false;
    };
    struct ClassEntry {
        const ClassDeclStmt* node;
        std::string path;
    };
    // A name visible at some offset, with what declared it.
    struct NameInScope {
        CompletionKind kind;
        Declaration declaration;
    };
    using ScopeNames = std::unordered_map<std::string, NameInScope>;
    class Indexer;
    class Resolutions;

    void analyze();
    // Token lookups.
    std::optional<size_t> tokenAt(size_t offset) const;
    size_t tokenStartingAt(size_t offset) const;
    size_t nextOfKind(size_t from, TokenType kind) const;
    size_t closing(size_t opener) const;
    // The innermost expression whose extent holds token `index`.
    const Expression* expressionAt(size_t index) const;
    // The receiver of a member written at `dot` (a Dot token), when the tree has it.
    const Expression* receiverBefore(size_t dot) const;
    size_t nameToken(size_t from, const std::string& name) const;
    size_t startOf(const ASTNode& node) const { return tokenStartingAt(node.location.offset); }
    size_t endOffset(size_t token) const;
    // Where `name` is declared by the node at `location` in the file at `path`.
    std::optional<FileSpan> declarationSpan(const std::string& path, const SourceLocation& location,
                                            const std::string& name) const;
    std::string absolutePath(const std::string& file) const;
    void addNamesInScope(size_t offset, ScopeNames& names) const;
    void addLocals(const std::vector<StmtPtr>& statements, size_t offset, ScopeNames& names) const;
    // The name under `offset` inside a `{...}` of the string literal token
    // `index`, with its place; nullopt elsewhere.
    std::optional<std::pair<NameInScope, FileSpan>> interpolatedName(size_t index,
                                                                     size_t offset) const;
    bool insideBlock(const BlockStmt* block, size_t offset) const;
    std::string hoverText(const Declaration& declaration) const;

    std::string text_;
    std::string path_;
    std::unique_ptr<Lexer> lexer_; // tokens may refer to its copy of the text
    DiagnosticEngine engine_;      // what `zarn check` would print
    DiagnosticEngine scratch_;     // the checker's findings on a tree with syntax errors
    std::vector<Token> tokens_;    // without Newline tokens
    std::vector<size_t> matching_; // for each bracket token, its partner (or npos)
    std::shared_ptr<Program> program_;
    std::shared_ptr<ModuleCache> modules_;
    std::unique_ptr<TypeChecker> checker_; // kept: class members live as long as it does
    std::unordered_map<const IdentifierExpr*, Declaration> resolved_;
    std::unordered_map<size_t, const IdentifierExpr*> identifiers_; // by token
    std::unordered_map<size_t, const MemberExpr*> members_;         // by member name token
    std::vector<std::pair<const Expression*, Extent>> expressions_;
    std::unordered_map<size_t, Declaration> declarationsByToken_; // name token -> declaration
    std::unordered_map<std::string, ClassEntry> classes_;
    // The class of each field and method declared in the document, by its location.
    std::unordered_map<const SourceLocation*, std::string> memberOwners_;
    std::vector<std::pair<size_t, std::string>> uses_; // name token -> module path
};

} // namespace zarn::lsp
