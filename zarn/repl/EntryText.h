// Where an entry of the interactive session ends: the lines read so far are a
// whole entry unless a bracket is still open or a string or a comment is
// still unterminated.
#pragma once

#include <string_view>

namespace zarn {

enum class EntryState {
    Empty,      // nothing but white space and comments
    Incomplete, // an opening bracket waits for its closing one, or a string or comment goes on
    Complete,
};

// Follows an entry line by line. Each line is looked at once, so an entry of
// any length (a string left open in a large piped file, say) costs time in
// proportion to its size.
class EntryScanner {
public:
    // Takes the next line, which ends in "\n", and tells the state of the
    // entry with it.
    EntryState addLine(std::string_view line);
    // Starts the next entry.
    void reset() { *this = EntryScanner(); }

private:
    enum class Open { Nothing, String, Comment };
    // Skips to the end of the string or comment left open by an earlier
    // line; false when it goes on past this line.
    bool closeOpen(std::string_view line, size_t& from);

    Open open_ = Open::Nothing;
    long depth_ = 0; // brackets waiting for their closing ones
    bool surplus_ = false;
    bool empty_ = true;
};

} // namespace zarn
