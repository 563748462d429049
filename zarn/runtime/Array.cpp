#include "zarn/runtime/GC.h"
#include "zarn/runtime/Object.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace zarn {

static_assert(static_cast<int>(ArrayObject::Storage::Bool) == static_cast<int>(ValueKind::Bool) &&
                  static_cast<int>(ArrayObject::Storage::Int) == static_cast<int>(ValueKind::Int) &&
                  static_cast<int>(ArrayObject::Storage::Float) ==
                      static_cast<int>(ValueKind::Float) &&
                  static_cast<int>(ArrayObject::Storage::Values) ==
                      static_cast<int>(ValueKind::Null),
              "scalar storages carry the number of the kind they hold; Null is held as Values");

ArrayObject::ArrayObject(std::span<const Value> elements) : GcObject(ObjectKind::Array) {
    if (elements.empty()) return;
    storage_ = storageFor(elements.front());
    for (const Value& element : elements) {
        if (!fits(element)) {
            storage_ = Storage::Values;
            break;
        }
    }
    grow(elements.size(), 0); // exactly: a literal's size is known
    for (const Value& element : elements) store(length_++, element);
}

ArrayObject::~ArrayObject() { std::free(data_); }

void ArrayObject::trace(GC& gc) {
    if (storage_ != Storage::Values) return;
    const Value* elements = values();
    for (size_t i = 0; i < length_; ++i) gc.markValue(elements[i]);
}

void ArrayObject::grow(size_t count, size_t minimumBytes) {
    const size_t unit = width();
    if (count > SIZE_MAX / sizeof(Value) / 2) throw std::bad_alloc();
    size_t capacity = std::max<size_t>({count, capacity_ * 2, minimumBytes / unit});
    void* grown = std::realloc(data_, capacity * unit);
    if (grown == nullptr) throw std::bad_alloc();
    data_ = static_cast<unsigned char*>(grown);
    capacity_ = capacity;
}

void ArrayObject::generalise() {
    if (storage_ == Storage::Values) return;
    // The elements are read from the old storage while written to a new one,
    // with room for the element whose arrival made the change.
    size_t capacity = std::max<size_t>(length_ + 1, 4);
    auto* converted = static_cast<Value*>(std::malloc(capacity * sizeof(Value)));
    if (converted == nullptr) throw std::bad_alloc();
    for (size_t i = 0; i < length_; ++i) converted[i] = get(i);
    std::free(data_);
    data_ = reinterpret_cast<unsigned char*>(converted);
    capacity_ = capacity;
    storage_ = Storage::Values;
}

void ArrayObject::reuseAs(Storage storage) {
    const size_t bytes = capacity_ * width();
    storage_ = storage;
    capacity_ = bytes / width();
}

} // namespace zarn
