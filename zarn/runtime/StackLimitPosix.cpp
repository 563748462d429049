// StackLimit.h on POSIX threads.
#include "zarn/runtime/StackLimit.h"

#include <pthread.h>

#include <algorithm>

namespace zarn {

uintptr_t stackLimitForThisThread() {
    // Fallback when the bounds cannot be read: assume 8 MiB below this frame.
    const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    uintptr_t low = here > (8u << 20) ? here - (8u << 20) : 0;
    size_t size = 8u << 20;

    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        void* address = nullptr;
        size_t stackSize = 0;
        if (pthread_attr_getstack(&attributes, &address, &stackSize) == 0 && address != nullptr &&
            stackSize > 0) {
            uintptr_t base = reinterpret_cast<uintptr_t>(address);
            // An unlimited stack is reported as huge; do not trust more than 1 GiB.
            if (stackSize <= (size_t{1} << 30) && base < here) {
                low = base;
                size = stackSize;
            }
        }
        pthread_attr_destroy(&attributes);
    }
    // Keep a margin for what runs below the last checked frame (library code,
    // printing, parsing an interpolated expression): an eighth, at least 512 KiB.
    uintptr_t margin = std::max<uintptr_t>(size / 8, 512u << 10);
    if (margin >= size / 2) margin = size / 2;
    return low + margin;
}

} // namespace zarn
