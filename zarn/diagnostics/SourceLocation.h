// Where a token, node or diagnostic sits in a source text.
#pragma once

#include "zarn/diagnostics/SharedText.h"

#include <cstdint>

namespace zarn {

// The name of a source file, shared by every location in that file: the lexer
// makes one and each token and node copies a pointer to it instead of the text.
using FileName = SharedText;

// Positions are 32-bit: a tree holds one location per node, and no source
// text comes near 4 GiB. Positions past that saturate at the largest value
// (see clampPosition) instead of wrapping around.
struct SourceLocation {
    FileName file;       // the name the pipeline was given; may be empty
    uint32_t line = 1;   // 1-based
    uint32_t column = 1; // 1-based, in bytes
    uint32_t offset = 0; // 0-based byte offset of the first character
    uint32_t length = 0; // bytes covered; at least one caret is drawn
};

// A position or count of a text as a location field.
constexpr uint32_t clampPosition(uint64_t value) {
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

} // namespace zarn
