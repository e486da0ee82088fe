// The module's only exported symbol. Written out rather than generated so
// that the interpreter release it accepts comes from the build
// (PYVYX_EXPECTED_PYTHON), which lets a test build expect another one.
#include <Python.h>

#include <exception>

#include <pybind11/pybind11.h>

#include "module/register_all.h"
#include "module/version_check.h"

#ifndef PYVYX_EXPECTED_PYTHON
#error "PYVYX_EXPECTED_PYTHON must name the interpreter release, e.g. \"3.11\""
#endif

namespace {

namespace py = pybind11;

// Filled in by create_extension_module: name PyVyx, no docstring, no
// per-module state (size -1), no method table, no slots.
PyModuleDef module_definition;

PyObject* CreateAndRegister() {
    py::detail::get_internals();
    // pybind11 hands back a module_ holding its own reference and leaves the
    // reference of creation to the caller; `created` takes that one, so the
    // module is freed if registration fails and returned with exactly one
    // reference otherwise.
    py::module_ m = py::module_::create_extension_module("PyVyx", nullptr, &module_definition);
    auto created = py::reinterpret_steal<py::object>(m.ptr());
    try {
        pyvyx::RegisterAll(m);
        return created.release().ptr();
    }
    PYBIND11_CATCH_INIT_EXCEPTIONS
}

}  // namespace

extern "C" PYBIND11_EXPORT PyObject* PyInit_PyVyx();

extern "C" PYBIND11_EXPORT PyObject* PyInit_PyVyx() {
    const char* running = Py_GetVersion();
    if (!pyvyx::InterpreterVersionMatches(running, PYVYX_EXPECTED_PYTHON)) {
        PyErr_Format(PyExc_ImportError,
                     "Python version mismatch: module was compiled for Python %s, "
                     "but the interpreter version is incompatible: %s.",
                     PYVYX_EXPECTED_PYTHON, running);
        return nullptr;
    }
    // Creating the module fails with the error CPython set, or with pybind11's
    // "Internal error in module_::create_extension_module()" when it set
    // none; neither may escape a C entry point.
    try {
        return CreateAndRegister();
    } catch (py::error_already_set& e) {
        e.restore();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_ImportError, e.what());
    } catch (...) {
        PyErr_SetString(PyExc_ImportError, "Caught an unknown exception!");
    }
    return nullptr;
}
