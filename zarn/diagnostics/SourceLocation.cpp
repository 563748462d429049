#include "zarn/diagnostics/SourceLocation.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace zarn {

namespace {

// A file name's entry: the name, the text, and the offsets where its lines
// start, found the first time a line is asked for (from any thread).
struct FileEntry : SharedText::Entry {
    FileEntry(std::string_view name, std::shared_ptr<const std::string> source)
        : Entry{{1}, true, std::string(name)}, source(std::move(source)) {}

    const std::vector<uint32_t>& lineStarts() const {
        std::call_once(indexed, [this] {
            starts.push_back(0);
            if (!source) return;
            for (size_t i = 0; i < source->size(); ++i)
                if ((*source)[i] == '\n') starts.push_back(clampPosition(i + 1));
        });
        return starts;
    }

    std::shared_ptr<const std::string> source;
    mutable std::once_flag indexed;
    mutable std::vector<uint32_t> starts;
};

} // namespace

void SharedText::releaseFileEntry(Entry* entry) { delete static_cast<FileEntry*>(entry); }

FileName::FileName(std::string_view name, std::shared_ptr<const std::string> text)
    : SharedText(new FileEntry(name, std::move(text))) {}

std::pair<uint32_t, uint32_t> FileName::lineAndColumn(uint32_t offset) const {
    const Entry* held = entry();
    if (held == nullptr || !held->fileEntry)
        return {1, offset == UINT32_MAX ? UINT32_MAX : offset + 1};
    const std::vector<uint32_t>& starts = static_cast<const FileEntry*>(held)->lineStarts();
    // The last line start at or before the offset.
    auto after = std::upper_bound(starts.begin(), starts.end(), offset);
    uint32_t line = static_cast<uint32_t>(after - starts.begin());
    uint32_t column = offset - starts[line - 1];
    return {line, column == UINT32_MAX ? UINT32_MAX : column + 1};
}

} // namespace zarn
