// SDK output parameters turned into Python result tuples.
//
// An SDK call that writes outputs through reference or pointer parameters is
// bound as a function returning a std::tuple, which pybind11 converts into a
// Python tuple after the interpreter lock is taken back: the SDK's result
// first, then the outputs in SDK parameter order. The outputs live in the
// tuple itself, start from the values the caller gives, and are returned
// whether or not the call succeeded. Nothing here touches Python, so all of
// it runs with the interpreter lock released.
//
//     .def("GetSize", [](const Vyx::Image& self) {
//         return ResultTuple([&](Vyx::Size& size) { return self.GetSize(size); },
//                            Vyx::Size{});
//     }, ReleaseGil())
#pragma once

#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

#include <pybind11/pybind11.h>

namespace pyvyx {

namespace py = pybind11;

// Call guard for every binding whose SDK call runs without the interpreter
// lock: argument conversion before and result conversion after still hold it.
using ReleaseGil = py::call_guard<py::gil_scoped_release>;

// A value of an SDK record with every byte zero, padding and unexposed
// members included: the starting value of a record that the SDK fills, so
// fields it leaves alone read as 0, False, empty text or the 0-valued member.
template <typename T>
T Zeroed() noexcept {
    static_assert(std::is_trivially_copyable_v<T> && std::is_default_constructible_v<T>,
                  "Zeroed is for plain SDK records");
    T value;
    std::memset(static_cast<void*>(&value), 0, sizeof(T));
    return value;
}

// Calls `call` with a reference to each output, each starting from the given
// value, and returns (call's result, outputs...).
template <typename Call, typename... Outs>
auto ResultTuple(Call&& call, Outs... start) {
    std::tuple<Outs...> outs{std::move(start)...};
    auto result = std::apply(std::forward<Call>(call), outs);
    return std::tuple_cat(std::make_tuple(std::move(result)), std::move(outs));
}

// As ResultTuple for the calls whose tuple holds only the outputs: the
// call's own result is dropped.
template <typename Call, typename... Outs>
auto OutputTuple(Call&& call, Outs... start) {
    std::tuple<Outs...> outs{std::move(start)...};
    std::apply(std::forward<Call>(call), outs);
    return outs;
}

}  // namespace pyvyx
