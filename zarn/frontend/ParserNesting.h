// Internal to the parser: counts how deeply the construct being parsed nests.
#pragma once

#include "zarn/frontend/Parser.h"

namespace zarn {

// Entering a scope adds one level (unless `enter` is false); `deeper()` adds one
// more for each node of a left-nested chain (a + b + c, a.b.c, f()()) built in
// a loop. Leaving the scope restores the depth it started from.
class NestingScope {
public:
    explicit NestingScope(Parser& parser, bool enter = true)
        : parser_(parser), saved_(parser.depth_) {
        if (enter) deeper();
    }
    ~NestingScope() { parser_.depth_ = saved_; }
    NestingScope(const NestingScope&) = delete;
    NestingScope& operator=(const NestingScope&) = delete;

    void deeper() {
        if (++parser_.depth_ > Parser::kMaxNesting) parser_.reportTooDeep();
    }

private:
    Parser& parser_;
    int saved_;
};

} // namespace zarn
