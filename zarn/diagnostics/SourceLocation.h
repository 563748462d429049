// Where a token, node or diagnostic sits in a source text.
#pragma once

#include <cstdint>
#include <string>

namespace zarn {

struct SourceLocation {
    std::string file;    // the name the pipeline was given; may be empty
    uint64_t line = 1;   // 1-based
    uint64_t column = 1; // 1-based, in bytes
    uint64_t offset = 0; // 0-based byte offset of the first character
    uint64_t length = 0; // bytes covered; at least one caret is drawn
};

} // namespace zarn
