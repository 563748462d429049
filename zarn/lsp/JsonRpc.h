// JSON-RPC 2.0 messages framed by a "Content-Length" header, as the language
// server protocol sends them over standard input and output.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>

namespace zarn::lsp {

// Error codes of JSON-RPC and of the language server protocol.
namespace rpc {
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kServerNotInitialized = -32002;
} // namespace rpc

// The largest message body accepted; a larger one is skipped, not buffered.
constexpr size_t kMaxMessageBytes = size_t{64} << 20;

struct Frame {
    enum class Kind {
        Message,   // body holds one message
        BadHeader, // the header was malformed or announced too large a body; error says why
        End,       // the stream ended (between or inside messages)
    };
    Kind kind = Kind::End;
    std::string body;
    std::string error;
};

// Reads the next framed message. A malformed header is reported once and the
// reader resynchronises at the next header block.
Frame readFrame(std::istream& in);

// Writes one framed message and flushes; false when the stream failed.
bool writeFrame(std::ostream& out, const std::string& body);

} // namespace zarn::lsp
