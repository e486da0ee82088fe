// The SDK-side objects that data handles name.
//
// Storage is either owned (the vector) or the caller's (`data` points into
// caller memory and the vector is empty). Objects are immutable in shape once
// registered; callers write values through the data pointers.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/handles.h"
#include "vyx/types.h"

namespace vyxsim {

struct ImageObj : Object {
    Vyx::ImageType::Enum type = Vyx::ImageType::None;
    Vyx::Size size;
    std::vector<uint8_t> storage;
    uint8_t* data = nullptr;
};

// Depth (1 channel), confidence (1) and correspondence (2) maps.
struct MapObj : Object {
    Vyx::Size size;
    int channels = 1;
    std::vector<double> storage;
    double* data = nullptr;
};

struct PointMapObj : Object {
    Vyx::PointMapType::Enum type = Vyx::PointMapType::None;
    Vyx::Size size;
    std::vector<double> storage;  // points, then normals for PointsNormals
    double* points = nullptr;
    double* normals = nullptr;  // null without normals
    std::atomic<uint64_t> timestamp{0};
};

struct MeshObj : Object {
    std::vector<std::array<double, 3>> vertices;      // metres
    std::vector<std::array<double, 3>> normals;       // per vertex; empty when unknown
    std::vector<std::array<uint8_t, 3>> colors;       // per vertex; empty when none
    std::vector<std::array<uint32_t, 3>> triangles;   // vertex indices
};

// Factories used by every part of the SDK that produces results; each
// allocates owned storage (images zeroed, maps and points NaN, normals zero)
// and registers the object. They return the handle words; on allocation
// failure the words are zero and the last error is set.
Words NewImage(Vyx::ImageType::Enum type, Vyx::Size size, std::shared_ptr<ImageObj>* out = nullptr);
Words NewMap(Kind kind, Vyx::Size size, std::shared_ptr<MapObj>* out = nullptr);
Words NewPointMap(Vyx::PointMapType::Enum type, Vyx::Size size,
                  std::shared_ptr<PointMapObj>* out = nullptr);
Words NewMesh(std::shared_ptr<MeshObj> mesh);

// Builds a mesh from a grid of points (NaN = none): two triangles per grid
// square whose corners are valid, dropping triangles with an edge longer than
// `max_edge` (no limit when max_edge <= 0).
std::shared_ptr<MeshObj> MeshFromGrid(Vyx::Size size, const double* points, const double* normals,
                                      double max_edge);

}  // namespace vyxsim
