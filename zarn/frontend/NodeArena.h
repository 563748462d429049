// Memory for the nodes of one parse. The arena makes every node in a few
// large blocks (no heap call per node, and none to free one) and owns them:
// links between nodes of the tree do not count references, and the nodes are
// destroyed together when the arena goes. The parser hands out the tree's
// root as the one owner of the arena (see Parser::make and Parser::owned).
#pragma once

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace zarn {

class ASTNode;

class NodeArena {
public:
    NodeArena() = default;
    NodeArena(const NodeArena&) = delete;
    NodeArena& operator=(const NodeArena&) = delete;
    // Destroys every node made here, then frees the blocks.
    ~NodeArena();

    // A new node of type T (an ASTNode), owned by the arena.
    template <typename T, typename... Args>
    T* create(Args&&... args) {
        static_assert(alignof(T) <= kAlignment, "nodes are aligned to kAlignment");
        void* memory = allocate(sizeof(T));
        try {
            return ::new (memory) T(std::forward<Args>(args)...);
        } catch (...) {
            // Nothing was made there: the walk that destroys the nodes must
            // not meet the space.
            next_ = static_cast<char*>(memory);
            throw;
        }
    }

    // Bytes taken from the heap so far, for tests.
    size_t reservedBytes() const { return reserved_; }

    // Nodes lie one after another in each block, every one at a multiple of
    // this, so that the destroying walk finds the next from the size of the last.
    static constexpr size_t kAlignment = alignof(void*);
    static constexpr size_t rounded(size_t bytes) {
        return (bytes + kAlignment - 1) & ~(kAlignment - 1);
    }

private:
    void* allocate(size_t bytes);

    // The first block is small, so that parsing a short text (an expression
    // inside a string, say) costs little; each next one doubles, up to a cap.
    static constexpr size_t kFirstBlock = 1024;
    static constexpr size_t kLargestBlock = size_t{1} << 20;

    struct Block {
        char* start;
        char* used; // the end of its nodes; for the last block, next_ is
    };
    std::vector<Block> blocks_;
    char* next_ = nullptr;
    char* end_ = nullptr;
    size_t blockSize_ = kFirstBlock;
    size_t reserved_ = 0;
};

} // namespace zarn
