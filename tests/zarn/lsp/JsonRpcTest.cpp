#include "zarn/lsp/JsonRpc.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace zarn::lsp {
namespace {

TEST(JsonRpcTest, ReadsConsecutiveFramesWithAnyHeaderSpelling) {
    std::istringstream in("Content-Length: 2\r\n\r\n{}"
                          "content-length:3\r\nContent-Type: application/json\r\n\r\n[1]"
                          "Content-Length: 1\n\n7");
    for (const char* body : {"{}", "[1]", "7"}) {
        Frame frame = readFrame(in);
        ASSERT_EQ(frame.kind, Frame::Kind::Message);
        EXPECT_EQ(frame.body, body);
    }
    EXPECT_EQ(readFrame(in).kind, Frame::Kind::End);
}

TEST(JsonRpcTest, MalformedHeadersAreReportedAndTheNextMessageStillArrives) {
    std::istringstream in("Content-Length: abc\r\n\r\n"
                          "Content-Type: x\r\n\r\n"
                          "no colon here\r\nContent-Length: 2\r\n\r\n"
                          "Content-Length: 99999999999999999999\r\n\r\n"
                          "Content-Length: 4\r\n\r\nnull");
    Frame frame = readFrame(in);
    EXPECT_EQ(frame.kind, Frame::Kind::BadHeader);
    EXPECT_EQ(frame.error, "invalid Content-Length 'abc'");
    frame = readFrame(in);
    EXPECT_EQ(frame.kind, Frame::Kind::BadHeader);
    EXPECT_EQ(frame.error, "missing Content-Length header");
    frame = readFrame(in);
    EXPECT_EQ(frame.kind, Frame::Kind::BadHeader);
    EXPECT_EQ(frame.error, "malformed header line");
    EXPECT_EQ(readFrame(in).kind, Frame::Kind::BadHeader); // too many digits
    frame = readFrame(in);
    ASSERT_EQ(frame.kind, Frame::Kind::Message);
    EXPECT_EQ(frame.body, "null");
}

TEST(JsonRpcTest, AnOversizedBodyIsSkippedWithoutBuffering) {
    std::string huge(kMaxMessageBytes + 1, ' ');
    std::istringstream in("Content-Length: " + std::to_string(huge.size()) + "\r\n\r\n" + huge +
                          "Content-Length: 2\r\n\r\n{}");
    Frame frame = readFrame(in);
    EXPECT_EQ(frame.kind, Frame::Kind::BadHeader);
    EXPECT_TRUE(frame.body.empty());
    EXPECT_EQ(readFrame(in).body, "{}");
}

TEST(JsonRpcTest, AStreamEndingInsideAMessageEndsTheSession) {
    std::istringstream cut("Content-Length: 10\r\n\r\n{\"a\"");
    EXPECT_EQ(readFrame(cut).kind, Frame::Kind::End);
    std::istringstream headerOnly("Content-Length: 10\r\n");
    EXPECT_EQ(readFrame(headerOnly).kind, Frame::Kind::End);
}

TEST(JsonRpcTest, WritesTheLengthInBytes) {
    std::ostringstream out;
    EXPECT_TRUE(writeFrame(out, "\"\xC3\xA9\""));
    EXPECT_EQ(out.str(), "Content-Length: 4\r\n\r\n\"\xC3\xA9\"");
}

} // namespace
} // namespace zarn::lsp
