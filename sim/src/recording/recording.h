// Recording folders (docs/recording-format.md): a manifest.json and, per
// frame, the point map (PLY), depth and confidence (.npy), the image (X1) or
// both images and the correspondence map (X2). LoadRecording checks the
// whole folder before anything uses it: the manifest, every listed file
// (inside the folder, a regular file) and every file's header against the
// recording's resolution, image type and normals, with the sizes of PLY and
// .npy files so that a truncated file is caught. ReadFrame reads one frame's
// values, exactly as they were recorded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vyx/types.h"

namespace vyxsim::rec {

// The files of a frame, by role.
enum Role { kPoints, kDepth, kConfidence, kImage, kLeft, kRight, kCorrespondence, kRoleCount };
const char* RoleName(int role);

// A camera's calibration as the SDK returned it (32-bit floats).
struct Calibration {
    std::array<float, 9> camera_matrix{};
    std::array<float, 5> distortion{};
    std::array<float, 16> extrinsic{};
};

// The recorded DeviceInfo.
struct RecordedDevice {
    std::string name, sn, factory_date, port_text;
    Vyx::PortType port = Vyx::PortType_USB;
    int32_t cameraid = 0, board_model = 0, support_color = 0, support_capture_mode = 0;
    bool support_x1 = true, support_x2 = true, support_protective_cover = false, support_extra = false;
    int32_t workingdist_near_mm = 0, workingdist_far_mm = 0;
};

struct RecordedFrame {
    uint64_t timestamp_us = 0;
    std::array<std::string, kRoleCount> files;  // paths; empty for roles the camera kind lacks
};

struct Recording {
    std::string folder;  // as messages name it, without a trailing slash
    bool x2 = false;
    Vyx::CameraID camera_id = Vyx::CameraID_Left;  // X1: the camera it was opened with
    int width = 0, height = 0;
    Vyx::ImageType::Enum image_type = Vyx::ImageType::Mono8;
    bool normals = false;
    bool has_left = false, has_right = false;
    Calibration left, right;
    RecordedDevice device;
    std::vector<RecordedFrame> frames;

    std::size_t Pixels() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
    int Channels() const { return image_type == Vyx::ImageType::Mono8 ? 1 : 3; }
};

// Resolution limits of a recording: each side 1 .. 16384, at most 2^26
// pixels (so that a frame's largest file stays within 3 GiB).
constexpr int kMaxSide = 16384;
constexpr std::size_t kMaxPixels = std::size_t{1} << 26;

// Loads and checks the recording in `folder`. Null, with "'<file>': <what is
// wrong>" in `error`, when it is damaged or incomplete.
std::shared_ptr<const Recording> LoadRecording(const std::string& folder, std::string* error);

// One frame's values. Points: 3 doubles per pixel, then (with normals) 3 per
// pixel more; depth and confidence 1, correspondence 2; images in the SDK's
// byte order of the recording's image type (index 0 the X1 image or the
// X2 left one, 1 the X2 right one).
struct FrameData {
    std::vector<double> points, depth, confidence, correspondence;
    std::array<std::vector<uint8_t>, 2> images;
};

// What ReadFrame reads: the 3D maps (with the correspondence on X2) and/or
// images (bit 0: the X1 image or the left one; bit 1: the right one).
struct FramePart {
    bool maps = true;
    unsigned images = 3;
};

// Reads frame `index`; false with "'<file>': <what is wrong>" in `error`
// when a file changed since loading and no longer agrees.
bool ReadFrame(const Recording& rec, std::size_t index, FramePart part, FrameData* out, std::string* error);

}  // namespace vyxsim::rec
