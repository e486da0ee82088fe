// The buffer-slot wrappers that tie a view pin to the Py_buffer it belongs
// to (see view_pins.h).
#include "module/view_pins.h"

#include <cstdint>
#include <new>

namespace pyvyx {

namespace {

// pybind11's own slots, the same for every class with the buffer protocol.
getbufferproc g_pybind11_get = nullptr;
releasebufferproc g_pybind11_release = nullptr;

// What `internal` holds for a pinned view: pybind11's record and the pin. The
// pointer to it carries a set low bit, which no pointer to pybind11's record
// (an ordinary heap allocation) has, so the release wrapper tells the two
// apart; views without a pin keep pybind11's record untouched.
struct PinnedBuffer {
    void* pybind11_record;
    Vyx::ViewPin* pin;
};

constexpr std::uintptr_t kPinnedTag = 1;

int GetBufferWithPin(PyObject* obj, Py_buffer* view, int flags) {
    PendingViewPin() = nullptr;
    const int rc = g_pybind11_get(obj, view, flags);
    Vyx::ViewPin* pin = std::exchange(PendingViewPin(), nullptr);
    if (pin == nullptr) return rc;
    if (rc != 0) {
        Vyx::UnpinView(pin);
        return rc;
    }
    auto* pinned = new (std::nothrow) PinnedBuffer{view->internal, pin};
    if (pinned == nullptr) {
        // Undo the request as PyBuffer_Release would, then fail it.
        g_pybind11_release(obj, view);
        Py_CLEAR(view->obj);
        Vyx::UnpinView(pin);
        PyErr_NoMemory();
        return -1;
    }
    view->internal = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(pinned) | kPinnedTag);
    return 0;
}

void ReleaseBufferWithPin(PyObject* obj, Py_buffer* view) {
    const auto bits = reinterpret_cast<std::uintptr_t>(view->internal);
    if ((bits & kPinnedTag) == 0) {
        g_pybind11_release(obj, view);
        return;
    }
    auto* pinned = reinterpret_cast<PinnedBuffer*>(bits & ~kPinnedTag);
    view->internal = pinned->pybind11_record;
    Vyx::ViewPin* pin = pinned->pin;
    delete pinned;
    g_pybind11_release(obj, view);
    Vyx::UnpinView(pin);
}

}  // namespace

void CarryViewPins(py::handle cls) {
    if (!SdkHasViewPins()) return;
    PyBufferProcs* procs = reinterpret_cast<PyTypeObject*>(cls.ptr())->tp_as_buffer;
    if (procs == nullptr || procs->bf_getbuffer == nullptr || procs->bf_releasebuffer == nullptr) {
        throw std::logic_error("CarryViewPins: the class has no buffer protocol");
    }
    if (procs->bf_getbuffer == &GetBufferWithPin) return;
    if (g_pybind11_get == nullptr) {
        g_pybind11_get = procs->bf_getbuffer;
        g_pybind11_release = procs->bf_releasebuffer;
    } else if (procs->bf_getbuffer != g_pybind11_get || procs->bf_releasebuffer != g_pybind11_release) {
        throw std::logic_error("CarryViewPins: the class's buffer slots are not pybind11's");
    }
    procs->bf_getbuffer = &GetBufferWithPin;
    procs->bf_releasebuffer = &ReleaseBufferWithPin;
}

}  // namespace pyvyx
