// SDK data objects: images, result maps, point maps and meshes.
//
// All are handles of two 32-bit words naming storage the SDK owns. Copies
// name the same storage. Pointers returned by GetDataPtr and friends stay
// valid until the object is destroyed (or, for the results a camera hands
// out, until that camera's next capture).
#pragma once

#include <cstdint>

#include "vyx/export.h"
#include "vyx/types.h"

namespace Vyx {

class VYX_API Image {
public:
    Image() = default;

    // A new image of the given type and size. With `sdk_owns_data` true the
    // SDK allocates zeroed storage and `data` is ignored; with it false the
    // image refers to the caller's `data` (packed rows of GetPixelSize(type)
    // bytes per pixel), which the SDK never frees and which must outlive the
    // image.
    static Image Create(ImageType::Enum type, Size size, uint8_t* data = nullptr,
                        bool sdk_owns_data = true);
    // Loads a PNG or BMP file.
    static Image CreateFromFile(const char* path);
    // Releases the image. With `no_reuse` false the SDK may keep the storage
    // for a later image of the same size instead of returning it to the
    // system; the handle is invalid either way.
    static void Destroy(Image image, bool no_reuse = true);

    bool IsValid() const;
    Size GetSize() const;
    ImageType::Enum GetType() const;
    uint8_t* GetDataPtr() const;
    // Saves as PNG or BMP, chosen by the file name's extension.
    bool SaveImage(const char* path) const;
    Image Clone() const;

private:
    friend struct HandleAccess;
    uint32_t words_[2] = {0, 0};
};

// Depth per pixel in metres; NaN where there is no measurement.
class VYX_API DepthMap {
public:
    DepthMap() = default;
    bool IsValid() const;
    Size GetSize() const;
    double* GetDataPtr() const;
    bool SaveDepthMap(const char* path, bool float32) const;

private:
    friend struct HandleAccess;
    uint32_t words_[2] = {0, 0};
};

// Confidence per pixel, 0 (no measurement) to 1.
class VYX_API ConfidenceMap {
public:
    ConfidenceMap() = default;
    bool IsValid() const;
    Size GetSize() const;
    double* GetDataPtr() const;

private:
    friend struct HandleAccess;
    uint32_t words_[2] = {0, 0};
};

// Two values per left-camera pixel: the sub-pixel column and row of the same
// surface point in the right camera; NaN where there is none.
class VYX_API CorrespondMap {
public:
    CorrespondMap() = default;
    bool IsValid() const;
    Size GetSize() const;
    double* GetDataPtr() const;

private:
    friend struct HandleAccess;
    uint32_t words_[2] = {0, 0};
};

// An organised point cloud: height x width points of three doubles (x, y, z)
// in metres, NaN where there is no point, optionally with one unit normal per
// point, and a timestamp.
class VYX_API PointMap {
public:
    PointMap() = default;

    // A new point map. With `sdk_owns_data` true the SDK allocates storage
    // (points NaN, normals zero) and `data` is ignored; with it false the map
    // refers to the caller's `data`: height x width x 3 doubles of points,
    // followed, for PointsNormals, by as many doubles of normals. The SDK
    // never frees caller memory.
    static PointMap Create(PointMapType::Enum type, Size size, double* data = nullptr,
                           bool sdk_owns_data = true);
    // Loads a PLY or PCD file whose grid is `size` (width x height); values
    // in the file are in `unit`.
    static PointMap CreateFromFile(const char* path, Size size, PointMapUnit::Enum unit);
    static void Destroy(PointMap map, bool no_reuse = true);

    bool IsValid() const;
    Size GetSize() const;
    PointMap Clone() const;
    double* GetPointDataPtr() const;
    // Null when the point map has no normals.
    double* GetNormalDataPtr() const;
    // Saves as PLY or PCD, chosen by the file name's extension, with values
    // in `unit`; colours come from `image` when it names an image of the
    // point map's size.
    bool Save(const char* filename, PointMapUnit::Enum unit, bool isBinary,
              const Image& image = Image()) const;
    uint64_t GetTimestamp() const;
    bool SetTimestamp(uint64_t timestamp);

private:
    friend struct HandleAccess;
    uint32_t words_[2] = {0, 0};
};

// A triangle mesh. GetSize reports the vertex count as width and the triangle
// count as height.
class VYX_API Mesh {
public:
    Mesh() = default;

    // Triangulates a grid of size.height x size.width points (three doubles
    // each, NaN for none) between neighbouring valid points; no triangle gets
    // an edge longer than `max_edge` (in the points' unit; 0 or less means no
    // limit).
    static Mesh CreateFromPointMapData(Size size, const double* points, const double& max_edge);
    static Mesh CreateFromPointMap(const PointMap& map, const double& max_edge);
    static void Destroy(Mesh mesh, bool no_reuse = true);

    bool IsValid() const;
    Size GetSize() const;
    Mesh Clone() const;
    // Saves as PLY, OBJ or STL, chosen by the file name's extension.
    bool Save(const char* path, PointMapUnit::Enum unit) const;

private:
    friend struct HandleAccess;
    uint32_t words_[2] = {0, 0};
};

static_assert(sizeof(Image) == 8 && sizeof(DepthMap) == 8 && sizeof(ConfidenceMap) == 8 &&
                  sizeof(CorrespondMap) == 8 && sizeof(PointMap) == 8 && sizeof(Mesh) == 8,
              "handles are two 32-bit words");

}  // namespace Vyx
