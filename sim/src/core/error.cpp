// The per-thread last error, and the SDK's two calls that read it.
#include "core/error.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

#include "vyx/system.h"

namespace vyxsim {
namespace {

struct LastError {
    int code = kOk;
    std::string message;
};

LastError& ThreadError() noexcept {
    thread_local LastError error;
    return error;
}

// A message scripted through the control interface; the flag lets failing
// calls skip the mutex when nothing is scripted (the usual case).
std::atomic<bool> g_scripted{false};
std::mutex g_scripted_mutex;
std::optional<std::string> g_scripted_message;

std::optional<std::string> TakeScriptedMessage() {
    if (!g_scripted.load(std::memory_order_acquire)) return std::nullopt;
    std::lock_guard lock(g_scripted_mutex);
    std::optional<std::string> message = std::move(g_scripted_message);
    g_scripted_message.reset();
    g_scripted.store(false, std::memory_order_release);
    return message;
}

// Length of the valid UTF-8 sequence at `p` (at most `n` bytes available),
// or 0 when the bytes there do not start one.
std::size_t Utf8SequenceLength(const unsigned char* p, std::size_t n) {
    unsigned char c = p[0];
    if (c < 0x80) return 1;
    std::size_t len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (n < len) return 0;
    for (std::size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF.
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return len;
}

std::string PrintableBytes(const unsigned char* p, std::size_t n, std::size_t max_bytes) {
    std::string out;
    std::size_t i = 0;
    while (i < n) {
        if (out.size() >= max_bytes) {
            out += "...";
            break;
        }
        std::size_t len = Utf8SequenceLength(p + i, n - i);
        if (len == 0 || (len == 1 && (p[i] < 0x20 || p[i] == 0x7F))) {
            char buf[5];
            std::snprintf(buf, sizeof buf, "\\x%02X", p[i]);
            out += buf;
            ++i;
        } else {
            out.append(reinterpret_cast<const char*>(p + i), len);
            i += len;
        }
    }
    return out;
}

}  // namespace

void SetLastError(int code, std::string message) {
    LastError& error = ThreadError();
    error.code = code;
    if (std::optional<std::string> scripted = TakeScriptedMessage()) {
        error.message = std::move(*scripted);
    } else {
        error.message = std::move(message);
    }
}

void SetLastErrorCodeOnly(int code) noexcept {
    LastError& error = ThreadError();
    error.code = code;
    // Every std::string holds short texts (up to 15 bytes) without
    // allocating, so this assignment cannot fail.
    error.message.clear();
    if (code == kInternal) error.message.append("internal error");
}

bool IsUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = Utf8SequenceLength(p + i, text.size() - i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string Printable(const char* text, std::size_t max_bytes) {
    if (!text) return "(null)";
    return PrintableBytes(reinterpret_cast<const unsigned char*>(text), std::strlen(text),
                          max_bytes);
}

std::string Printable(const std::string& text, std::size_t max_bytes) {
    return PrintableBytes(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                          max_bytes);
}

void SetScriptedErrorMessage(std::string message) {
    std::lock_guard lock(g_scripted_mutex);
    g_scripted_message = std::move(message);
    g_scripted.store(true, std::memory_order_release);
}

void ClearScriptedErrorMessage() {
    std::lock_guard lock(g_scripted_mutex);
    g_scripted_message.reset();
    g_scripted.store(false, std::memory_order_release);
}

}  // namespace vyxsim

namespace Vyx {

// These two report the record and cannot fail: reading it throws nothing
// (ThreadError is noexcept), so they need no boundary of their own.
int GetLastError() { return vyxsim::ThreadError().code; }

// The text stays valid until the calling thread's next failing call.
const char* GetLastErrorMessage() { return vyxsim::ThreadError().message.c_str(); }

}  // namespace Vyx
