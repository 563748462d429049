#include "zarn/lsp/JsonRpc.h"

#include <cctype>
#include <istream>
#include <ostream>

namespace zarn::lsp {

namespace {

// A header line longer than this is malformed; the rest of it is skipped.
constexpr size_t kMaxHeaderLine = 8192;

enum class LineResult { Line, TooLong, End };

// One header line without its "\r\n" (or "\n").
LineResult readLine(std::istream& in, std::string& line) {
    line.clear();
    bool tooLong = false;
    for (;;) {
        int c = in.get();
        if (c == std::char_traits<char>::eof()) return LineResult::End;
        if (c == '\n') break;
        if (line.size() < kMaxHeaderLine) line += static_cast<char>(c);
        else tooLong = true;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return tooLong ? LineResult::TooLong : LineResult::Line;
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

std::string trim(const std::string& text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t");
    return text.substr(start, end - start + 1);
}

} // namespace

Frame readFrame(std::istream& in) {
    Frame frame;
    std::string line;
    std::optional<size_t> length;
    bool sawHeader = false;
    for (;;) {
        LineResult result = readLine(in, line);
        if (result == LineResult::End) return frame; // Kind::End
        if (result == LineResult::TooLong) {
            frame.error = "header line too long";
            sawHeader = true;
            continue;
        }
        if (line.empty()) {
            // Blank lines before a header block are tolerated.
            if (!sawHeader) continue;
            break;
        }
        sawHeader = true;
        size_t colon = line.find(':');
        if (colon == std::string::npos) {
            frame.error = "malformed header line";
            continue;
        }
        std::string name = trim(line.substr(0, colon));
        std::string value = trim(line.substr(colon + 1));
        if (!equalsIgnoringCase(name, "Content-Length")) continue; // Content-Type and others
        bool digits = !value.empty() && value.size() <= 18;
        for (char c : value) digits = digits && c >= '0' && c <= '9';
        if (!digits) {
            frame.error = "invalid Content-Length '" + value + "'";
            continue;
        }
        length = std::stoull(value);
    }
    if (!length && frame.error.empty()) frame.error = "missing Content-Length header";
    if (!frame.error.empty()) {
        frame.kind = Frame::Kind::BadHeader;
        return frame;
    }
    if (*length > kMaxMessageBytes) {
        // Skipped unread: the stream stays in step with the next message.
        in.ignore(static_cast<std::streamsize>(*length));
        frame.kind = in.gcount() == static_cast<std::streamsize>(*length) ? Frame::Kind::BadHeader
                                                                          : Frame::Kind::End;
        frame.error = "message of " + std::to_string(*length) + " bytes is too large";
        return frame;
    }
    frame.body.resize(*length);
    in.read(frame.body.data(), static_cast<std::streamsize>(*length));
    if (static_cast<size_t>(in.gcount()) != *length) {
        frame.body.clear();
        return frame; // the client went away inside a message
    }
    frame.kind = Frame::Kind::Message;
    return frame;
}

bool writeFrame(std::ostream& out, const std::string& body) {
    out << "Content-Length: " << body.size() << "\r\n\r\n" << body;
    out.flush();
    return static_cast<bool>(out);
}

} // namespace zarn::lsp
