// Reading hand-written JSON (device configurations, scene descriptions).
// Every problem is thrown as a Problem whose text says where in the document
// it is ("devices[0].scene.objects[2].radius: ..."), so that the one who
// wrote the file can find and mend it.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vyxsim::jsonread {

using nlohmann::json;

struct Problem : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void Throw(const std::string& path, const std::string& what) {
    throw Problem(path.empty() ? what : path + ": " + what);
}

// Deepest nesting of arrays and objects a document may have. Hand-written
// descriptions stay far below it; a document nested thousands of levels deep
// would exhaust the stack of whatever walks or copies it.
constexpr int kMaxNesting = 128;

// Throws unless the arrays and objects of `text` nest at most kMaxNesting
// levels deep. Looks only at brackets outside strings, so it runs before the
// parser and whatever the document is.
inline void CheckNesting(const std::string& text) {
    int depth = 0;
    bool in_string = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\') ++i;
            else if (c == '"') in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxNesting) {
                throw Problem("invalid JSON: nested more than " + std::to_string(kMaxNesting) + " levels deep");
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
}

// Parses `text` (nesting bounded); every failure, a number too large for a
// double included, is thrown as a Problem "invalid JSON: ...".
inline json Parse(const std::string& text) {
    CheckNesting(text);
    try {
        return json::parse(text);
    } catch (const json::exception& e) {
        // Drop the library's "[json.exception.parse_error.101] " prefix.
        std::string what = e.what();
        if (auto p = what.find("] "); p != std::string::npos) what = what.substr(p + 2);
        throw Problem("invalid JSON: " + what);
    }
}

// The path of member `key` of the value at `path`.
inline std::string Join(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

inline const char* TypeName(const json& j) {
    switch (j.type()) {
        case json::value_t::null: return "null";
        case json::value_t::object: return "an object";
        case json::value_t::array: return "an array";
        case json::value_t::string: return "a string";
        case json::value_t::boolean: return "a boolean";
        case json::value_t::number_integer:
        case json::value_t::number_unsigned: return "an integer";
        case json::value_t::number_float: return "a number";
        default: return "an unsupported value";
    }
}

[[noreturn]] inline void WrongType(const std::string& path, const char* expected, const json& got) {
    Throw(path, std::string("expected ") + expected + ", got " + TypeName(got));
}

// Refuses keys other than `allowed` (a "comment" key is always allowed), so
// that a misspelt key is an error instead of being silently ignored.
inline void CheckKeys(const json& obj, const std::string& path, std::initializer_list<const char*> allowed) {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        if (it.key() == "comment") continue;
        bool known = false;
        for (const char* k : allowed) known = known || it.key() == k;
        if (known) continue;
        std::string list;
        for (const char* k : allowed) list += std::string(list.empty() ? "" : ", ") + k;
        Throw(Join(path, it.key()), "unknown key (known: " + list + ")");
    }
}

// Member `key` of an object, or null.
inline const json* Member(const json& obj, const char* key) {
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}

inline int64_t AsInt(const json& v, const std::string& path, int64_t lo, int64_t hi) {
    if (!v.is_number_integer()) WrongType(path, "an integer", v);
    if (v.is_number_unsigned() && v.get<uint64_t>() > static_cast<uint64_t>(hi)) {
        Throw(path, "must be between " + std::to_string(lo) + " and " + std::to_string(hi));
    }
    const int64_t x = v.get<int64_t>();
    if (x < lo || x > hi) {
        Throw(path, std::to_string(x) + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
    }
    return x;
}

inline double AsNumber(const json& v, const std::string& path, double lo, double hi) {
    if (!v.is_number()) WrongType(path, "a number", v);
    const double x = v.get<double>();
    if (!std::isfinite(x) || x < lo || x > hi) {
        std::ostringstream os;
        os << x << " is out of range (" << lo << " to " << hi << ")";
        Throw(path, os.str());
    }
    return x;
}

// The value at `path` as an array of exactly `n` values.
inline const json& ArrayOf(const json& v, const std::string& path, std::size_t n) {
    if (!v.is_array()) WrongType(path, ("an array of " + std::to_string(n) + " values").c_str(), v);
    if (v.size() != n) Throw(path, "expected " + std::to_string(n) + " values, got " + std::to_string(v.size()));
    return v;
}

// An array of exactly `n` numbers, each within lo .. hi.
inline std::vector<double> Numbers(const json& v, const std::string& path, std::size_t n, double lo, double hi) {
    ArrayOf(v, path, n);
    std::vector<double> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) out.push_back(AsNumber(v[i], path + "[" + std::to_string(i) + "]", lo, hi));
    return out;
}

}  // namespace vyxsim::jsonread
