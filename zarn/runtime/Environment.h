// Variable scopes. The first eight names of a scope live inline and are found
// by comparing name ids; the ninth distinct name moves all of them into a hash
// map (map mode), which is made then and kept while the scope is recycled. Scopes are recycled
// through the interpreter's pool unless a function or lambda closed over them (captured).
//
// The scope of a call of a function whose locals were given fixed places
// (see FrameLayout.h) is a frame: those locals take the last inline values,
// or for a larger frame an array beside the map, and are read by their place
// alone. They have no name here, so no lookup by name meets them; names
// defined by name in a frame take the inline entries left before them, then
// the map as usual.
#pragma once

#include "zarn/diagnostics/Assert.h"
#include "zarn/frontend/AST.h"
#include "zarn/runtime/NameTable.h"
#include "zarn/runtime/Object.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace zarn {

// Map from name id to value for scopes in map mode. Small maps (most method
// scopes) are searched linearly; larger ones (the globals) get a hash index.
// Clearing keeps the storage, so a recycled scope does not allocate again.
class NameMap {
public:
    struct Entry {
        NameId key = kNoName;
        Value value;
    };

    Value* find(NameId key) {
        if (entries_.size() <= kLinear) {
            // Newest first: a name appended twice reads as its later value.
            for (size_t i = entries_.size(); i-- > 0;)
                if (entries_[i].key == key) return &entries_[i].value;
            return nullptr;
        }
        size_t mask = index_.size() - 1;
        for (size_t i = hash(key) & mask;; i = (i + 1) & mask) {
            uint32_t slot = index_[i];
            if (slot == 0) return nullptr;
            if (entries_[slot - 1].key == key) return &entries_[slot - 1].value;
        }
    }
    // Inserts or replaces.
    void set(NameId key, Value value);
    // Adds without looking for the name first (setting up a fresh scope); a
    // repeated name then hides its earlier entry.
    void append(NameId key, Value value) {
        if (entries_.size() < kLinear) entries_.push_back(Entry{key, value});
        else set(key, value);
    }
    void clear();
    size_t size() const { return entries_.size(); }
    // The places of a frame too large for the inline values (see
    // Environment::openFrame); kept, like the entries, while recycled.
    std::vector<Value> places;
    // The entry at a position, when it holds key; positions never move while
    // the map is not cleared.
    Value* entryAt(uint32_t position, NameId key) {
        return position < entries_.size() && entries_[position].key == key
                   ? &entries_[position].value
                   : nullptr;
    }
    // The position of a value this map holds.
    uint32_t positionOf(const Value* value) const {
        auto* entry = reinterpret_cast<const Entry*>(reinterpret_cast<const char*>(value) -
                                                     offsetof(Entry, value));
        return static_cast<uint32_t>(entry - entries_.data());
    }

    template <typename F>
    void forEach(F&& f) const {
        for (const Entry& e : entries_) f(e.key, e.value);
    }

private:
    static constexpr size_t kLinear = 8;
    static size_t hash(NameId key) {
        return static_cast<size_t>(key) * 0x9E3779B97F4A7C15ull >> 32;
    }
    void insertIndex(uint32_t entry);
    void rebuildIndex(size_t capacity);

    std::vector<Entry> entries_;  // in insertion order
    std::vector<uint32_t> index_; // open addressing: entry position + 1, 0 = empty
};

// A local of a frame by name, for code that runs there by name.
struct FrameBinding {
    NameId name;
    uint8_t place;
};
using FrameBindings = std::vector<FrameBinding>;
// What code that runs by name at a call or a `new` of a frame's body sees.
struct FrameSite {
    FrameBindings visible; // the locals in scope there
    // With scopes of names, the site would be in a scope below the
    // function's own (a loop's, a declaring block's): what a script run
    // there declares goes into a scope of its own, not into the frame.
    bool nested = false;
};

class Environment final : public GcObject {
public:
    // Eight names keep a scope within the collector's largest cell (see the
    // static_assert below the class): most function bodies and blocks fit.
    static constexpr uint8_t kInlineSlots = 8;
    static constexpr uint8_t kMapMode = kInlineSlots + 1;

    explicit Environment(Environment* parent = nullptr)
        : GcObject(ObjectKind::Environment), parent(parent) {}
    void trace(GC& gc) override;
    // The accounted size is fixed by design, whatever the layout in memory.
    size_t size() const override { return 296 + 48 * (map_ ? map_->size() : 0); }
    std::string toString() const override { return "<environment>"; }

    // The slot of a name in this scope only, or null. A method scope reaches
    // its receiver's fields after its own names, then the class's methods.
    [[gnu::always_inline]] Value* findLocal(NameId name) {
        if (Value* slot = findDefined(name)) return slot;
        return receiver ? findMember(name) : nullptr;
    }
    // A name defined in this scope itself (no field, no pending method).
    [[gnu::always_inline]] Value* findDefined(NameId name) {
        // Most scopes on a lookup's way do not hold the name: one test skips them.
        if ((nameBits & bitOf(name)) == 0) return nullptr;
        if (count == kMapMode) return map_->find(name);
        for (uint8_t i = count; i-- > 0;) // newest first, see defineFresh
            if (names[i] == name) return &values[i];
        return nullptr;
    }
    // The slot of a name in this scope or the nearest enclosing one, or null.
    [[gnu::always_inline]] Value* lookup(NameId name) {
        for (Environment* env = this; env != nullptr; env = env->parent) {
            if (Value* slot = env->findLocal(name)) return slot;
            if (env->published != nullptr && (env != this || env->publishedHere)) [[unlikely]]
                if (Value* slot = env->publishedSlot(name)) return slot;
        }
        return nullptr;
    }
    // lookup for one use of a name in the program. The scopes between a use
    // and its variable are the same each time the use runs, so the place found
    // the first time is tried first: up that many scopes, that entry, when it
    // still holds the name. Otherwise (a recycled scope, a method bound in
    // another order) the chain is searched again and the place updated.
    [[gnu::always_inline]] Value* lookup(NameId name, NamePlace& place, uint32_t epoch) {
        if (place.epoch == epoch) [[likely]] {
            Environment* env = this;
            for (uint32_t up = place.depth; up != 0 && env != nullptr; --up) env = env->parent;
            if (env != nullptr)
                if (Value* slot = env->entryAt(name, place.slot)) return slot;
        }
        return resolve(name, place, epoch);
    }

    // Defines or replaces the name in this scope. In a method scope a name
    // like a field's makes a local that hides the field.
    [[gnu::always_inline]] void define(NameId name, Value value) {
        // The common case, a name new to a scope with room inline, is
        // settled here; replacing and map mode are out of line.
        if ((nameBits & bitOf(name)) == 0 && count < inlineLimit) [[likely]] {
            nameBits |= bitOf(name);
            appendInline(name, value);
            return;
        }
        defineElsewhere(name, value);
    }
    // Defines a name while a new scope is set up (parameters, method scopes),
    // without searching for it first; defining a name twice this way gives
    // the later value, as define would.
    [[gnu::always_inline]] void defineFresh(NameId name, Value value) {
        nameBits |= bitOf(name);
        if (count < inlineLimit) appendInline(name, value);
        else if (count == kMapMode) map_->append(name, value);
        else defineElsewhere(name, value); // the ninth name: into map mode
    }
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

    // Makes this the scope of a method running on receiver: inside it a bare
    // field name is the instance's field itself, so every write lands in the
    // instance at once and is seen by whoever else reaches it. The class's
    // methods (pendingMethods, may be null) are defined as bound methods of
    // the receiver when first looked up rather than for every call; this is
    // used only when no method shares its name with "this", a parameter or
    // another method, so nothing could tell the difference.
    void setReceiver(ClassInstanceObject* instance, const std::vector<NameId>* pendingMethods) {
        receiver = instance;
        methodNames = pendingMethods;
    }

    // Makes a new, empty scope the frame of a function with this many fixed
    // places, all Null.
    void openFrame(uint8_t places) {
        ZARN_ASSERT(count == 0, "a frame is opened on a fresh scope");
        frameSlots = places;
        if (places <= kInlineSlots) {
            inlineLimit = static_cast<uint8_t>(kInlineSlots - places);
            frame = values + inlineLimit;
            for (uint8_t i = 0; i < places; ++i) frame[i] = Value();
            return;
        }
        // Names defined here by name go to the map, beside the places.
        useMap();
        map_->places.assign(places, Value());
        frame = map_->places.data();
    }
    // The value at a fixed place of a frame.
    [[gnu::always_inline]] Value& frameValue(uint32_t place) { return frame[place]; }
    // Lets code that runs by name in this frame, or in scopes made below it,
    // see these locals (the ones in scope where that code starts). here:
    // lookups made in the frame itself see them too, as a script's top level
    // does; the frame's own code never looks its locals up by name. A name
    // defined here while they are seen from here replaces the local.
    void publish(const FrameBindings* bindings, bool here) {
        published = bindings;
        publishedHere = here;
        if (bindings != nullptr)
            for (const FrameBinding& binding : *bindings) nameBits |= bitOf(binding.name);
    }
    // The published local of a name, or null.
    Value* publishedSlot(NameId name) {
        for (const FrameBinding& binding : *published)
            if (binding.name == name) return &frameValue(binding.place);
        return nullptr;
    }

    // Puts a new, empty scope in map mode, for as many names as would not fit inline.
    void useMap() {
        for (NameId& name : names) name = kNoName;
        if (!map_) map_ = std::make_unique<NameMap>();
        count = kMapMode;
    }
    // The names of a scope in map mode (null otherwise, or empty).
    const NameMap* nameMap() const { return count == kMapMode ? map_.get() : nullptr; }

    // Makes the scope empty and uncaptured under a new parent (pool reuse).
    void reset(Environment* newParent) {
        parent = newParent;
        caller = nullptr;
        methodNames = nullptr;
        receiver = nullptr;
        if (count == kMapMode) map_->clear();
        count = 0;
        nameBits = 0;
        captured = false;
        frameSlots = 0;
        inlineLimit = kInlineSlots;
        frame = nullptr;
        published = nullptr;
        publishedHere = false;
    }

    Environment* parent;
    // The calling scope while this is the scope of a running call: not part of
    // name lookup, only kept reachable.
    Environment* caller = nullptr;
    // One more than the inline slots, and cleared in map mode: a remembered
    // place below count reads a name here without testing the mode first.
    NameId names[kMapMode] = {};
    uint8_t count = 0; // 0..kInlineSlots inline entries, kMapMode = map mode
    bool captured : 1 = false;
    bool publishedHere : 1 = false;     // see publish
    uint8_t frameSlots = 0;             // fixed places of a frame (see openFrame)
    uint8_t inlineLimit = kInlineSlots; // inline entries that names may take
    Value values[kInlineSlots];
    // One bit per name defined here (the name id modulo 64): a clear bit
    // means the name is not in this scope.
    uint64_t nameBits = 0;
    const std::vector<NameId>* methodNames = nullptr; // methods not defined yet
    ClassInstanceObject* receiver = nullptr;          // set in a method's own scope
    const FrameBindings* published = nullptr;         // see publish
    Value* frame = nullptr; // a frame's places: the end of values, or the map's

private:
    // The names in map mode; made when a scope first needs it.
    std::unique_ptr<NameMap> map_;

    // Places at or above this are fields of the receiver, by layout slot.
    static constexpr uint32_t kFieldPlace = 0x8000;

    static uint64_t bitOf(NameId name) { return uint64_t{1} << (name & 63); }
    // The value at a remembered place, when it is still the name's.
    [[gnu::always_inline]] Value* entryAt(NameId name, uint32_t place) {
        // An inline entry; in map mode every inline name is kNoName.
        if (place < count && names[place] == name) [[likely]]
            return &values[place];
        if (place >= kFieldPlace)
            // A local named like the field would hide it.
            return receiver != nullptr && (nameBits & bitOf(name)) == 0
                       ? receiver->fieldAt(place - kFieldPlace, name)
                       : nullptr;
        return count == kMapMode ? map_->entryAt(place, name) : nullptr;
    }
    // The position of an entry of this scope; UINT32_MAX where a place could
    // not tell it from a field.
    uint32_t positionOf(const Value* slot) const {
        uint32_t position =
            count == kMapMode ? map_->positionOf(slot) : static_cast<uint32_t>(slot - values);
        return position < kFieldPlace ? position : UINT32_MAX;
    }
    // A new inline entry (count < kInlineSlots), newest last.
    [[gnu::always_inline]] void appendInline(NameId name, Value value) {
        names[count] = name;
        values[count] = value;
        ++count;
    }
    // define for a name that may be here already, or a scope without room inline.
    [[gnu::noinline]] void defineElsewhere(NameId name, Value value);
    // The search of lookup, remembering where it found the name.
    [[gnu::noinline]] Value* resolve(NameId name, NamePlace& place, uint32_t epoch);
    [[gnu::noinline]] Value* findMember(NameId name) {
        if (Value* field = receiver->findField(name)) return field;
        return methodNames ? bindMethod(name) : nullptr;
    }
    Value* bindMethod(NameId name);
};

// Scopes are made for every call and most blocks: they must take a cell.
static_assert(sizeof(Environment) <= 256, "a scope fits the collector's largest cell");

} // namespace zarn
