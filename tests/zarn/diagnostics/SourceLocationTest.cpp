#include "zarn/diagnostics/SourceLocation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zarn {
namespace {

void takesString(const std::string& text, std::string& out) { out = text; }
std::string_view takesView(std::string_view text) { return text; }

// Code that read `location.file` as a std::string keeps working: it
// converts, compares, concatenates and prints like one.
TEST(FileName, ReadsLikeAString) {
    SourceLocation location{std::string("dir/main.zarn"), 3, 4, 10, 2};
    const FileName& file = location.file;
    EXPECT_EQ(file, "dir/main.zarn");
    EXPECT_EQ(file, std::string("dir/main.zarn"));
    EXPECT_EQ(file, std::string_view("dir/main.zarn"));
    EXPECT_EQ(std::string("dir/main.zarn"), file);
    EXPECT_FALSE(file == "other.zarn");
    EXPECT_EQ("at " + file + ":" + std::to_string(location.line), "at dir/main.zarn:3");
    EXPECT_EQ(file + std::string("!"), "dir/main.zarn!");
    std::string copied = file;
    EXPECT_EQ(copied, "dir/main.zarn");
    std::string passed;
    takesString(file, passed);
    EXPECT_EQ(passed, "dir/main.zarn");
    EXPECT_EQ(takesView(file), "dir/main.zarn");
    EXPECT_EQ(std::filesystem::path(file.str()).filename(), "main.zarn");
    std::map<std::string, int> byFile{{"dir/main.zarn", 7}};
    EXPECT_EQ(byFile.find(file)->second, 7);
    std::ostringstream out;
    out << file;
    EXPECT_EQ(out.str(), "dir/main.zarn");
    EXPECT_EQ(file.size(), 13u);
    EXPECT_STREQ(file.c_str(), "dir/main.zarn");
}

TEST(FileName, EmptyAndAssigned) {
    SourceLocation none;
    EXPECT_TRUE(none.file.empty());
    EXPECT_EQ(none.file, "");
    EXPECT_EQ(none.file.str(), std::string());
    none.file = "later.zarn";
    EXPECT_EQ(none.file, "later.zarn");
    none.file = FileName();
    EXPECT_TRUE(none.file.empty());
    EXPECT_TRUE(FileName("").empty());
}

// Copies share one name; the last copy to go frees it, from any thread.
TEST(FileName, CopiesShareOneNameAcrossThreads) {
    FileName original("shared.zarn");
    std::vector<SourceLocation> locations(1000, SourceLocation{original, 1, 1, 0, 0});
    FileName moved = std::move(original);
    EXPECT_TRUE(original.empty()); // a moved-from name is empty
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&locations, t] {
            std::vector<SourceLocation> mine(locations.begin() + t * 250,
                                             locations.begin() + (t + 1) * 250);
            for (SourceLocation& location : mine) location.file = FileName(location.file);
        });
    }
    for (std::thread& thread : threads) thread.join();
    locations.clear();
    EXPECT_EQ(moved, "shared.zarn");
    FileName same = moved;
    EXPECT_EQ(same.c_str(), moved.c_str()); // one text, not a copy
}

} // namespace
} // namespace zarn
