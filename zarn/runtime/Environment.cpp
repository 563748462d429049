#include "zarn/runtime/Environment.h"

#include "zarn/runtime/GC.h"

namespace zarn {

void NameMap::set(NameId key, Value value) {
    if (Value* slot = find(key)) {
        *slot = value;
        return;
    }
    if ((count_ + 1) * 4 > entries_.size() * 3) grow();
    size_t mask = entries_.size() - 1;
    size_t i = hash(key) & mask;
    while (entries_[i].key != kNoName) i = (i + 1) & mask;
    entries_[i].key = key;
    entries_[i].value = value;
    ++count_;
}

void NameMap::clear() {
    if (count_ == 0) return;
    for (Entry& e : entries_) e = Entry();
    count_ = 0;
}

void NameMap::grow() {
    std::vector<Entry> old = std::move(entries_);
    entries_.assign(old.empty() ? 16 : old.size() * 2, Entry());
    count_ = 0;
    for (const Entry& e : old)
        if (e.key != kNoName) set(e.key, e.value);
}

void Environment::define(NameId name, Value value) {
    if (count == kMapMode) {
        map.set(name, value);
        return;
    }
    for (uint8_t i = 0; i < count; ++i) {
        if (names[i] == name) {
            values[i] = value;
            return;
        }
    }
    if (count < kInlineSlots) {
        names[count] = name;
        values[count] = value;
        ++count;
        return;
    }
    for (uint8_t i = 0; i < kInlineSlots; ++i) {
        map.set(names[i], values[i]);
        values[i] = Value();
    }
    count = kMapMode;
    map.set(name, value);
}

void Environment::trace(GC& gc) {
    gc.markObject(parent);
    gc.markObject(caller);
    if (count == kMapMode) {
        map.forEach([&](NameId, const Value& v) { gc.markValue(v); });
    } else {
        for (uint8_t i = 0; i < count; ++i) gc.markValue(values[i]);
    }
}

} // namespace zarn
