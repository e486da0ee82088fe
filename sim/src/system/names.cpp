// Name tables and the exported record constructors. Pure value functions:
// they need no SystemInit and are not traced.
#include "vyx/tools.h"
#include "vyx/types.h"

namespace Vyx {

const char* SystemListDeviceType::ToString(Enum type) {
    switch (type) {
        case USB: return "USB";
        case GigE: return "GigE";
        case All: return "All";
    }
    return nullptr;
}

const char* PointMapUnit::ToString(Enum unit) {
    switch (unit) {
        case Meter: return "Meter";
        case Millimeter: return "Millimeter";
    }
    return nullptr;
}

const char* ImageType::ToString(Enum type) {
    switch (type) {
        case None: return "None";
        case Mono8: return "Mono8";
        case RGB8: return "RGB8";
        case BGR8: return "BGR8";
    }
    return nullptr;
}

std::size_t ImageType::GetPixelSize(Enum type) {
    switch (type) {
        case Mono8: return 1;
        case RGB8:
        case BGR8: return 3;
        case None: return 0;
    }
    return 0;
}

const char* PointMapType::ToString(Enum type) {
    switch (type) {
        case None: return "None";
        case PointsOnly: return "PointsOnly";
        case PointsNormals: return "PointsNormals";
    }
    return nullptr;
}

ROI::ROI() : x(0), y(0), width(0), height(0) {}

CodedCircleMarker::CodedCircleMarker() : x(0.0), y(0.0), code(0) {}

}  // namespace Vyx
