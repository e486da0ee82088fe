// Region-of-interest rules of a camera: steps, minimum size, the image as
// maximum, the check and the adjustment, and the ROI's text for traces and
// messages. An all-zero ROI stands for the whole image.
#pragma once

#include <string>

#include "core/devices.h"
#include "vyx/types.h"

namespace vyxsim::cam {

// "[x y w h]".
std::string RoiText(const Vyx::ROI& roi);

Vyx::ROIRange RoiRange(const CameraModel& camera);
// True when `roi` follows the rules; otherwise false with `why` set.
bool RoiFollowsRules(const CameraModel& camera, const Vyx::ROI& roi, std::string* why);
// The smallest ROI that follows the rules and covers as much of `roi` as lies
// inside the image.
Vyx::ROI AdjustRoi(const CameraModel& camera, const Vyx::ROI& roi);
// True when `roi` is all zero or lies inside the image (the rule captures
// and automatic settings apply); otherwise false with `why` set.
bool RoiInsideImage(const CameraModel& camera, const Vyx::ROI& roi, std::string* why);

}  // namespace vyxsim::cam
