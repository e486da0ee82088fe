// Text crossing between the SDK and Python.
//
// The SDK hands out text in three forms, each with its own helper here:
//   - C strings it returns directly (GetVersion, the ToString name tables):
//     bind the function as it is; pybind11 turns a `const char*` result into
//     a strict UTF-8 `str`, or `None` for a null pointer, after the
//     interpreter lock is taken back.
//   - C strings that another call may overwrite (GetLastErrorMessage):
//     CopyText makes a private copy while the lock is still released.
//   - Fixed character arrays, inside records (DeviceInfo) or as output
//     buffers (GetNetworkConfig, GetUserSetName): read only within the
//     array, up to the first NUL, whatever the SDK wrote there.
//
// Decoding is always strict UTF-8: text that is not UTF-8 raises
// UnicodeDecodeError rather than coming back altered.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include <pybind11/pybind11.h>

namespace pyvyx {

namespace py = pybind11;

// The text at `text` up to its first NUL, looking at no more than `capacity`
// bytes: a buffer that the SDK filled without a terminator yields all of its
// `capacity` bytes, never a read beyond them. A null pointer is empty text.
inline std::string_view BoundedView(const char* text, std::size_t capacity) noexcept {
    if (text == nullptr) {
        return {};
    }
    const void* nul = std::memchr(text, '\0', capacity);
    const std::size_t length =
        nul == nullptr ? capacity : static_cast<std::size_t>(static_cast<const char*>(nul) - text);
    return {text, length};
}

// A new `str` from UTF-8 bytes, decoded strictly: invalid UTF-8 raises
// UnicodeDecodeError (as error_already_set). Needs the interpreter lock.
inline py::str StrictStr(std::string_view utf8) {
    return py::str(utf8.data(), utf8.size());
}

// A new `bytes` from the bytes as they are. Needs the interpreter lock.
inline py::bytes RawBytes(std::string_view raw) { return py::bytes(raw.data(), raw.size()); }

// A fixed character array of an SDK record read as `str` / `bytes`: the bytes
// before the first NUL within the array.
template <std::size_t N>
py::str FieldText(const char (&field)[N]) {
    return StrictStr(BoundedView(field, N));
}
template <std::size_t N>
py::bytes FieldBytes(const char (&field)[N]) {
    return RawBytes(BoundedView(field, N));
}

// A read-only `str` property over a fixed character array of a record,
// read with FieldText on every access. The getter is built as a method of
// the class, so its help text names the record `self`, as the def_readonly
// fields of the same record do.
template <class Record, std::size_t N, class... Options>
void DefReadonlyText(py::class_<Record, Options...>& cls, const char* name,
                     char (Record::*field)[N]) {
    cls.def_property_readonly(
        name, py::cpp_function([field](const Record& rec) { return FieldText(rec.*field); },
                               py::is_method(cls)));
}

// A private copy of an SDK C string (up to its NUL), for text in SDK storage
// that a later call may replace. Safe without the interpreter lock. A null
// pointer copies as empty text rather than being read.
inline std::string CopyText(const char* text) { return text == nullptr ? std::string() : std::string(text); }

// Output buffers for SDK calls that write a NUL-terminated text into a
// caller-owned array of N bytes. The buffer starts all zero; `data()` is what
// the SDK gets. Returned from a bound function (alone or inside a result
// tuple) the buffer becomes a `str` (StrBuffer, strict UTF-8) or a `bytes`
// (BytesBuffer) holding the bytes before the first NUL within the N bytes.
// Both can be filled with the interpreter lock released; the conversion runs
// after it is taken back.
enum class TextForm { Str, Bytes };

template <std::size_t N, TextForm Form>
struct TextBuffer {
    static_assert(N > 0, "a text buffer needs room for its NUL");
    char text[N] = {};
    char* data() noexcept { return text; }
    std::string_view view() const noexcept { return BoundedView(text, N); }
};

template <std::size_t N>
using StrBuffer = TextBuffer<N, TextForm::Str>;
template <std::size_t N>
using BytesBuffer = TextBuffer<N, TextForm::Bytes>;

// A text argument for an SDK call that takes a C string (a path, a serial
// number, a name, a network address). It accepts what pybind11 accepts for
// `const char*` (a str as UTF-8, bytes as they are, None as a null pointer)
// but refuses, with ValueError as Python's own open() does, text with a NUL
// byte inside: the SDK would read it only up to that byte and act on the
// shorter text. Passes to the SDK as the `const char*` it wraps.
class CText {
public:
    CText() = default;
    explicit CText(std::string text) : text_(std::move(text)), null_(false) {}
    const char* get() const noexcept { return null_ ? nullptr : text_.c_str(); }
    operator const char*() const noexcept { return get(); }  // NOLINT: passes as the SDK's type

private:
    std::string text_;
    bool null_ = true;
};

// TextArgs(f): the function or member function `f` with each of its
// `const char*` parameters taken as a CText, for binding SDK calls directly.
template <class T>
struct TextParam {
    using type = T;
};
template <>
struct TextParam<const char*> {
    using type = const CText&;
};

template <class R, class... A>
auto TextArgs(R (*f)(A...)) {
    return [f](typename TextParam<A>::type... a) -> R { return f(a...); };
}
template <class R, class C, class... A>
auto TextArgs(R (C::*f)(A...)) {
    return [f](C& self, typename TextParam<A>::type... a) -> R { return (self.*f)(a...); };
}
template <class R, class C, class... A>
auto TextArgs(R (C::*f)(A...) const) {
    return [f](const C& self, typename TextParam<A>::type... a) -> R { return (self.*f)(a...); };
}

}  // namespace pyvyx

namespace pybind11 {
namespace detail {

// Result-only conversion of the output buffers above; signatures show them
// as `str` or `bytes`. They are never accepted as arguments.
template <std::size_t N, pyvyx::TextForm Form>
struct type_caster<pyvyx::TextBuffer<N, Form>> {
    using Buffer = pyvyx::TextBuffer<N, Form>;
    static constexpr bool kAsStr = Form == pyvyx::TextForm::Str;
    PYBIND11_TYPE_CASTER(Buffer, const_name<kAsStr>("str", "bytes"));
    bool load(handle, bool) { return false; }
    static handle cast(const Buffer& src, return_value_policy, handle) {
        if (kAsStr) {
            return pyvyx::StrictStr(src.view()).release();
        }
        return pyvyx::RawBytes(src.view()).release();
    }
};

template <>
struct type_caster<pyvyx::CText> {
    PYBIND11_TYPE_CASTER(pyvyx::CText, const_name(PYBIND11_STRING_NAME));
    bool load(handle src, bool convert) {
        if (!src) {
            return false;
        }
        if (src.is_none()) {
            if (!convert) {
                return false;
            }
            value = pyvyx::CText();
            return true;
        }
        make_caster<std::string> text;
        if (!text.load(src, convert)) {
            return false;
        }
        std::string& bytes = text;
        if (bytes.find('\0') != std::string::npos) {
            throw value_error("embedded null byte");
        }
        value = pyvyx::CText(std::move(bytes));
        return true;
    }
    static handle cast(const pyvyx::CText& src, return_value_policy, handle) {
        return src.get() == nullptr ? none().release() : str(src.get()).release();
    }
};

}  // namespace detail
}  // namespace pybind11
