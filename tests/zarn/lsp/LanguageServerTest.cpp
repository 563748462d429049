// The server in-process, over string streams: what needs a formatter of its
// own, and how the exit status follows the shutdown handshake.
#include "zarn/lsp/LanguageServer.h"
#include "zarn/lsp/JsonRpc.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace zarn::lsp {
namespace {

using nlohmann::json;

std::string frame(const json& message) {
    std::string body = message.dump();
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct Session {
    int status = -1;
    std::vector<json> answers; // responses only, notifications left out
};

Session serve(const std::vector<json>& messages, Formatter formatter) {
    std::string input;
    for (const json& message : messages) input += frame(message);
    std::istringstream in(input);
    std::ostringstream out;
    LanguageServer server(in, out, std::move(formatter));
    Session session;
    session.status = server.run();
    std::istringstream written(out.str());
    for (Frame f = readFrame(written); f.kind == Frame::Kind::Message; f = readFrame(written)) {
        json message = json::parse(f.body);
        if (message.contains("id")) session.answers.push_back(std::move(message));
    }
    return session;
}

const std::string kUri = "file:///nowhere/doc.zarn";

std::vector<json> formattingSession(const std::string& text) {
    return {
        json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", json::object()}},
        json{{"jsonrpc", "2.0"},
             {"method", "textDocument/didOpen"},
             {"params", {{"textDocument", {{"uri", kUri}, {"version", 1}, {"text", text}}}}}},
        json{{"jsonrpc", "2.0"},
             {"id", 2},
             {"method", "textDocument/formatting"},
             {"params", {{"textDocument", {{"uri", kUri}}}}}},
        json{{"jsonrpc", "2.0"}, {"id", 3}, {"method", "shutdown"}},
        json{{"jsonrpc", "2.0"}, {"method", "exit"}},
    };
}

TEST(LanguageServerTest, FormattingReplacesTheWholeDocumentInOneEdit) {
    std::string seenPath;
    Formatter appending = [&](std::string_view text, const std::string& path, DiagnosticEngine&) {
        seenPath = path;
        return std::optional<std::string>(std::string(text) + "! formatted\n");
    };
    // The last line has no line break and a two-unit character: the edit ends after it.
    const std::string text = "let a: int = 1\nlet s: string = \"\xF0\x9F\x98\x80\"";
    Session session = serve(formattingSession(text), appending);
    ASSERT_EQ(session.answers.size(), 3u);
    EXPECT_EQ(seenPath, "/nowhere/doc.zarn");
    json edit{
        {"range",
         {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 1}, {"character", 20}}}}},
        {"newText", text + "! formatted\n"}};
    EXPECT_EQ(session.answers[1]["result"], json::array({edit}));
    EXPECT_EQ(session.status, 0);
}

TEST(LanguageServerTest, NoEditWhenTheFormatterChangesNothingOrFails) {
    Formatter same = [](std::string_view text, const std::string&, DiagnosticEngine&) {
        return std::optional<std::string>(text);
    };
    Formatter failing = [](std::string_view, const std::string&, DiagnosticEngine& diagnostics) {
        diagnostics.error("E0005", "unexpected token in expression: ')'", SourceLocation{});
        return std::optional<std::string>();
    };
    for (const Formatter& formatter : {same, failing, Formatter{}}) {
        Session session = serve(formattingSession("let a: int = (1))\n"), formatter);
        ASSERT_EQ(session.answers.size(), 3u);
        EXPECT_EQ(session.answers[1]["result"], json::array());
    }
}

TEST(LanguageServerTest, ExitStatusFollowsTheShutdownHandshake) {
    json initialize{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}};
    json shutdown{{"jsonrpc", "2.0"}, {"id", 2}, {"method", "shutdown"}};
    json exit{{"jsonrpc", "2.0"}, {"method", "exit"}};
    EXPECT_EQ(serve({initialize, shutdown, exit}, {}).status, 0);
    EXPECT_EQ(serve({initialize, exit}, {}).status, 1);
    EXPECT_EQ(serve({initialize, shutdown}, {}).status, 1); // input ended without exit
    // Nothing after exit is read.
    Session session = serve({initialize, shutdown, exit, initialize}, {});
    EXPECT_EQ(session.answers.size(), 2u);
}

TEST(LanguageServerTest, DeeplyNestedMessagesGetErrorsNotCrashes) {
    const size_t depth = 200000;
    std::string arrays = std::string(depth, '[') + std::string(depth, ']');
    std::string nested = R"({"jsonrpc":"2.0","id":2,"method":"textDocument/hover","params":)";
    for (size_t i = 0; i < depth; ++i) nested += R"({"x":)";
    nested += "1" + std::string(depth + 1, '}');
    std::string input;
    for (const std::string& body :
         {std::string(R"({"jsonrpc":"2.0","id":1,"method":"initialize"})"), arrays, nested,
          std::string(R"({"jsonrpc":"2.0","id":3,"method":"shutdown"})"),
          std::string(R"({"jsonrpc":"2.0","method":"exit"})")})
        input += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    std::istringstream in(input);
    std::ostringstream out;
    LanguageServer server(in, out, {});
    EXPECT_EQ(server.run(), 0);
    std::istringstream written(out.str());
    std::vector<json> answers;
    for (Frame f = readFrame(written); f.kind == Frame::Kind::Message; f = readFrame(written))
        answers.push_back(json::parse(f.body));
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[1]["error"]["code"], rpc::kInvalidRequest);
    EXPECT_EQ(answers[2]["id"], 2);
    EXPECT_EQ(answers[2]["error"]["code"], rpc::kInvalidParams);
}

} // namespace
} // namespace zarn::lsp
