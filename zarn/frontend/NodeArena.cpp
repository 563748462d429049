#include "zarn/frontend/NodeArena.h"

#include "zarn/frontend/AST.h"

#include <algorithm>

namespace zarn {

void* NodeArena::allocate(size_t bytes) {
    bytes = rounded(bytes);
    if (next_ == nullptr || bytes > static_cast<size_t>(end_ - next_)) {
        // A request larger than the next block gets a block of its own size.
        size_t size = std::max(blockSize_, bytes);
        char* block = static_cast<char*>(::operator new(size));
        if (!blocks_.empty()) blocks_.back().used = next_;
        try {
            blocks_.push_back(Block{block, block});
        } catch (...) {
            ::operator delete(block);
            throw;
        }
        reserved_ += size;
        next_ = block;
        end_ = block + size;
        blockSize_ = std::min(blockSize_ * 2, kLargestBlock);
    }
    char* memory = next_;
    next_ += bytes;
    return memory;
}

NodeArena::~NodeArena() {
    if (!blocks_.empty()) blocks_.back().used = next_;
    for (const Block& block : blocks_) {
        // Every node begins with its ASTNode part (single inheritance all the
        // way down), and its own size says where the next one starts.
        for (char* at = block.start; at < block.used;) {
            auto* node = std::launder(reinterpret_cast<ASTNode*>(at));
            size_t size = rounded(node->nodeSize());
            node->~ASTNode();
            at += size;
        }
        ::operator delete(block.start);
    }
}

} // namespace zarn
