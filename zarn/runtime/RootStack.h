// The temporary-root stack: heap values held by C++ code across allocations.
// A RootScope pushes onto it and cuts it back when the scope ends, so roots
// nest like the C++ calls that make them.
#pragma once

#include "zarn/diagnostics/Assert.h"
#include "zarn/runtime/Value.h"

#include <cstddef>
#include <span>
#include <vector>

namespace zarn {

class Interpreter;

// Its storage moves when it grows, so spans into it are taken after pushing.
// The top and the end are kept as pointers, so that a push tests and stores
// without working out the vector's size.
class RootStack {
public:
    RootStack() : slots_(64), top_(slots_.data()), end_(slots_.data() + slots_.size()) {}
    RootStack(const RootStack&) = delete;
    RootStack& operator=(const RootStack&) = delete;
    [[gnu::always_inline]] void push(Value value) {
        if (top_ == end_) [[unlikely]]
            grow();
        *top_++ = value;
    }
    size_t size() const { return static_cast<size_t>(top_ - slots_.data()); }
    void cut(size_t mark) {
        ZARN_ASSERT(mark <= size(), "root scopes end in the reverse order they began");
        top_ = slots_.data() + mark;
    }
    // The last count values pushed.
    std::span<const Value> last(size_t count) const {
        ZARN_ASSERT(count <= size(), "only values pushed before are read back");
        return std::span<const Value>(top_ - count, count);
    }
    std::span<const Value> all() const { return std::span<const Value>(slots_.data(), size()); }

private:
    // Kept out of push, so that push stays small enough to inline.
    [[gnu::noinline]] void grow() {
        const size_t used = size();
        slots_.resize(slots_.size() * 2);
        top_ = slots_.data() + used;
        end_ = slots_.data() + slots_.size();
    }

    std::vector<Value> slots_;
    Value* top_;
    Value* end_;
};

// Values pushed here are roots until the scope ends.
class RootScope {
public:
    explicit RootScope(RootStack& stack) : stack_(stack), mark_(stack.size()) {}
    // The interpreter's stack (for native code, which sees no interpreter internals).
    explicit RootScope(Interpreter& interp);
    ~RootScope() { stack_.cut(mark_); }
    RootScope(const RootScope&) = delete;
    RootScope& operator=(const RootScope&) = delete;
    void push(Value value) { stack_.push(value); }

private:
    RootStack& stack_;
    size_t mark_;
};

} // namespace zarn
