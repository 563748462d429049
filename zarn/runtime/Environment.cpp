#include "zarn/runtime/Environment.h"

#include "zarn/runtime/ClassInfo.h"
#include "zarn/runtime/GC.h"

#include <algorithm>

namespace zarn {

void NameMap::set(NameId key, Value value) {
    if (Value* slot = find(key)) {
        *slot = value;
        return;
    }
    entries_.push_back(Entry{key, value});
    if (entries_.size() <= kLinear) return;
    // Crossing into hashed lookups indexes every entry; later ones are added.
    if (entries_.size() == kLinear + 1 || entries_.size() * 2 > index_.size())
        rebuildIndex(std::max<size_t>(32, entries_.size() * 2 > index_.size() ? index_.size() * 2
                                                                              : index_.size()));
    else insertIndex(static_cast<uint32_t>(entries_.size()));
}

void NameMap::insertIndex(uint32_t entry) {
    size_t mask = index_.size() - 1;
    NameId key = entries_[entry - 1].key;
    size_t i = hash(key) & mask;
    // A repeated name (see append) points at its newest entry.
    while (index_[i] != 0 && entries_[index_[i] - 1].key != key) i = (i + 1) & mask;
    index_[i] = entry;
}

void NameMap::rebuildIndex(size_t capacity) {
    index_.assign(capacity, 0);
    for (uint32_t e = 1; e <= entries_.size(); ++e) insertIndex(e);
}

void NameMap::clear() {
    if (entries_.size() > kLinear) std::fill(index_.begin(), index_.end(), 0);
    entries_.clear();
}

void Environment::defineElsewhere(NameId name, Value value) {
    if (published != nullptr && publishedHere)
        if (Value* local = publishedSlot(name)) {
            *local = value;
            return;
        }
    // A clear bit means the name is new here: nothing to search for.
    const bool maybeHere = (nameBits & bitOf(name)) != 0;
    nameBits |= bitOf(name);
    if (count == kMapMode) {
        if (maybeHere) map_->set(name, value);
        else map_->append(name, value);
        return;
    }
    if (maybeHere) {
        if (Value* slot = findDefined(name)) {
            *slot = value;
            return;
        }
    }
    if (count < inlineLimit) {
        appendInline(name, value);
        return;
    }
    // The inline names are distinct, and the new one is none of them. A
    // frame's fixed places stay where they are.
    if (!map_) map_ = std::make_unique<NameMap>();
    for (uint8_t i = 0; i < count; ++i) {
        map_->append(names[i], values[i]);
        values[i] = Value();
    }
    useMap();
    map_->append(name, value);
}

Value* Environment::bindMethod(NameId name) {
    bool pending = false;
    for (NameId method : *methodNames) pending = pending || method == name;
    const InstanceExtras* extras = receiver->extrasIfAny();
    if (!pending || extras == nullptr || extras->boundFor == nullptr) return nullptr;
    // The receiver's bound methods follow its class as it is now (a class
    // declared again during the call rebuilds them).
    const std::vector<NameId>& methods = extras->boundFor->methodNames;
    for (size_t i = 0; i < methods.size(); ++i) {
        if (methods[i] != name) continue;
        if (i >= extras->boundMethods.size()) return nullptr;
        Value bound(extras->boundMethods[i]);
        define(name, bound);
        return findDefined(name);
    }
    return nullptr;
}

Value* Environment::resolve(NameId name, NamePlace& place, uint32_t epoch) {
    place.epoch = 0;
    uint32_t depth = 0;
    for (Environment* env = this; env != nullptr; env = env->parent, ++depth) {
        // Where in env the name is: an entry, or kFieldPlace + a layout slot.
        uint32_t position = UINT32_MAX;
        Value* slot = env->findDefined(name);
        if (slot == nullptr && env->receiver != nullptr) {
            slot = env->receiver->findField(name);
            if (slot != nullptr) {
                // Fields beyond the class's layout are found by name each time.
                uint32_t field = env->receiver->slotIndexOf(slot);
                if (field < kFieldPlace) position = kFieldPlace + field;
            } else if (env->methodNames != nullptr) {
                slot = env->bindMethod(name);
                if (slot != nullptr) position = env->positionOf(slot);
            }
        } else if (slot != nullptr) {
            position = env->positionOf(slot);
        }
        // A frame's published locals are found by name each time.
        if (slot == nullptr && env->published != nullptr && (depth > 0 || env->publishedHere))
            slot = env->publishedSlot(name);
        if (slot == nullptr) continue;
        if (depth <= UINT8_MAX && position <= UINT16_MAX) {
            place.epoch = epoch;
            place.depth = static_cast<uint8_t>(depth);
            place.slot = static_cast<uint16_t>(position);
        }
        return slot;
    }
    return nullptr;
}

void Environment::trace(GC& gc) {
    gc.markObject(parent);
    gc.markObject(caller);
    gc.markObject(receiver);
    if (count == kMapMode) {
        map_->forEach([&](NameId, const Value& v) { gc.markValue(v); });
    } else {
        for (uint8_t i = 0; i < count; ++i) gc.markValue(values[i]);
    }
    for (uint8_t i = 0; i < frameSlots; ++i) gc.markValue(frame[i]);
}

} // namespace zarn
