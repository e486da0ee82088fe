// The gate every SDK entry point passes first: trace, system state, faults.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "core/handles.h"

namespace vyxsim {

// One traced argument, formatted only when tracing is on.
struct TraceArg {
    enum class T : uint8_t { Bool, Int, UInt, Double, Text, Handle };
    const char* name;
    T t;
    union {
        bool b;
        int64_t i;
        uint64_t u;
        double d;
        const char* s;
        Words w;
    };
    TraceArg(const char* n, bool v) : name(n), t(T::Bool), b(v) {}
    TraceArg(const char* n, int v) : name(n), t(T::Int), i(v) {}
    TraceArg(const char* n, long v) : name(n), t(T::Int), i(v) {}
    TraceArg(const char* n, long long v) : name(n), t(T::Int), i(v) {}
    TraceArg(const char* n, unsigned v) : name(n), t(T::UInt), u(v) {}
    TraceArg(const char* n, unsigned long v) : name(n), t(T::UInt), u(v) {}
    TraceArg(const char* n, unsigned long long v) : name(n), t(T::UInt), u(v) {}
    TraceArg(const char* n, double v) : name(n), t(T::Double), d(v) {}
    TraceArg(const char* n, const char* v) : name(n), t(T::Text), s(v) {}
    TraceArg(const char* n, Words v) : name(n), t(T::Handle), w(v) {}
};

enum class Gate {
    Proceed,        // do the work and report its result
    Fail,           // report failure now; the last error is set
    FailAfterWork,  // do the work (write outputs) but then report failure
};

// Traces `op(args)`, refuses when the system is not initialised (unless
// `needs_init` is false) and applies a failure injected for `op`.
//
// Trace lines read `Op(name=value, ...)`: bools true/false, integers in
// decimal, doubles with up to 17 significant digits, texts in double quotes
// (null as null), handles as #a.b.
Gate Enter(const char* op, std::initializer_list<TraceArg> args = {}, bool needs_init = true);

// Sets the last error for an injected failure of `op` and returns `result`;
// used after Gate::FailAfterWork.
void SetInjectedError(const char* op);
template <class R>
R FailInjected(R result, const char* op) {
    SetInjectedError(op);
    return result;
}

bool SystemInitialised();

}  // namespace vyxsim
