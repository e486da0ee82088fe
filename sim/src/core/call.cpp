// The gate of every SDK entry point: trace, initialised check, injected
// failures.
#include "core/call.h"

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
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
// Injected failures

struct Injection {
    int count = 0;
    bool write_outputs = false;
};

std::atomic<int> g_injection_entries{0};  // lets calls skip the mutex when none
std::mutex g_injection_mutex;
std::unordered_map<std::string, Injection> g_injections;

// Consumes one injected failure of `op`, if any.
Gate TakeInjection(const char* op) {
    if (g_injection_entries.load(std::memory_order_acquire) == 0) return Gate::Proceed;
    std::lock_guard lock(g_injection_mutex);
    auto it = g_injections.find(op);
    if (it == g_injections.end()) return Gate::Proceed;
    bool write = it->second.write_outputs;
    if (--it->second.count <= 0) {
        g_injections.erase(it);
        g_injection_entries.store(static_cast<int>(g_injections.size()), std::memory_order_release);
    }
    return write ? Gate::FailAfterWork : Gate::Fail;
}

}  // namespace

Gate Enter(const char* op, std::initializer_list<TraceArg> args, bool needs_init) {
    Record(op, args);
    if (needs_init && !g_initialised.load(std::memory_order_acquire)) {
        SetLastError(kNotInitialized,
                     std::string(op) + ": the system is not initialised (call SystemInit first)");
        return Gate::Fail;
    }
    Gate gate = TakeInjection(op);
    if (gate == Gate::Fail) SetInjectedError(op);
    return gate;
}

void TraceCall(const char* op, std::initializer_list<TraceArg> args) { Record(op, args); }

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
    std::lock_guard lock(g_injection_mutex);
    if (count <= 0) {
        g_injections.erase(op);
    } else {
        g_injections[op] = Injection{count, write_outputs};
    }
    g_injection_entries.store(static_cast<int>(g_injections.size()), std::memory_order_release);
}

void ClearInjectedFailures() {
    std::lock_guard lock(g_injection_mutex);
    g_injections.clear();
    g_injection_entries.store(0, std::memory_order_release);
}

}  // namespace vyxsim
