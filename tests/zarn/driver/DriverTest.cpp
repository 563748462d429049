#include "zarn/driver/Driver.h"
#include "zarn/driver/TestRunner.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace zarn {
namespace {

namespace fs = std::filesystem;

// A scratch directory of its own for each test, removed afterwards.
class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("zarn-driver-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& content) {
        fs::path path = dir_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    fs::path dir_;
};

TEST_F(DriverTest, ReadSourceFileKeepsEveryByte) {
    const std::string content("a\r\nb\0c\xff\n", 8);
    std::string path = write("bytes.zarn", content);
    EXPECT_EQ(readSourceFile(path), content);
    std::string read;
    EXPECT_TRUE(readSourceFile(path, read));
    EXPECT_EQ(read, content);
}

TEST_F(DriverTest, ReadSourceFileReportsWhatCannotBeOpened) {
    std::string missing = (dir_ / "missing.zarn").string();
    std::string read = "stale";
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(readSourceFile(missing, read));
    EXPECT_EQ(read, "");
    EXPECT_FALSE(readSourceFile(dir_.string(), read)); // a directory is not a source
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: could not open file '" + missing +
                                                            "'\n" + "Error: could not open file '" +
                                                            dir_.string() + "'\n");
    std::string empty = write("empty.zarn", "");
    EXPECT_TRUE(readSourceFile(empty, read));
    EXPECT_EQ(read, "");
}

TEST_F(DriverTest, PipelinesReturnTheirStatus) {
    std::string good = write("good.zarn", "let x: int = 1\n");
    std::string bad = write("bad.zarn", "let x: int = $\n");
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runFile(good, {"a", "b"}), 0);
    EXPECT_EQ(runFile(bad, {}), 1);
    EXPECT_EQ(checkFile(good), 0);
    EXPECT_EQ(checkFile(dir_.string()), 1);
    EXPECT_EQ(runFile(write("empty.zarn", ""), {}), 0);
    std::string err = ::testing::internal::GetCapturedStderr();
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("error[E0002]: unexpected character '$'\n"), std::string::npos);
    EXPECT_NE(out.find("\u2713 Static check passed: 0 errors in '" + good + "'\n"),
              std::string::npos);
    EXPECT_EQ(err, "Error: could not open file '" + dir_.string() + "'\n");
}

TEST_F(DriverTest, TestRunnerRunsFilesInByteOrder) {
    write("t/b.zarn", "let b: int = 1\n");
    write("t/a/z.zarn", "let z: int = )\n");
    write("t/B.zarn", "let c: int = 1\n");
    write("t/skip.ZARN", "nonsense (\n");
    ::testing::internal::CaptureStdout();
    int status = runTests((dir_ / "t").string());
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 1);
    std::string root = (dir_ / "t").string();
    size_t upper = out.find("Running test: " + root + "/B.zarn ... [PASS]\n");
    size_t nested = out.find("Running test: " + root + "/a/z.zarn ... error[E0005]");
    size_t lower = out.find("Running test: " + root + "/b.zarn ... [PASS]\n");
    ASSERT_NE(upper, std::string::npos) << out;
    ASSERT_NE(nested, std::string::npos) << out;
    ASSERT_NE(lower, std::string::npos) << out;
    EXPECT_LT(upper, nested);
    EXPECT_LT(nested, lower);
    EXPECT_EQ(out.rfind("Running Zarn automated tests (3 files found)...\n\n", 0), 0u);
    EXPECT_NE(out.find("\nTest Summary: 2 passed, 1 failed.\n"), std::string::npos);
}

TEST_F(DriverTest, TestRunnerReportsUnreadableDirectories) {
    write("t/ok.zarn", "let b: int = 1\n");
    fs::path locked = dir_ / "t" / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::none);
    std::error_code probe;
    fs::directory_iterator{locked, probe}; // root may read it anyway
    bool readable = !probe;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    int status = runTests((dir_ / "t").string());
    std::string err = ::testing::internal::GetCapturedStderr();
    std::string out = ::testing::internal::GetCapturedStdout();
    fs::permissions(locked, fs::perms::owner_all);
    if (geteuid() == 0 || readable) GTEST_SKIP() << "permissions are not enforced for this user";
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err.rfind("Error: could not read directory '" + (dir_ / "t").string() + "': ", 0),
              0u);
}

} // namespace
} // namespace zarn
