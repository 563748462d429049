// The non-moving mark-and-sweep collector. It owns every heap object in one
// singly linked list and is triggered by allocation volume: a collection runs
// before an allocation once bytesAllocated exceeds threshold, and afterwards
// bytesAllocated = live and threshold = live + max(live / 4, min(live, 4 MiB)),
// at least 1 MiB, live being the current size of the objects that survived. In
// stress mode it collects before every allocation, which makes a missing root
// fail at once.
//
// Invariant: every object reachable from a root slot or from what the root
// marker marks survives a collection; nothing else does. Code holding a heap
// value in a C++ local across an allocation must root it first (the
// temporary-root stack, see RootScope). Values that native objects keep for
// longer are persistent roots (see PersistentRoots and Handle in NativeApi.h).
#pragma once

#include "zarn/diagnostics/Assert.h"
#include "zarn/runtime/Object.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace zarn {

// The slots of persistent roots: each holds one value that the collector marks
// until the slot is released. Handles (NativeApi.h) share this table with the
// collector, so a handle may be released after the collector is gone; closing
// the table at teardown drops every value and makes later adds hold nothing.
class PersistentRoots {
public:
    static constexpr uint32_t kNoSlot = UINT32_MAX;

    // A new slot holding value, or kNoSlot once the table is closed.
    uint32_t add(Value value) {
        if (closed_) return kNoSlot;
        if (!free_.empty()) {
            uint32_t slot = free_.back();
            free_.pop_back();
            slots_[slot] = value;
            return slot;
        }
        slots_.push_back(value);
        return static_cast<uint32_t>(slots_.size() - 1);
    }
    void release(uint32_t slot) {
        ZARN_ASSERT(closed_ || slot < slots_.size(), "a handle releases only the slot it holds");
        if (slot >= slots_.size()) return;
        slots_[slot] = Value();
        free_.push_back(slot);
    }
    // The value of a slot; Null for kNoSlot and after closing.
    Value get(uint32_t slot) const { return slot < slots_.size() ? slots_[slot] : Value(); }
    // The number of slots in use.
    size_t count() const { return slots_.size() - free_.size(); }
    void close() {
        closed_ = true;
        slots_.clear();
        free_.clear();
    }
    template <typename Marker>
    void markAll(Marker&& mark) const {
        for (const Value& value : slots_) mark(value);
    }

private:
    std::vector<Value> slots_; // released slots hold Null
    std::vector<uint32_t> free_;
    bool closed_ = false;
};

// What the collector has done so far, for measuring it (see ZARN_GC_STATS
// in the driver).
struct GcStats {
    size_t collections = 0;
    size_t peakBytes = 0; // the most bytes accounted at once, seen when a collection starts
    uint64_t totalPauseNanos = 0;
    uint64_t longestPauseNanos = 0;
};

class GC {
public:
    static constexpr size_t kInitialThreshold = 1048576;
    // Up to this live volume a collection waits for it to double; above, for
    // the larger of this and a quarter of the live volume to be allocated.
    static constexpr size_t kFullHeadroomUpTo = 4 * 1048576;

    explicit GC(bool stress = false) : stress_(stress) {}
    GC(const GC&) = delete;
    GC& operator=(const GC&) = delete;
    ~GC();

    template <typename T, typename... Args>
    T* allocate(Args&&... args) {
        static_assert(!std::is_same_v<T, StringObject>, "strings are made by makeStringObject");
        return allocateSized<T>(sizeof(T), std::forward<Args>(args)...);
    }
    // An object with storage of its own right behind it: bytes covers both
    // (at least sizeof(T)); the object's size() accounts for the whole. The
    // objects of one class (instances) share a size, so they take cells.
    template <typename T, typename... Args>
    T* allocateSized(size_t bytes, Args&&... args) {
        return place<T>(classFor(bytes), bytes, std::forward<Args>(args)...);
    }
    // Allocates T with extra bytes of storage right after it, for objects that
    // keep their contents inline (strings). The object owns those bytes; they
    // are released with it. Such objects come in every size, and cells of one
    // size serve no other, so only small ones take cells: larger ones come from
    // the plain heap, which reuses freed blocks for any size.
    template <typename T, typename... Args>
    T* allocateExtra(size_t extra, Args&&... args) {
        const size_t bytes = sizeof(T) + extra;
        return place<T>(bytes <= kMaxExtraCell ? classFor(bytes) : 0, bytes,
                        std::forward<Args>(args)...);
    }

    // Marking: set the mark and queue the object for tracing (no recursion).
    void markValue(const Value& value) {
        if (value.isHeap()) markObject(value.as.object);
    }
    void markObject(GcObject* object) {
        if (object == nullptr || object->marked) return;
        object->marked = true;
        // A string refers to nothing, so it needs no tracing: a large array of
        // strings then costs no queue as long as itself.
        if (object->objectKind != ObjectKind::String) gray_.push_back(object);
    }

    // Runs a full collection and returns the number of bytes reclaimed.
    size_t collect();

    // Value slots outside the object graph, marked first at every collection.
    void addRoot(Value* slot) { roots_.push_back(slot); }
    void removeRoot(Value* slot);
    // Called after the root slots are marked; the interpreter installs it.
    void setRootMarker(std::function<void(GC&)> marker) { rootMarker_ = std::move(marker); }
    // The persistent roots of handles; shared so that a handle can outlive the collector.
    const std::shared_ptr<PersistentRoots>& persistentRoots() const { return persistent_; }

    size_t bytesAllocated() const { return bytesAllocated_; }
    size_t objectCount() const { return objectCount_; }
    size_t threshold() const { return threshold_; }
    bool stress() const { return stress_; }
    const GcStats& stats() const { return stats_; }
    void setStress(bool stress) { stress_ = stress; }

private:
    // Collects when due, then builds T in bytes of the given storage class.
    template <typename T, typename... Args>
    T* place(uint8_t storageClass, size_t bytes, Args&&... args) {
        static_assert(alignof(T) <= kCell, "cells keep the alignment of every object");
        if (stress_ || bytesAllocated_ > threshold_) collect();
        void* memory = acquire(storageClass, bytes);
        T* object;
        try {
            object = new (memory) T(std::forward<Args>(args)...);
        } catch (...) {
            release(memory, storageClass);
            throw;
        }
        object->sizeClass = storageClass;
        bytesAllocated_ += object->size();
        ++objectCount_;
        object->next = objects_;
        objects_ = object;
        return object;
    }
    void traceGray();
    void destroy(GcObject* object);
    // size() without a virtual call for the commonest object, a string.
    static size_t sizeOf(const GcObject* object) {
        if (object->objectKind == ObjectKind::String)
            return sizeof(StringObject) + static_cast<const StringObject*>(object)->length;
        return object->size();
    }

    // Storage for objects: small sizes come from free lists of equal cells
    // carved out of large chunks, which makes allocating and sweeping cheap.
    // Under AddressSanitizer every object gets its own heap block instead, so
    // that use after free is still detected.
    static constexpr size_t kCell = 8;
    static constexpr size_t kClasses = 32; // cells of 8 to 256 bytes
    static constexpr size_t kChunk = 64 * 1024;
    static constexpr size_t kSmallChunks = 32;   // then large blocks (see HeapMemory.h)
    static constexpr size_t kMaxExtraCell = 128; // see allocateExtra
    static uint8_t classFor(size_t bytes) {
#if defined(__SANITIZE_ADDRESS__)
        (void)bytes;
        return 0;
#else
        return bytes <= kCell * kClasses ? static_cast<uint8_t>((bytes + kCell - 1) / kCell) : 0;
#endif
    }
    void* acquire(uint8_t storageClass, size_t bytes) {
        if (storageClass == 0) return ::operator new(bytes);
        if (void* cell = freeCells_[storageClass]) {
            freeCells_[storageClass] = *static_cast<void**>(cell);
            return cell;
        }
        return carve(storageClass);
    }
    void release(void* memory, uint8_t storageClass) {
        if (storageClass == 0) {
            ::operator delete(memory);
            return;
        }
        *static_cast<void**>(memory) = freeCells_[storageClass];
        freeCells_[storageClass] = memory;
    }
    void* carve(uint8_t storageClass);

    void* freeCells_[kClasses + 1] = {};
    std::vector<void*> chunks_;
    std::vector<void*> blocks_;
    char* bump_ = nullptr;
    size_t bumpLeft_ = 0;

    GcObject* objects_ = nullptr;
    size_t bytesAllocated_ = 0;
    size_t threshold_ = kInitialThreshold;
    size_t objectCount_ = 0;
    std::vector<Value*> roots_;
    std::function<void(GC&)> rootMarker_;
    std::shared_ptr<PersistentRoots> persistent_ = std::make_shared<PersistentRoots>();
    std::vector<GcObject*> gray_;
    GcStats stats_;
    bool stress_;
};

// A string object holding a copy of text. The text must not live in a heap
// object that is unreachable from the roots: allocating may collect first.
inline StringObject* makeStringObject(GC& gc, std::string_view text) {
    auto* string = gc.allocateExtra<StringObject>(text.size(), text.size());
    if (!text.empty()) std::memcpy(string->data(), text.data(), text.size());
    return string;
}

} // namespace zarn
