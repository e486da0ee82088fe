// Strict, bounded parsing of .npy headers.
#include "recording/npy.h"

#include <cstring>

namespace vyxsim::rec {

namespace {

// A cursor over the header text; every read checks the end first.
struct Cursor {
    const char* p;
    const char* end;

    void SkipSpace() {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
    }
    bool Take(char c) {
        SkipSpace();
        if (p < end && *p == c) {
            ++p;
            return true;
        }
        return false;
    }
    bool Peek(char c) {
        SkipSpace();
        return p < end && *p == c;
    }
    // A quoted text ('...' or "..."), without escapes (NumPy writes none).
    bool Text(std::string* out) {
        SkipSpace();
        if (p >= end || (*p != '\'' && *p != '"')) return false;
        const char q = *p++;
        const char* start = p;
        while (p < end && *p != q) {
            if (*p == '\\' || *p == '\n') return false;
            ++p;
        }
        if (p >= end) return false;
        out->assign(start, p);
        ++p;
        return true;
    }
    bool Word(const char* w) {
        SkipSpace();
        const std::size_t n = std::strlen(w);
        if (static_cast<std::size_t>(end - p) < n || std::memcmp(p, w, n) != 0) return false;
        p += n;
        return true;
    }
    // A non-negative decimal integer of at most 10 digits, at most 2^31.
    bool Integer(int64_t* out) {
        SkipSpace();
        int64_t v = 0;
        int digits = 0;
        while (p < end && *p >= '0' && *p <= '9') {
            if (++digits > 10) return false;
            v = v * 10 + (*p - '0');
            ++p;
        }
        if (digits == 0 || v > (int64_t{1} << 31)) return false;
        if (p < end && *p == 'L') ++p;  // Python 2 long suffix
        *out = v;
        return true;
    }
};

bool Bad(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

}  // namespace

std::string ShapeText(const std::vector<int64_t>& shape) {
    std::string s = "(";
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (i) s += ", ";
        s += std::to_string(shape[i]);
    }
    if (shape.size() == 1) s += ",";
    return s + ")";
}

bool ParseNpyHeader(const uint8_t* data, std::size_t size, NpyHeader* out, std::string* error) {
    static const uint8_t kMagic[6] = {0x93, 'N', 'U', 'M', 'P', 'Y'};
    if (size < 10 || std::memcmp(data, kMagic, 6) != 0) return Bad(error, "not a NumPy .npy file (no \\x93NUMPY magic)");
    out->major = data[6];
    out->minor = data[7];
    std::size_t header_len = 0, prefix = 0;
    if (out->major == 1) {
        header_len = data[8] | (std::size_t{data[9]} << 8);
        prefix = 10;
    } else if (out->major == 2) {
        if (size < 12) return Bad(error, "the .npy header is truncated");
        header_len = data[8] | (std::size_t{data[9]} << 8) | (std::size_t{data[10]} << 16) |
                     (std::size_t{data[11]} << 24);
        prefix = 12;
    } else {
        return Bad(error, ".npy format version " + std::to_string(out->major) + "." + std::to_string(out->minor) +
                              " is not supported (1.0 and 2.0 are)");
    }
    if (header_len > kMaxNpyHeaderBytes) {
        return Bad(error, "the .npy header declares " + std::to_string(header_len) + " bytes; at most " +
                              std::to_string(kMaxNpyHeaderBytes) + " are accepted");
    }
    if (size - prefix < header_len) return Bad(error, "the .npy header is truncated");
    out->data_offset = prefix + header_len;

    Cursor c{reinterpret_cast<const char*>(data + prefix), reinterpret_cast<const char*>(data + prefix + header_len)};
    const std::string bad = "the .npy header is not a dictionary of descr, fortran_order and shape";
    if (!c.Take('{')) return Bad(error, bad);
    bool have_descr = false, have_order = false, have_shape = false;
    while (!c.Take('}')) {
        std::string key;
        if (!c.Text(&key) || !c.Take(':')) return Bad(error, bad);
        if (key == "descr" && !have_descr) {
            if (!c.Text(&out->descr)) return Bad(error, bad);
            have_descr = true;
        } else if (key == "fortran_order" && !have_order) {
            if (c.Word("True")) out->fortran_order = true;
            else if (c.Word("False")) out->fortran_order = false;
            else return Bad(error, bad);
            have_order = true;
        } else if (key == "shape" && !have_shape) {
            if (!c.Take('(')) return Bad(error, bad);
            out->shape.clear();
            while (!c.Take(')')) {
                int64_t v;
                if (out->shape.size() >= 8 || !c.Integer(&v)) return Bad(error, bad);
                out->shape.push_back(v);
                if (!c.Take(',') && !c.Peek(')')) return Bad(error, bad);
            }
            have_shape = true;
        } else {
            return Bad(error, "the .npy header has an unknown or repeated key '" + key + "'");
        }
        if (!c.Take(',') && !c.Peek('}')) return Bad(error, bad);
    }
    c.SkipSpace();
    if (c.p != c.end || !have_descr || !have_order || !have_shape) return Bad(error, bad);
    return true;
}

}  // namespace vyxsim::rec
