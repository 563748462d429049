#include "zarn/frontend/NodeArena.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace zarn {

void* NodeArena::allocate(size_t bytes, size_t alignment) {
    auto address = reinterpret_cast<uintptr_t>(next_);
    uintptr_t aligned = (address + alignment - 1) & ~(uintptr_t{alignment} - 1);
    if (next_ == nullptr || aligned + bytes > reinterpret_cast<uintptr_t>(end_)) {
        // A request larger than the next block gets a block of its own size.
        size_t size = std::max(blockSize_, bytes);
        char* block = static_cast<char*>(::operator new(size));
        blocks_.push_back(block);
        reserved_ += size;
        next_ = block;
        end_ = block + size;
        blockSize_ = std::min(blockSize_ * 2, kLargestBlock);
        aligned = reinterpret_cast<uintptr_t>(next_); // operator new aligns for any node
    }
    next_ = reinterpret_cast<char*>(aligned + bytes);
    return reinterpret_cast<void*>(aligned);
}

NodeArena::~NodeArena() {
    for (char* block : blocks_) ::operator delete(block);
}

} // namespace zarn
