// White balance of a colour device: the ratios as set (Set/GetBalanceRatio,
// GetBalanceRange), the arguments AutoWhiteBalance takes, and the grey-world
// balance it computes. Each reports failures through the last error, naming
// `op`.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "camera/camera_state.h"
#include "camera/options.h"
#include "sensor/exposure.h"
#include "sensor/image.h"
#include "sensor/model.h"
#include "sensor/noise.h"
#include "sensor/samples.h"
#include "camera/roi.h"
#include "core/devices.h"
#include "core/error.h"
#include "rendering/projection.h"
#include "rendering/render.h"
#include "vyx/types.h"

namespace vyxsim::cam {

// "device 'SERIAL'" (session.h).
std::string DeviceText(const DeviceRecord& device);

// Colour devices only; grey ones fail with kUnsupported.
bool SetBalance(const char* op, const DeviceRecord& device, CameraState& state, Vyx::BalanceSelector selector,
                float ratio);
bool GetBalance(const char* op, const DeviceRecord& device, CameraState& state, Vyx::BalanceSelector selector,
                float* ratio);
bool BalanceRange(const char* op, const DeviceRecord& device, Vyx::BalanceSelector selector, float* min,
                  float* max);

// The arguments of an automatic white balance: a colour device, 1 to 100
// frames, valid 2D fields in `o`, and a region inside the image of `camera`.
template <class O>
bool WhiteBalanceArgs(const char* op, const DeviceRecord& device, int frames, const O& o, const CameraModel& camera,
                      const Vyx::ROI& roi) {
    if (!device.color) {
        return Fail(false, kUnsupported, std::string(op) + ": " + DeviceText(device) + " has grey cameras; white balance needs colour");
    }
    if (frames < 1 || frames > 100) {
        return Fail(false, kInvalidArgument, std::string(op) + ": frames " + std::to_string(frames) + " is outside 1 .. 100");
    }
    if (!Validate2DFields(op, o)) return false;
    std::string why;
    if (!RoiInsideImage(camera, roi, &why)) return Fail(false, kInvalidArgument, std::string(op) + ": " + why);
    return true;
}

// White balance by grey world: the mean of each raw channel over `roi` in
// each of `views` (a frame and the camera index its noise belongs to),
// `repeats` noisy frames each, leaving out pixels that are saturated or
// nearly black in the image. The ratios make red and blue match green.
struct BalanceView {
    const scene::Frame* frame;
    int camera_index;
};
bool GreyWorldBalance(const char* op, const std::vector<BalanceView>& views, const std::string& serial,
                      uint64_t capture_index, uint64_t noise_purpose, int repeats, const Params2D& params2d,
                      const Sensor& sensor, const Vyx::ROI& roi, std::array<float, 3>* ratios);

}  // namespace vyxsim::cam
