// Memory for the nodes of one parse. The parser creates each node with
// std::allocate_shared and a NodeAllocator, so that nodes stay ordinary
// shared-owned objects while their memory comes from a few large blocks: no
// heap call per node, and none to free one. Every node (its control block
// holds an allocator) keeps the arena alive; the last one to go frees the
// blocks.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

namespace zarn {

class NodeArena {
public:
    NodeArena() = default;
    NodeArena(const NodeArena&) = delete;
    NodeArena& operator=(const NodeArena&) = delete;

    // `bytes` of memory aligned to `alignment` (at most alignof(max_align_t)).
    void* allocate(size_t bytes, size_t alignment);

    void retain() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    void release() noexcept {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    // Bytes taken from the heap so far, for tests.
    size_t reservedBytes() const { return reserved_; }

private:
    ~NodeArena();

    // The first block is small, so that parsing a short text (an expression
    // inside a string, say) costs little; each next one doubles, up to a cap.
    static constexpr size_t kFirstBlock = 1024;
    static constexpr size_t kLargestBlock = size_t{1} << 20;

    std::atomic<size_t> refs_{0};
    std::vector<char*> blocks_;
    char* next_ = nullptr;
    char* end_ = nullptr;
    size_t blockSize_ = kFirstBlock;
    size_t reserved_ = 0;
};

template <typename T>
class NodeAllocator {
public:
    using value_type = T;

    explicit NodeAllocator(NodeArena* arena) noexcept : arena_(arena) { arena_->retain(); }
    NodeAllocator(const NodeAllocator& other) noexcept : arena_(other.arena_) { arena_->retain(); }
    template <typename U>
    NodeAllocator(const NodeAllocator<U>& other) noexcept : arena_(other.arena()) {
        arena_->retain();
    }
    NodeAllocator& operator=(const NodeAllocator& other) noexcept {
        other.arena_->retain();
        arena_->release();
        arena_ = other.arena_;
        return *this;
    }
    ~NodeAllocator() { arena_->release(); }

    T* allocate(size_t count) {
        return static_cast<T*>(arena_->allocate(count * sizeof(T), alignof(T)));
    }
    // The memory goes back with the whole arena.
    void deallocate(T*, size_t) noexcept {}

    NodeArena* arena() const noexcept { return arena_; }

    template <typename U>
    bool operator==(const NodeAllocator<U>& other) const noexcept {
        return arena_ == other.arena();
    }

private:
    NodeArena* arena_;
};

} // namespace zarn
