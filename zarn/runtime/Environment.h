// Variable scopes. The first four names of a scope live inline and are found
// by comparing name ids; the fifth distinct name moves all of them into a hash
// map (map mode). Scopes are recycled through the interpreter's pool unless a
// function or lambda closed over them (captured).
#pragma once

#include "zarn/runtime/Object.h"
#include "zarn/runtime/NameTable.h"

#include <cstdint>
#include <vector>

namespace zarn {

// Open-addressing map from name id to value; clearing keeps its storage so a
// recycled scope does not allocate again.
class NameMap {
public:
    struct Entry {
        NameId key = kNoName;
        Value value;
    };

    Value* find(NameId key) {
        if (count_ == 0) return nullptr;
        size_t mask = entries_.size() - 1;
        for (size_t i = hash(key) & mask;; i = (i + 1) & mask) {
            Entry& e = entries_[i];
            if (e.key == key) return &e.value;
            if (e.key == kNoName) return nullptr;
        }
    }
    // Inserts or replaces.
    void set(NameId key, Value value);
    void clear();
    size_t size() const { return count_; }

    template <typename F>
    void forEach(F&& f) const {
        if (count_ == 0) return;
        for (const Entry& e : entries_)
            if (e.key != kNoName) f(e.key, e.value);
    }

private:
    static size_t hash(NameId key) { return static_cast<size_t>(key) * 0x9E3779B97F4A7C15ull >> 32; }
    void grow();

    std::vector<Entry> entries_; // size is zero or a power of two
    size_t count_ = 0;
};

class Environment final : public GcObject {
public:
    static constexpr uint8_t kInlineSlots = 4;
    static constexpr uint8_t kMapMode = 5;

    explicit Environment(Environment* parent = nullptr)
        : GcObject(ObjectKind::Environment), parent(parent) {}
    void trace(GC& gc) override;
    size_t size() const override { return 296 + 48 * map.size(); }
    std::string toString() const override { return "<environment>"; }

    // The slot of a name in this scope only, or null.
    Value* findLocal(NameId name) {
        if (count == kMapMode) return map.find(name);
        for (uint8_t i = 0; i < count; ++i)
            if (names[i] == name) return &values[i];
        return nullptr;
    }
    // The slot of a name in this scope or the nearest enclosing one, or null.
    Value* lookup(NameId name) {
        for (Environment* env = this; env != nullptr; env = env->parent)
            if (Value* slot = env->findLocal(name)) return slot;
        return nullptr;
    }

    // Defines or replaces the name in this scope.
    void define(NameId name, Value value);
    // The value from the scope chain; Null when no scope holds the name.
    Value get(NameId name) {
        Value* slot = lookup(name);
        return slot ? *slot : Value();
    }
    // Replaces the value in the nearest scope holding the name; false when none does.
    bool assign(NameId name, Value value) {
        Value* slot = lookup(name);
        if (slot == nullptr) return false;
        *slot = value;
        return true;
    }
    bool contains(NameId name) { return lookup(name) != nullptr; }

    // Makes the scope empty and uncaptured under a new parent (pool reuse).
    void reset(Environment* newParent) {
        parent = newParent;
        caller = nullptr;
        if (count == kMapMode) map.clear();
        count = 0;
        captured = false;
    }

    Environment* parent;
    // The calling scope while this is the scope of a running call: not part of
    // name lookup, only kept reachable.
    Environment* caller = nullptr;
    NameId names[kInlineSlots] = {};
    Value values[kInlineSlots];
    uint8_t count = 0; // 0..4 inline entries, 5 = map mode
    bool captured = false;
    NameMap map;
};

} // namespace zarn
