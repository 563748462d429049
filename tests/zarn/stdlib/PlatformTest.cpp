#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "zarn/stdlib/Platform.h"

namespace zarn::stdlib::platform {
namespace {

namespace fs = std::filesystem;

class PlatformFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) / ("zarn_platform_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(PlatformFilesTest, WriteAndReadAreBinarySafe) {
    std::string content("line\r\nnul\0byte\xff\r", 17);
    ASSERT_TRUE(writeWholeFile(path("data.bin"), content));
    EXPECT_EQ(fs::file_size(path("data.bin")), content.size());
    EXPECT_EQ(readWholeFile(path("data.bin")), content);

    // Truncates what was there before.
    ASSERT_TRUE(writeWholeFile(path("data.bin"), "x"));
    EXPECT_EQ(readWholeFile(path("data.bin")), "x");
    ASSERT_TRUE(writeWholeFile(path("empty"), ""));
    EXPECT_EQ(readWholeFile(path("empty")), "");
    EXPECT_TRUE(canOpenForReading(path("empty")));

    std::string large(300000, 'a');
    large[123456] = '\0';
    ASSERT_TRUE(writeWholeFile(path("large"), large));
    EXPECT_EQ(readWholeFile(path("large")), large);
}

TEST_F(PlatformFilesTest, FailuresAreReportedNotThrown) {
    EXPECT_FALSE(readWholeFile(path("missing")).has_value());
    EXPECT_FALSE(canOpenForReading(path("missing")));
    EXPECT_FALSE(writeWholeFile(path("no/such/dir/file"), "x"));
    // Directories are not files.
    EXPECT_FALSE(readWholeFile(dir_.string()).has_value());
    EXPECT_FALSE(canOpenForReading(dir_.string()));
    EXPECT_FALSE(writeWholeFile(dir_.string(), "x"));
    // A NUL byte would otherwise silently shorten the path.
    ASSERT_TRUE(writeWholeFile(path("a"), "keep"));
    EXPECT_FALSE(writeWholeFile(path("a") + std::string("\0b", 2), "lost"));
    EXPECT_FALSE(readWholeFile(path("a") + std::string("\0b", 2)).has_value());
    EXPECT_EQ(readWholeFile(path("a")), "keep");
    EXPECT_FALSE(writeWholeFile("", "x"));
    // An endless device is refused instead of read until memory runs out.
    EXPECT_FALSE(readWholeFile("/dev/zero").has_value());
    EXPECT_FALSE(readWholeFile("/dev/null").has_value());
    EXPECT_FALSE(writeWholeFile("/dev/null", "x"));
}

TEST_F(PlatformFilesTest, ExistenceCheckDoesNotBlockOnAPipeWithoutWriter) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    EXPECT_TRUE(canOpenForReading(path("fifo")));
}

TEST_F(PlatformFilesTest, ReadingAndWritingRefuseAPipeWithoutBlocking) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    ::alarm(20); // a hang ends the test instead of the suite's time-out
    EXPECT_FALSE(readWholeFile(path("fifo")).has_value());
    EXPECT_FALSE(writeWholeFile(path("fifo"), "x"));
    ::alarm(0);
}

TEST(PlatformTest, EnvironmentRoundTripAndInvalidNames) {
    EXPECT_TRUE(setEnvironmentVariable("ZARN_PLATFORM_TEST", "a b=c"));
    EXPECT_EQ(environmentVariable("ZARN_PLATFORM_TEST"), "a b=c");
    EXPECT_TRUE(setEnvironmentVariable("ZARN_PLATFORM_TEST", ""));
    EXPECT_EQ(environmentVariable("ZARN_PLATFORM_TEST"), "");
    EXPECT_FALSE(environmentVariable("ZARN_PLATFORM_NEVER_SET").has_value());

    EXPECT_FALSE(setEnvironmentVariable("", "x"));
    EXPECT_FALSE(setEnvironmentVariable("A=B", "x"));
    EXPECT_FALSE(setEnvironmentVariable(std::string("ZARN_PLATFORM_TEST\0X", 20), "x"));
    EXPECT_FALSE(setEnvironmentVariable("ZARN_PLATFORM_TEST", std::string("a\0b", 3)));
    EXPECT_EQ(environmentVariable("ZARN_PLATFORM_TEST"), "");
    EXPECT_FALSE(environmentVariable("A=B").has_value());
}

TEST(PlatformTest, HomePrefersANonEmptyUserProfile) {
    std::optional<std::string> savedHome = environmentVariable("HOME");
    ::setenv("HOME", "/home/h", 1);
    ::setenv("USERPROFILE", "", 1);
    EXPECT_EQ(homeDirectory(), "/home/h");
    ::setenv("USERPROFILE", "/profile/p", 1);
    EXPECT_EQ(homeDirectory(), "/profile/p");
    ::unsetenv("USERPROFILE");
    ::unsetenv("HOME");
    EXPECT_EQ(homeDirectory(), "");
    if (savedHome) ::setenv("HOME", savedHome->c_str(), 1);
}

TEST(PlatformTest, ProcessFacts) {
    EXPECT_EQ(currentProcessId(), ::getpid());
    EXPECT_FALSE(hostName().empty());
    EXPECT_EQ(currentDirectory(), fs::current_path().string());
    EXPECT_EQ(executablePath(), fs::read_symlink("/proc/self/exe").string());
#if defined(__linux__) && defined(__x86_64__)
    EXPECT_EQ(systemName(), "Linux");
    EXPECT_EQ(machineArchitecture(), "x86_64");
#endif
}

TEST(PlatformTest, ShellCommandsReportTheirExitStatus) {
    EXPECT_EQ(runShellCommand("exit 0"), 0);
    EXPECT_EQ(runShellCommand("exit 7"), 7);
    EXPECT_EQ(runShellCommand("kill -9 $$"), -1);
    EXPECT_EQ(runShellCommand("no_such_command_zarn 2>/dev/null"), 127);
    EXPECT_EQ(runShellCommand(std::string("exit 3\0; exit 4", 15)), -1);
    // Children see variables set in this process.
    ASSERT_TRUE(setEnvironmentVariable("ZARN_PLATFORM_CHILD", "seen"));
    EXPECT_EQ(runShellCommand("test \"$ZARN_PLATFORM_CHILD\" = seen"), 0);
}

TEST(PlatformTest, SpawnedCommandRunsDetachedAndLeavesNoZombie) {
    fs::path marker = fs::path(::testing::TempDir()) / ("zarn_spawn_" + std::to_string(::getpid()));
    fs::remove(marker);
    std::string command = "echo $$ > '" + marker.string() + ".tmp' && mv '" + marker.string() +
                          ".tmp' '" + marker.string() + "'";
    int64_t pid = spawnShellCommand(command);
    ASSERT_GT(pid, 0);

    // Wait (bounded) for the command to have run.
    for (int i = 0; i < 1000 && !fs::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(marker));
    std::ifstream in(marker);
    int64_t reported = 0;
    in >> reported;
    EXPECT_EQ(reported, pid);
    fs::remove(marker);

    // The command is not a child of this process, so it can never linger
    // as a zombie here; the intermediate shell was reaped already.
    errno = 0;
    EXPECT_EQ(::waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);

    EXPECT_EQ(spawnShellCommand(std::string("true\0x", 6)), -1);
    // One argument longer than the system takes: the shell never starts.
    EXPECT_EQ(spawnShellCommand("true " + std::string(512 * 1024, 'x')), -1);
}

} // namespace
} // namespace zarn::stdlib::platform
