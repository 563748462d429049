#include "zarn/repl/EntryText.h"

#include <gtest/gtest.h>

#include <string_view>

namespace zarn {
namespace {

// The state after feeding the text line by line, as the session does.
EntryState entryState(std::string_view text) {
    EntryScanner scanner;
    EntryState state = EntryState::Empty;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        state = scanner.addLine(text.substr(start, end - start + 1));
        start = end + 1;
    }
    return state;
}

TEST(EntryText, OpenBracketsOfEveryKindAskForMoreLines) {
    EXPECT_EQ(entryState("function f(): void {\n"), EntryState::Incomplete);
    EXPECT_EQ(entryState("let a: int[] = [1,\n"), EntryState::Incomplete);
    EXPECT_EQ(entryState("println(1 +\n"), EntryState::Incomplete);
    EXPECT_EQ(entryState("if (a) { foo([1, (2\n"), EntryState::Incomplete);
    EXPECT_EQ(entryState("function f(): void {\n}\n"), EntryState::Complete);
    EXPECT_EQ(entryState("let a: int[] = [1, [2, 3]]\n"), EntryState::Complete);
}

TEST(EntryText, UnterminatedStringsAndCommentsAskForMoreLines) {
    EXPECT_EQ(entryState("let s: string = \"one\n"), EntryState::Incomplete);
    EXPECT_EQ(entryState("let s: string = \"one\ntwo\"\n"), EntryState::Complete);
    EXPECT_EQ(entryState("/* a comment\n"), EntryState::Incomplete);
    EXPECT_EQ(entryState("/* a comment\n */ 1\n"), EntryState::Complete);
    // An escaped quote does not end the string.
    EXPECT_EQ(entryState("\"say \\\"hi\\\"\n"), EntryState::Incomplete);
}

TEST(EntryText, BracketsInsideStringsAndCommentsDoNotCount) {
    EXPECT_EQ(entryState("\"(\" + \"{[\"\n"), EntryState::Complete);
    EXPECT_EQ(entryState("1 ! (\n"), EntryState::Complete);
    EXPECT_EQ(entryState("1 // {\n"), EntryState::Complete);
    EXPECT_EQ(entryState("/* ( */ 1\n"), EntryState::Complete);
    EXPECT_EQ(entryState("f(\")\"\n"), EntryState::Incomplete);
}

TEST(EntryText, ASurplusClosingBracketEndsTheEntry) {
    // The parser reports it at once, rather than the entry waiting for ever.
    EXPECT_EQ(entryState("1 + 2)\n"), EntryState::Complete);
    EXPECT_EQ(entryState("} {\n"), EntryState::Complete);
    EXPECT_EQ(entryState("(1)) + (\n"), EntryState::Complete);
}

TEST(EntryText, AStringOrCommentClosedOnALaterLineCountsWhatFollowsIt) {
    EXPECT_EQ(entryState("let s: string = \"a\nb\\\" ( \" + f(\n"), EntryState::Incomplete);
    EXPECT_EQ(entryState("let s: string = \"a\nb\\\" ( \" + f(\n1)\n"), EntryState::Complete);
    EXPECT_EQ(entryState("/* one\ntwo { */ [\n"), EntryState::Incomplete);
    EXPECT_EQ(entryState("/* one\ntwo { */ [\n]\n"), EntryState::Complete);
    // A string closed and another opened on the same line.
    EXPECT_EQ(entryState("\"a\n\" + \"b\n"), EntryState::Incomplete);
    EXPECT_EQ(entryState("\"a\n\" + \"b\n\"\n"), EntryState::Complete);
}

TEST(EntryText, AnEntryOfManyLinesIsFollowedInOnePass) {
    EntryScanner scanner;
    EXPECT_EQ(scanner.addLine("let s: string = \"\n"), EntryState::Incomplete);
    for (int i = 0; i < 200000; ++i)
        ASSERT_EQ(scanner.addLine("( { [ text\n"), EntryState::Incomplete);
    EXPECT_EQ(scanner.addLine("\"\n"), EntryState::Complete);
    scanner.reset();
    EXPECT_EQ(scanner.addLine("\n"), EntryState::Empty);
}

TEST(EntryText, WhiteSpaceAndCommentsAloneAreEmpty) {
    EXPECT_EQ(entryState(""), EntryState::Empty);
    EXPECT_EQ(entryState(" \t\n\r\n"), EntryState::Empty);
    EXPECT_EQ(entryState("! a remark\n// another\n/* and a block */\n"), EntryState::Empty);
    EXPECT_EQ(entryState("\n x \n"), EntryState::Complete);
}

} // namespace
} // namespace zarn
