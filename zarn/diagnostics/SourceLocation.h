// Where a token, node or diagnostic sits in a source text.
#pragma once

#include <atomic>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace zarn {

// The name of a source file, shared by every location in that file: the lexer
// makes one and each token and node copies a pointer to it instead of the
// text. It reads like the std::string it holds (it converts to
// `const std::string&` and `std::string_view` and compares with strings).
class FileName {
public:
    FileName() noexcept = default;
    FileName(std::string_view name)
        : entry_(name.empty() ? nullptr : new Entry{{1}, std::string(name)}) {}
    FileName(const std::string& name) : FileName(std::string_view(name)) {}
    FileName(const char* name) : FileName(std::string_view(name)) {}

    FileName(const FileName& other) noexcept : entry_(other.entry_) {
        if (entry_) entry_->refs.fetch_add(1, std::memory_order_relaxed);
    }
    FileName(FileName&& other) noexcept : entry_(other.entry_) { other.entry_ = nullptr; }
    FileName& operator=(const FileName& other) noexcept {
        FileName copy(other);
        std::swap(entry_, copy.entry_);
        return *this;
    }
    FileName& operator=(FileName&& other) noexcept {
        std::swap(entry_, other.entry_);
        return *this;
    }
    ~FileName() {
        if (entry_ && entry_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete entry_;
    }

    const std::string& str() const noexcept { return entry_ ? entry_->text : emptyText(); }
    operator const std::string&() const noexcept { return str(); }
    operator std::string_view() const noexcept { return str(); }

    bool empty() const noexcept { return entry_ == nullptr; }
    size_t size() const noexcept { return str().size(); }
    size_t length() const noexcept { return str().size(); }
    const char* c_str() const noexcept { return str().c_str(); }
    const char* data() const noexcept { return str().data(); }

    friend bool operator==(const FileName& a, const FileName& b) noexcept {
        return a.entry_ == b.entry_ || a.str() == b.str();
    }
    friend bool operator==(const FileName& a, const std::string& b) noexcept {
        return a.str() == b;
    }
    friend bool operator==(const FileName& a, std::string_view b) noexcept { return a.str() == b; }
    friend bool operator==(const FileName& a, const char* b) noexcept {
        return a.str() == std::string_view(b);
    }

    friend std::string operator+(const FileName& a, const std::string& b) { return a.str() + b; }
    friend std::string operator+(const std::string& a, const FileName& b) { return a + b.str(); }
    friend std::string operator+(const FileName& a, const char* b) { return a.str() + b; }
    friend std::string operator+(const char* a, const FileName& b) { return a + b.str(); }
    friend std::ostream& operator<<(std::ostream& out, const FileName& name) {
        return out << name.str();
    }

private:
    struct Entry {
        std::atomic<uint32_t> refs;
        const std::string text;
    };
    static const std::string& emptyText() noexcept {
        static const std::string empty;
        return empty;
    }

    Entry* entry_ = nullptr;
};

struct SourceLocation {
    FileName file;       // the name the pipeline was given; may be empty
    uint64_t line = 1;   // 1-based
    uint64_t column = 1; // 1-based, in bytes
    uint64_t offset = 0; // 0-based byte offset of the first character
    uint64_t length = 0; // bytes covered; at least one caret is drawn
};

} // namespace zarn
