// Buffer descriptions of SDK-owned grids (images, result maps, point maps,
// normals) for the buffer protocol.
//
// Every view is zero-copy and writable: NumPy reads and writes the SDK's
// storage directly. pybind11 records the Python wrapper as the view's owner,
// so an array made from a view keeps the wrapper alive; where the SDK offers
// view pins, the view also keeps the SDK storage alive (module/view_pins.h).
//
// A view is only ever described over memory the SDK says is there: an object
// that is not valid, a null data pointer or an extent that is zero or
// negative gives the empty description (null pointer, item size 0, empty
// format, no dimensions), never a description of memory that cannot be read.
#pragma once

#include <cstdint>

#include <pybind11/pybind11.h>

#include "vyx/types.h"

namespace pyvyx {

namespace py = pybind11;

// The description of a buffer without data: null pointer, item size 0,
// empty format, zero dimensions, writable.
inline py::buffer_info EmptyBufferView() { return py::buffer_info(); }

// A row-major grid of size.height rows x size.width columns, rows packed
// without padding. With `channels` 0 each cell is one element and the view
// has two dimensions (rows, cols); otherwise each cell is `channels` adjacent
// elements and the view has three dimensions (rows, cols, channels).
//
// `valid` is the owning object's own validity; an invalid object, a null
// pointer, a non-positive extent or a negative channel count give the empty
// description.
template <class T>
py::buffer_info GridBufferView(bool valid, T* data, Vyx::Size size, int channels) {
    if (!valid || data == nullptr || size.width <= 0 || size.height <= 0 || channels < 0) {
        return EmptyBufferView();
    }
    // Sign-extended 64-bit extents: no 32-bit product can overflow here.
    const py::ssize_t rows = static_cast<py::ssize_t>(size.height);
    const py::ssize_t cols = static_cast<py::ssize_t>(size.width);
    const py::ssize_t item = static_cast<py::ssize_t>(sizeof(T));
    if (channels == 0) {
        return py::buffer_info(data, item, py::format_descriptor<T>::format(), 2, {rows, cols},
                               {cols * item, item}, /*readonly=*/false);
    }
    const py::ssize_t ch = static_cast<py::ssize_t>(channels);
    return py::buffer_info(data, item, py::format_descriptor<T>::format(), 3, {rows, cols, ch},
                           {cols * ch * item, ch * item, item}, /*readonly=*/false);
}

}  // namespace pyvyx
