// Number formatting and parsing for the text formats: shortest round-trip
// decimal for doubles (std::to_chars), locale-independent parsing
// (std::from_chars), "nan" for not-a-number.
#pragma once

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vyxsim::fmt {

// Room one formatted double needs, with a separator.
constexpr std::size_t kMaxNumberChars = 32;

inline char* PutDouble(char* p, double v) {
    if (std::isnan(v)) {
        std::memcpy(p, "nan", 3);
        return p + 3;
    }
    return std::to_chars(p, p + kMaxNumberChars, v).ptr;
}

inline char* PutFloat(char* p, float v) {
    if (std::isnan(v)) {
        std::memcpy(p, "nan", 3);
        return p + 3;
    }
    return std::to_chars(p, p + kMaxNumberChars, v).ptr;
}

inline char* PutUnsigned(char* p, uint64_t v) {
    return std::to_chars(p, p + kMaxNumberChars, v).ptr;
}

// Records a decoding problem in `error` and returns false.
inline bool Bad(std::string* error, std::string message) {
    *error = std::move(message);
    return false;
}

// Up to 40 characters of `text` in single quotes for a message, with control
// and non-ASCII bytes shown as '?'.
inline std::string Quote(std::string_view text) {
    std::string s(text.substr(0, 40));
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
    }
    return "'" + s + (text.size() > 40 ? "...'" : "'");
}

// The space- or tab-separated words of one header line, at most
// `max_tokens` of them (a longer line's rest is not read).
inline void SplitLine(std::string_view line, std::size_t max_tokens, std::vector<std::string_view>* tokens) {
    tokens->clear();
    std::size_t i = 0;
    while (i < line.size() && tokens->size() < max_tokens) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) tokens->push_back(line.substr(start, i - start));
    }
}

// Whitespace-separated tokens of a buffer.
class Tokens {
public:
    Tokens(const char* begin, const char* end) : p_(begin), end_(end) {}
    // The next token; empty at the end of the data.
    std::string_view Next() {
        while (p_ < end_ && IsSpace(*p_)) ++p_;
        const char* start = p_;
        while (p_ < end_ && !IsSpace(*p_)) ++p_;
        return std::string_view(start, static_cast<std::size_t>(p_ - start));
    }
    std::size_t Remaining() const { return static_cast<std::size_t>(end_ - p_); }

    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

private:
    const char* p_;
    const char* end_;
};

// A whole token as a double (an optional leading '+' is allowed).
// Numbers beyond the type's range read as they would round: infinite when
// the exponent is positive, zero when it is negative.
template <class T>
bool ParseReal(std::string_view t, T* v) {
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    if (t.empty()) return false;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), *v);
    if (r.ptr != t.data() + t.size()) return false;
    if (r.ec == std::errc()) return true;
    if (r.ec != std::errc::result_out_of_range) return false;
    const bool negative = t[0] == '-';
    const std::size_t e = t.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && e + 1 < t.size() && t[e + 1] == '-';
    const T magnitude = tiny ? T(0) : std::numeric_limits<T>::infinity();
    *v = negative ? -magnitude : magnitude;
    return true;
}

inline bool ParseDouble(std::string_view t, double* v) { return ParseReal(t, v); }
inline bool ParseFloat(std::string_view t, float* v) { return ParseReal(t, v); }

// A whole token as an unsigned decimal integer.
inline bool ParseUnsigned(std::string_view t, uint64_t* v) {
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    if (t.empty()) return false;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), *v);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

inline bool ParseSigned(std::string_view t, int64_t* v) {
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    if (t.empty()) return false;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), *v);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

}  // namespace vyxsim::fmt
