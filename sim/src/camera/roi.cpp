// Region-of-interest rules of a camera (roi.h).
#include "camera/roi.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace vyxsim::cam {

std::string RoiText(const Vyx::ROI& r) {
    return "[" + std::to_string(r.x) + " " + std::to_string(r.y) + " " + std::to_string(r.width) + " " +
           std::to_string(r.height) + "]";
}

namespace {
constexpr int kXStep = 8, kYStep = 2, kWStep = 16, kHStep = 2, kMinSize = 64;
}

Vyx::ROIRange RoiRange(const CameraModel& c) {
    Vyx::ROIRange r;
    r.x_step = kXStep;
    r.y_step = kYStep;
    r.width_step = kWStep;
    r.height_step = kHStep;
    r.width_min = std::min(kMinSize, c.width);
    r.height_min = std::min(kMinSize, c.height);
    r.width_max = c.width;
    r.height_max = c.height;
    return r;
}

bool RoiInsideImage(const CameraModel& c, const Vyx::ROI& r, std::string* why) {
    if (r.x == 0 && r.y == 0 && r.width == 0 && r.height == 0) return true;
    if (r.x < 0 || r.y < 0 || r.width <= 0 || r.height <= 0 || static_cast<int64_t>(r.x) + r.width > c.width ||
        static_cast<int64_t>(r.y) + r.height > c.height) {
        if (why) {
            *why = "roi [" + std::to_string(r.x) + " " + std::to_string(r.y) + " " + std::to_string(r.width) + " " +
                   std::to_string(r.height) + "] does not lie inside the " + std::to_string(c.width) + " x " +
                   std::to_string(c.height) + " image";
        }
        return false;
    }
    return true;
}

bool RoiFollowsRules(const CameraModel& c, const Vyx::ROI& r, std::string* why) {
    if (r.x == 0 && r.y == 0 && r.width == 0 && r.height == 0) return true;
    if (!RoiInsideImage(c, r, why)) return false;
    const Vyx::ROIRange rr = RoiRange(c);
    auto fail = [&](const std::string& w) {
        if (why) *why = w;
        return false;
    };
    if (r.x % kXStep != 0) return fail("x " + std::to_string(r.x) + " is not a multiple of " + std::to_string(kXStep));
    if (r.y % kYStep != 0) return fail("y " + std::to_string(r.y) + " is not a multiple of " + std::to_string(kYStep));
    if (r.width < rr.width_min) return fail("width " + std::to_string(r.width) + " is below " + std::to_string(rr.width_min));
    if (r.height < rr.height_min) return fail("height " + std::to_string(r.height) + " is below " + std::to_string(rr.height_min));
    if (r.width % kWStep != 0 && r.x + r.width != c.width) {
        return fail("width " + std::to_string(r.width) + " is not a multiple of " + std::to_string(kWStep) +
                    " and does not reach the right edge");
    }
    if (r.height % kHStep != 0 && r.y + r.height != c.height) {
        return fail("height " + std::to_string(r.height) + " is not a multiple of " + std::to_string(kHStep) +
                    " and does not reach the bottom edge");
    }
    return true;
}

namespace {

// One axis: start snapped down to `step`, length rounded up to `lstep`, at
// least `min`, inside [0, size).
void AdjustAxis(int64_t start, int64_t length, int size, int step, int lstep, int min, int32_t* out_start,
                int32_t* out_length) {
    int64_t a = std::clamp<int64_t>(start, 0, size);
    int64_t b = std::clamp<int64_t>(start + std::max<int64_t>(length, 0), 0, size);
    a = a / step * step;
    const int64_t min_len = std::min(min, size);
    int64_t len = std::max<int64_t>(b - a, min_len);
    len = (len + lstep - 1) / lstep * lstep;
    if (a + len > size) {
        len = size - a;  // reaching the edge is allowed
        if (len < min_len) {
            a = std::max<int64_t>(0, (size - min_len) / step * step);
            len = size - a;
        }
    }
    *out_start = static_cast<int32_t>(a);
    *out_length = static_cast<int32_t>(len);
}

}  // namespace

Vyx::ROI AdjustRoi(const CameraModel& c, const Vyx::ROI& r) {
    if (r.x == 0 && r.y == 0 && r.width == 0 && r.height == 0) return r;
    Vyx::ROI out(0, 0, 0, 0);
    AdjustAxis(r.x, r.width, c.width, kXStep, kWStep, kMinSize, &out.x, &out.width);
    AdjustAxis(r.y, r.height, c.height, kYStep, kHStep, kMinSize, &out.y, &out.height);
    return out;
}

}  // namespace vyxsim::cam
