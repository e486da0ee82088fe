// The X2 camera object and what the X2 front reads of it (x2_camera.h): its
// session hooks, its cameras, the checks of an X2 options record, the frame
// its points come in, and the release of its results.
#include "camera/x2_camera.h"
#include "camera/replay.h"
#include "camera/transform.h"

#include <atomic>
#include <mutex>
#include <string>

#include "camera/options.h"
#include "camera/x2_linescan.h"

namespace vyxsim {

namespace {

// X2 session ids count from 2^63, so that they never meet the ids X1
// handles take from their own counter (which starts at 1).
std::atomic<uint64_t> g_next_x2_id{(uint64_t{1} << 63) + 1};

}  // namespace

// ---------------------------------------------------------------------------
// The camera object.

X2Obj::X2Obj() : CameraSession(g_next_x2_id.fetch_add(1)) {}

const CameraModel& X2Obj::Model(int index) const {
    if (index == kRightCam) return device->right;
    if (index == kExtraCam) return extra;
    return device->left;
}

bool X2Obj::TakeDevice(const char* op) {
    std::lock_guard<std::mutex> lock(mutex);
    bool taken = false;
    if (!cam::ReplayOpens(op, *device, true, Vyx::CameraID_Left)) return false;
    if (!cam::AcquireDevice(op, *device, *state, id, &taken)) return false;
    // A scan left over from a lost connection ends with the session.
    if (taken) scan.reset();
    return true;
}

void X2Obj::CloseSession() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        EndScan(*this);
    }
    DropSession();
}

void X2Obj::ReleaseCaptures() {
    EndScan(*this);
    ReleaseX2Results(results);
}

bool X2Obj::ValidateStored(const Options& o, std::string* why) const {
    return ValidateX2(o, X2Use::Store, *device, why);
}

const CameraModel& X2Obj::SamplingCamera(const Options& o) const { return Model(MeasuringCamera(o.transform_to_camera)); }

cam::Params2D X2Obj::Params2DOf(const Options& o) { return Params2DFrom(o); }

// ---------------------------------------------------------------------------
// Cameras.

const char* CameraName(int index) {
    switch (index) {
        case kLeftCam: return "left";
        case kRightCam: return "right";
        default: return "extra";
    }
}

int CameraIndex(const X2Obj& c, Vyx::CameraID id, const char* op) {
    switch (id) {
        case Vyx::CameraID_Left: return kLeftCam;
        case Vyx::CameraID_Right: return kRightCam;
        case Vyx::CameraID_Extra:
            if (c.device->extra_camera) return kExtraCam;
            return Fail(-1, kUnsupported, std::string(op) + ": " + cam::DeviceText(*c.device) + " has no extra camera");
        default:
            return Fail(-1, kInvalidArgument,
                        std::string(op) + ": camera " + std::to_string(static_cast<int>(id)) +
                            " is not CameraID_Left (1), CameraID_Right (2) or CameraID_Extra (4)");
    }
}

CameraModel ExtraCameraModel(const DeviceRecord& d) {
    CameraModel m = d.left;
    m.pose = d.projector.pose;
    m.pose[7] -= 0.035;
    return m;
}

double StereoBaseline(const DeviceRecord& d) {
    return (scene::CameraCentre(d.right) - scene::CameraCentre(d.left)).norm();
}

// ---------------------------------------------------------------------------
// Options.

Vyx::X1::CaptureOptions SharedFields(const Vyx::X2::CaptureOptions& o) {
    Vyx::X1::CaptureOptions s;
    s.calc_normal = o.calc_normal;
    s.use_auto_noise_removal = o.use_auto_noise_removal;
    s.noise_removal_distance = o.noise_removal_distance;
    s.noise_removal_point_number = o.noise_removal_point_number;
    s.light_contrast_threshold = o.light_contrast_threshold;
    s.exposure_time_2d = o.exposure_time_2d;
    s.exposure_time_3d = o.exposure_time_3d;
    s.projector_brightness = o.projector_brightness;
    s.gain_2d = o.gain_2d;
    s.gain_3d = o.gain_3d;
    s.hdr_exposure_times = o.hdr_exposure_times;
    for (int i = 0; i < 3; ++i) {
        s.hdr_exposure_time_content[i] = o.hdr_exposure_time_content[i];
        s.hdr_gain_content[i] = o.hdr_gain_content[i];
        s.hdr_scan_times_content[i] = o.hdr_scan_times_content[i];
        s.hdr_projector_brightness_content[i] = o.hdr_projector_brightness_content[i];
    }
    s.calc_normal_radius = o.calc_normal_radius;
    s.gamma_2d = o.gamma_2d;
    s.gamma_3d = o.gamma_3d;
    s.use_projector_capturing_2d_image = o.use_projector_capturing_2d_image;
    s.smoothness = o.smoothness;
    s.downsample_distance = o.downsample_distance;
    s.capture_mode = o.capture_mode;
    s.confidence_threshold = o.confidence_threshold;
    s.roi = o.roi;
    s.truncate_z_min = o.truncate_z_min;
    s.truncate_z_max = o.truncate_z_max;
    s.bilateral_filter_kernal_size = o.bilateral_filter_kernal_size;
    s.bilateral_filter_depth_sigma = o.bilateral_filter_depth_sigma;
    s.bilateral_filter_space_sigma = o.bilateral_filter_space_sigma;
    s.scan_times = o.scan_times;
    s.use_auto_bilateral_filter = o.use_auto_bilateral_filter;
    s.reflection_filter_threshold = o.reflection_filter_threshold;
    s.smooth_sigma = o.smooth_sigma;
    s.enable_2d_in_capture = o.enable_2d_in_capture;
    return s;
}

namespace {

bool IsLineScanMode(Vyx::CaptureMode m) {
    return m == Vyx::CaptureMode_SwingLineScan || m == Vyx::CaptureMode_FixedLineScan ||
           m == Vyx::CaptureMode_LineArrayShift;
}

}  // namespace

bool ValidateX2(const Vyx::X2::CaptureOptions& o, X2Use use, const DeviceRecord& d, std::string* error) {
    const int t = o.transform_to_camera;
    if (!(t == Vyx::CameraID_Left || t == Vyx::CameraID_Right || (t == Vyx::CameraID_Extra && d.extra_camera))) {
        if (error) {
            *error = "transform_to_camera = " + std::to_string(t) + " is not CameraID_Left (1), CameraID_Right (2)" +
                     (d.extra_camera ? " or CameraID_Extra (4)" : " (" + cam::DeviceText(d) + " has no extra camera)");
        }
        return false;
    }
    if (use == X2Use::LineScan) return ValidateLineScan(o, d, error);
    Vyx::X1::CaptureOptions shared = SharedFields(o);
    if (IsLineScanMode(o.capture_mode)) {
        if (use == X2Use::Capture) {
            if (error) {
                *error = "capture_mode " + std::to_string(static_cast<int>(o.capture_mode)) +
                         " is a line-scan mode; X2::StartFixedLineScan makes line scans";
            }
            return false;
        }
        if ((d.capture_modes & o.capture_mode) == 0) {
            if (error) {
                *error = "capture_mode " + std::to_string(static_cast<int>(o.capture_mode)) + " is not supported by " +
                         cam::DeviceText(d);
            }
            return false;
        }
        // The other fields as a capture in an area mode of the device reads them.
        shared.capture_mode = Vyx::CaptureMode_Normal;
        for (int bit = 1; bit <= Vyx::CaptureMode_AntiInterReflection; bit <<= 1) {
            if (d.capture_modes & bit) {
                shared.capture_mode = static_cast<Vyx::CaptureMode>(bit);
                break;
            }
        }
    }
    return ValidateOptions(shared, d, MeasuringCamera(o.transform_to_camera) == kRightCam ? d.right : d.left, error);
}

int MeasuringCamera(Vyx::CameraID t) { return t == Vyx::CameraID_Right ? kRightCam : kLeftCam; }

bool DeviceToOutput(const char* op, const X2Obj& c, Vyx::CameraID tcam, const Vyx::X2::CustomTransformOptions& ct,
                    const scene::Scene& sc, Eigen::Matrix4d* out) {
    using CT = Vyx::X2::CustomTransformOptions;
    const Eigen::Matrix4d T = cam::TransformMatrix(ct.transform);
    switch (ct.coordinate_select) {
        case CT::CoordinateSelect_CameraLeft:
            *out = T * scene::DeviceToCamera(c.Model(kLeftCam));
            return true;
        case CT::CoordinateSelect_CameraRight:
            *out = T * scene::DeviceToCamera(c.Model(kRightCam));
            return true;
        case CT::CoordinateSelect_CameraExtra:
            if (!c.device->extra_camera) {
                return Fail(false, kUnsupported,
                            std::string(op) + ": the custom transformation is relative to the extra camera, and " +
                                cam::DeviceText(*c.device) + " has none");
            }
            *out = T * scene::DeviceToCamera(c.Model(kExtraCam));
            return true;
        case CT::CoordinateSelect_CaliBoard: {
            Eigen::Matrix4d to_board;
            if (!cam::DeviceToBoard(op, *c.device, sc, &to_board)) return false;
            *out = T * to_board;
            return true;
        }
        default: {
            const int index = tcam == Vyx::CameraID_Right ? kRightCam : tcam == Vyx::CameraID_Extra ? kExtraCam : kLeftCam;
            *out = scene::DeviceToCamera(c.Model(index));
            return true;
        }
    }
}

// ---------------------------------------------------------------------------
// Results.

void ReleaseX2Results(X2Obj::Results& r) {
    for (int i = 0; i < 3; ++i) {
        if (!r.image[i].IsZero()) RemoveObject(Kind::Image, r.image[i]);
    }
    if (!r.depth.IsZero()) RemoveObject(Kind::DepthMap, r.depth);
    if (!r.confidence.IsZero()) RemoveObject(Kind::ConfidenceMap, r.confidence);
    if (!r.correspond.IsZero()) RemoveObject(Kind::CorrespondMap, r.correspond);
    if (!r.points.IsZero()) RemoveObject(Kind::PointMap, r.points);
    if (!r.mesh.IsZero()) RemoveObject(Kind::Mesh, r.mesh);
    r = X2Obj::Results{};
}

}  // namespace vyxsim
