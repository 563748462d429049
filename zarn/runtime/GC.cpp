#include "zarn/runtime/GC.h"

#include <algorithm>

namespace zarn {

GC::~GC() {
    GcObject* object = objects_;
    while (object != nullptr) {
        GcObject* next = object->next;
        delete object;
        object = next;
    }
    objects_ = nullptr;
    bytesAllocated_ = 0;
    objectCount_ = 0;
    rootMarker_ = nullptr;
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
    for (Value* slot : roots_) markValue(*slot);
    traceGray();
    if (rootMarker_) {
        rootMarker_(*this);
        traceGray();
    }

    size_t reclaimed = 0;
    GcObject** link = &objects_;
    while (*link != nullptr) {
        GcObject* object = *link;
        if (object->marked) {
            object->marked = false;
            link = &object->next;
            continue;
        }
        *link = object->next;
        size_t bytes = object->size();
        reclaimed += bytes;
        bytesAllocated_ = bytesAllocated_ > bytes ? bytesAllocated_ - bytes : 0;
        if (objectCount_ > 0) --objectCount_;
        delete object;
    }
    threshold_ = std::max(2 * bytesAllocated_, kInitialThreshold);
    return reclaimed;
}

} // namespace zarn
