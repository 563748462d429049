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

using NameId = uint32_t;
constexpr NameId kNoName = 0; // never handed out: marks empty map slots

class NameTable {
public:
    NameId intern(std::string_view name) {
        auto it = index_.find(name);
        if (it != index_.end()) return it->second;
        names_.emplace_back(name);
        NameId id = static_cast<NameId>(names_.size());
        index_.emplace(names_.back(), id);
        return id;
    }
    // The id of a name already interned, else kNoName (no allocation).
    NameId find(std::string_view name) const {
        auto it = index_.find(name);
        return it == index_.end() ? kNoName : it->second;
    }
    // The text of an id; the reference stays valid for the table's lifetime.
    const std::string& name(NameId id) const { return names_[id - 1]; }

private:
    std::deque<std::string> names_; // stable addresses: index_ keys view into them
    std::unordered_map<std::string_view, NameId> index_;
};

} // namespace zarn
