#include "zarn/runtime/GC.h"

#include "zarn/runtime/HeapMemory.h"

#include <algorithm>
#include <chrono>

namespace zarn {

GC::~GC() {
    // Native objects destroyed below may release their handles: the table stays, emptied.
    persistent_->close();
    GcObject* object = objects_;
    while (object != nullptr) {
        GcObject* next = object->next;
        destroy(object);
        object = next;
    }
    objects_ = nullptr;
    bytesAllocated_ = 0;
    objectCount_ = 0;
    rootMarker_ = nullptr;
    for (void* chunk : chunks_) ::operator delete(chunk);
    for (void* block : blocks_) releaseHeapBlock(block);
}

void GC::destroy(GcObject* object) {
    uint8_t storageClass = object->sizeClass;
    // A string has nothing to destroy beyond its memory.
    if (object->objectKind != ObjectKind::String) object->~GcObject();
    release(object, storageClass);
}

void* GC::carve(uint8_t storageClass) {
    size_t bytes = storageClass * kCell;
    if (bumpLeft_ < bytes) {
        // The tail of the old chunk is given to the free lists it fits.
        while (bumpLeft_ >= kCell) {
            size_t cls = std::min(bumpLeft_ / kCell, kClasses);
            release(bump_, static_cast<uint8_t>(cls));
            bump_ += cls * kCell;
            bumpLeft_ -= cls * kCell;
        }
        // A small heap grows by small chunks; once it has grown past
        // kSmallChunks of them, it grows by large blocks.
        if (chunks_.size() < kSmallChunks) {
            bump_ = static_cast<char*>(::operator new(kChunk));
            chunks_.push_back(bump_);
            bumpLeft_ = kChunk;
        } else {
            blocks_.reserve(blocks_.size() + 1);
            bump_ = static_cast<char*>(allocateHeapBlock());
            blocks_.push_back(bump_);
            bumpLeft_ = kHeapBlockBytes;
        }
    }
    void* cell = bump_;
    bump_ += bytes;
    bumpLeft_ -= bytes;
    return cell;
}

void GC::removeRoot(Value* slot) {
    auto it = std::find(roots_.rbegin(), roots_.rend(), slot);
    if (it != roots_.rend()) roots_.erase(std::next(it).base());
}

void GC::traceGray() {
    while (!gray_.empty()) {
        GcObject* object = gray_.back();
        gray_.pop_back();
        object->trace(*this);
    }
}

size_t GC::collect() {
    ZARN_ASSERT(gray_.empty(), "a collection never starts inside another one");
    const auto start = std::chrono::steady_clock::now();
    stats_.peakBytes = std::max(stats_.peakBytes, bytesAllocated_);
    for (Value* slot : roots_) markValue(*slot);
    persistent_->markAll([this](const Value& value) { markValue(value); });
    traceGray();
    if (rootMarker_) {
        rootMarker_(*this);
        traceGray();
    }

    size_t reclaimed = 0;
    size_t live = 0;
    GcObject** link = &objects_;
    while (*link != nullptr) {
        GcObject* object = *link;
        const size_t bytes = sizeOf(object);
        if (object->marked) {
            object->marked = false;
            live += bytes;
            link = &object->next;
            continue;
        }
        *link = object->next;
        reclaimed += bytes;
        if (objectCount_ > 0) --objectCount_;
        destroy(object);
    }
    // What survived is what is allocated now, at the sizes the survivors have
    // grown to (arrays, filled instances): counting objects only at their size
    // when made would leave the growth out and let the next collection wait
    // for more garbage than intended.
    bytesAllocated_ = live;
    // The next collection waits for the live volume to grow by as much again
    // while it is small, and by a quarter once it is large: a small heap keeps
    // collections rare, a large one keeps its garbage from costing much more
    // memory than its survivors.
    const size_t headroom = std::max(live / 4, std::min(live, kFullHeadroomUpTo));
    threshold_ = std::max(live + headroom, kInitialThreshold);

    const auto pause = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now() - start);
    ++stats_.collections;
    stats_.totalPauseNanos += static_cast<uint64_t>(pause.count());
    stats_.longestPauseNanos =
        std::max(stats_.longestPauseNanos, static_cast<uint64_t>(pause.count()));
    return reclaimed;
}

} // namespace zarn
