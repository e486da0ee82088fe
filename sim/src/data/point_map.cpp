// Vyx::PointMap: organised point clouds in SDK or caller memory, PLY and PCD
// files.
#include <cstdio>
#include <cstring>

#include "core/call.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/objects.h"
#include "data/common.h"
#include "data/object_ops.h"
#include "data/formats/io.h"
#include "data/formats/pcd.h"
#include "data/formats/ply.h"
#include "vyx/data.h"

namespace Vyx {

using vyxsim::Enter;
using vyxsim::Gate;
using vyxsim::ImageObj;
using vyxsim::Kind;
using vyxsim::PointMapObj;
using vyxsim::Words;

namespace {

std::shared_ptr<PointMapObj> FindMap(const PointMap& map) {
    return vyxsim::data::FindOf<PointMapObj>(Kind::PointMap, map);
}

PointMap Invalid() { return PointMap(); }

PointMap Finish(Words w, Gate g, const char* op) {
    return vyxsim::data::Finish<PointMap>(Kind::PointMap, w, g, op);
}

bool NoMap(const char* op) { return vyxsim::data::NoObject(op, "point map"); }

// A query of a point map's object (`read`), `fallback` when there is none.
template <class R, class Read>
R MapQuery(const char* op, const PointMap& map, R fallback, Read read) {
    return vyxsim::data::Query<PointMapObj>(op, "map", Kind::PointMap, map, fallback, read);
}

bool ValidUnit(PointMapUnit::Enum unit) {
    return unit == PointMapUnit::Meter || unit == PointMapUnit::Millimeter;
}

// Point maps hold metres; files take the unit they are given.
double UnitScale(PointMapUnit::Enum unit) { return unit == PointMapUnit::Millimeter ? 1000.0 : 1.0; }
const char* UnitName(PointMapUnit::Enum unit) {
    return unit == PointMapUnit::Millimeter ? "millimeter" : "meter";
}

enum class CloudFormat { None, Ply, Pcd };

CloudFormat FormatOf(const char* path) {
    const std::string ext = vyxsim::fmt::LowerExtension(path);
    if (ext == "ply") return CloudFormat::Ply;
    if (ext == "pcd") return CloudFormat::Pcd;
    return CloudFormat::None;
}

bool UnknownFormat(const char* op, const char* path) {
    return vyxsim::data::BadArgument(op, "unsupported file extension in " +
                                             vyxsim::data::PathText(path) +
                                             " (point maps are .ply or .pcd files)");
}

}  // namespace

PointMap PointMap::Create(PointMapType::Enum type, Size size, double* data, bool sdk_owns_data) try {
    static const char* const op = "PointMap::Create";
    const Gate g = Enter(op, {{"type", static_cast<int>(type)},
                              {"width", size.width},
                              {"height", size.height},
                              {"data", reinterpret_cast<uintptr_t>(data)},
                              {"sdk_owns_data", sdk_owns_data}});
    if (g == Gate::Fail) return Invalid();
    if (type != PointMapType::PointsOnly && type != PointMapType::PointsNormals) {
        vyxsim::data::BadArgument(op, "unknown point map type " + std::to_string(static_cast<int>(type)));
        return Invalid();
    }
    const bool normals = type == PointMapType::PointsNormals;
    std::size_t count = 0;
    if (!vyxsim::data::GridElements(size, normals ? 6 : 3, sizeof(double), &count)) {
        vyxsim::data::BadArgument(op, "invalid point map size " + vyxsim::data::SizeText(size));
        return Invalid();
    }
    Words w;
    if (sdk_owns_data) {
        w = vyxsim::NewPointMap(type, size);
    } else {
        if (data == nullptr) {
            vyxsim::data::BadArgument(op, "null data for a point map over caller memory");
            return Invalid();
        }
        auto obj = std::make_shared<PointMapObj>();
        obj->type = type;
        obj->size = size;
        obj->points = data;
        obj->normals = normals ? data + count / 2 : nullptr;
        w = vyxsim::RegisterObject(Kind::PointMap, obj);
    }
    return Finish(w, g, op);
} catch (...) {
    return vyxsim::FailUnexpected(PointMap());
}

PointMap PointMap::CreateFromFile(const char* path, Size size, PointMapUnit::Enum unit) try {
    static const char* const op = "PointMap::CreateFromFile";
    const Gate g = Enter(op, {{"path", path},
                              {"width", size.width},
                              {"height", size.height},
                              {"unit", static_cast<int>(unit)}});
    if (g == Gate::Fail) return Invalid();
    std::size_t count = 0;
    if (path == nullptr) {
        vyxsim::data::BadArgument(op, "null path");
        return Invalid();
    }
    if (!ValidUnit(unit)) {
        vyxsim::data::BadArgument(op, "unknown unit " + std::to_string(static_cast<int>(unit)));
        return Invalid();
    }
    if (!vyxsim::data::GridElements(size, 6, sizeof(double), &count)) {
        vyxsim::data::BadArgument(op, "invalid point map size " + vyxsim::data::SizeText(size));
        return Invalid();
    }
    const CloudFormat format = FormatOf(path);
    if (format == CloudFormat::None) {
        UnknownFormat(op, path);
        return Invalid();
    }
    vyxsim::fmt::CloudData cloud;
    std::string problem;
    bool ok = false;
    if (format == CloudFormat::Ply) {
        // Read in a stream: the SDK's own binary layout goes straight into
        // the point map's storage.
        vyxsim::fmt::FileReader reader;
        const auto st = reader.Open(path, vyxsim::data::kMaxFileBytes, &problem);
        bool read_failed = st != vyxsim::fmt::ReadStatus::Ok;
        ok = !read_failed && vyxsim::fmt::DecodePlyStream(reader, reader.Size(), UnitScale(unit), &cloud,
                                                          &problem, &read_failed);
        if (read_failed) {
            const char* what = st == vyxsim::fmt::ReadStatus::CannotOpen ? "cannot open " : "cannot read ";
            vyxsim::SetLastError(vyxsim::kIoError,
                                 std::string(op) + ": " + what + vyxsim::data::PathText(path) + ": " + problem);
            return Invalid();
        }
    } else {
        std::vector<uint8_t> bytes;
        if (!vyxsim::data::ReadInputFile(op, path, &bytes)) return Invalid();
        ok = vyxsim::fmt::DecodePcd(bytes.data(), bytes.size(), &cloud, &problem);
    }
    if (!ok) {
        vyxsim::data::BadFile(op, path, problem);
        return Invalid();
    }
    const std::size_t cells = static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height);
    if (cloud.has_grid && (cloud.grid_width != size.width || cloud.grid_height != size.height)) {
        vyxsim::data::BadArgument(op, vyxsim::data::PathText(path) + " holds a " +
                                          vyxsim::data::SizeText({cloud.grid_width, cloud.grid_height}) +
                                          " grid, the size given is " + vyxsim::data::SizeText(size));
        return Invalid();
    }
    if (cloud.count != cells) {
        vyxsim::data::BadArgument(op, vyxsim::data::PathText(path) + " holds " +
                                          std::to_string(cloud.count) + " points, a " +
                                          vyxsim::data::SizeText(size) + " grid needs " +
                                          std::to_string(cells));
        return Invalid();
    }
    const double scale = UnitScale(unit);
    if (scale != 1.0 && format == CloudFormat::Pcd) {
        for (std::size_t i = 0; i < 3 * cells; ++i) cloud.values[i] /= scale;
    }
    auto obj = std::make_shared<PointMapObj>();
    obj->type = cloud.has_normals ? PointMapType::PointsNormals : PointMapType::PointsOnly;
    obj->size = size;
    obj->storage = std::move(cloud.values);
    obj->points = obj->storage.data();
    obj->normals = cloud.has_normals ? obj->storage.data() + 3 * cells : nullptr;
    obj->timestamp = cloud.has_timestamp ? cloud.timestamp : 0;
    return Finish(vyxsim::RegisterObject(Kind::PointMap, obj), g, op);
} catch (...) {
    return vyxsim::FailUnexpected(PointMap());
}

void PointMap::Destroy(PointMap map, bool no_reuse) try {
    vyxsim::data::Destroy<PointMapObj>("PointMap::Destroy", "map", Kind::PointMap, HandleAccess::Get(map),
                                       no_reuse, "point map", [](PointMapObj& obj) {
                                           if (obj.storage.empty()) return;  // caller memory
                                           obj.points = obj.normals = nullptr;
                                           vyxsim::data::RecycleDoubles(std::move(obj.storage));
                                       });
} catch (...) {
    vyxsim::FailUnexpected();
}

bool PointMap::IsValid() const try {
    return MapQuery("PointMap::IsValid", *this, false, [](const PointMapObj&) { return true; });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

Size PointMap::GetSize() const try {
    return MapQuery("PointMap::GetSize", *this, Size(), [](const PointMapObj& obj) { return obj.size; });
} catch (...) {
    return vyxsim::FailUnexpected(Size());
}

PointMap PointMap::Clone() const try {
    static const char* const op = "PointMap::Clone";
    const Gate g = Enter(op, {{"map", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return Invalid();
    const auto src = FindMap(*this);
    if (!src) {
        NoMap(op);
        return Invalid();
    }
    std::shared_ptr<PointMapObj> copy;
    const Words w = vyxsim::NewPointMap(src->type, src->size, &copy);
    if (w.IsZero()) return Invalid();
    const std::size_t values = 3 * static_cast<std::size_t>(src->size.width) *
                               static_cast<std::size_t>(src->size.height);
    std::memcpy(copy->points, src->points, values * sizeof(double));
    if (src->normals != nullptr && copy->normals != nullptr) {
        std::memcpy(copy->normals, src->normals, values * sizeof(double));
    }
    copy->timestamp = src->timestamp.load();
    return Finish(w, g, op);
} catch (...) {
    return vyxsim::FailUnexpected(PointMap());
}

double* PointMap::GetPointDataPtr() const try {
    return MapQuery("PointMap::GetPointDataPtr", *this, static_cast<double*>(nullptr),
                    [](const PointMapObj& obj) { return obj.points; });
} catch (...) {
    return vyxsim::FailUnexpected(static_cast<double*>(nullptr));
}

double* PointMap::GetNormalDataPtr() const try {
    return MapQuery("PointMap::GetNormalDataPtr", *this, static_cast<double*>(nullptr),
                    [](const PointMapObj& obj) { return obj.normals; });
} catch (...) {
    return vyxsim::FailUnexpected(static_cast<double*>(nullptr));
}

bool PointMap::Save(const char* filename, PointMapUnit::Enum unit, bool isBinary,
                    const Image& image) const try {
    static const char* const op = "PointMap::Save";
    const Gate g = Enter(op, {{"map", HandleAccess::Get(*this)},
                              {"filename", filename},
                              {"unit", static_cast<int>(unit)},
                              {"isBinary", isBinary},
                              {"image", HandleAccess::Get(image)}});
    if (g == Gate::Fail) return false;
    const auto obj = FindMap(*this);
    if (!obj) return NoMap(op);
    if (filename == nullptr) return vyxsim::data::BadArgument(op, "null path");
    if (!ValidUnit(unit)) {
        return vyxsim::data::BadArgument(op, "unknown unit " + std::to_string(static_cast<int>(unit)));
    }
    const CloudFormat format = FormatOf(filename);
    if (format == CloudFormat::None) return UnknownFormat(op, filename);

    vyxsim::fmt::CloudView view;
    view.width = obj->size.width;
    view.height = obj->size.height;
    view.points = obj->points;
    view.normals = obj->normals;
    view.scale = UnitScale(unit);
    view.unit_name = UnitName(unit);
    view.timestamp = obj->timestamp.load();
    // Colours from an image of the same grid; any other image (or none) is
    // not used.
    const auto img = vyxsim::Find<ImageObj>(Kind::Image, HandleAccess::Get(image));
    if (img && img->size.width == obj->size.width && img->size.height == obj->size.height &&
        img->data != nullptr) {
        view.colors.pixels = img->data;
        view.colors.channels = img->type == ImageType::Mono8 ? 1 : 3;
        view.colors.bgr = img->type == ImageType::BGR8;
    }

    vyxsim::fmt::FileSink sink;
    std::string problem;
    if (!sink.Open(filename, &problem)) {
        return vyxsim::Fail(false, vyxsim::kIoError, std::string(op) + ": cannot write " +
                                                         vyxsim::data::PathText(filename) + ": " + problem);
    }
    const bool encoded = format == CloudFormat::Ply ? vyxsim::fmt::EncodePly(view, isBinary, sink, &problem)
                                                    : vyxsim::fmt::EncodePcd(view, isBinary, sink, &problem);
    if (!sink.Finish(encoded, &problem)) {
        return vyxsim::Fail(false, vyxsim::kIoError,
                            std::string(op) + ": cannot write " + vyxsim::data::PathText(filename) +
                                ": " + problem);
    }
    if (g == Gate::FailAfterWork) return vyxsim::FailInjected(false, op);
    return true;
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

uint64_t PointMap::GetTimestamp() const try {
    return MapQuery("PointMap::GetTimestamp", *this, uint64_t{0},
                    [](const PointMapObj& obj) { return obj.timestamp.load(); });
} catch (...) {
    return vyxsim::FailUnexpected(uint64_t{0});
}

bool PointMap::SetTimestamp(uint64_t timestamp) try {
    static const char* const op = "PointMap::SetTimestamp";
    const Gate g = Enter(op, {{"map", HandleAccess::Get(*this)},
                              {"timestamp", static_cast<unsigned long long>(timestamp)}});
    if (g == Gate::Fail) return false;
    const auto obj = FindMap(*this);
    if (!obj) return NoMap(op);
    obj->timestamp = timestamp;
    if (g == Gate::FailAfterWork) return vyxsim::FailInjected(false, op);
    return true;
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

}  // namespace Vyx
