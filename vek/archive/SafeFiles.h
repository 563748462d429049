// Writing files below a directory without ever following a symbolic link
// that lies inside it: the only place in the archive layer that calls the
// operating system directly.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vek {

// Creates the directories `parts` (all but the last when `data` is given)
// below `root`, then writes the last part as a new file holding `data`. An
// existing file or link at that place is replaced, never written through;
// a link or a file standing where a directory is needed is an error. `root`
// itself must exist. On failure `error` holds the system's reason.
bool writeFileBelow(const std::filesystem::path& root, const std::vector<std::string>& parts,
                    std::string_view data, std::string& error);
bool makeDirectoriesBelow(const std::filesystem::path& root, const std::vector<std::string>& parts,
                          std::string& error);

} // namespace vek
