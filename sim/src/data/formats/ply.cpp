#include "data/formats/ply.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

#include "data/formats/records.h"
#include "data/formats/text.h"

namespace vyxsim::fmt {

namespace {

// Words read of one header line (the longest, a list property, has five).
constexpr std::size_t kMaxHeaderWords = 64;

enum class PType : uint8_t { I8, U8, I16, U16, I32, U32, F32, F64 };

bool TypeFromName(std::string_view n, PType* t) {
    static const struct {
        const char* name;
        PType type;
    } kTypes[] = {{"char", PType::I8},    {"int8", PType::I8},     {"uchar", PType::U8},
                  {"uint8", PType::U8},   {"short", PType::I16},   {"int16", PType::I16},
                  {"ushort", PType::U16}, {"uint16", PType::U16},  {"int", PType::I32},
                  {"int32", PType::I32},  {"uint", PType::U32},    {"uint32", PType::U32},
                  {"float", PType::F32},  {"float32", PType::F32}, {"double", PType::F64},
                  {"float64", PType::F64}};
    for (const auto& k : kTypes) {
        if (n == k.name) {
            *t = k.type;
            return true;
        }
    }
    return false;
}

std::size_t TypeSize(PType t) {
    switch (t) {
        case PType::I8:
        case PType::U8:
            return 1;
        case PType::I16:
        case PType::U16:
            return 2;
        case PType::I32:
        case PType::U32:
        case PType::F32:
            return 4;
        case PType::F64:
            return 8;
    }
    return 1;
}

// One value of type `t` at `p`, byte-swapped first when `swap`.
inline double LoadValue(const uint8_t* p, PType t, bool swap) {
    uint8_t b[8];
    const std::size_t n = TypeSize(t);
    if (swap) {
        for (std::size_t i = 0; i < n; ++i) b[i] = p[n - 1 - i];
    } else {
        std::memcpy(b, p, n);
    }
    switch (t) {
        case PType::I8: return static_cast<int8_t>(b[0]);
        case PType::U8: return b[0];
        case PType::I16: { int16_t v; std::memcpy(&v, b, 2); return v; }
        case PType::U16: { uint16_t v; std::memcpy(&v, b, 2); return v; }
        case PType::I32: { int32_t v; std::memcpy(&v, b, 4); return v; }
        case PType::U32: { uint32_t v; std::memcpy(&v, b, 4); return v; }
        case PType::F32: { float v; std::memcpy(&v, b, 4); return v; }
        case PType::F64: { double v; std::memcpy(&v, b, 8); return v; }
    }
    return 0;
}

// Where a property's values go.
enum Slot : int {
    kIgnore = -1,
    kX = 0,        // 0..2: x y z
    kNormal = 3,   // 3..5: nx ny nz
    kColor = 6,    // 6..8: red green blue
    kFaceList = 9  // vertex index list of a face
};

struct Property {
    std::string_view name;
    PType type = PType::F64;
    bool is_list = false;
    PType count_type = PType::U8;
    int slot = kIgnore;
};

struct Element {
    std::string_view name;
    uint64_t count = 0;
    std::vector<Property> props;
    bool has_list = false;
    std::size_t stride = 0;  // bytes per instance when there are no lists
};

enum class Format { Ascii, BinaryLE, BinaryBE };

struct Header {
    Format format = Format::Ascii;
    std::vector<Element> elements;
    std::size_t body = 0;  // offset of the first body byte
    bool has_grid = false;
    int64_t grid_width = 0;
    int64_t grid_height = 0;
    bool has_timestamp = false;
    uint64_t timestamp = 0;
};

// Reads "organized width W height H" and "timestamp T" comments; other
// comments are ignored. A grid with sizes out of range is an error.
bool ParseComment(const std::vector<std::string_view>& t, Header* h, std::string* error) {
    if (t.size() >= 2 && (t[1] == "organized" || t[1] == "organised")) {
        int64_t w = -1, ht = -1;
        for (std::size_t i = 2; i + 1 < t.size(); ++i) {
            if (t[i] == "width") ParseSigned(t[i + 1], &w);
            if (t[i] == "height") ParseSigned(t[i + 1], &ht);
        }
        if (w == -1 || ht == -1) return true;  // not our comment
        if (w <= 0 || ht <= 0 || w > INT32_MAX || ht > INT32_MAX) {
            return Bad(error, "invalid grid in PLY comment: width " + std::to_string(w) +
                                  " height " + std::to_string(ht));
        }
        h->has_grid = true;
        h->grid_width = w;
        h->grid_height = ht;
    } else if (t.size() >= 3 && t[1] == "timestamp") {
        uint64_t ts = 0;
        if (ParseUnsigned(t[2], &ts)) {
            h->has_timestamp = true;
            h->timestamp = ts;
        }
    }
    return true;
}

bool ParseHeader(const uint8_t* data, std::size_t size, bool want_faces, Header* h,
                 std::string* error) {
    const char* text = reinterpret_cast<const char*>(data);
    if (size < 4 || std::memcmp(text, "ply", 3) != 0 || (text[3] != '\n' && text[3] != '\r')) {
        return Bad(error, "not a PLY file (no 'ply' magic line)");
    }
    const std::size_t limit = std::min(size, kMaxHeaderBytes);
    std::size_t pos = 0;
    bool first = true, have_format = false, ended = false;
    std::vector<std::string_view> t;
    while (pos < limit) {
        const void* nl = std::memchr(text + pos, '\n', limit - pos);
        if (nl == nullptr) break;
        const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(nl) - text);
        std::string_view line(text + pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = end + 1;
        if (first) {
            first = false;
            continue;  // "ply", checked above
        }
        SplitLine(line, kMaxHeaderWords, &t);
        if (t.empty()) continue;
        const std::string_view kw = t[0];
        if (kw == "format") {
            if (t.size() != 3 || (t[2] != "1.0" && t[2] != "1")) {
                return Bad(error, "unsupported PLY format line " + Quote(line));
            }
            if (t[1] == "ascii") {
                h->format = Format::Ascii;
            } else if (t[1] == "binary_little_endian") {
                h->format = Format::BinaryLE;
            } else if (t[1] == "binary_big_endian") {
                h->format = Format::BinaryBE;
            } else {
                return Bad(error, "unsupported PLY format " + Quote(t[1]));
            }
            have_format = true;
        } else if (kw == "comment" || kw == "obj_info") {
            if (!ParseComment(t, h, error)) return false;
        } else if (kw == "element") {
            Element e;
            if (t.size() != 3 || !ParseUnsigned(t[2], &e.count)) {
                return Bad(error, "invalid PLY element line " + Quote(line));
            }
            if (h->elements.size() >= 64) return Bad(error, "too many PLY elements");
            e.name = t[1];
            h->elements.push_back(e);
        } else if (kw == "property") {
            if (h->elements.empty()) return Bad(error, "PLY property before any element");
            Element& e = h->elements.back();
            if (e.props.size() >= 256) return Bad(error, "too many PLY properties");
            Property p;
            if (t.size() == 5 && t[1] == "list") {
                if (!TypeFromName(t[2], &p.count_type) || !TypeFromName(t[3], &p.type) ||
                    p.count_type == PType::F32 || p.count_type == PType::F64) {
                    return Bad(error, "invalid PLY list property " + Quote(line));
                }
                p.is_list = true;
                p.name = t[4];
                e.has_list = true;
            } else if (t.size() == 3 && TypeFromName(t[1], &p.type)) {
                p.name = t[2];
            } else {
                return Bad(error, "invalid PLY property line " + Quote(line));
            }
            for (const Property& q : e.props) {
                if (q.name == p.name) return Bad(error, "duplicate PLY property " + Quote(p.name));
            }
            e.props.push_back(p);
        } else if (kw == "end_header") {
            ended = true;
            break;
        } else {
            return Bad(error, "unexpected PLY header line " + Quote(line));
        }
    }
    if (!ended) return Bad(error, "PLY header without end_header");
    if (!have_format) return Bad(error, "PLY header without a format line");
    h->body = pos;

    // Property roles: points, normals and colours of the vertices; the index
    // list of the faces.
    bool seen_vertex = false;
    for (Element& e : h->elements) {
        if (e.name == "vertex" && !seen_vertex) {
            seen_vertex = true;
            static const char* kNames[] = {"x", "y", "z", "nx", "ny", "nz", "red", "green", "blue"};
            int found[9];
            std::fill(std::begin(found), std::end(found), -1);
            for (std::size_t i = 0; i < e.props.size(); ++i) {
                for (int s = 0; s < 9; ++s) {
                    if (!e.props[i].is_list && e.props[i].name == kNames[s]) {
                        found[s] = static_cast<int>(i);
                    }
                }
            }
            if (found[0] < 0 || found[1] < 0 || found[2] < 0) {
                return Bad(error, "PLY vertices without x, y and z");
            }
            for (int s = 0; s < 3; ++s) e.props[static_cast<std::size_t>(found[s])].slot = s;
            if (found[3] >= 0 && found[4] >= 0 && found[5] >= 0) {
                for (int s = 3; s < 6; ++s) e.props[static_cast<std::size_t>(found[s])].slot = s;
            }
            if (found[6] >= 0 && found[7] >= 0 && found[8] >= 0) {
                bool uchar = true;
                for (int s = 6; s < 9; ++s) {
                    uchar = uchar && e.props[static_cast<std::size_t>(found[s])].type == PType::U8;
                }
                if (uchar) {
                    for (int s = 6; s < 9; ++s) e.props[static_cast<std::size_t>(found[s])].slot = s;
                }
            }
        } else if (e.name == "face" && want_faces) {
            for (Property& p : e.props) {
                if (p.is_list && (p.name == "vertex_indices" || p.name == "vertex_index")) {
                    p.slot = kFaceList;
                    break;
                }
            }
        }
        e.stride = 0;
        for (const Property& p : e.props) e.stride += p.is_list ? 0 : TypeSize(p.type);
    }
    if (!seen_vertex) return Bad(error, "PLY file without a vertex element");
    return true;
}

// Destinations while reading the body.
struct Targets {
    double* points = nullptr;
    double* normals = nullptr;
    uint8_t* colors = nullptr;
    std::vector<std::array<uint32_t, 3>>* triangles = nullptr;
    std::vector<double> face;  // indices of the face being read
};

inline void Store(Targets& t, int slot, std::size_t i, double v) {
    if (slot < kNormal) {
        t.points[3 * i + static_cast<std::size_t>(slot)] = v;
    } else if (slot < kColor) {
        if (t.normals != nullptr) t.normals[3 * i + static_cast<std::size_t>(slot - kNormal)] = v;
    } else if (t.colors != nullptr) {
        // Text files may hold any number here; out-of-range values saturate.
        const double c = v >= 0 ? std::min(v, 255.0) : 0.0;
        t.colors[3 * i + static_cast<std::size_t>(slot - kColor)] = static_cast<uint8_t>(c);
    }
}

// Splits the face just read into a triangle fan.
bool FinishFace(Targets& t, std::string* error) {
    if (t.face.size() < 3) return true;  // degenerate faces carry no triangle
    uint32_t idx[3];
    for (std::size_t k = 0; k < t.face.size(); ++k) {
        const double v = t.face[k];
        if (!(v >= 0 && v <= 4294967295.0) || v != std::floor(v)) {
            return Bad(error, "invalid PLY face index");
        }
    }
    idx[0] = static_cast<uint32_t>(t.face[0]);
    for (std::size_t k = 1; k + 1 < t.face.size(); ++k) {
        idx[1] = static_cast<uint32_t>(t.face[k]);
        idx[2] = static_cast<uint32_t>(t.face[k + 1]);
        t.triangles->push_back({idx[0], idx[1], idx[2]});
    }
    return true;
}

template <class T, bool Swap>
inline T LoadAs(const uint8_t* p) {
    uint8_t b[sizeof(T)];
    if constexpr (Swap) {
        for (std::size_t i = 0; i < sizeof(T); ++i) b[i] = p[sizeof(T) - 1 - i];
    } else {
        std::memcpy(b, p, sizeof(T));
    }
    T v;
    std::memcpy(&v, b, sizeof(T));
    return v;
}

// Stores property `slot` of `n` instances `stride` bytes apart.
template <class T, bool Swap>
void CopyColumnAs(const uint8_t* src, std::size_t stride, std::size_t n, int slot, Targets& t) {
    if (slot < kNormal) {
        double* dst = t.points + slot;
        for (std::size_t i = 0; i < n; ++i) dst[3 * i] = static_cast<double>(LoadAs<T, Swap>(src + i * stride));
    } else if (slot < kColor) {
        double* dst = t.normals + (slot - kNormal);
        for (std::size_t i = 0; i < n; ++i) dst[3 * i] = static_cast<double>(LoadAs<T, Swap>(src + i * stride));
    } else {
        for (std::size_t i = 0; i < n; ++i) Store(t, slot, i, static_cast<double>(LoadAs<T, Swap>(src + i * stride)));
    }
}

template <bool Swap>
void CopyColumnSwap(PType type, const uint8_t* src, std::size_t stride, std::size_t n, int slot, Targets& t) {
    switch (type) {
        case PType::I8: return CopyColumnAs<int8_t, Swap>(src, stride, n, slot, t);
        case PType::U8: return CopyColumnAs<uint8_t, Swap>(src, stride, n, slot, t);
        case PType::I16: return CopyColumnAs<int16_t, Swap>(src, stride, n, slot, t);
        case PType::U16: return CopyColumnAs<uint16_t, Swap>(src, stride, n, slot, t);
        case PType::I32: return CopyColumnAs<int32_t, Swap>(src, stride, n, slot, t);
        case PType::U32: return CopyColumnAs<uint32_t, Swap>(src, stride, n, slot, t);
        case PType::F32: return CopyColumnAs<float, Swap>(src, stride, n, slot, t);
        case PType::F64: return CopyColumnAs<double, Swap>(src, stride, n, slot, t);
    }
}

void CopyColumn(PType type, bool swap, const uint8_t* src, std::size_t stride, std::size_t n, int slot,
                Targets& t) {
    if (swap) {
        CopyColumnSwap<true>(type, src, stride, n, slot, t);
    } else {
        CopyColumnSwap<false>(type, src, stride, n, slot, t);
    }
}

bool ReadBinaryElement(const Element& e, bool store, bool swap, const uint8_t* data,
                       std::size_t size, std::size_t* pos, Targets& t, std::string* error) {
    const std::string truncated = "truncated PLY data in element " + Quote(e.name);
    if (!e.has_list) {
        const std::size_t left = size - *pos;
        if (e.stride > 0 && e.count > left / e.stride) return Bad(error, truncated);
        if (!store || e.count == 0) {
            *pos += static_cast<std::size_t>(e.count) * e.stride;
            return true;
        }
        // One pass per stored property, with the type known to the loop.
        std::size_t offset = 0;
        const uint8_t* base = data + *pos;
        const std::size_t n = static_cast<std::size_t>(e.count);
        for (std::size_t k = 0; k < e.props.size(); ++k) {
            const Property& p = e.props[k];
            // x y z as adjacent native doubles (what the SDK writes): one copy
            // of 24 bytes per vertex.
            if (p.slot == kX && !swap && p.type == PType::F64 && k + 2 < e.props.size() &&
                e.props[k + 1].slot == kX + 1 && e.props[k + 1].type == PType::F64 &&
                e.props[k + 2].slot == kX + 2 && e.props[k + 2].type == PType::F64) {
                const uint8_t* src = base + offset;
                for (std::size_t i = 0; i < n; ++i) std::memcpy(t.points + 3 * i, src + i * e.stride, 24);
                offset += 24;
                k += 2;
                continue;
            }
            if (p.slot != kIgnore) CopyColumn(p.type, swap, base + offset, e.stride, n, p.slot, t);
            offset += TypeSize(p.type);
        }
        *pos += n * e.stride;
        return true;
    }
    // Instances of varying size: walk them one by one.
    for (std::size_t i = 0; i < e.count; ++i) {
        for (const Property& p : e.props) {
            if (!p.is_list) {
                const std::size_t n = TypeSize(p.type);
                if (n > size - *pos) return Bad(error, truncated);
                if (store && p.slot != kIgnore) Store(t, p.slot, i, LoadValue(data + *pos, p.type, swap));
                *pos += n;
                continue;
            }
            const std::size_t cn = TypeSize(p.count_type);
            if (cn > size - *pos) return Bad(error, truncated);
            const double count = LoadValue(data + *pos, p.count_type, swap);
            *pos += cn;
            if (count < 0) return Bad(error, "negative PLY list length");
            const std::size_t n = TypeSize(p.type);
            const auto items = static_cast<std::size_t>(count);
            if (items > (size - *pos) / n) return Bad(error, truncated);
            if (store && p.slot == kFaceList) {
                t.face.clear();
                for (std::size_t k = 0; k < items; ++k) {
                    t.face.push_back(LoadValue(data + *pos + k * n, p.type, swap));
                }
                if (!FinishFace(t, error)) return false;
            }
            *pos += items * n;
        }
    }
    return true;
}

bool ReadAsciiElement(const Element& e, bool store, Tokens& tok, Targets& t, std::string* error) {
    if (e.props.empty()) return true;
    const std::string truncated = "truncated or damaged PLY data in element " + Quote(e.name);
    // Every value takes at least one character and a separator.
    const std::size_t most = tok.Remaining() / 2 + 1;
    if (e.count > most / e.props.size()) return Bad(error, truncated);
    for (std::size_t i = 0; i < e.count; ++i) {
        for (const Property& p : e.props) {
            if (!p.is_list) {
                double v;
                if (!ParseDouble(tok.Next(), &v)) return Bad(error, truncated);
                if (store && p.slot != kIgnore) Store(t, p.slot, i, v);
                continue;
            }
            uint64_t items = 0;
            if (!ParseUnsigned(tok.Next(), &items)) return Bad(error, truncated);
            if (items > tok.Remaining()) return Bad(error, truncated);
            t.face.clear();
            for (uint64_t k = 0; k < items; ++k) {
                double v;
                if (!ParseDouble(tok.Next(), &v)) return Bad(error, truncated);
                if (store && p.slot == kFaceList) t.face.push_back(v);
            }
            if (store && p.slot == kFaceList && !FinishFace(t, error)) return false;
        }
    }
    return true;
}

}  // namespace

namespace {

const Element* VertexElement(const Header& h) {
    for (const Element& e : h.elements) {
        if (e.name == "vertex") return &e;
    }
    return nullptr;  // ParseHeader makes sure there is one
}

// Checks what the header declares for the vertices against the data there
// is, before anything is allocated for them.
bool CheckVertices(const Header& h, const Element& vertex, std::size_t size, std::string* error) {
    // At least one byte (binary) or two characters (ascii) per value.
    const std::size_t body = size - h.body;
    const std::size_t min_bytes = h.format == Format::Ascii
                                      ? std::max<std::size_t>(1, vertex.props.size()) * 2 - 1
                                      : std::max<std::size_t>(1, vertex.stride);
    if (vertex.count > 0 && (vertex.count > body || (vertex.count - 1) > body / min_bytes)) {
        return Bad(error, "truncated PLY data: " + std::to_string(vertex.count) +
                              " vertices declared, the file holds " + std::to_string(body) +
                              " bytes of data");
    }
    if (h.has_grid &&
        static_cast<uint64_t>(h.grid_width) * static_cast<uint64_t>(h.grid_height) != vertex.count) {
        return Bad(error, "PLY grid " + std::to_string(h.grid_width) + " x " +
                              std::to_string(h.grid_height) + " does not match its " +
                              std::to_string(vertex.count) + " vertices");
    }
    return true;
}

void CopyHeaderInfo(const Header& h, CloudData* c) {
    c->has_grid = h.has_grid;
    c->grid_width = static_cast<int32_t>(h.grid_width);
    c->grid_height = static_cast<int32_t>(h.grid_height);
    c->has_timestamp = h.has_timestamp;
    c->timestamp = h.timestamp;
}

}  // namespace

bool DecodePly(const uint8_t* data, std::size_t size, CloudData* out, std::string* error,
               bool want_faces) {
    Header h;
    if (!ParseHeader(data, size, want_faces, &h, error)) return false;
    const Element* vertex = VertexElement(h);
    if (!CheckVertices(h, *vertex, size, error)) return false;
    bool normals = false, colors = false;
    for (const Property& p : vertex->props) {
        normals = normals || p.slot == kNormal;
        colors = colors || p.slot == kColor;
    }

    CloudData c;
    c.count = static_cast<std::size_t>(vertex->count);
    c.has_normals = normals;
    c.has_colors = colors;
    Targets t;
    try {
        c.values.assign(c.count * (normals ? 6 : 3), 0.0);
        if (colors) c.colors.assign(c.count * 3, 0);
    } catch (const std::bad_alloc&) {
        return Bad(error, "cannot allocate " + std::to_string(c.count) + " PLY vertices");
    }
    t.points = c.values.data();
    t.normals = normals ? c.values.data() + 3 * c.count : nullptr;
    t.colors = colors ? c.colors.data() : nullptr;
    t.triangles = &c.triangles;

    std::size_t pos = h.body;
    Tokens tok(reinterpret_cast<const char*>(data) + h.body, reinterpret_cast<const char*>(data) + size);
    try {
        for (const Element& e : h.elements) {
            const bool store = &e == vertex || (want_faces && e.name == "face");
            const bool ok = h.format == Format::Ascii
                                ? ReadAsciiElement(e, store, tok, t, error)
                                : ReadBinaryElement(e, store, h.format == Format::BinaryBE, data, size,
                                                    &pos, t, error);
            if (!ok) return false;
            // Everything after the vertices matters only for faces.
            if (&e == vertex && !want_faces) break;
        }
    } catch (const std::bad_alloc&) {
        return Bad(error, "cannot allocate the PLY faces");
    }
    for (const auto& tri : c.triangles) {
        for (uint32_t i : tri) {
            if (i >= c.count) {
                return Bad(error, "PLY face refers to vertex " + std::to_string(i) + " of " +
                                      std::to_string(c.count));
            }
        }
    }
    CopyHeaderInfo(h, &c);
    *out = std::move(c);
    return true;
}

bool DecodePlyStream(ByteReader& reader, std::size_t size, double divisor, CloudData* out,
                     std::string* error, bool* read_failed) {
    *read_failed = false;
    // The header lies within the first kMaxHeaderBytes.
    const std::size_t head_size = std::min(size, kMaxHeaderBytes);
    std::vector<uint8_t> head(head_size);
    if (!reader.Read(head.data(), head_size, error)) {
        *read_failed = true;
        return false;
    }
    Header h;
    if (!ParseHeader(head.data(), head_size, false, &h, error)) return false;
    const Element& first = h.elements.front();
    // The layout the SDK writes: the vertices first, nothing in them but
    // x y z and optionally nx ny nz, all little-endian doubles.
    bool fast = h.format == Format::BinaryLE && first.name == "vertex" && !first.has_list &&
                (first.props.size() == 3 || first.props.size() == 6);
    for (std::size_t k = 0; fast && k < first.props.size(); ++k) {
        fast = first.props[k].type == PType::F64 && first.props[k].slot == static_cast<int>(k);
    }
    if (!fast) {
        // Anything else: the whole file in memory.
        std::vector<uint8_t> all;
        try {
            all.resize(size);
        } catch (const std::bad_alloc&) {
            return Bad(error, "cannot allocate " + std::to_string(size) + " bytes for the file");
        }
        std::memcpy(all.data(), head.data(), head_size);
        if (!reader.Read(all.data() + head_size, size - head_size, error)) {
            *read_failed = true;
            return false;
        }
        if (!DecodePly(all.data(), size, out, error)) return false;
        if (divisor != 1.0) {
            for (std::size_t j = 0; j < 3 * out->count; ++j) out->values[j] /= divisor;
        }
        return true;
    }
    if (!CheckVertices(h, first, size, error)) return false;
    const std::size_t n = static_cast<std::size_t>(first.count);
    if (n > (size - h.body) / first.stride) return Bad(error, "truncated PLY data in element 'vertex'");

    CloudData c;
    c.count = n;
    c.has_normals = first.props.size() == 6;
    std::vector<uint8_t> scratch;
    try {
        c.values.resize((c.has_normals ? 6 : 3) * n);
        if (c.has_normals) scratch.resize(std::min<std::size_t>(n, (std::size_t{1} << 20) / 48) * 48);
    } catch (const std::bad_alloc&) {
        return Bad(error, "cannot allocate " + std::to_string(n) + " PLY vertices");
    }
    // Body bytes come from what was read with the header first, then from
    // the reader.
    std::size_t head_pos = h.body;
    auto fill = [&](uint8_t* dst, std::size_t bytes) {
        const std::size_t from_head = std::min(bytes, head_size - head_pos);
        std::memcpy(dst, head.data() + head_pos, from_head);
        head_pos += from_head;
        if (bytes > from_head && !reader.Read(dst + from_head, bytes - from_head, error)) {
            *read_failed = true;
            return false;
        }
        return true;
    };
    // In blocks of about 1 MiB, each divided while it is in the cache.
    double* points = c.values.data();
    constexpr std::size_t kBlock = (std::size_t{1} << 20) / 48;
    for (std::size_t i = 0; i < n;) {
        const std::size_t m = std::min(n - i, kBlock);
        double* block = points + 3 * i;
        if (!c.has_normals) {
            if (!fill(reinterpret_cast<uint8_t*>(block), 24 * m)) return false;
        } else {
            double* normals = points + 3 * n + 3 * i;
            if (!fill(scratch.data(), 48 * m)) return false;
            for (std::size_t j = 0; j < m; ++j) {
                std::memcpy(block + 3 * j, &scratch[48 * j], 24);
                std::memcpy(normals + 3 * j, &scratch[48 * j + 24], 24);
            }
        }
        if (divisor != 1.0) {
            for (std::size_t j = 0; j < 3 * m; ++j) block[j] /= divisor;
        }
        i += m;
    }
    CopyHeaderInfo(h, &c);
    *out = std::move(c);
    return true;
}

bool EncodePly(const CloudView& cloud, bool binary, Sink& sink, std::string* error) {
    if (cloud.width <= 0 || cloud.height <= 0 || cloud.points == nullptr) {
        return Bad(error, "nothing to encode");
    }
    const std::size_t n = static_cast<std::size_t>(cloud.width) * static_cast<std::size_t>(cloud.height);
    const bool normals = cloud.normals != nullptr;
    const bool colors = cloud.colors.pixels != nullptr;

    std::string head = "ply\nformat ";
    head += binary ? "binary_little_endian 1.0\n" : "ascii 1.0\n";
    head += "comment Vyx point map\n";
    head += "comment organized width " + std::to_string(cloud.width) + " height " +
            std::to_string(cloud.height) + "\n";
    head += "comment timestamp " + std::to_string(cloud.timestamp) + "\n";
    head += std::string("comment unit ") + cloud.unit_name + "\n";
    head += "element vertex " + std::to_string(n) + "\n";
    head += "property double x\nproperty double y\nproperty double z\n";
    if (normals) head += "property double nx\nproperty double ny\nproperty double nz\n";
    if (colors) head += "property uchar red\nproperty uchar green\nproperty uchar blue\n";
    head += "end_header\n";
    if (!sink.Write(head.data(), head.size())) return Bad(error, "write failed");

    if (binary && !normals && !colors) {
        if (cloud.scale == 1.0) {
            if (!sink.Write(cloud.points, n * 3 * sizeof(double))) return Bad(error, "write failed");
            return true;
        }
        // Scaled in blocks of doubles, a loop the compiler vectorises.
        std::vector<double> block;
        try {
            block.resize(std::min<std::size_t>(3 * n, Chunks::kChunk / sizeof(double)));
        } catch (const std::bad_alloc&) {
            return Bad(error, "out of memory");
        }
        for (std::size_t done = 0; done < 3 * n; done += block.size()) {
            const std::size_t m = std::min(block.size(), 3 * n - done);
            const double* src = cloud.points + done;
            for (std::size_t j = 0; j < m; ++j) block[j] = src[j] * cloud.scale;
            if (!sink.Write(block.data(), m * sizeof(double))) return Bad(error, "write failed");
        }
        return true;
    }
    return WritePointRecords(cloud, binary, sink, error, [&cloud](char* p, std::size_t i, bool bin) {
        uint8_t rgb[3];
        ColorOf(cloud.colors, i, rgb);
        if (bin) {
            std::memcpy(p, rgb, 3);
            return p + 3;
        }
        for (uint8_t c : rgb) {
            p = PutUnsigned(p, c);
            *p++ = ' ';
        }
        return p;
    });
}

}  // namespace vyxsim::fmt
