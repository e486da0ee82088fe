// NormalData: the module's own snapshot of a point map's normals.
#pragma once

#include "vyx/data.h"
#include "vyx/types.h"

// Whether the point map had normal storage when the record was made, that
// storage (not owned: height x width x 3 doubles) and the point map's size at
// the time. The record never frees `data` and does not keep the point map
// alive.
//
// `source` names the point map the record was made from. It is not exposed;
// the normal view asks the SDK through it whether `data` is still that point
// map's normal storage, so a record that outlives its point map gives an
// empty view instead of describing released memory.
struct NormalData {
    bool valid = false;
    double* data = nullptr;
    Vyx::Size size;
    Vyx::PointMap source;

    bool IsValid() const { return valid; }
    Vyx::Size GetSize() const { return size; }
};
