// Where a token, node or diagnostic sits in a source text.
#pragma once

#include "zarn/diagnostics/SharedText.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace zarn {

// The name of a source file, shared by every location in that file: the lexer
// makes one and each token and node copies a pointer to it instead of the
// text. The lexer's name also holds the text it names, so that a location
// needs only its byte offset: line and column are found from the text when a
// diagnostic asks for them, which is rare, instead of being kept in every
// token and node.
class FileName : public SharedText {
public:
    using SharedText::SharedText;
    FileName() noexcept = default;
    FileName(const SharedText& name) noexcept : SharedText(name) {}
    // A name that knows its text (which may be empty, as the name may).
    FileName(std::string_view name, std::shared_ptr<const std::string> text);

    // The 1-based line and the 1-based column, in bytes, of a byte offset of
    // the text. Without a text: line 1, and the column the offset gives.
    std::pair<uint32_t, uint32_t> lineAndColumn(uint32_t offset) const;
};

// Positions are 32-bit: a tree holds one location per node, and no source
// text comes near 4 GiB. Positions past that saturate at the largest value
// (see clampPosition) instead of wrapping around.
struct SourceLocation {
    FileName file;       // the name the pipeline was given; may be empty
    uint32_t offset = 0; // 0-based byte offset of the first character
    uint32_t length = 0; // bytes covered; at least one caret is drawn

    uint32_t line() const { return file.lineAndColumn(offset).first; }    // 1-based
    uint32_t column() const { return file.lineAndColumn(offset).second; } // 1-based, in bytes
};

// A position or count of a text as a location field.
constexpr uint32_t clampPosition(uint64_t value) {
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

} // namespace zarn
