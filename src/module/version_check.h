// The interpreter check of the module's entry point, kept free of Python
// headers so that it can be compiled and exercised on its own.
#pragma once

#include <cstring>

namespace pyvyx {

// True when the running interpreter's version text `running` (as
// Py_GetVersion gives it, e.g. "3.11.2 (main, ...) [GCC 12.2.0]") names the
// release `expected` ("3.11"): it starts with `expected` and the next
// character is not a digit, so "3.11.2" and "3.11" pass while "3.110" and
// "3.12.0" do not.
inline bool InterpreterVersionMatches(const char* running, const char* expected) noexcept {
    if (running == nullptr || expected == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(expected);
    if (std::strncmp(running, expected, length) != 0) {
        return false;
    }
    const char next = running[length];
    return !(next >= '0' && next <= '9');
}

}  // namespace pyvyx
