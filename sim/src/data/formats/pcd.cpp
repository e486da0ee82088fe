#include "data/formats/pcd.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "data/formats/records.h"
#include "data/formats/text.h"

namespace vyxsim::fmt {

namespace {

// Words read of one header line: a FIELDS line may name thousands of fields.
constexpr std::size_t kMaxHeaderWords = 4096;

enum Role : int { kSkip = -1, kX = 0, kNormal = 3, kRgb = 6 };

struct Field {
    std::string_view name;
    std::size_t size = 4;
    char type = 'F';
    std::size_t count = 1;
    int role = kSkip;
    std::size_t offset = 0;  // within a binary point
};

// A value of a binary field (little-endian, as the writers of PCD files on
// common hosts store them).
inline double LoadField(const uint8_t* p, char type, std::size_t size) {
    switch (type) {
        case 'F':
            if (size == 4) {
                float v;
                std::memcpy(&v, p, 4);
                return v;
            } else {
                double v;
                std::memcpy(&v, p, 8);
                return v;
            }
        case 'I':
            switch (size) {
                case 1: return static_cast<int8_t>(p[0]);
                case 2: { int16_t v; std::memcpy(&v, p, 2); return v; }
                case 4: { int32_t v; std::memcpy(&v, p, 4); return v; }
                default: { int64_t v; std::memcpy(&v, p, 8); return static_cast<double>(v); }
            }
        default:
            switch (size) {
                case 1: return p[0];
                case 2: { uint16_t v; std::memcpy(&v, p, 2); return v; }
                case 4: { uint32_t v; std::memcpy(&v, p, 4); return v; }
                default: { uint64_t v; std::memcpy(&v, p, 8); return static_cast<double>(v); }
            }
    }
}

inline void StoreRgb(uint8_t* rgb, uint32_t packed) {
    rgb[0] = static_cast<uint8_t>(packed >> 16);
    rgb[1] = static_cast<uint8_t>(packed >> 8);
    rgb[2] = static_cast<uint8_t>(packed);
}

}  // namespace

bool DecodePcd(const uint8_t* data, std::size_t size, CloudData* out, std::string* error) {
    const char* text = reinterpret_cast<const char*>(data);
    const std::size_t limit = std::min(size, kMaxHeaderBytes);
    std::size_t pos = 0;
    std::vector<Field> fields;
    bool have_fields = false, have_size = false, have_type = false, have_count = false;
    bool have_width = false, have_points = false, have_data = false, binary = false;
    bool have_timestamp = false;
    uint64_t timestamp = 0, width = 0, height = 1, points = 0;
    std::vector<std::string_view> t;
    bool any_line = false;
    while (pos < limit && !have_data) {
        const void* nl = std::memchr(text + pos, '\n', limit - pos);
        const std::size_t end =
            nl != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nl) - text) : limit;
        std::string_view line(text + pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (nl == nullptr && end == size) {
            pos = end;  // a text body may end without a newline only after DATA
        } else if (nl == nullptr) {
            break;
        } else {
            pos = end + 1;
        }
        if (!line.empty() && line[0] == '#') {
            SplitLine(line.substr(1), kMaxHeaderWords, &t);
            uint64_t ts;
            if (t.size() >= 2 && t[0] == "timestamp" && ParseUnsigned(t[1], &ts)) {
                have_timestamp = true;
                timestamp = ts;
            }
            continue;
        }
        SplitLine(line, kMaxHeaderWords, &t);
        if (t.empty()) continue;
        const std::string_view kw = t[0];
        if (!any_line && kw != "VERSION" && kw != "FIELDS") {
            return Bad(error, "not a PCD file (starts with " + Quote(line) + ")");
        }
        any_line = true;
        const std::size_t n = t.size() - 1;
        if (kw == "VERSION") {
            continue;
        } else if (kw == "FIELDS" || kw == "COLUMNS") {
            if (have_fields || n == 0 || n > 256) return Bad(error, "invalid PCD FIELDS line");
            fields.resize(n);
            for (std::size_t i = 0; i < n; ++i) fields[i].name = t[i + 1];
            have_fields = true;
        } else if (kw == "SIZE" || kw == "TYPE" || kw == "COUNT") {
            if (!have_fields || n != fields.size()) {
                return Bad(error, "PCD " + std::string(kw) + " line does not match FIELDS");
            }
            for (std::size_t i = 0; i < n; ++i) {
                uint64_t v = 0;
                if (kw == "TYPE") {
                    if (t[i + 1].size() != 1 || std::string_view("FIU").find(t[i + 1][0]) ==
                                                    std::string_view::npos) {
                        return Bad(error, "invalid PCD TYPE " + Quote(t[i + 1]));
                    }
                    fields[i].type = t[i + 1][0];
                } else if (!ParseUnsigned(t[i + 1], &v)) {
                    return Bad(error, "invalid PCD " + std::string(kw) + " " + Quote(t[i + 1]));
                } else if (kw == "SIZE") {
                    if (v != 1 && v != 2 && v != 4 && v != 8) {
                        return Bad(error, "invalid PCD SIZE " + Quote(t[i + 1]));
                    }
                    fields[i].size = static_cast<std::size_t>(v);
                } else {
                    if (v == 0 || v > 4096) return Bad(error, "invalid PCD COUNT " + Quote(t[i + 1]));
                    fields[i].count = static_cast<std::size_t>(v);
                }
            }
            (kw == "SIZE" ? have_size : kw == "TYPE" ? have_type : have_count) = true;
        } else if (kw == "WIDTH") {
            if (n != 1 || !ParseUnsigned(t[1], &width)) return Bad(error, "invalid PCD WIDTH");
            have_width = true;
        } else if (kw == "HEIGHT") {
            if (n != 1 || !ParseUnsigned(t[1], &height)) return Bad(error, "invalid PCD HEIGHT");
        } else if (kw == "VIEWPOINT") {
            continue;
        } else if (kw == "POINTS") {
            if (n != 1 || !ParseUnsigned(t[1], &points)) return Bad(error, "invalid PCD POINTS");
            have_points = true;
        } else if (kw == "DATA") {
            if (n != 1) return Bad(error, "invalid PCD DATA line");
            if (t[1] == "ascii") {
                binary = false;
            } else if (t[1] == "binary") {
                binary = true;
            } else if (t[1] == "binary_compressed") {
                return Bad(error, "compressed PCD data is not supported");
            } else {
                return Bad(error, "unknown PCD DATA kind " + Quote(t[1]));
            }
            have_data = true;
        } else {
            return Bad(error, "unexpected PCD header line " + Quote(line));
        }
    }
    if (!have_data) return Bad(error, "PCD header without a DATA line");
    if (!have_fields || !have_size || !have_type || !have_width) {
        return Bad(error, "PCD header without FIELDS, SIZE, TYPE or WIDTH");
    }
    (void)have_count;
    if (width > INT32_MAX || height > INT32_MAX || (height > 0 && width > UINT64_MAX / height)) {
        return Bad(error, "PCD size " + std::to_string(width) + " x " + std::to_string(height) +
                              " is too large");
    }
    if (!have_points) points = width * height;
    if (points != width * height) {
        return Bad(error, "PCD POINTS " + std::to_string(points) + " does not match WIDTH " +
                              std::to_string(width) + " x HEIGHT " + std::to_string(height));
    }

    // Roles and the binary layout.
    int found[7] = {-1, -1, -1, -1, -1, -1, -1};
    static const char* kNames[] = {"x", "y", "z", "normal_x", "normal_y", "normal_z"};
    std::size_t point_size = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        Field& f = fields[i];
        if (f.type == 'F' && f.size != 4 && f.size != 8) {
            return Bad(error, "invalid PCD float size " + std::to_string(f.size));
        }
        f.offset = point_size;
        point_size += f.size * f.count;
        for (int s = 0; s < 6; ++s) {
            if (f.name == kNames[s] && f.count == 1) found[s] = static_cast<int>(i);
        }
        if ((f.name == "rgb" || f.name == "rgba") && f.count == 1 && f.size == 4) {
            found[6] = static_cast<int>(i);
        }
    }
    if (found[0] < 0 || found[1] < 0 || found[2] < 0) return Bad(error, "PCD file without x, y and z");
    for (int s = 0; s < 3; ++s) fields[static_cast<std::size_t>(found[s])].role = s;
    const bool normals = found[3] >= 0 && found[4] >= 0 && found[5] >= 0;
    if (normals) {
        for (int s = 3; s < 6; ++s) fields[static_cast<std::size_t>(found[s])].role = s;
    }
    const bool colors = found[6] >= 0;
    if (colors) fields[static_cast<std::size_t>(found[6])].role = kRgb;

    const std::size_t body = size - pos;
    std::size_t values_per_point = 0;
    for (const Field& f : fields) values_per_point += f.count;
    // The data must be in the file before anything is allocated for it.
    const std::size_t min_bytes = binary ? point_size : values_per_point * 2 - 1;
    if (points > 0 && (points > body || points - 1 > body / min_bytes)) {
        return Bad(error, "truncated PCD data: " + std::to_string(points) +
                              " points declared, the file holds " + std::to_string(body) +
                              " bytes of data");
    }

    CloudData c;
    c.count = static_cast<std::size_t>(points);
    c.has_normals = normals;
    c.has_colors = colors;
    try {
        c.values.assign(c.count * (normals ? 6 : 3), 0.0);
        if (colors) c.colors.assign(c.count * 3, 0);
    } catch (const std::bad_alloc&) {
        return Bad(error, "cannot allocate " + std::to_string(c.count) + " PCD points");
    }
    double* pts = c.values.data();
    double* nrm = normals ? c.values.data() + 3 * c.count : nullptr;

    if (binary) {
        if (c.count > body / point_size) {
            return Bad(error, "truncated PCD data: " + std::to_string(c.count) + " points of " +
                                  std::to_string(point_size) + " bytes need more than the " +
                                  std::to_string(body) + " bytes in the file");
        }
        const uint8_t* base = data + pos;
        for (std::size_t i = 0; i < c.count; ++i, base += point_size) {
            for (const Field& f : fields) {
                if (f.role == kSkip) continue;
                const uint8_t* p = base + f.offset;
                if (f.role < kNormal) {
                    pts[3 * i + static_cast<std::size_t>(f.role)] = LoadField(p, f.type, f.size);
                } else if (f.role < kRgb) {
                    nrm[3 * i + static_cast<std::size_t>(f.role - kNormal)] = LoadField(p, f.type, f.size);
                } else {
                    uint32_t packed;
                    std::memcpy(&packed, p, 4);
                    StoreRgb(&c.colors[3 * i], packed);
                }
            }
        }
    } else {
        Tokens tok(text + pos, text + size);
        for (std::size_t i = 0; i < c.count; ++i) {
            for (const Field& f : fields) {
                for (std::size_t k = 0; k < f.count; ++k) {
                    const std::string_view token = tok.Next();
                    if (f.role == kRgb) {
                        uint32_t packed = 0;
                        if (f.type == 'F') {
                            float v;
                            if (!ParseFloat(token, &v)) return Bad(error, "damaged PCD data at point " + std::to_string(i));
                            std::memcpy(&packed, &v, 4);
                        } else {
                            double v;
                            if (!ParseDouble(token, &v)) return Bad(error, "damaged PCD data at point " + std::to_string(i));
                            const int64_t iv = std::isfinite(v) ? static_cast<int64_t>(std::clamp(v, -2147483648.0, 4294967295.0)) : 0;
                            packed = static_cast<uint32_t>(iv);
                        }
                        StoreRgb(&c.colors[3 * i], packed);
                        continue;
                    }
                    double v;
                    if (!ParseDouble(token, &v)) {
                        return Bad(error, token.empty() ? "truncated PCD data at point " + std::to_string(i)
                                                        : "damaged PCD data at point " + std::to_string(i));
                    }
                    if (f.role >= kX && f.role < kNormal) {
                        pts[3 * i + static_cast<std::size_t>(f.role)] = v;
                    } else if (f.role >= kNormal && f.role < kRgb) {
                        nrm[3 * i + static_cast<std::size_t>(f.role - kNormal)] = v;
                    }
                }
            }
        }
    }
    c.has_grid = height > 1;
    c.grid_width = static_cast<int32_t>(width);
    c.grid_height = static_cast<int32_t>(height);
    c.has_timestamp = have_timestamp;
    c.timestamp = timestamp;
    *out = std::move(c);
    return true;
}

bool EncodePcd(const CloudView& cloud, bool binary, Sink& sink, std::string* error) {
    if (cloud.width <= 0 || cloud.height <= 0 || cloud.points == nullptr) {
        return Bad(error, "nothing to encode");
    }
    const std::size_t n = static_cast<std::size_t>(cloud.width) * static_cast<std::size_t>(cloud.height);
    const bool normals = cloud.normals != nullptr;
    const bool colors = cloud.colors.pixels != nullptr;

    std::string head = "# .PCD v0.7 - Point Cloud Data file format\n";
    head += "# timestamp " + std::to_string(cloud.timestamp) + "\n";
    head += std::string("# unit ") + cloud.unit_name + "\n";
    head += "VERSION 0.7\nFIELDS x y z";
    if (normals) head += " normal_x normal_y normal_z";
    if (colors) head += " rgb";
    head += "\nSIZE 8 8 8";
    if (normals) head += " 8 8 8";
    if (colors) head += " 4";
    head += "\nTYPE F F F";
    if (normals) head += " F F F";
    if (colors) head += " F";
    head += "\nCOUNT 1 1 1";
    if (normals) head += " 1 1 1";
    if (colors) head += " 1";
    head += "\nWIDTH " + std::to_string(cloud.width) + "\nHEIGHT " + std::to_string(cloud.height);
    head += "\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS " + std::to_string(n) + "\nDATA ";
    head += binary ? "binary\n" : "ascii\n";
    if (!sink.Write(head.data(), head.size())) return Bad(error, "write failed");

    if (binary && !normals && !colors && cloud.scale == 1.0) {
        if (!sink.Write(cloud.points, n * 3 * sizeof(double))) return Bad(error, "write failed");
        return true;
    }
    // A colour is the PCD convention's packed 0x00RRGGBB, stored in the bits
    // of a float.
    return WritePointRecords(cloud, binary, sink, error, [&cloud](char* p, std::size_t i, bool bin) {
        uint8_t rgb[3];
        ColorOf(cloud.colors, i, rgb);
        const uint32_t packed = (uint32_t{rgb[0]} << 16) | (uint32_t{rgb[1]} << 8) | rgb[2];
        if (bin) {
            std::memcpy(p, &packed, 4);
            return p + 4;
        }
        float f;
        std::memcpy(&f, &packed, 4);
        p = PutFloat(p, f);
        *p++ = ' ';
        return p;
    });
}

}  // namespace vyxsim::fmt
