// Growable buffers whose new elements are left uninitialised, for storage
// that is filled right after it is sized (file data, decoded values): sizing
// a plain std::vector writes every element once more for nothing.
#pragma once

#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace vyxsim::fmt {

template <class T>
struct DefaultInitAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    DefaultInitAllocator() = default;
    template <class U>
    DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}

    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible<U>::value) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// resize() leaves new values indeterminate; assign(n, v) and the other
// operations behave as usual.
using DoubleBuffer = std::vector<double, DefaultInitAllocator<double>>;

}  // namespace vyxsim::fmt
