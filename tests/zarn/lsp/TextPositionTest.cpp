#include "zarn/lsp/TextPosition.h"

#include <gtest/gtest.h>

#include <string>

namespace zarn::lsp {
namespace {

Position at(uint32_t line, uint32_t character) { return Position{line, character}; }

TEST(LineIndexTest, ColumnsCountUtf16UnitsOfEachCharacter) {
    // a, e-acute (2 bytes), euro sign (3 bytes), a musical symbol (4 bytes:
    // two UTF-16 units), b.
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E"
                             "b";
    LineIndex lines(text);
    EXPECT_EQ(lines.position(0), at(0, 0));
    EXPECT_EQ(lines.position(1), at(0, 1));
    EXPECT_EQ(lines.position(3), at(0, 2));
    EXPECT_EQ(lines.position(6), at(0, 3));
    EXPECT_EQ(lines.position(10), at(0, 5));
    EXPECT_EQ(lines.position(11), at(0, 6));
    for (size_t offset : {0, 1, 3, 6, 10, 11})
        EXPECT_EQ(lines.offset(lines.position(offset)), offset) << offset;
    // Inside a character: its start. A column inside a surrogate pair: the pair's end.
    EXPECT_EQ(lines.position(2), at(0, 1));
    EXPECT_EQ(lines.offset(at(0, 4)), 10u);
}

TEST(LineIndexTest, EveryKindOfLineBreakEndsALine) {
    const std::string text = "ab\r\ncd\ref\n\ng";
    LineIndex lines(text);
    EXPECT_EQ(lines.position(4), at(1, 0));
    EXPECT_EQ(lines.position(7), at(2, 0));
    EXPECT_EQ(lines.position(10), at(3, 0));
    EXPECT_EQ(lines.position(11), at(4, 0));
    // A position inside "\r\n" belongs to the end of its line.
    EXPECT_EQ(lines.position(3), at(0, 2));
    EXPECT_EQ(lines.offset(at(0, 2)), 2u);
}

TEST(LineIndexTest, PositionsPastTheEndAreClamped) {
    const std::string text = "let x\nlet yy";
    LineIndex lines(text);
    EXPECT_EQ(lines.offset(at(0, 99)), 5u);  // end of the first line, before its break
    EXPECT_EQ(lines.offset(at(1, 99)), 12u); // end of the text
    EXPECT_EQ(lines.offset(at(7, 0)), 12u);
    EXPECT_EQ(lines.position(500), at(1, 6));
    LineIndex empty("");
    EXPECT_EQ(empty.position(0), at(0, 0));
    EXPECT_EQ(empty.offset(at(3, 3)), 0u);
}

TEST(LineIndexTest, BytesThatAreNotUtf8CountOneUnitEach) {
    // A lone continuation byte, a truncated 3-byte sequence, an overlong lead:
    // files on disk may hold them; each byte counts as one replacement character.
    const std::string text = "\x80x\xE2\x82y\xC0z";
    LineIndex lines(text);
    EXPECT_EQ(lines.position(1), at(0, 1));
    EXPECT_EQ(lines.position(4), at(0, 4));
    EXPECT_EQ(lines.position(6), at(0, 6));
    EXPECT_EQ(lines.offset(at(0, 6)), 6u);
    EXPECT_EQ(lines.offset(at(0, 7)), 7u);
}

TEST(UriTest, FileUrisAndPathsConvertBothWays) {
    EXPECT_EQ(pathToUri("/tmp/a b/c#1.zarn"), "file:///tmp/a%20b/c%231.zarn");
    EXPECT_EQ(uriToPath("file:///tmp/a%20b/c%231.zarn"), "/tmp/a b/c#1.zarn");
    EXPECT_EQ(uriToPath(pathToUri("/x/\xC3\xA9t\xC3\xA9.zarn")), "/x/\xC3\xA9t\xC3\xA9.zarn");
    EXPECT_EQ(uriToPath("file://localhost/srv/m.zarn"), "/srv/m.zarn");
    // Lower-case escapes decode; a broken escape stays as written.
    EXPECT_EQ(uriToPath("file:///a%3a%zz%2"), "/a:%zz%2");
    // Other schemes name their documents as they are.
    EXPECT_EQ(uriToPath("untitled:Untitled-1"), "untitled:Untitled-1");
}

} // namespace
} // namespace zarn::lsp
