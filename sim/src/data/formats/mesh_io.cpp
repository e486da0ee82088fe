#include "data/formats/mesh_io.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "data/formats/bytes.h"
#include "data/formats/records.h"
#include "data/formats/text.h"

namespace vyxsim::fmt {

namespace {

template <class T>
char* Put(char* p, const T& v) {
    std::memcpy(p, &v, sizeof v);
    return p + sizeof v;
}

}  // namespace

bool EncodeMeshPly(const MeshView& mesh, Sink& sink, std::string* error) {
    const bool normals = mesh.normals != nullptr;
    const bool colors = mesh.colors != nullptr;
    std::string head = "ply\nformat binary_little_endian 1.0\ncomment Vyx mesh\n";
    head += std::string("comment unit ") + mesh.unit_name + "\n";
    head += "element vertex " + std::to_string(mesh.vertex_count) + "\n";
    head += "property float x\nproperty float y\nproperty float z\n";
    if (normals) head += "property float nx\nproperty float ny\nproperty float nz\n";
    if (colors) head += "property uchar red\nproperty uchar green\nproperty uchar blue\n";
    head += "element face " + std::to_string(mesh.triangle_count) + "\n";
    head += "property list uchar int vertex_indices\nend_header\n";
    try {
        if (!sink.Write(head.data(), head.size())) return Bad(error, "write failed");
        Chunks out(sink);
        for (std::size_t i = 0; i < mesh.vertex_count; ++i) {
            char* p = out.At();
            for (int k = 0; k < 3; ++k) p = Put(p, ToFloat(mesh.vertices[i][static_cast<std::size_t>(k)] * mesh.scale));
            if (normals) {
                for (int k = 0; k < 3; ++k) p = Put(p, ToFloat(mesh.normals[i][static_cast<std::size_t>(k)]));
            }
            if (colors) {
                std::memcpy(p, mesh.colors[i].data(), 3);
                p += 3;
            }
            if (!out.Advance(p)) return Bad(error, "write failed");
        }
        for (std::size_t i = 0; i < mesh.triangle_count; ++i) {
            char* p = out.At();
            *p++ = 3;
            for (int k = 0; k < 3; ++k) p = Put(p, static_cast<int32_t>(mesh.triangles[i][static_cast<std::size_t>(k)]));
            if (!out.Advance(p)) return Bad(error, "write failed");
        }
        if (!out.Flush()) return Bad(error, "write failed");
    } catch (const std::bad_alloc&) {
        return Bad(error, "out of memory");
    }
    return true;
}

bool EncodeMeshObj(const MeshView& mesh, Sink& sink, std::string* error) {
    const bool normals = mesh.normals != nullptr;
    std::string head = "# Vyx mesh\n";
    head += std::string("# unit ") + mesh.unit_name + "\n";
    head += "# vertices " + std::to_string(mesh.vertex_count) + ", triangles " +
            std::to_string(mesh.triangle_count) + "\n";
    try {
        if (!sink.Write(head.data(), head.size())) return Bad(error, "write failed");
        Chunks out(sink);
        for (std::size_t i = 0; i < mesh.vertex_count; ++i) {
            char* p = out.At();
            *p++ = 'v';
            for (int k = 0; k < 3; ++k) {
                *p++ = ' ';
                p = PutDouble(p, mesh.vertices[i][static_cast<std::size_t>(k)] * mesh.scale);
            }
            *p++ = '\n';
            if (normals) {
                *p++ = 'v';
                *p++ = 'n';
                for (int k = 0; k < 3; ++k) {
                    *p++ = ' ';
                    p = PutDouble(p, mesh.normals[i][static_cast<std::size_t>(k)]);
                }
                *p++ = '\n';
            }
            if (!out.Advance(p)) return Bad(error, "write failed");
        }
        for (std::size_t i = 0; i < mesh.triangle_count; ++i) {
            char* p = out.At();
            *p++ = 'f';
            for (int k = 0; k < 3; ++k) {
                const uint64_t index = uint64_t{mesh.triangles[i][static_cast<std::size_t>(k)]} + 1;
                *p++ = ' ';
                p = PutUnsigned(p, index);
                if (normals) {
                    *p++ = '/';
                    *p++ = '/';
                    p = PutUnsigned(p, index);
                }
            }
            *p++ = '\n';
            if (!out.Advance(p)) return Bad(error, "write failed");
        }
        if (!out.Flush()) return Bad(error, "write failed");
    } catch (const std::bad_alloc&) {
        return Bad(error, "out of memory");
    }
    return true;
}

bool EncodeMeshStl(const MeshView& mesh, Sink& sink, std::string* error) {
    if (mesh.triangle_count > UINT32_MAX) return Bad(error, "too many triangles for STL");
    // The header must not start with "solid", which marks text STL files.
    char header[80] = {};
    std::snprintf(header, sizeof header, "Vyx mesh, binary STL, unit %s", mesh.unit_name);
    const auto count = static_cast<uint32_t>(mesh.triangle_count);
    try {
        if (!sink.Write(header, 80) || !sink.Write(&count, 4)) return Bad(error, "write failed");
        Chunks out(sink);
        for (std::size_t i = 0; i < mesh.triangle_count; ++i) {
            double v[3][3];
            for (int j = 0; j < 3; ++j) {
                const auto& src = mesh.vertices[mesh.triangles[i][static_cast<std::size_t>(j)]];
                for (int k = 0; k < 3; ++k) v[j][k] = src[static_cast<std::size_t>(k)] * mesh.scale;
            }
            const double a[3] = {v[1][0] - v[0][0], v[1][1] - v[0][1], v[1][2] - v[0][2]};
            const double b[3] = {v[2][0] - v[0][0], v[2][1] - v[0][1], v[2][2] - v[0][2]};
            double n[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
            const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            for (double& c : n) c = len > 0 ? c / len : 0.0;
            char* p = out.At();
            for (double c : n) p = Put(p, ToFloat(c));
            for (auto& vert : v) {
                for (double c : vert) p = Put(p, ToFloat(c));
            }
            p = Put(p, uint16_t{0});
            if (!out.Advance(p)) return Bad(error, "write failed");
        }
        if (!out.Flush()) return Bad(error, "write failed");
    } catch (const std::bad_alloc&) {
        return Bad(error, "out of memory");
    }
    return true;
}

}  // namespace vyxsim::fmt
