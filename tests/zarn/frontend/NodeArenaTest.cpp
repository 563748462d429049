#include "zarn/frontend/NodeArena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zarn {
namespace {

struct Counted {
    explicit Counted(int& live) : live(live) { ++live; }
    ~Counted() { --live; }
    int& live;
    std::string text = std::string(40, 'x'); // owns heap memory of its own
    double aligned = 0.0;
};

// Objects made with the allocator are ordinary shared objects: destroyed when
// their last owner goes, in any order, with the arena outliving them all.
TEST(NodeArena, SharedObjectsKeepTheArenaAlive) {
    int live = 0;
    std::vector<std::shared_ptr<Counted>> kept;
    {
        NodeAllocator<Counted> allocator(new NodeArena);
        for (int i = 0; i < 5000; ++i) {
            auto object = std::allocate_shared<Counted>(allocator, live);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(object.get()) % alignof(Counted), 0u);
            if (i % 2 == 0) kept.push_back(std::move(object));
        }
        EXPECT_EQ(live, 2500);
    }
    // The allocator is gone; the objects still work and release the arena.
    for (size_t i = 0; i < kept.size(); i += 2) kept[i].reset();
    EXPECT_EQ(live, 1250);
    EXPECT_EQ(kept.back()->text.size(), 40u);
    kept.clear();
    EXPECT_EQ(live, 0);
}

// Blocks grow from small to a cap; a request larger than a block gets its
// own block.
TEST(NodeArena, BlocksGrowAndFitLargeRequests) {
    NodeAllocator<char> allocator(new NodeArena);
    NodeArena& arena = *allocator.arena();
    char* first = allocator.allocate(16);
    EXPECT_LE(arena.reservedBytes(), 1024u);
    char* big = allocator.allocate(3 << 20);
    big[(3 << 20) - 1] = 'z';
    EXPECT_GE(arena.reservedBytes(), size_t{3} << 20);
    char* after = allocator.allocate(8);
    EXPECT_NE(after, first);
    NodeAllocator<double> copy(allocator);
    EXPECT_TRUE(copy == allocator);
    double* value = copy.allocate(1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(value) % alignof(double), 0u);
}

} // namespace
} // namespace zarn
