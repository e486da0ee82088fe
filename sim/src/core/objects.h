// The SDK-side objects that data handles name.
//
// Storage is either owned (the vector) or the caller's (`data` points into
// caller memory and the vector is empty). Double storage is a DoubleBuffer,
// a std::vector whose resize() leaves new values uninitialised. Objects are
// immutable in shape once registered; callers write values through the data
// pointers.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/handles.h"
#include "data/formats/buffer.h"
#include "vyx/types.h"

namespace vyxsim {

// Owned storage of the objects below goes back to the storage pool when the
// object dies with `recycle` set (the factories set it; a Destroy that
// forbids reuse clears it): a camera's results at its next capture, or when
// the last view of them goes. The next capture of the same size takes it
// there instead of faulting in fresh pages.
struct ImageObj : Object {
    Vyx::ImageType::Enum type = Vyx::ImageType::None;
    Vyx::Size size;
    std::vector<uint8_t> storage;
    uint8_t* data = nullptr;
    bool recycle = false;
    ~ImageObj() override;
    std::size_t StorageBytes() const override { return storage.size(); }
};

// Depth (1 channel), confidence (1) and correspondence (2) maps.
struct MapObj : Object {
    Vyx::Size size;
    int channels = 1;
    fmt::DoubleBuffer storage;
    double* data = nullptr;
    bool recycle = false;
    ~MapObj() override;
    std::size_t StorageBytes() const override { return storage.size() * sizeof(double); }
};

struct PointMapObj : Object {
    Vyx::PointMapType::Enum type = Vyx::PointMapType::None;
    Vyx::Size size;
    fmt::DoubleBuffer storage;  // points, then normals for PointsNormals
    double* points = nullptr;
    double* normals = nullptr;  // null without normals
    std::atomic<uint64_t> timestamp{0};
    bool recycle = false;
    ~PointMapObj() override;
    std::size_t StorageBytes() const override { return storage.size() * sizeof(double); }
};

struct MeshObj : Object {
    std::vector<std::array<double, 3>> vertices;      // metres
    std::vector<std::array<double, 3>> normals;       // per vertex; empty when unknown
    std::vector<std::array<uint8_t, 3>> colors;       // per vertex; empty when none
    std::vector<std::array<uint32_t, 3>> triangles;   // vertex indices
    std::size_t StorageBytes() const override {
        return sizeof(vertices[0]) * vertices.size() + sizeof(normals[0]) * normals.size() +
               sizeof(colors[0]) * colors.size() + sizeof(triangles[0]) * triangles.size();
    }
};

// Factories used by every part of the SDK that produces results; each
// allocates owned storage (images zeroed; depth and correspondence maps and
// points NaN; confidence 0; normals zero) and registers the object. They
// return the handle words; when the size is not positive or too large (more
// than 4 GiB of storage), memory runs out or the registry is full, the words
// are zero and the last error is set. `kind` of NewMap is DepthMap,
// ConfidenceMap (1 value per pixel) or CorrespondMap (2 values).
// With `initialise` false, the factories leave the values unset, for
// callers that write every one.
Words NewImage(Vyx::ImageType::Enum type, Vyx::Size size, std::shared_ptr<ImageObj>* out = nullptr,
               bool initialise = true);
Words NewMap(Kind kind, Vyx::Size size, std::shared_ptr<MapObj>* out = nullptr, bool initialise = true);
Words NewPointMap(Vyx::PointMapType::Enum type, Vyx::Size size,
                  std::shared_ptr<PointMapObj>* out = nullptr, bool initialise = true);
Words NewMesh(std::shared_ptr<MeshObj> mesh);

// Builds a mesh from a grid of size.height x size.width points (three doubles
// each, NaN = none) and optional normals of the same layout: the two
// triangles of each grid square, each kept when its three corners are valid
// (finite) and none of its edges is longer than `max_edge` (no limit when
// max_edge <= 0). Only points that some triangle uses become vertices, in
// grid order; they are copied, so the mesh does not refer to `points`.
// Triangles face the camera (counter-clockwise seen from the origin when the
// grid's rows run along +y and columns along +x). Null, with the last error
// set, when the size is not positive or too large or memory runs out.
std::shared_ptr<MeshObj> MeshFromGrid(Vyx::Size size, const double* points, const double* normals,
                                      double max_edge);

}  // namespace vyxsim
