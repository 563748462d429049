// The checker's symbol scopes: a chain from the innermost block out to the
// scope of the built-in globals.
#pragma once

#include "zarn/diagnostics/SourceLocation.h"
#include "zarn/types/Type.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zarn {

enum class SymbolKind { Variable, Function, Class, Module };

struct Symbol {
    SymbolKind kind;
    std::string name;
    TypePtr type;
    // Where the name was declared: a location held by a node (or parameter) of
    // the tree that declared it, null for built-in names.
    const SourceLocation* declaredAt = nullptr;
};

class Scope {
public:
    explicit Scope(Scope* parent) : parent_(parent) {}
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    Scope* parent() const { return parent_; }

    // Adds a symbol to this scope; false (and no change) when the name is already here.
    bool define(SymbolKind kind, const std::string& name, TypePtr type,
                const SourceLocation* declaredAt = nullptr);

    const Symbol* findLocal(std::string_view name) const;
    // Walks outwards from this scope.
    const Symbol* lookup(std::string_view name) const;

    // Every symbol of this scope alone, in no particular order.
    template <typename Visit>
    void forEachSymbol(Visit&& visit) const {
        for (const Symbol& symbol : small_) visit(symbol);
        for (const auto& entry : large_) visit(entry.second);
    }

    // Modules declared while this scope was innermost; a module visible from
    // an enclosing scope is not declared again.
    void markModule(const std::string& name) { modules_.push_back(name); }
    bool moduleVisible(std::string_view name) const;

    // Moves every symbol and module of this scope into `target`, where a
    // symbol replaces one of the same name. This scope is left empty.
    void moveInto(Scope& target);

private:
    // Most scopes hold a handful of names: they live in a small vector, and
    // move to a hash map once the scope grows past kSmallScope entries.
    static constexpr size_t kSmallScope = 8;

    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };

    Scope* parent_;
    std::vector<Symbol> small_;
    std::unordered_map<std::string, Symbol, Hash, std::equal_to<>> large_;
    std::vector<std::string> modules_;
};

} // namespace zarn
