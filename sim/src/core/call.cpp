// The gate of every SDK entry point: trace, initialised check, injected
// failures and exceptions, and the report of what an entry point caught at
// its boundary.
#include "core/call.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

#include "core/error.h"

namespace vyxsim {
namespace {

std::atomic<bool> g_initialised{false};

// ---------------------------------------------------------------------------
// Trace

std::atomic<bool> g_recording{false};
std::mutex g_trace_mutex;
std::deque<std::string> g_trace;

bool TraceToStderr() {
    static const bool on = [] {
        const char* v = std::getenv("VYX_TRACE");
        return v && std::strcmp(v, "1") == 0;
    }();
    return on;
}

constexpr std::size_t kMaxTracedText = 256;

}  // namespace

std::string FormatTraceLine(const char* op, std::initializer_list<TraceArg> args) {
    std::string line = op ? op : "?";
    line += '(';
    bool first = true;
    for (const TraceArg& a : args) {
        if (!first) line += ", ";
        first = false;
        line += a.name;
        line += '=';
        char buf[64];
        switch (a.t) {
            case TraceArg::T::Bool: line += a.b ? "true" : "false"; break;
            case TraceArg::T::Int: line += std::to_string(a.i); break;
            case TraceArg::T::UInt: line += std::to_string(a.u); break;
            case TraceArg::T::Double: {
                // Shortest text that reads back as the same double (at most
                // 17 significant digits).
                auto r = std::to_chars(buf, buf + sizeof buf, a.d);
                line.append(buf, r.ptr);
                break;
            }
            case TraceArg::T::Text: {
                if (!a.s) {
                    line += "null";
                    break;
                }
                // Escape quotes and backslashes of the text first, so that the
                // \xNN escapes Printable adds for bytes that are not UTF-8 or
                // are control characters cannot be mistaken for text.
                std::size_t n = std::strlen(a.s);
                bool truncated = n > kMaxTracedText;
                if (truncated) {
                    n = kMaxTracedText;
                    while (n > 0 && (static_cast<unsigned char>(a.s[n]) & 0xC0) == 0x80) --n;
                }
                std::string escaped;
                escaped.reserve(n + 8);
                for (std::size_t i = 0; i < n; ++i) {
                    if (a.s[i] == '"' || a.s[i] == '\\') escaped += '\\';
                    escaped += a.s[i];
                }
                line += '"';
                line += Printable(escaped, std::string::npos);
                line += '"';
                if (truncated) line += "...";
                break;
            }
            case TraceArg::T::Handle:
                line += '#';
                line += std::to_string(a.w.a);
                line += '.';
                line += std::to_string(a.w.b);
                break;
        }
    }
    line += ')';
    return line;
}

namespace {

void Record(const char* op, std::initializer_list<TraceArg> args) {
    bool to_stderr = TraceToStderr();
    bool recording = g_recording.load(std::memory_order_relaxed);
    if (!to_stderr && !recording) return;  // formatted only when someone reads it
    std::string line = FormatTraceLine(op, args);
    if (to_stderr) {
        std::string out = "[vyx] " + line + "\n";
        std::fwrite(out.data(), 1, out.size(), stderr);  // one write: lines never interleave
    }
    if (recording) {
        std::lock_guard lock(g_trace_mutex);
        if (!g_recording.load(std::memory_order_relaxed)) return;
        if (g_trace.size() >= kTraceCapacity) g_trace.pop_front();
        g_trace.push_back(std::move(line));
    }
}

// ---------------------------------------------------------------------------
// Injected failures and exceptions

// Per-op entries that the next `count` calls of the op consume, one each:
// injected failures and injected exceptions.
template <class Entry>
class Injections {
public:
    // Consumes one call of `op`'s entry into `*taken`; false when it has none.
    bool Take(const char* op, Entry* taken) {
        if (entries_.load(std::memory_order_acquire) == 0 || op == nullptr) return false;
        std::lock_guard lock(mutex_);
        auto it = map_.find(op);
        if (it == map_.end()) return false;
        *taken = it->second.entry;
        if (--it->second.count <= 0) {
            map_.erase(it);
            entries_.store(static_cast<int>(map_.size()), std::memory_order_release);
        }
        return true;
    }
    // The next `count` calls of `op` take `entry` (count <= 0 removes it).
    void Set(const std::string& op, int count, Entry entry) {
        std::lock_guard lock(mutex_);
        if (count <= 0) {
            map_.erase(op);
        } else {
            map_[op] = Counted{count, entry};
        }
        entries_.store(static_cast<int>(map_.size()), std::memory_order_release);
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        map_.clear();
        entries_.store(0, std::memory_order_release);
    }

private:
    struct Counted {
        int count = 0;
        Entry entry{};
    };
    std::atomic<int> entries_{0};  // lets calls skip the mutex when there are none
    std::mutex mutex_;
    std::unordered_map<std::string, Counted> map_;
};

struct Failure {
    bool write_outputs = false;
};
struct Exception {
    bool out_of_memory = false;
};

Injections<Failure> g_failures;
Injections<Exception> g_exceptions;

// Consumes one injected failure of `op`, if any.
Gate TakeInjection(const char* op) {
    Failure f;
    if (!g_failures.Take(op, &f)) return Gate::Proceed;
    return f.write_outputs ? Gate::FailAfterWork : Gate::Fail;
}

// Throws when an exception is injected for `op`, consuming one.
void ThrowIfInjected(const char* op) {
    Exception e;
    if (!g_exceptions.Take(op, &e)) return;
    if (e.out_of_memory) throw std::bad_alloc();
    throw std::runtime_error("exception injected through the control interface");
}

// The op of the call that passed the gate last on this thread (CurrentOp).
thread_local const char* t_current_op = nullptr;

// ---------------------------------------------------------------------------
// Held calls

struct Hold {
    std::uint64_t id = 0;  // tells a waiter whether the hold it waits on still stands
    int limit_ms = kDefaultHoldLimitMs;
};

struct HoldState {
    std::mutex mutex;  // guards everything below
    std::condition_variable released;
    std::uint64_t next_id = 1;
    std::unordered_map<std::string, Hold> holds;
    std::unordered_map<std::string, int> waiting;  // op -> calls waiting now (no zero entries)
};

std::atomic<int> g_hold_entries{0};  // lets calls skip the mutex when nothing is held

// Never destroyed: held calls on other threads may still wait while the
// process exits.
HoldState& Holds() {
    static HoldState* state = new HoldState;
    return *state;
}

// Waits while `op` is held (see HoldOp).
void WaitIfHeld(const char* op) {
    if (g_hold_entries.load(std::memory_order_acquire) == 0 || op == nullptr) return;
    HoldState& s = Holds();
    std::unique_lock lock(s.mutex);
    const std::string key(op);
    auto it = s.holds.find(key);
    if (it == s.holds.end()) return;
    const std::uint64_t id = it->second.id;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(it->second.limit_ms);
    ++s.waiting[key];
    s.released.wait_until(lock, deadline, [&] {
        auto h = s.holds.find(key);
        return h == s.holds.end() || h->second.id != id;
    });
    if (--s.waiting[key] == 0) s.waiting.erase(key);
}

}  // namespace

Gate Enter(const char* op, std::initializer_list<TraceArg> args, bool needs_init) {
    t_current_op = op;  // first: whatever throws below is reported under `op`
    Record(op, args);
    WaitIfHeld(op);
    ThrowIfInjected(op);
    if (needs_init && !g_initialised.load(std::memory_order_acquire)) {
        SetLastError(kNotInitialized,
                     std::string(op) + ": the system is not initialised (call SystemInit first)");
        return Gate::Fail;
    }
    Gate gate = TakeInjection(op);
    if (gate == Gate::Fail) SetInjectedError(op);
    return gate;
}

void TraceCall(const char* op, std::initializer_list<TraceArg> args) {
    t_current_op = op;
    Record(op, args);
    WaitIfHeld(op);
    ThrowIfInjected(op);
}

const char* CurrentOp() noexcept { return t_current_op; }

void SetUnexpectedError() noexcept {
    const char* op = t_current_op ? t_current_op : "Vyx";
    // What was thrown, without letting anything out of here.
    const char* what = "unknown exception";
    std::string text;
    try {
        const std::exception_ptr current = std::current_exception();
        if (current) std::rethrow_exception(current);
    } catch (const std::bad_alloc&) {
        what = "out of memory";
    } catch (const std::exception& e) {
        try {
            text = Printable(e.what());
            what = text.c_str();
        } catch (...) {
            what = "an exception whose text cannot be kept";
        }
    } catch (...) {
    }
    try {
        SetLastError(kInternal, std::string(op) + ": internal error: " + what);
    } catch (...) {
        // Not even the message fits in memory: the code alone still tells.
        SetLastErrorCodeOnly(kInternal);
    }
}

void SetInjectedError(const char* op) {
    SetLastError(kInjectedFault, std::string(op) + ": failure injected through the control interface");
}

bool SystemInitialised() { return g_initialised.load(std::memory_order_acquire); }
void SetSystemInitialised(bool initialised) {
    g_initialised.store(initialised, std::memory_order_release);
}

void SetTraceRecording(bool on) {
    std::lock_guard lock(g_trace_mutex);
    g_recording.store(on, std::memory_order_relaxed);
}

bool TraceRecording() { return g_recording.load(std::memory_order_relaxed); }

std::vector<std::string> TakeTraceLines() {
    std::lock_guard lock(g_trace_mutex);
    std::vector<std::string> lines(std::make_move_iterator(g_trace.begin()),
                                   std::make_move_iterator(g_trace.end()));
    g_trace.clear();
    return lines;
}

void ClearTraceLines() {
    std::lock_guard lock(g_trace_mutex);
    g_trace.clear();
}

void InjectFailure(const std::string& op, int count, bool write_outputs) {
    g_failures.Set(op, count, Failure{write_outputs});
}

void ClearInjectedFailures() {
    g_failures.Clear();
    g_exceptions.Clear();
}

void InjectException(const std::string& op, int count, bool out_of_memory) {
    g_exceptions.Set(op, count, Exception{out_of_memory});
}

void HoldOp(const std::string& op, int limit_ms) {
    HoldState& s = Holds();
    std::lock_guard lock(s.mutex);
    auto [it, added] = s.holds.try_emplace(op);
    if (added) it->second.id = s.next_id++;
    it->second.limit_ms = std::max(limit_ms, 0);
    g_hold_entries.store(static_cast<int>(s.holds.size()), std::memory_order_release);
}

int ReleaseOp(const std::string& op) {
    HoldState& s = Holds();
    int let_go = 0;
    {
        std::lock_guard lock(s.mutex);
        if (s.holds.erase(op) == 0) return 0;
        g_hold_entries.store(static_cast<int>(s.holds.size()), std::memory_order_release);
        auto w = s.waiting.find(op);
        if (w != s.waiting.end()) let_go = w->second;
    }
    s.released.notify_all();
    return let_go;
}

void ReleaseAllOps() {
    HoldState& s = Holds();
    {
        std::lock_guard lock(s.mutex);
        s.holds.clear();
        g_hold_entries.store(0, std::memory_order_release);
    }
    s.released.notify_all();
}

int HeldOpCalls(const std::string& op) {
    HoldState& s = Holds();
    std::lock_guard lock(s.mutex);
    auto w = s.waiting.find(op);
    return w == s.waiting.end() ? 0 : w->second;
}

}  // namespace vyxsim
