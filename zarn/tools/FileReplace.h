// Replacing a file's content in one step, so that a reader (or a crash half
// way) never sees a partly written file. FileReplacePosix.cpp is the only
// place that calls the operating system for it.
#pragma once

#include <string>
#include <string_view>

namespace zarn {

// Writes `content` to a new file in the folder of `path`, gives it the
// permission bits of the file it replaces, flushes it to disk and renames it
// over `path` (over the file a symbolic link points to, for a link). On
// failure `path` is untouched, no temporary file is left, `error` says why and
// the result is false.
bool replaceFileContent(const std::string& path, std::string_view content, std::string& error);

} // namespace zarn
