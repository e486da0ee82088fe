// Factories of the data objects every part of the SDK hands out, and the
// grid triangulation behind meshes.
#include "core/objects.h"

#include <cmath>
#include <limits>
#include <new>

#include "core/error.h"
#include "data/common.h"

namespace vyxsim {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::size_t BytesPerPixel(Vyx::ImageType::Enum type) {
    switch (type) {
        case Vyx::ImageType::Mono8:
            return 1;
        case Vyx::ImageType::RGB8:
        case Vyx::ImageType::BGR8:
            return 3;
        default:
            return 0;
    }
}

Words Register(Kind kind, std::shared_ptr<Object> object) {
    return RegisterObject(kind, std::move(object));
}

}  // namespace

ImageObj::~ImageObj() {
    if (recycle && !storage.empty()) data::RecycleBytes(std::move(storage));
}
MapObj::~MapObj() {
    if (recycle && !storage.empty()) data::RecycleDoubles(std::move(storage));
}
PointMapObj::~PointMapObj() {
    if (recycle && !storage.empty()) data::RecycleDoubles(std::move(storage));
}

Words NewImage(Vyx::ImageType::Enum type, Vyx::Size size, std::shared_ptr<ImageObj>* out, bool initialise) {
    const std::size_t pixel = BytesPerPixel(type);
    if (pixel == 0) {
        SetLastError(kInvalidArgument, "unknown image type " + std::to_string(static_cast<int>(type)));
        return {};
    }
    std::size_t count = 0;
    if (!data::GridElements(size, pixel, 1, &count)) {
        SetLastError(kInvalidArgument, "invalid image size " + data::SizeText(size));
        return {};
    }
    auto obj = std::make_shared<ImageObj>();
    obj->type = type;
    obj->size = size;
    if (!data::AllocateBytes(count, initialise ? std::optional<uint8_t>(0) : std::nullopt, &obj->storage, "an image")) {
        return {};
    }
    obj->data = obj->storage.data();
    obj->recycle = true;
    const Words w = Register(Kind::Image, obj);
    if (out != nullptr && !w.IsZero()) *out = std::move(obj);
    return w;
}

Words NewMap(Kind kind, Vyx::Size size, std::shared_ptr<MapObj>* out, bool initialise) {
    if (kind != Kind::DepthMap && kind != Kind::ConfidenceMap && kind != Kind::CorrespondMap) {
        SetLastError(kInvalidArgument, std::string("not a map kind: ") + KindName(kind));
        return {};
    }
    const int channels = kind == Kind::CorrespondMap ? 2 : 1;
    std::size_t count = 0;
    if (!data::GridElements(size, static_cast<std::size_t>(channels), sizeof(double), &count)) {
        SetLastError(kInvalidArgument, std::string("invalid ") + KindName(kind) + " size " +
                                           data::SizeText(size));
        return {};
    }
    auto obj = std::make_shared<MapObj>();
    obj->size = size;
    obj->channels = channels;
    const double fill = kind == Kind::ConfidenceMap ? 0.0 : kNaN;
    if (!data::AllocateDoubles(count, initialise ? std::optional<double>(fill) : std::nullopt, &obj->storage,
                               KindName(kind))) {
        return {};
    }
    obj->data = obj->storage.data();
    obj->recycle = true;
    const Words w = Register(kind, obj);
    if (out != nullptr && !w.IsZero()) *out = std::move(obj);
    return w;
}

Words NewPointMap(Vyx::PointMapType::Enum type, Vyx::Size size, std::shared_ptr<PointMapObj>* out,
                  bool initialise) {
    if (type != Vyx::PointMapType::PointsOnly && type != Vyx::PointMapType::PointsNormals) {
        SetLastError(kInvalidArgument,
                     "unknown point map type " + std::to_string(static_cast<int>(type)));
        return {};
    }
    const bool normals = type == Vyx::PointMapType::PointsNormals;
    std::size_t count = 0;
    if (!data::GridElements(size, normals ? 6 : 3, sizeof(double), &count)) {
        SetLastError(kInvalidArgument, "invalid point map size " + data::SizeText(size));
        return {};
    }
    auto obj = std::make_shared<PointMapObj>();
    obj->type = type;
    obj->size = size;
    if (!data::AllocateDoubles(count, initialise ? std::optional<double>(kNaN) : std::nullopt, &obj->storage,
                               "a point map")) {
        return {};
    }
    obj->points = obj->storage.data();
    if (normals) {
        const std::size_t half = count / 2;
        if (initialise) std::fill(obj->storage.begin() + static_cast<std::ptrdiff_t>(half), obj->storage.end(), 0.0);
        obj->normals = obj->storage.data() + half;
    }
    obj->recycle = true;
    const Words w = Register(Kind::PointMap, obj);
    if (out != nullptr && !w.IsZero()) *out = std::move(obj);
    return w;
}

Words NewMesh(std::shared_ptr<MeshObj> mesh) {
    if (!mesh) {
        SetLastError(kInvalidArgument, "no mesh to register");
        return {};
    }
    return Register(Kind::Mesh, std::move(mesh));
}

std::shared_ptr<MeshObj> MeshFromGrid(Vyx::Size size, const double* points, const double* normals,
                                      double max_edge) {
    std::size_t values = 0;
    if (points == nullptr || !data::GridElements(size, 3, sizeof(double), &values)) {
        SetLastError(kInvalidArgument, "invalid point grid " + data::SizeText(size));
        return nullptr;
    }
    const std::size_t w = static_cast<std::size_t>(size.width);
    const std::size_t h = static_cast<std::size_t>(size.height);
    const std::size_t cells = w * h;
    const bool limit = max_edge > 0 && std::isfinite(max_edge);
    const double max_sq = max_edge * max_edge;
    auto valid = [&](std::size_t i) {
        const double* p = points + 3 * i;
        return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
    };
    auto short_edge = [&](std::size_t a, std::size_t b) {
        const double* p = points + 3 * a;
        const double* q = points + 3 * b;
        const double dx = p[0] - q[0], dy = p[1] - q[1], dz = p[2] - q[2];
        return dx * dx + dy * dy + dz * dz <= max_sq;
    };
    auto keep = [&](std::size_t a, std::size_t b, std::size_t c) {
        if (!valid(a) || !valid(b) || !valid(c)) return false;
        return !limit || (short_edge(a, b) && short_edge(b, c) && short_edge(c, a));
    };

    auto mesh = std::make_shared<MeshObj>();
    try {
        // Triangles by grid index first; vertices are numbered afterwards in
        // grid order, counting only the points some triangle uses.
        constexpr uint32_t kUnused = std::numeric_limits<uint32_t>::max();
        std::vector<uint32_t> index(cells, kUnused);
        auto& tris = mesh->triangles;
        for (std::size_t r = 0; r + 1 < h; ++r) {
            for (std::size_t c = 0; c + 1 < w; ++c) {
                const std::size_t p00 = r * w + c, p01 = p00 + 1, p10 = p00 + w, p11 = p10 + 1;
                if (keep(p00, p10, p01)) {
                    tris.push_back({static_cast<uint32_t>(p00), static_cast<uint32_t>(p10),
                                    static_cast<uint32_t>(p01)});
                }
                if (keep(p01, p10, p11)) {
                    tris.push_back({static_cast<uint32_t>(p01), static_cast<uint32_t>(p10),
                                    static_cast<uint32_t>(p11)});
                }
            }
        }
        for (const auto& t : tris) {
            for (uint32_t i : t) index[i] = 0;
        }
        uint32_t next = 0;
        for (std::size_t i = 0; i < cells; ++i) {
            if (index[i] == kUnused) continue;
            index[i] = next++;
            const double* p = points + 3 * i;
            mesh->vertices.push_back({p[0], p[1], p[2]});
            if (normals != nullptr) {
                const double* n = normals + 3 * i;
                mesh->normals.push_back({n[0], n[1], n[2]});
            }
        }
        for (auto& t : tris) {
            for (uint32_t& i : t) i = index[i];
        }
    } catch (const std::bad_alloc&) {
        SetLastError(kInvalidArgument, "cannot allocate a mesh for a " + data::SizeText(size) + " grid");
        return nullptr;
    }
    return mesh;
}

}  // namespace vyxsim
