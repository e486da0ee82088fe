// Writers for triangle meshes: PLY, OBJ and STL.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/formats/io.h"

namespace vyxsim::fmt {

// A triangle mesh to encode; vertices are multiplied by `scale`.
struct MeshView {
    const std::array<double, 3>* vertices = nullptr;
    std::size_t vertex_count = 0;
    const std::array<double, 3>* normals = nullptr;  // per vertex, or null
    const std::array<uint8_t, 3>* colors = nullptr;  // per vertex RGB, or null
    const std::array<uint32_t, 3>* triangles = nullptr;
    std::size_t triangle_count = 0;
    double scale = 1.0;
    const char* unit_name = "meter";
};

// Binary little-endian PLY: float x y z [nx ny nz] [uchar red green blue],
// faces as "list uchar int vertex_indices".
bool EncodeMeshPly(const MeshView& mesh, Sink& sink, std::string* error);
// Wavefront OBJ: "v x y z", "vn" per vertex with normals, "f a//a b//b c//c"
// (1-based).
bool EncodeMeshObj(const MeshView& mesh, Sink& sink, std::string* error);
// Binary STL: 80-byte header, triangle count, per triangle the facet normal
// (from the vertices, right-handed) and three float vertices.
bool EncodeMeshStl(const MeshView& mesh, Sink& sink, std::string* error);

}  // namespace vyxsim::fmt
