#include "zarn/runtime/HeapMemory.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>

namespace zarn {

void* allocateHeapBlock() {
    // Twice the size is mapped so that an aligned block fits inside; the
    // unaligned ends are unmapped again.
    const size_t span = 2 * kHeapBlockBytes;
    void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kHeapBlockBytes - 1) & ~uintptr_t{kHeapBlockBytes - 1};
    if (aligned > start) munmap(mapped, aligned - start);
    const uintptr_t end = start + span;
    if (end > aligned + kHeapBlockBytes)
        munmap(reinterpret_cast<void*>(aligned + kHeapBlockBytes), end - aligned - kHeapBlockBytes);
    void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    // Advice only: without large pages the block works the same.
    madvise(block, kHeapBlockBytes, MADV_HUGEPAGE);
#endif
    return block;
}

void releaseHeapBlock(void* block) { munmap(block, kHeapBlockBytes); }

} // namespace zarn
