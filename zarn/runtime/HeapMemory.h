// Large blocks of memory for the collector's cells. A growing heap takes its
// memory in blocks of kHeapBlockBytes, aligned to that size and offered to the
// system for large pages: one page fault (and one TLB entry) then covers what
// would take hundreds of small pages.
#pragma once

#include <cstddef>

namespace zarn {

inline constexpr size_t kHeapBlockBytes = 2 * 1024 * 1024;

// A block of kHeapBlockBytes, zero-filled by the system; throws std::bad_alloc
// when the system has no memory to give.
void* allocateHeapBlock();
// Gives back a block from allocateHeapBlock.
void releaseHeapBlock(void* block);

} // namespace zarn
