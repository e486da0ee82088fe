// The gate every SDK entry point passes first: trace, system state, faults.
#pragma once

#include <cstdint>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

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

// ---------------------------------------------------------------------------
// The boundary of every entry point: no exception leaves the SDK. Each entry
// point catches everything (a function-try-block, or the shared template its
// calls run in) and reports it with FailUnexpected.
//
// Enter and TraceCall record, per thread, the op of the call passing the gate
// (the innermost one, should an entry point ever call another: the inner call
// catches what it throws itself, and an outer call that passed its gate
// earlier is then reported under the inner op). An exception raised before an
// entry point's gate (only while it formats its trace arguments) is reported
// under the op this thread passed the gate with last.
const char* CurrentOp() noexcept;

// For a catch (...) handler at an entry point: sets kInternal with the
// message "<op>: internal error: <what>", <op> being CurrentOp() and <what>
// the exception's what() (made printable), "out of memory" for
// std::bad_alloc, "unknown exception" for anything that is no
// std::exception. Never throws; when even the message cannot be allocated
// the code is set with a shorter message.
void SetUnexpectedError() noexcept;
template <class R>
R FailUnexpected(R result) noexcept {
    SetUnexpectedError();
    return result;
}
inline void FailUnexpected() noexcept { SetUnexpectedError(); }

// Injected exceptions (control interface): the next `count` calls of `op`
// throw from inside the gate, right after their trace line (and a hold), before
// the initialised check: std::bad_alloc with `out_of_memory`, otherwise a
// std::runtime_error. count <= 0 removes the entry. ClearInjectedFailures
// forgets these too.
void InjectException(const std::string& op, int count, bool out_of_memory);

bool SystemInitialised();
void SetSystemInitialised(bool initialised);
// SystemShutdown without its trace line (for the control interface's reset).
void ShutdownSystem();

// Traces `op(args)` only: for the calls that report no failures of their own
// (SystemIsInited, SystemShutdown, GetVersion). It records the op and applies
// injected exceptions as Enter does.
void TraceCall(const char* op, std::initializer_list<TraceArg> args = {});

// The trace line for `op(args)`, as Enter records it.
std::string FormatTraceLine(const char* op, std::initializer_list<TraceArg> args);

// In-memory trace (control interface). At most kTraceCapacity lines are kept;
// older ones are dropped first.
constexpr std::size_t kTraceCapacity = 100000;
void SetTraceRecording(bool on);
bool TraceRecording();
std::vector<std::string> TakeTraceLines();
void ClearTraceLines();

// Injected failures (control interface): the next `count` calls of `op` fail
// (count <= 0 removes the entry); with `write_outputs` they do their work
// first. ClearInjectedFailures also forgets the injected exceptions.
void InjectFailure(const std::string& op, int count, bool write_outputs);
void ClearInjectedFailures();

// Held calls (control interface). While `op` is held, every call of it that
// passes the gate waits there, right after its trace line and before the
// initialised check and injected failures, until the hold is withdrawn or
// `limit_ms` of real (steady-clock) time have passed since it began waiting;
// then it goes on as if it had just entered. Holding an op already held only
// changes the limit for calls that begin waiting later.
constexpr int kDefaultHoldLimitMs = 60000;
void HoldOp(const std::string& op, int limit_ms);
// Withdraws the hold on `op`; returns how many calls it let go.
int ReleaseOp(const std::string& op);
// Withdraws every hold and lets every waiting call go.
void ReleaseAllOps();
// Number of calls of `op` waiting in the gate now.
int HeldOpCalls(const std::string& op);

}  // namespace vyxsim
