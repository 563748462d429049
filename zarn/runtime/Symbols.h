// Interned names. Every variable, field and parameter name is turned into a
// small integer once (cached on the syntax tree node), so scopes compare
// integers and a lookup never allocates.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zarn {

using Symbol = uint32_t;
constexpr Symbol kNoSymbol = 0; // never handed out: marks empty map slots

class SymbolTable {
public:
    Symbol intern(std::string_view name) {
        auto it = index_.find(name);
        if (it != index_.end()) return it->second;
        names_.emplace_back(name);
        Symbol id = static_cast<Symbol>(names_.size());
        index_.emplace(names_.back(), id);
        return id;
    }
    // The id of a name already interned, else kNoSymbol (no allocation).
    Symbol find(std::string_view name) const {
        auto it = index_.find(name);
        return it == index_.end() ? kNoSymbol : it->second;
    }
    // The text of an id; the reference stays valid for the table's lifetime.
    const std::string& name(Symbol id) const { return names_[id - 1]; }

private:
    std::deque<std::string> names_; // stable addresses: index_ keys view into them
    std::unordered_map<std::string_view, Symbol> index_;
};

} // namespace zarn
