#include "vek/cli/Console.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vek {
namespace {

struct Captured {
    std::ostringstream out;
    std::ostringstream err;
    Console console;
    explicit Captured(bool color) : console(out, err, color, color) {}
};

TEST(ConsoleTest, RenderedErrors) {
    Captured c(true); // error blocks are never coloured
    c.console.render(VekException(ErrorCode::PackageNotFound, "Package 'x' not found.", "", 1));
    EXPECT_EQ(c.err.str(), "error[VEK006]: package not found\n  Package 'x' not found.\n");
    c.err.str("");
    c.console.render(VekException(ErrorCode::ChecksumMismatch, "bad\nsum", "look", 7));
    EXPECT_EQ(c.err.str(),
              "error[VEK007]: checksum verification failed\n  bad\nsum\n  = help: look\n");
    c.err.str("");
    c.console.render(VekException(static_cast<ErrorCode>(12), "m", "", 1));
    c.console.render(VekException(static_cast<ErrorCode>(-1), "m", "", 1));
    EXPECT_EQ(c.err.str(), "error[VEK000]: error\n  m\nerror[VEK000]: error\n  m\n");
    EXPECT_TRUE(c.out.str().empty());
}

TEST(ConsoleTest, EveryCodeHasItsIdentifierAndName) {
    const char* names[] = {"manifest parse error",
                           "invalid package name",
                           "invalid version or constraint",
                           "dependency not found",
                           "dependency conflict",
                           "package not found",
                           "checksum verification failed",
                           "registry error",
                           "authentication error",
                           "invalid package archive",
                           "path traversal security violation",
                           "build failed"};
    for (int i = 0; i < 12; ++i) {
        const auto code = static_cast<ErrorCode>(i);
        EXPECT_EQ(errorIdentifier(code), (i < 9 ? "VEK00" : "VEK0") + std::to_string(i + 1));
        EXPECT_EQ(errorName(code), names[i]);
    }
    const VekException e(ErrorCode::Registry, "what", "help", 3);
    EXPECT_STREQ(e.what(), "what");
}

TEST(ConsoleTest, StatusAndErrorLinesWithAndWithoutColour) {
    Captured plain(false);
    plain.console.status("Created", "thing");
    plain.console.statusCyan("Package", "member");
    plain.console.errorLine("oops");
    EXPECT_EQ(plain.out.str(), "Created thing\nPackage member\n");
    EXPECT_EQ(plain.err.str(), "error: oops\n");

    Captured color(true);
    color.console.status("Created", "thing");
    color.console.statusCyan("Package", "member");
    color.console.errorLine("oops");
    EXPECT_EQ(color.out.str(), "\x1b[1;32mCreated\x1b[0m thing\n\x1b[1;36mPackage\x1b[0m member\n");
    EXPECT_EQ(color.err.str(), "\x1b[1;31merror\x1b[0m: oops\n");
}

TEST(ConsoleTest, VerbosityAndJsonMode) {
    Captured c(false);
    c.console.debug("hidden");
    c.console.setVerbosity(1);
    c.console.debug("hidden");
    c.console.setVerbosity(2);
    c.console.debug("shown");
    c.console.setVerbosity(3);
    c.console.debug("shown too");
    c.console.setJson(true);
    c.console.debug("hidden");
    c.console.status("Adding", "hidden");
    c.console.statusCyan("Package", "hidden");
    c.console.errorLine("errors still show");
    EXPECT_EQ(c.out.str(), "  [DEBUG] shown\n  [DEBUG] shown too\n");
    EXPECT_EQ(c.err.str(), "error: errors still show\n");
}

} // namespace
} // namespace vek
