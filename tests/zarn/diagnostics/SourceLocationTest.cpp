#include "zarn/diagnostics/SourceLocation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zarn {
namespace {

void takesString(const std::string& text, std::string& out) { out = text; }
std::string_view takesView(std::string_view text) { return text; }

// Code that read `location.file` as a std::string keeps working: it
// converts, compares, concatenates and prints like one.
TEST(FileName, ReadsLikeAString) {
    SourceLocation location{
        FileName("dir/main.zarn", std::make_shared<const std::string>("a\nb\ncdef")), 7, 2};
    const FileName& file = location.file;
    EXPECT_EQ(file, "dir/main.zarn");
    EXPECT_EQ(file, std::string("dir/main.zarn"));
    EXPECT_EQ(file, std::string_view("dir/main.zarn"));
    EXPECT_EQ(std::string("dir/main.zarn"), file);
    EXPECT_FALSE(file == "other.zarn");
    EXPECT_EQ("at " + file + ":" + std::to_string(location.line()), "at dir/main.zarn:3");
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
    std::vector<SourceLocation> locations(1000, SourceLocation{original, 0, 0});
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

// Names and literal texts of the tree are SharedText: code that used them as
// std::string members keeps working, and copies share one entry.
TEST(SharedText, ReadsLikeAStringAndSharesItsEntry) {
    SharedText name(std::string("counter_total"));
    EXPECT_EQ(name.find("total"), 8u);
    EXPECT_EQ(name.find('_'), 7u);
    EXPECT_EQ(name.find_first_of("xt"), 4u);
    EXPECT_EQ(name.substr(0, 7), "counter");
    EXPECT_TRUE(name.starts_with("count"));
    EXPECT_TRUE(name.ends_with("total"));
    EXPECT_EQ(name[0], 'c');
    EXPECT_EQ(name.back(), 'l');
    EXPECT_EQ(name + '!', "counter_total!");
    EXPECT_EQ(std::string("x.") + name, "x.counter_total");
    std::string appended = "n=";
    appended += name;
    EXPECT_EQ(appended, "n=counter_total");
    EXPECT_EQ(std::string(name.begin(), name.end()), "counter_total");
    EXPECT_LT(SharedText("alpha"), SharedText("beta"));
    // The address reads as that of the held string, as for a std::string member.
    const std::string* held = &name;
    EXPECT_EQ(held, &name.str());
    EXPECT_EQ(*held, "counter_total");

    SharedText copy = name;
    EXPECT_TRUE(copy.sameEntry(name));
    SharedText separate("counter_total");
    EXPECT_FALSE(separate.sameEntry(name));
    EXPECT_EQ(separate, name); // equal by text as well

    std::unordered_map<SharedText, int> byName{{name, 1}};
    EXPECT_EQ(byName.count(separate), 1u);
    std::map<std::string, int> byString{{"counter_total", 2}};
    EXPECT_EQ(byString.at(name), 2);
    EXPECT_TRUE(SharedText(std::string()).empty());
}

// Line and column come from the name's text, at any offset in it or past
// its end; a name without a text counts the offset on line 1.
TEST(SourceLocation, LineAndColumnFromTheText) {
    auto text = std::make_shared<const std::string>("ab\n\ncd\n");
    FileName file("f.zarn", text);
    auto position = [&](uint32_t offset) {
        SourceLocation location{file, offset, 1};
        return std::make_pair(location.line(), location.column());
    };
    EXPECT_EQ(position(0), std::make_pair(1u, 1u));
    EXPECT_EQ(position(2), std::make_pair(1u, 3u)); // the "\n" itself ends line 1
    EXPECT_EQ(position(3), std::make_pair(2u, 1u)); // an empty line
    EXPECT_EQ(position(5), std::make_pair(3u, 2u));
    EXPECT_EQ(position(7), std::make_pair(4u, 1u)); // the end, after a last "\n"
    EXPECT_EQ(position(UINT32_MAX), std::make_pair(4u, UINT32_MAX - 6));
    EXPECT_EQ(SourceLocation({"plain.zarn", 9, 1}).line(), 1u);
    EXPECT_EQ(SourceLocation({"plain.zarn", 9, 1}).column(), 10u);
    EXPECT_EQ(SourceLocation().column(), 1u);
    EXPECT_EQ(SourceLocation({"", UINT32_MAX, 0}).column(), UINT32_MAX);
    // A name with a text but no spelling is still empty.
    EXPECT_TRUE(FileName("", text).empty());
    EXPECT_EQ(SourceLocation({FileName("", text), 5, 1}).line(), 3u);
}

// The index of lines is built once, whichever thread asks first.
TEST(SourceLocation, LinesFoundFromManyThreads) {
    std::string source;
    for (int i = 0; i < 2000; ++i) source += "line\n";
    FileName file("many.zarn", std::make_shared<const std::string>(source));
    std::vector<std::thread> threads;
    std::vector<uint32_t> lines(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] { lines[t] = SourceLocation{file, 5u * 1000u * t, 1}.line(); });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(lines, (std::vector<uint32_t>{1, 1001, 2001, 2001}));
}

TEST(SourceLocation, PositionsAreCompactAndSaturate) {
    // One location per node and per token: its size is much of what a small
    // node costs.
    static_assert(sizeof(SourceLocation) <= 16);
    EXPECT_EQ(clampPosition(0), 0u);
    EXPECT_EQ(clampPosition(UINT32_MAX), UINT32_MAX);
    EXPECT_EQ(clampPosition(uint64_t{UINT32_MAX} + 10), UINT32_MAX);
    EXPECT_EQ(clampPosition(uint64_t{1} << 40), UINT32_MAX);
}

} // namespace
} // namespace zarn
