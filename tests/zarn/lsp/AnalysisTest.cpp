// The analysis of one document, by byte offset: the places where the tree
// and the tokens must be paired up correctly.
#include "zarn/lsp/Analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace zarn::lsp {
namespace {

// The offset of the `occurrence`-th `needle`, plus `delta`.
size_t offsetOf(const std::string& text, const std::string& needle, size_t delta = 0,
                int occurrence = 0) {
    size_t at = text.find(needle);
    while (occurrence-- > 0) at = text.find(needle, at + 1);
    EXPECT_NE(at, std::string::npos) << needle;
    return at + delta;
}

std::string hoverAt(const DocumentAnalysis& analysis, size_t offset) {
    auto info = analysis.hover(offset);
    return info ? info->text : "(none)";
}

std::vector<std::string> labels(const std::vector<CompletionEntry>& entries) {
    std::vector<std::string> result;
    for (const CompletionEntry& entry : entries) result.push_back(entry.label);
    return result;
}

bool has(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

const std::string kChain = "class Node {\n"
                           "    let next: Node = null\n"
                           "    let label: string = \"\"\n"
                           "}\n"
                           "function make(): Node { return new Node() }\n"
                           "let n: Node = make()\n"
                           "let s: string = n.next.next.label\n"
                           "let count: int = 1 + s.length()\n";

TEST(AnalysisTest, MembersOfAChainPairWithTheirOwnNames) {
    DocumentAnalysis analysis(kChain, "/tmp/chain.zarn");
    ASSERT_TRUE(analysis.diagnostics().empty());
    size_t chain = offsetOf(kChain, "n.next.next.label");
    EXPECT_EQ(hoverAt(analysis, chain), "(variable) n: Node");
    EXPECT_EQ(hoverAt(analysis, chain + 3), "(field) Node.next: Node");
    EXPECT_EQ(hoverAt(analysis, chain + 8), "(field) Node.next: Node");
    EXPECT_EQ(hoverAt(analysis, chain + 13), "(field) Node.label: string");
    // Both `next`s lead to the one field declaration.
    auto first = analysis.definition(chain + 3), second = analysis.definition(chain + 8);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->offset, offsetOf(kChain, "next: Node"));
    EXPECT_EQ(second->offset, first->offset);
    EXPECT_EQ(first->length, 4u);
    // An operator shows the type of the expression it builds, over its whole extent.
    auto plus = analysis.hover(offsetOf(kChain, "+ s"));
    ASSERT_TRUE(plus);
    EXPECT_EQ(plus->text, "int");
    EXPECT_EQ(plus->offset, offsetOf(kChain, "1 + s"));
    EXPECT_EQ(plus->length, std::string("1 + s.length()").size());
}

TEST(AnalysisTest, CompletionFindsTheReceiverJustBeforeTheDot) {
    const std::string text = kChain + "let t: string = \"a\" + n.\n"
                                      "let u: int = make().\n"
                                      "let v: int = [1, 2].\n";
    DocumentAnalysis analysis(text, "/tmp/chain.zarn");
    EXPECT_FALSE(analysis.diagnostics().empty()); // the dots at line ends are syntax errors
    // In `"a" + n.` the receiver is `n`, not the sum.
    auto members = labels(analysis.completion(offsetOf(text, "+ n.", 4)));
    EXPECT_EQ(members, (std::vector<std::string>{"label", "next"}));
    members = labels(analysis.completion(offsetOf(text, "make().", 7)));
    EXPECT_EQ(members, (std::vector<std::string>{"label", "next"}));
    members = labels(analysis.completion(offsetOf(text, "2].", 3)));
    EXPECT_TRUE(has(members, "push") && has(members, "pop") && has(members, "size"));
    EXPECT_FALSE(has(members, "toUpper"));
}

TEST(AnalysisTest, NamesInScopeFollowBlocksFunctionsAndLambdas) {
    const std::string text = "let top: int = 1\n"
                             "function outer(a: int): void {\n"
                             "    let inner: string = \"\"\n"
                             "    if (a > 0) {\n"
                             "        let hidden: int = 2\n"
                             "    }\n"
                             "    let handler: any = function(event: string): void {\n"
                             "        let local: int = 3\n"
                             "        println(event)\n"
                             "    }\n"
                             "    println(inner)\n"
                             "}\n"
                             "let later: int = 2\n";
    DocumentAnalysis analysis(text, "/tmp/scope.zarn");
    ASSERT_TRUE(analysis.diagnostics().empty());
    auto inLambda = labels(analysis.completion(offsetOf(text, "println(event)")));
    for (const char* name : {"top", "outer", "a", "inner", "event", "local", "later", "print"})
        EXPECT_TRUE(has(inLambda, name)) << name;
    EXPECT_FALSE(has(inLambda, "hidden"));
    auto afterLambda = labels(analysis.completion(offsetOf(text, "println(inner)")));
    EXPECT_TRUE(has(afterLambda, "handler"));
    EXPECT_FALSE(has(afterLambda, "event"));
    EXPECT_FALSE(has(afterLambda, "local"));
    auto atTop = labels(analysis.completion(offsetOf(text, "let later")));
    EXPECT_FALSE(has(atTop, "inner"));
    EXPECT_FALSE(has(atTop, "a"));
}

TEST(AnalysisTest, ALexicalErrorKeepsTypesAndDefinitionsElsewhere) {
    const std::string text = "let price: float = 2.5\n"
                             "let bad: int = 3 # 4\n"
                             "let twice: float = price * 2.0\n";
    DocumentAnalysis analysis(text, "/tmp/lexical.zarn");
    ASSERT_EQ(analysis.diagnostics().size(), 1u); // only the lexer's report, as `zarn check`
    EXPECT_EQ(analysis.diagnostics()[0].code, "E0002");
    size_t use = offsetOf(text, "price *");
    EXPECT_EQ(hoverAt(analysis, use), "(variable) price: float");
    auto definition = analysis.definition(use);
    ASSERT_TRUE(definition);
    EXPECT_EQ(definition->offset, offsetOf(text, "price"));
    EXPECT_EQ(definition->path, "/tmp/lexical.zarn");
}

TEST(AnalysisTest, SymbolsSpanTheirBodies) {
    DocumentAnalysis analysis(kChain, "/tmp/chain.zarn");
    auto symbols = analysis.symbols();
    ASSERT_EQ(symbols.size(), 5u);
    EXPECT_EQ(symbols[0].name, "Node");
    EXPECT_EQ(symbols[0].start, 0u);
    EXPECT_EQ(symbols[0].end, offsetOf(kChain, "}\n") + 1);
    ASSERT_EQ(symbols[0].children.size(), 2u);
    EXPECT_EQ(symbols[0].children[1].name, "label");
    EXPECT_EQ(symbols[1].name, "make");
    EXPECT_EQ(symbols[1].end, offsetOf(kChain, "() }") + 4);
    EXPECT_EQ(symbols[3].name, "s");
    EXPECT_EQ(symbols[3].nameStart, offsetOf(kChain, "s: string"));
    EXPECT_EQ(symbols[3].end, offsetOf(kChain, ".label\n") + 6);
}

TEST(AnalysisTest, NamesInsideInterpolationsLeadToTheirDeclarations) {
    const std::string text = "function greet(who: string, times: int): string {\n"
                             "    let shout: string = who.toUpper()\n"
                             "    return \"{shout}, {who.length()} \\{times} {times}{ 12 }\"\n"
                             "}\n";
    DocumentAnalysis analysis(text, "/tmp/interpolation.zarn");
    ASSERT_TRUE(analysis.diagnostics().empty());
    EXPECT_EQ(hoverAt(analysis, offsetOf(text, "{shout}", 2)), "(variable) shout: string");
    auto definition = analysis.definition(offsetOf(text, "{shout}", 2));
    ASSERT_TRUE(definition);
    EXPECT_EQ(definition->offset, offsetOf(text, "shout: string"));
    // The receiver of a member is a name; the member itself is not looked up.
    EXPECT_EQ(hoverAt(analysis, offsetOf(text, "{who.", 1)), "(parameter) who: string");
    EXPECT_EQ(hoverAt(analysis, offsetOf(text, ".length()} ", 2)), "string");
    // An escaped brace starts no interpolation; the next one does.
    EXPECT_EQ(hoverAt(analysis, offsetOf(text, "\\{times}", 3)), "string");
    EXPECT_EQ(hoverAt(analysis, offsetOf(text, " {times}", 3)), "(parameter) times: int");
    EXPECT_EQ(hoverAt(analysis, offsetOf(text, "{ 12 }", 2)), "string");
}

// Every program of the test suite, whole and cut off at many places (as it is
// while being typed): the analysis, and every query at every token, must hold
// up on trees with syntax errors too.
TEST(AnalysisTest, EveryQueryHoldsUpOnEveryProgramWholeOrCut) {
    namespace fs = std::filesystem;
    size_t programs = 0;
    for (const char* folder : {"tests/golden", "examples"}) {
        for (const auto& entry :
             fs::recursive_directory_iterator(fs::path(ZARN_SOURCE_DIR) / folder)) {
            if (!entry.is_regular_file() || entry.path().extension() != ".zarn") continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::string text((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
            ++programs;
            size_t step = std::max<size_t>(1, text.size() / 5);
            for (size_t cut = text.size(); cut > 0; cut = cut > step ? cut - step : 0) {
                std::string part = text.substr(0, cut);
                DocumentAnalysis analysis(part, entry.path().string());
                for (size_t offset = 0; offset <= part.size(); offset += 4) {
                    (void)analysis.hover(offset);
                    (void)analysis.definition(offset);
                    if (offset % 12 == 0) (void)analysis.completion(offset);
                }
                (void)analysis.symbols();
            }
        }
    }
    EXPECT_GT(programs, 100u);
}

} // namespace
} // namespace zarn::lsp
