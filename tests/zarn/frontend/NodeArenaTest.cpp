#include "zarn/frontend/NodeArena.h"
#include "zarn/frontend/AST.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace zarn {
namespace {

// A node that counts the live ones and owns heap memory of its own.
template <size_t Extra>
struct Counted final : ASTNode {
    Counted(int& live, bool fail = false) : ASTNode(SourceLocation{}), live(live) {
        if (fail) throw std::runtime_error("not made");
        ++live;
    }
    ~Counted() override { --live; }
    void accept(ASTVisitor&) override {}
    size_t nodeSize() const override { return sizeof(Counted); }

    int& live;
    std::string text = std::string(40, 'x');
    char padding[Extra] = {}; // sizes that are not multiples of the alignment
};

// The arena destroys every node it made, of any size, across many blocks and
// a block of its own for a large node; a constructor that throws leaves
// nothing behind for that walk to meet.
TEST(NodeArena, DestroysEveryNodeItMade) {
    int live = 0;
    {
        NodeArena arena;
        for (int i = 0; i < 5000; ++i) {
            ASTNode* node = nullptr;
            if (i % 3 == 0) node = arena.create<Counted<1>>(live);
            else if (i % 3 == 1) node = arena.create<Counted<13>>(live);
            else node = arena.create<Counted<64>>(live);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(node) % NodeArena::kAlignment, 0u);
            if (i % 1000 == 0) {
                EXPECT_THROW(arena.create<Counted<5>>(live, true), std::runtime_error);
            }
        }
        auto* big = arena.create<Counted<(3 << 20)>>(live);
        big->padding[(3 << 20) - 1] = 'z';
        EXPECT_GE(arena.reservedBytes(), size_t{3} << 20);
        arena.create<Counted<1>>(live);
        EXPECT_EQ(live, 5002);
    }
    EXPECT_EQ(live, 0);
}

} // namespace
} // namespace zarn
