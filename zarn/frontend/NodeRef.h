// A link from one node of a tree to another. The arena of the parse owns
// every node (see NodeArena) and the tree's root owns the arena, so a link
// counts nothing: it is a plain pointer, half the size of a shared pointer,
// with the same way of use (get, ->, *, a test for null, conversion to a
// base class). A moved-from link is empty, as a moved-from shared pointer is.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>

namespace zarn {

template <typename T>
class NodeRef {
public:
    using element_type = T;

    constexpr NodeRef() noexcept = default;
    constexpr NodeRef(std::nullptr_t) noexcept {}
    explicit NodeRef(T* node) noexcept : node_(node) {}
    NodeRef(const NodeRef&) noexcept = default;
    NodeRef(NodeRef&& other) noexcept : node_(other.node_) { other.node_ = nullptr; }
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    NodeRef(const NodeRef<U>& other) noexcept : node_(other.get()) {}
    // A link to a root that an owner holds; the owner must outlive the link.
    // Explicit, so that an owner is never dropped for a link by accident.
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    explicit NodeRef(const std::shared_ptr<U>& owner) noexcept : node_(owner.get()) {}

    NodeRef& operator=(const NodeRef&) noexcept = default;
    NodeRef& operator=(NodeRef&& other) noexcept {
        node_ = other.node_;
        if (&other != this) other.node_ = nullptr;
        return *this;
    }

    T* get() const noexcept { return node_; }
    T& operator*() const noexcept { return *node_; }
    T* operator->() const noexcept { return node_; }
    explicit operator bool() const noexcept { return node_ != nullptr; }
    void reset() noexcept { node_ = nullptr; }

    template <typename U>
    friend bool operator==(const NodeRef& a, const NodeRef<U>& b) noexcept {
        return a.get() == b.get();
    }
    friend bool operator==(const NodeRef& a, std::nullptr_t) noexcept { return a.node_ == nullptr; }

private:
    T* node_ = nullptr;
};

// The link as a derived class, as std::static_pointer_cast does for shared pointers.
template <typename To, typename From>
NodeRef<To> staticNodeCast(const NodeRef<From>& from) noexcept {
    return NodeRef<To>(static_cast<To*>(from.get()));
}

} // namespace zarn

template <typename T>
struct std::hash<zarn::NodeRef<T>> {
    size_t operator()(const zarn::NodeRef<T>& ref) const noexcept {
        return std::hash<T*>()(ref.get());
    }
};
