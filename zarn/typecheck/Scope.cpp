#include "zarn/typecheck/Scope.h"

#include <algorithm>

namespace zarn {

bool Scope::define(SymbolKind kind, const std::string& name, TypePtr type) {
    if (findLocal(name)) return false;
    if (large_.empty() && small_.size() < kSmallScope) {
        small_.push_back(Symbol{kind, name, std::move(type)});
        return true;
    }
    if (large_.empty()) {
        large_.reserve(2 * kSmallScope);
        for (Symbol& symbol : small_) {
            std::string key = symbol.name;
            large_.emplace(std::move(key), std::move(symbol));
        }
        small_.clear();
    }
    large_.emplace(name, Symbol{kind, name, std::move(type)});
    return true;
}

const Symbol* Scope::findLocal(std::string_view name) const {
    if (!large_.empty()) {
        auto it = large_.find(name);
        return it == large_.end() ? nullptr : &it->second;
    }
    for (const Symbol& symbol : small_)
        if (symbol.name == name) return &symbol;
    return nullptr;
}

const Symbol* Scope::lookup(std::string_view name) const {
    for (const Scope* scope = this; scope; scope = scope->parent_)
        if (const Symbol* symbol = scope->findLocal(name)) return symbol;
    return nullptr;
}

void Scope::moveInto(Scope& target) {
    auto move = [&target](Symbol& symbol) {
        // `target` is not const: its symbol may be changed in place.
        if (auto* existing = const_cast<Symbol*>(target.findLocal(symbol.name)))
            *existing = std::move(symbol);
        else target.define(symbol.kind, symbol.name, std::move(symbol.type));
    };
    for (Symbol& symbol : small_) move(symbol);
    for (auto& entry : large_) move(entry.second);
    small_.clear();
    large_.clear();
    for (std::string& module : modules_) target.modules_.push_back(std::move(module));
    modules_.clear();
}

bool Scope::moduleVisible(std::string_view name) const {
    for (const Scope* scope = this; scope; scope = scope->parent_)
        if (std::find(scope->modules_.begin(), scope->modules_.end(), name) !=
            scope->modules_.end())
            return true;
    return false;
}

} // namespace zarn
