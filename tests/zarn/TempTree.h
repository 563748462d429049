// A fixture with a fresh temporary directory per test, removed afterwards, and
// a helper that writes files into it (creating their folders).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace zarn::testing {

class TempTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zarn-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = std::filesystem::canonical(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Writes `text` to `path` (relative to the tree, or absolute) and returns the full path.
    std::filesystem::path write(const std::filesystem::path& path, const std::string& text) {
        std::filesystem::path full = path.is_absolute() ? path : dir / path;
        std::filesystem::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary) << text;
        return full;
    }

    std::filesystem::path dir;
};

} // namespace zarn::testing
