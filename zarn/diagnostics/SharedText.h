// An immutable text shared by reference count: copies share one heap entry
// instead of holding the bytes each. Locations use it for file names and the
// syntax tree for names and literal texts, so a tree of a million nodes keeps
// one copy of each distinct spelling. It reads like the std::string it holds
// (it converts to `const std::string&` and `std::string_view`, compares and
// concatenates with strings), so code written against std::string members
// keeps compiling.
#pragma once

#include <atomic>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

namespace zarn {

class SharedText {
public:
    SharedText() noexcept = default;
    SharedText(std::string_view text)
        : entry_(text.empty() ? nullptr : new Entry{{1}, false, std::string(text)}) {}
    SharedText(const std::string& text) : SharedText(std::string_view(text)) {}
    SharedText(std::string&& text)
        : entry_(text.empty() ? nullptr : new Entry{{1}, false, std::move(text)}) {}
    SharedText(const char* text) : SharedText(std::string_view(text)) {}

    SharedText(const SharedText& other) noexcept : entry_(other.entry_) {
        if (entry_) entry_->refs.fetch_add(1, std::memory_order_relaxed);
    }
    SharedText(SharedText&& other) noexcept : entry_(other.entry_) { other.entry_ = nullptr; }
    SharedText& operator=(const SharedText& other) noexcept {
        SharedText copy(other);
        std::swap(entry_, copy.entry_);
        return *this;
    }
    SharedText& operator=(SharedText&& other) noexcept {
        std::swap(entry_, other.entry_);
        return *this;
    }
    ~SharedText() {
        if (entry_ && entry_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            if (entry_->fileEntry) releaseFileEntry(entry_);
            else delete entry_;
        }
    }

    const std::string& str() const noexcept { return entry_ ? entry_->text : emptyText(); }
    operator const std::string&() const noexcept { return str(); }
    operator std::string_view() const noexcept { return str(); }

    bool empty() const noexcept { return entry_ == nullptr || entry_->text.empty(); }
    size_t size() const noexcept { return str().size(); }
    size_t length() const noexcept { return str().size(); }
    const char* c_str() const noexcept { return str().c_str(); }
    const char* data() const noexcept { return str().data(); }
    char operator[](size_t index) const noexcept { return str()[index]; }
    char front() const noexcept { return str().front(); }
    char back() const noexcept { return str().back(); }
    std::string::const_iterator begin() const noexcept { return str().begin(); }
    std::string::const_iterator end() const noexcept { return str().end(); }
    size_t find(std::string_view what, size_t from = 0) const noexcept {
        return str().find(what, from);
    }
    size_t find(char what, size_t from = 0) const noexcept { return str().find(what, from); }
    size_t rfind(char what, size_t from = std::string::npos) const noexcept {
        return str().rfind(what, from);
    }
    std::string substr(size_t from, size_t count = std::string::npos) const {
        return str().substr(from, count);
    }
    bool starts_with(std::string_view prefix) const noexcept {
        return std::string_view(str()).starts_with(prefix);
    }
    bool ends_with(std::string_view suffix) const noexcept {
        return std::string_view(str()).ends_with(suffix);
    }
    size_t find_first_of(std::string_view any, size_t from = 0) const noexcept {
        return str().find_first_of(any, from);
    }
    int compare(std::string_view other) const noexcept { return str().compare(other); }

    // The address of a text is that of the string it holds, as it was when
    // the members were std::string: it stays good while this text is not
    // assigned or destroyed. (std::addressof gives the object itself.)
    const std::string* operator&() const noexcept { return &str(); }

    // Two texts share one entry when one was copied from the other.
    bool sameEntry(const SharedText& other) const noexcept { return entry_ == other.entry_; }

    friend bool operator==(const SharedText& a, const SharedText& b) noexcept {
        return a.entry_ == b.entry_ || a.str() == b.str();
    }
    friend bool operator==(const SharedText& a, const std::string& b) noexcept {
        return a.str() == b;
    }
    friend bool operator==(const SharedText& a, std::string_view b) noexcept {
        return a.str() == b;
    }
    friend bool operator==(const SharedText& a, const char* b) noexcept {
        return a.str() == std::string_view(b);
    }
    friend std::strong_ordering operator<=>(const SharedText& a, const SharedText& b) noexcept {
        return a.str().compare(b.str()) <=> 0;
    }
    friend std::strong_ordering operator<=>(const SharedText& a, const std::string& b) noexcept {
        return a.str().compare(b) <=> 0;
    }

    friend std::string operator+(const SharedText& a, const SharedText& b) {
        return a.str() + b.str();
    }
    friend std::string operator+(const SharedText& a, const std::string& b) { return a.str() + b; }
    friend std::string operator+(const std::string& a, const SharedText& b) { return a + b.str(); }
    friend std::string operator+(std::string&& a, const SharedText& b) {
        return std::move(a) + b.str();
    }
    friend std::string operator+(const SharedText& a, const char* b) { return a.str() + b; }
    friend std::string operator+(const char* a, const SharedText& b) { return a + b.str(); }
    friend std::string operator+(const SharedText& a, char b) { return a.str() + b; }
    friend std::string operator+(char a, const SharedText& b) { return a + b.str(); }
    friend std::string& operator+=(std::string& a, const SharedText& b) { return a += b.str(); }
    friend std::ostream& operator<<(std::ostream& out, const SharedText& text) {
        return out << text.str();
    }

    // The shared entry. A file name's entry (see FileName) is a larger one
    // that also holds the file's text, marked by fileEntry.
    struct Entry {
        std::atomic<uint32_t> refs;
        bool fileEntry;
        const std::string text;
    };

protected:
    // Takes over an entry made with one reference.
    explicit SharedText(Entry* entry) noexcept : entry_(entry) {}
    const Entry* entry() const noexcept { return entry_; }

private:
    static void releaseFileEntry(Entry* entry);
    static const std::string& emptyText() noexcept {
        static const std::string empty;
        return empty;
    }

    Entry* entry_ = nullptr;
};

} // namespace zarn

template <>
struct std::hash<zarn::SharedText> {
    size_t operator()(const zarn::SharedText& text) const noexcept {
        return std::hash<std::string_view>{}(text.str());
    }
};
