#include "zarn/frontend/Lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zarn {
namespace {

struct Lexed {
    std::vector<Token> tokens;
    std::vector<Diagnostic> diagnostics;
};

Lexed lex(const std::string& source) {
    DiagnosticEngine engine;
    Lexer lexer(source, "t.zarn", engine);
    Lexed result;
    result.tokens = lexer.tokenize();
    result.diagnostics = engine.diagnostics();
    return result;
}

// The token kinds, space-separated: "Let Identifier ... EndOfFile".
std::string kinds(const std::string& source) {
    std::string out;
    for (const Token& token : lex(source).tokens) {
        if (!out.empty()) out += ' ';
        out += tokenTypeName(token.type);
    }
    return out;
}

void expectLocation(const Token& token, uint64_t line, uint64_t column, uint64_t offset,
                    uint64_t length) {
    EXPECT_EQ(token.location.file, "t.zarn");
    EXPECT_EQ(token.location.line(), line) << token.lexeme;
    EXPECT_EQ(token.location.column(), column) << token.lexeme;
    EXPECT_EQ(token.location.offset, offset) << token.lexeme;
    EXPECT_EQ(token.location.length, length) << token.lexeme;
}

// Runs of blanks, remarks and words are skipped in one step each; every byte
// still counts one column, and the scan stops cleanly at the end of the text.
TEST(Lexer, BlankRunsRemarksAndWordsKeepColumns) {
    Lexed lexed = lex(" \t \r  alpha\t\tbeta ! remark\n  \t gamma_1 ! last remark");
    ASSERT_EQ(lexed.tokens.size(), 6u);
    expectLocation(lexed.tokens[0], 1, 7, 6, 5);   // alpha
    expectLocation(lexed.tokens[1], 1, 14, 13, 4); // beta
    EXPECT_EQ(lexed.tokens[2].type, TokenType::Newline);
    expectLocation(lexed.tokens[2], 1, 27, 26, 1);
    expectLocation(lexed.tokens[3], 2, 5, 31, 7); // gamma_1
    EXPECT_EQ(lexed.tokens[3].lexeme, "gamma_1");
    EXPECT_EQ(lexed.tokens[4].type, TokenType::Newline);
    EXPECT_EQ(lexed.tokens[5].type, TokenType::EndOfFile);
    expectLocation(lexed.tokens[5], 2, 26, 52, 0);
    EXPECT_TRUE(lexed.diagnostics.empty());
    EXPECT_EQ(kinds("word"), "Identifier Newline EndOfFile");
    EXPECT_EQ(kinds("   "), "EndOfFile");
}

TEST(Lexer, EmptyTextGivesOnlyEndOfFile) {
    Lexed lexed = lex("");
    ASSERT_EQ(lexed.tokens.size(), 1u);
    EXPECT_EQ(lexed.tokens[0].type, TokenType::EndOfFile);
    EXPECT_EQ(lexed.tokens[0].lexeme, "");
    expectLocation(lexed.tokens[0], 1, 1, 0, 0);
}

TEST(Lexer, DeclarationWithoutFinalNewlineGetsZeroLengthNewline) {
    Lexed lexed = lex("let x: int = 5");
    EXPECT_EQ(kinds("let x: int = 5"),
              "Let Identifier Colon Int Assign IntegerLiteral Newline EndOfFile");
    const Token& newline = lexed.tokens[6];
    EXPECT_EQ(newline.lexeme, "\\n");
    expectLocation(newline, 1, 15, 14, 0);
    expectLocation(lexed.tokens[7], 1, 15, 14, 0);
    expectLocation(lexed.tokens[0], 1, 1, 0, 3);
    expectLocation(lexed.tokens[1], 1, 5, 4, 1);
    EXPECT_TRUE(lexed.diagnostics.empty());
}

TEST(Lexer, NewlineOnlyAfterStatementEndingTokens) {
    EXPECT_EQ(kinds("f(\na,\nb +\nc)\n"),
              "Identifier LeftParen Identifier Comma Identifier Plus Identifier RightParen "
              "Newline EndOfFile");
    EXPECT_EQ(kinds("a\n)\n}\n]\n"),
              "Identifier Newline RightParen Newline RightBrace Newline RightBracket Newline "
              "EndOfFile");
    // Every statement-ending kind, each followed by a line break.
    EXPECT_EQ(kinds("1\n1.5\n\"s\"\ntrue\nfalse\nnull\nint\nfloat\nstring\nBoolean\nvoid\n"
                    "break\ncontinue\nreturn\n++\n--\n>\n"),
              "IntegerLiteral Newline FloatLiteral Newline StringLiteral Newline True Newline "
              "False Newline Null Newline Int Newline Float Newline String Newline Boolean "
              "Newline Void Newline Break Newline Continue Newline Return Newline PlusPlus "
              "Newline MinusMinus Newline Greater Newline EndOfFile");
    // Kinds that do not end a statement.
    EXPECT_EQ(kinds("let\n=\n<\n>=\n{\n[\n:\n,\n.\n;\nnot\n&&\n"),
              "Let Assign Less GreaterEqual LeftBrace LeftBracket Colon Comma Dot Semicolon "
              "Not And EndOfFile");
}

TEST(Lexer, NewlineTokenSitsAtTheLineBreak) {
    Lexed lexed = lex("ab\n\n\ncd");
    ASSERT_EQ(lexed.tokens.size(), 5u); // ab Newline cd Newline EndOfFile
    expectLocation(lexed.tokens[1], 1, 3, 2, 1);
    expectLocation(lexed.tokens[2], 4, 1, 5, 2);
    expectLocation(lexed.tokens[4], 4, 3, 7, 0);
}

TEST(Lexer, ExclamationMarkRemarksAndNotEqual) {
    EXPECT_EQ(kinds("a != b"), "Identifier NotEqual Identifier Newline EndOfFile");
    EXPECT_EQ(kinds("! only a remark\n"), "EndOfFile");
    Lexed lexed = lex("x = 1 ! note\ny");
    EXPECT_EQ(kinds("x = 1 ! note\ny"),
              "Identifier Assign IntegerLiteral Newline Identifier Newline EndOfFile");
    expectLocation(lexed.tokens[3], 1, 13, 12, 1);
    // After a trailing operator the expression goes on past a "!" remark.
    EXPECT_EQ(kinds("a +! more\nb"), "Identifier Plus Identifier Newline EndOfFile");
}

TEST(Lexer, SlashSlashRemarkAlwaysYieldsNewline) {
    Lexed lexed = lex("a + // more\nb");
    EXPECT_EQ(kinds("a + // more\nb"), "Identifier Plus Newline Identifier Newline EndOfFile");
    expectLocation(lexed.tokens[2], 1, 5, 4, 7); // covers the whole remark
    EXPECT_EQ(lexed.tokens[2].lexeme, "\\n");
    EXPECT_EQ(kinds("// alone\n"), "Newline EndOfFile");
    EXPECT_EQ(kinds("x // end"), "Identifier Newline EndOfFile");
}

TEST(Lexer, BlockComments) {
    EXPECT_EQ(kinds("/* one\n two */\n"), "EndOfFile");
    EXPECT_EQ(kinds("a /* x */ b"), "Identifier Identifier Newline EndOfFile");
    // Comments do not nest: the first "*/" ends it.
    EXPECT_EQ(kinds("/* /* */ x */"), "Identifier Star Slash EndOfFile");
    Lexed lexed = lex("a\n  /* open\nmore");
    ASSERT_EQ(lexed.diagnostics.size(), 1u);
    const Diagnostic& d = lexed.diagnostics[0];
    EXPECT_EQ(d.code, "E0001");
    EXPECT_EQ(d.message, "unterminated multi-line comment");
    EXPECT_EQ(d.location.line(), 2u);
    EXPECT_EQ(d.location.column(), 4u); // the '*'
    EXPECT_EQ(d.location.offset, 5u);
    EXPECT_EQ(d.location.length, 11u); // up to the end of the text
}

TEST(Lexer, Numbers) {
    Lexed lexed = lex("3.14 3.x 10.5.2 1.");
    EXPECT_EQ(kinds("3.14 3.x 10.5.2 1."),
              "FloatLiteral IntegerLiteral Dot Identifier FloatLiteral Dot IntegerLiteral "
              "IntegerLiteral Dot EndOfFile");
    EXPECT_EQ(lexed.tokens[0].lexeme, "3.14");
    EXPECT_EQ(lexed.tokens[4].lexeme, "10.5");
    EXPECT_EQ(lexed.tokens[6].lexeme, "2");
    expectLocation(lexed.tokens[4], 1, 10, 9, 4);
}

TEST(Lexer, OperatorsAndPunctuation) {
    EXPECT_EQ(kinds("+ ++ += - -- -= * *= / /= % %= = == < <= > >= && || ( ) { } [ ] : , . ;"),
              "Plus PlusPlus PlusAssign Minus MinusMinus MinusAssign Star StarAssign Slash "
              "SlashAssign Percent PercentAssign Assign Equal Less LessEqual Greater "
              "GreaterEqual And Or LeftParen RightParen LeftBrace RightBrace LeftBracket "
              "RightBracket Colon Comma Dot Semicolon EndOfFile");
    EXPECT_EQ(kinds("+++"), "PlusPlus Plus EndOfFile");
    EXPECT_EQ(kinds("a>>b"), "Identifier Greater Greater Identifier Newline EndOfFile");
}

TEST(Lexer, KeywordsAreCaseSensitive) {
    EXPECT_EQ(kinds("class Class bool Boolean"), "Class Class Boolean Boolean Newline EndOfFile");
    EXPECT_EQ(kinds("CLASS Bool True and this var import _x x1"),
              "Identifier Identifier Identifier Identifier Identifier Identifier Identifier "
              "Identifier Identifier Newline EndOfFile");
    EXPECT_EQ(kinds("let function new if else while do for foreach switch case default use not"),
              "Let Function New If Else While Do For Foreach Switch Case Default Use Not "
              "EndOfFile");
}

TEST(Lexer, StringEscapes) {
    Lexed lexed = lex(R"("a\qb" "\{x\}" "\n\t\r\"\\" "\0")");
    ASSERT_EQ(lexed.tokens.size(), 6u);
    EXPECT_EQ(lexed.tokens[0].lexeme, "aqb");
    EXPECT_EQ(lexed.tokens[1].lexeme, "\\{x\\}");
    EXPECT_EQ(lexed.tokens[2].lexeme, "\n\t\r\"\\");
    EXPECT_EQ(lexed.tokens[3].lexeme, std::string(1, '\0'));
    expectLocation(lexed.tokens[0], 1, 1, 0, 6);
    EXPECT_TRUE(lexed.diagnostics.empty());
}

TEST(Lexer, MultiLineStringAdvancesLines) {
    Lexed lexed = lex("\"one\ntwo\" x");
    EXPECT_EQ(lexed.tokens[0].lexeme, "one\ntwo");
    expectLocation(lexed.tokens[0], 1, 1, 0, 9);
    expectLocation(lexed.tokens[1], 2, 6, 10, 1);
}

TEST(Lexer, UnterminatedString) {
    Lexed lexed = lex("x \"abc\\n");
    ASSERT_EQ(lexed.diagnostics.size(), 1u);
    EXPECT_EQ(lexed.diagnostics[0].code, "E0003");
    EXPECT_EQ(lexed.diagnostics[0].message, "unterminated string literal");
    EXPECT_EQ(lexed.diagnostics[0].location.column(), 3u);
    EXPECT_EQ(lexed.diagnostics[0].location.length, 6u);
    EXPECT_EQ(lexed.tokens[1].type, TokenType::Invalid);
    EXPECT_EQ(lexed.tokens[1].lexeme, "abc\n");
    // A backslash as the last byte ends the scan.
    Lexed trailing = lex("\"ab\\");
    EXPECT_EQ(trailing.tokens[0].type, TokenType::Invalid);
    EXPECT_EQ(trailing.tokens[0].lexeme, "ab");
}

TEST(Lexer, UnexpectedCharacters) {
    Lexed lexed = lex("a # $ & | b");
    ASSERT_EQ(lexed.diagnostics.size(), 4u);
    EXPECT_EQ(lexed.diagnostics[0].code, "E0002");
    EXPECT_EQ(lexed.diagnostics[0].message, "unexpected character '#'");
    EXPECT_EQ(lexed.diagnostics[1].message, "unexpected character '$'");
    EXPECT_EQ(lexed.diagnostics[2].message, "unexpected character '&'");
    EXPECT_EQ(lexed.diagnostics[3].message, "unexpected character '|'");
    EXPECT_EQ(lexed.diagnostics[0].location.column(), 3u);
    EXPECT_EQ(lexed.diagnostics[0].location.length, 1u);
    EXPECT_EQ(kinds("a # $ & | b"),
              "Identifier Invalid Invalid Invalid Invalid Identifier Newline EndOfFile");
    EXPECT_EQ(lexed.tokens[1].lexeme, "#");
}

TEST(Lexer, MultiByteCharacterOutsideStringsIsTwoErrors) {
    Lexed lexed = lex("\xc3\xa9");
    ASSERT_EQ(lexed.diagnostics.size(), 2u);
    EXPECT_EQ(lexed.diagnostics[0].message, "unexpected character '\xc3'");
    EXPECT_EQ(lexed.diagnostics[1].message, "unexpected character '\xa9'");
    EXPECT_EQ(lexed.diagnostics[1].location.column(), 2u);
    EXPECT_EQ(kinds("\xc3\xa9"), "Invalid Invalid EndOfFile");
    Lexed inString = lex("\"\xc3\xa9\" ! \xc3\xa9");
    EXPECT_TRUE(inString.diagnostics.empty());
    EXPECT_EQ(inString.tokens[0].lexeme, "\xc3\xa9");
}

TEST(Lexer, OddBytesNeverStopTheScan) {
    std::string source("a\0b\x0c\x0b\xff\r\rc", 9);
    Lexed lexed = lex(source);
    EXPECT_EQ(lexed.diagnostics.size(), 4u); // NUL, form feed, vertical tab, 0xFF
    EXPECT_EQ(lexed.diagnostics[0].message, std::string("unexpected character '\0'", 24));
    // Carriage returns are blanks: a CR-only line end does not end a line.
    EXPECT_EQ(lexed.tokens.back().location.line(), 1u);
    EXPECT_EQ(lexed.tokens[lexed.tokens.size() - 3].lexeme, "c");
}

TEST(Lexer, RegistersTheSourceWithTheEngine) {
    DiagnosticEngine engine;
    Lexer lexer("let x: int = 5 $\n", "r.zarn", engine);
    lexer.tokenize();
    ASSERT_EQ(engine.diagnostics().size(), 1u);
    EXPECT_EQ(engine.render(engine.diagnostics()[0]), "error[E0002]: unexpected character '$'\n"
                                                      "  --> r.zarn:1:16\n"
                                                      "   |\n"
                                                      " 1 | let x: int = 5 $\n"
                                                      "   |                ^\n");
}

// Pulling tokens one at a time gives the list tokenize() gives, and keeps
// giving EndOfFile at the end.
TEST(Lexer, NextGivesTheTokensOneAtATime) {
    const std::string source = "let s: string = \"a\\nb\" // note\nx.y(1.5) $\n";
    std::vector<Token> listed = lex(source).tokens;
    DiagnosticEngine engine;
    Lexer lexer(source, "t.zarn", engine);
    for (const Token& expected : listed) {
        Token token = lexer.next();
        EXPECT_EQ(token.type, expected.type);
        EXPECT_EQ(token.lexeme, expected.lexeme);
        EXPECT_EQ(token.location.offset, expected.location.offset);
        EXPECT_EQ(token.location.length, expected.location.length);
        EXPECT_EQ(token.location.line(), expected.location.line());
    }
    EXPECT_EQ(lexer.next().type, TokenType::EndOfFile);
    EXPECT_EQ(lexer.errorCount(), 1u);
    EXPECT_EQ(engine.diagnostics().size(), 1u);
}

// A quiet look-ahead reports nothing; after restore() the same tokens come
// again and their errors are reported once.
TEST(Lexer, QuietLookAheadReportsOnceWhenScannedForReal) {
    DiagnosticEngine engine;
    Lexer lexer("a $ b\nc", "t.zarn", engine);
    EXPECT_EQ(lexer.next().lexeme, "a");
    Lexer::Mark mark = lexer.save();
    lexer.setQuiet(true);
    std::string ahead;
    for (Token token = lexer.next(); token.type != TokenType::EndOfFile; token = lexer.next())
        ahead += std::string(tokenTypeName(token.type)) + " ";
    lexer.setQuiet(false);
    lexer.restore(mark);
    EXPECT_EQ(ahead, "Invalid Identifier Newline Identifier Newline ");
    EXPECT_TRUE(engine.diagnostics().empty());
    EXPECT_EQ(lexer.next().type, TokenType::Invalid);
    Token b = lexer.next();
    EXPECT_EQ(b.lexeme, "b");
    EXPECT_EQ(b.location.column(), 5u);
    EXPECT_EQ(engine.diagnostics().size(), 1u);
    EXPECT_EQ(lexer.next().type, TokenType::Newline); // "b" still ends the line
}

} // namespace
} // namespace zarn
