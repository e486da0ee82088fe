// Vyx::DepthMap, Vyx::ConfidenceMap, Vyx::CorrespondMap: per-pixel result
// maps, and depth map files.
#include <cmath>

#include "core/call.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/objects.h"
#include "data/common.h"
#include "data/object_ops.h"
#include "data/formats/bytes.h"
#include "data/formats/io.h"
#include "data/formats/png.h"
#include "data/formats/tiff.h"
#include "vyx/data.h"

namespace Vyx {

using vyxsim::Enter;
using vyxsim::Gate;
using vyxsim::Kind;
using vyxsim::MapObj;

namespace {

template <class M>
std::shared_ptr<MapObj> FindMap(const M& map, Kind kind) {
    return vyxsim::data::FindOf<MapObj>(kind, map);
}

template <class M>
bool MapIsValid(const M& map, Kind kind, const char* op) {
    return vyxsim::data::Query<MapObj>(op, "map", kind, map, false, [](const MapObj&) { return true; });
}

template <class M>
Size MapSize(const M& map, Kind kind, const char* op) {
    return vyxsim::data::Query<MapObj>(op, "map", kind, map, Size(), [](const MapObj& obj) { return obj.size; });
}

template <class M>
double* MapData(const M& map, Kind kind, const char* op) {
    return vyxsim::data::Query<MapObj>(op, "map", kind, map, static_cast<double*>(nullptr),
                                       [](const MapObj& obj) { return obj.data; });
}

// Depth in metres to 16-bit millimetres: rounded, 0 for no measurement (NaN)
// and below, 65535 for anything beyond 65.535 m.
uint16_t DepthToMillimetres(double metres) {
    if (!(metres > 0)) return 0;
    const double mm = std::round(metres * 1000.0);
    return mm >= 65535.0 ? uint16_t{65535} : static_cast<uint16_t>(mm);
}

}  // namespace

bool DepthMap::IsValid() const try {
    return MapIsValid(*this, Kind::DepthMap, "DepthMap::IsValid");
} catch (...) {
    return vyxsim::FailUnexpected(false);
}
Size DepthMap::GetSize() const try {
    return MapSize(*this, Kind::DepthMap, "DepthMap::GetSize");
} catch (...) {
    return vyxsim::FailUnexpected(Size());
}
double* DepthMap::GetDataPtr() const try {
    return MapData(*this, Kind::DepthMap, "DepthMap::GetDataPtr");
} catch (...) {
    return vyxsim::FailUnexpected(static_cast<double*>(nullptr));
}

bool DepthMap::SaveDepthMap(const char* path, bool float32) const try {
    static const char* const op = "DepthMap::SaveDepthMap";
    const Gate g = Enter(op, {{"map", HandleAccess::Get(*this)}, {"path", path}, {"float32", float32}});
    if (g == Gate::Fail) return false;
    const auto obj = FindMap(*this, Kind::DepthMap);
    if (!obj) return vyxsim::data::NoObject(op, "depth map");
    if (path == nullptr) return vyxsim::data::BadArgument(op, "null path");
    const std::string ext = vyxsim::fmt::LowerExtension(path);
    if (float32 && ext != "tif" && ext != "tiff") {
        return vyxsim::data::BadArgument(op, "float32 depth maps are TIFF files (.tif or .tiff), not " +
                                                 vyxsim::data::PathText(path));
    }
    if (!float32 && ext != "png") {
        return vyxsim::data::BadArgument(op, "16-bit depth maps are PNG files (.png), not " +
                                                 vyxsim::data::PathText(path));
    }
    const std::size_t count = static_cast<std::size_t>(obj->size.width) *
                              static_cast<std::size_t>(obj->size.height);
    std::vector<uint8_t> bytes;
    std::string problem;
    bool encoded = false;
    try {
        if (float32) {
            std::vector<float> values(count);
            for (std::size_t i = 0; i < count; ++i) values[i] = vyxsim::fmt::ToFloat(obj->data[i]);
            encoded = vyxsim::fmt::EncodeTiffFloat(obj->size.width, obj->size.height, values.data(),
                                                   &bytes, &problem);
        } else {
            std::vector<uint16_t> values(count);
            for (std::size_t i = 0; i < count; ++i) values[i] = DepthToMillimetres(obj->data[i]);
            encoded = vyxsim::fmt::EncodePngGray16(obj->size.width, obj->size.height,
                                                   values.data(), &bytes, &problem);
        }
    } catch (const std::bad_alloc&) {
        problem = "out of memory";
    }
    if (!encoded) {
        return vyxsim::data::BadArgument(op, "cannot encode the depth map for " +
                                                 vyxsim::data::PathText(path) + ": " + problem);
    }
    if (!vyxsim::data::WriteOutputFile(op, path, bytes)) return false;
    if (g == Gate::FailAfterWork) return vyxsim::FailInjected(false, op);
    return true;
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

bool ConfidenceMap::IsValid() const try {
    return MapIsValid(*this, Kind::ConfidenceMap, "ConfidenceMap::IsValid");
} catch (...) {
    return vyxsim::FailUnexpected(false);
}
Size ConfidenceMap::GetSize() const try {
    return MapSize(*this, Kind::ConfidenceMap, "ConfidenceMap::GetSize");
} catch (...) {
    return vyxsim::FailUnexpected(Size());
}
double* ConfidenceMap::GetDataPtr() const try {
    return MapData(*this, Kind::ConfidenceMap, "ConfidenceMap::GetDataPtr");
} catch (...) {
    return vyxsim::FailUnexpected(static_cast<double*>(nullptr));
}

bool CorrespondMap::IsValid() const try {
    return MapIsValid(*this, Kind::CorrespondMap, "CorrespondMap::IsValid");
} catch (...) {
    return vyxsim::FailUnexpected(false);
}
Size CorrespondMap::GetSize() const try {
    return MapSize(*this, Kind::CorrespondMap, "CorrespondMap::GetSize");
} catch (...) {
    return vyxsim::FailUnexpected(Size());
}
double* CorrespondMap::GetDataPtr() const try {
    return MapData(*this, Kind::CorrespondMap, "CorrespondMap::GetDataPtr");
} catch (...) {
    return vyxsim::FailUnexpected(static_cast<double*>(nullptr));
}

}  // namespace Vyx
