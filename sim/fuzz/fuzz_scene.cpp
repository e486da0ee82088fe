// Scene reader over arbitrary text, given as the "scene" of the one device of
// an otherwise valid configuration. The configuration loads exactly when the
// scene reads (it is read at load); what reads must then be read again by the
// capture, survive a round trip through SceneToJson, and a 16 x 16 capture on
// it must succeed and give consistent maps.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "core/device_registry.h"
#include "core/devices.h"
#include "core/error.h"
#include "scene/device_scenes.h"
#include "scene/scene_json.h"
#include "fuzz_check.h"
#include "scene/scene.h"
#include "vyx/vyx.h"
#include "vyxsim/control.h"

namespace {

// The smallest camera the configuration allows keeps the capture cheap.
const char kBefore[] = R"({"devices": [{"name": "Fuzz scene", "serial": "FUZZ-SCENE", "port": "USB",
  "resolution": [16, 16], "capabilities": {"capture_modes": ["Fast"]}, "scene": )";
const char kAfter[] = "}]}";

bool SameRgb(const vyxsim::scene::Rgb& a, const vyxsim::scene::Rgb& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

// Written and read back, a scene keeps every value. Rotations are written as
// angles, so they come back within rounding; near gimbal lock the angles are
// found only to about 1e-4.
void CheckSceneRoundTrip(const vyxsim::scene::Scene& s) {
    using namespace vyxsim::scene;
    Scene back;
    std::string error;
    FUZZ_CHECK(ParseScene(SceneToJson(s), &back, &error));
    FUZZ_CHECK(back.ambient == s.ambient && SameRgb(back.ambient_color, s.ambient_color));
    FUZZ_CHECK(SameRgb(back.marker_bright, s.marker_bright) && SameRgb(back.marker_dark, s.marker_dark));
    FUZZ_CHECK(back.marker_geometry.bits == s.marker_geometry.bits);
    FUZZ_CHECK(back.marker_geometry.r1_ratio == s.marker_geometry.r1_ratio);
    FUZZ_CHECK(back.marker_geometry.r2_ratio == s.marker_geometry.r2_ratio);
    FUZZ_CHECK(back.marker_geometry.border_ratio == s.marker_geometry.border_ratio);
    FUZZ_CHECK(back.objects.size() == s.objects.size());
    for (size_t i = 0; i < s.objects.size(); ++i) {
        const Object& a = s.objects[i];
        const Object& b = back.objects[i];
        FUZZ_CHECK(a.shape == b.shape && a.name == b.name);
        FUZZ_CHECK(a.pose.t == b.pose.t);
        FUZZ_CHECK((a.pose.R - b.pose.R).cwiseAbs().maxCoeff() < 1e-3);
        FUZZ_CHECK(a.size == b.size && a.radius == b.radius && a.height == b.height);
        FUZZ_CHECK(SameRgb(a.albedo, b.albedo));
        FUZZ_CHECK(a.markers.size() == b.markers.size());
        for (size_t m = 0; m < a.markers.size(); ++m) {
            FUZZ_CHECK(a.markers[m].kind == b.markers[m].kind && a.markers[m].word == b.markers[m].word);
            FUZZ_CHECK(a.markers[m].position == b.markers[m].position && a.markers[m].r0 == b.markers[m].r0);
        }
        if (a.shape == Shape::Board) {
            FUZZ_CHECK(a.grid.cols == b.grid.cols && a.grid.rows == b.grid.rows);
            FUZZ_CHECK(a.grid.spacing == b.grid.spacing && a.grid.radius == b.grid.radius);
            FUZZ_CHECK(SameRgb(a.grid.albedo, b.grid.albedo));
        }
    }
}

// Per pixel either no point (NaN point and depth, zero confidence) or a
// finite point whose z is the depth (camera frame, no transformation), within
// the default truncation of +-9999 mm, with a confidence in (0, 1].
void CheckMaps(Vyx::X1& camera) {
    Vyx::PointMap points = camera.GetPointMap();
    Vyx::DepthMap depth = camera.GetDepthMap();
    Vyx::ConfidenceMap confidence = camera.GetConfidenceMap();
    FUZZ_CHECK(points.IsValid() && depth.IsValid() && confidence.IsValid());
    const Vyx::Size size = points.GetSize();
    FUZZ_CHECK(size.width == 16 && size.height == 16);
    FUZZ_CHECK(depth.GetSize().width == 16 && depth.GetSize().height == 16);
    FUZZ_CHECK(confidence.GetSize().width == 16 && confidence.GetSize().height == 16);
    const double* p = points.GetPointDataPtr();
    const double* d = depth.GetDataPtr();
    const double* c = confidence.GetDataPtr();
    for (int k = 0; k < 16 * 16; ++k) {
        const double x = p[3 * k], y = p[3 * k + 1], z = p[3 * k + 2];
        if (std::isnan(z)) {
            FUZZ_CHECK(std::isnan(x) && std::isnan(y) && std::isnan(d[k]) && c[k] == 0.0);
        } else {
            FUZZ_CHECK(std::isfinite(x) && std::isfinite(y) && std::isfinite(z));
            FUZZ_CHECK(d[k] == z && std::abs(z) <= 9.999);
            FUZZ_CHECK(c[k] > 0.0 && c[k] <= 1.0);
        }
    }
}

// How deep arrays and objects nest in JSON text.
int Nesting(const std::string& text) {
    int depth = 0, deepest = 0;
    bool in_string = false, escaped = false;
    for (char ch : text) {
        if (in_string) {
            if (escaped) {
                escaped = false;
            } else if (ch == '\\') {
                escaped = true;
            } else if (ch == '"') {
                in_string = false;
            }
        } else if (ch == '"') {
            in_string = true;
        } else if (ch == '[' || ch == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (ch == ']' || ch == '}') {
            --depth;
        }
    }
    return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool inited = Vyx::SystemInit();
    FUZZ_CHECK(inited);
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string error;
    const bool loaded = vyxsim::LoadConfigText(kBefore + input + kAfter, &error);
    FUZZ_CHECK(loaded || !error.empty());
    // Text that is not one JSON value may close the scene early and change
    // the device around it; only a single value is surely just the scene.
    // The JSON parser takes a NUL byte for the end of the text, so a value
    // followed by one is no single value inside the configuration.
    if (input.find('\0') != std::string::npos || !nlohmann::json::accept(input)) return 0;
    const nlohmann::json value = nlohmann::json::parse(input);
    const bool is_object = value.is_object();
    FUZZ_CHECK(!loaded || is_object);
    // The configuration reader may refuse deep nesting, but not a scene
    // nested as little as any real one is: below that, the configuration
    // loads exactly when the scene reader takes the scene.
    if (is_object && Nesting(input) <= 16) {
        vyxsim::scene::Scene direct;
        std::string why;
        FUZZ_CHECK(loaded == vyxsim::scene::ParseScene(value, &direct, &why));
        FUZZ_CHECK(loaded || error.find("devices[0].scene") != std::string::npos);
    }
    if (!loaded) return 0;
    const auto record = vyxsim::FindDeviceBySerial("FUZZ-SCENE");
    FUZZ_CHECK(record != nullptr);

    std::string why;
    const auto scene = vyxsim::scene::SceneForDevice(record, &why);
    FUZZ_CHECK(scene != nullptr);
    CheckSceneRoundTrip(*scene);

    const size_t live = vyxsim::LiveObjects();
    Vyx::Device device = Vyx::SystemFindDevice("FUZZ-SCENE");
    FUZZ_CHECK(device.IsValid());
    Vyx::X1 camera = Vyx::X1::Create(device, Vyx::CameraID_Left);
    FUZZ_CHECK(camera.IsValid() && camera.Open());
    Vyx::X1::CaptureOptions options;
    options.capture_mode = Vyx::CaptureMode_Fast;
    options.enable_2d_in_capture = false;
    FUZZ_CHECK(camera.Capture(options));
    CheckMaps(camera);
    Vyx::X1::Destroy(camera);
    Vyx::Device::Destroy(device);
    // The camera, its results and the device handle are all released.
    FUZZ_CHECK(vyxsim::LiveObjects() == live);
    return 0;
}
