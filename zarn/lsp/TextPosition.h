// Positions as editors count them: 0-based lines and columns in UTF-16 code
// units, against byte offsets into a UTF-8 text. Also file URIs and paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zarn::lsp {

struct Position {
    uint32_t line = 0;
    uint32_t character = 0; // UTF-16 code units from the start of the line
    bool operator==(const Position&) const = default;
};

// Line starts of one text. "\n", "\r\n" and a lone "\r" each end a line, as
// editors count them. The text must outlive the index.
class LineIndex {
public:
    explicit LineIndex(std::string_view text);

    // The position of a byte offset (clamped to the text). An offset inside a
    // multi-byte character counts from that character's start.
    Position position(size_t offset) const;
    // The byte offset of a position; a column past the end of its line gives
    // the end of the line, a line past the end gives the end of the text.
    size_t offset(Position position) const;

private:
    // The end of line `line`, before its line break.
    size_t lineEnd(size_t line) const;

    std::string_view text_;
    std::vector<size_t> starts_;
};

// The bytes of one UTF-8 sequence starting with `lead` (1 for anything that
// does not start a valid sequence), and how many UTF-16 units it stands for.
size_t utf8SequenceLength(std::string_view text, size_t at);
uint32_t utf16Units(std::string_view text, size_t at, size_t length);

// "file:///a%20b/c.zarn" <-> "/a b/c.zarn". A URI of another scheme is kept as
// it is, so that its documents still have a name.
std::string uriToPath(std::string_view uri);
std::string pathToUri(std::string_view path);

} // namespace zarn::lsp
