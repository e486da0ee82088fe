// No C++ exception leaves an entry point: every call of the SDK is made to
// throw from inside its gate (vyxsim::ThrowNext), with a std::runtime_error
// and with std::bad_alloc, and must come back with the value it reports its
// other failures with, kInternal and a message that names it. The table of
// calls is checked against the public headers, so that an entry point added
// there without a row here fails the build's tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/call.h"
#include "core/error.h"
#include "core/handles.h"
#include "vyx/view_pins.h"
#include "vyx/vyx.h"
#include "vyxsim/control.h"

namespace vyxtest {
namespace {

using Vyx::HandleAccess;

// ---------------------------------------------------------------------------
// Results as comparable texts.

std::string Text(bool v) { return v ? "true" : "false"; }

template <class H>
std::string Handle(const H& h) {
    const vyxsim::Words w = HandleAccess::Get(h);
    return "#" + std::to_string(w.a) + "." + std::to_string(w.b);
}

std::string Text(Vyx::Size s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }
std::string Text(Vyx::ROI r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
}
std::string Pointer(const void* p) { return p ? "pointer" : "null"; }

// A status result: "code" when it is the last error's code (how the status
// calls report failure), "-code" when it is its negation, else the number.
std::string Status(int v) {
    const int code = Vyx::GetLastError();
    if (code != 0 && v == code) return "code";
    if (code != 0 && v == -code) return "-code";
    return std::to_string(v);
}

const char kVoid[] = "void";

// One public SDK function (one overload each): its op as the trace names it,
// a call of it whose result is written as a text, and that text when the call
// fails. `gated` is false for the calls that pass TraceCall only: they have
// no failure of their own to compare with.
struct Entry {
    std::string op;
    std::function<std::string()> call;
    std::string failure;
    bool gated = true;
};

// The calls the X1 and X2 handles share (device_calls.h).
template <class Cam>
void AddDeviceCalls(std::vector<Entry>* out, const std::string& cls) {
    auto add = [&](const char* method, std::function<std::string()> call, std::string failure = "false") {
        out->push_back({cls + "::" + method, std::move(call), std::move(failure)});
    };
    add("IsValid", [] { return Text(Cam().IsValid()); });
    add("IsOpen", [] { return Text(Cam().IsOpen()); });
    add("IsPhysicallyConnected", [] { return Text(Cam().IsPhysicallyConnected()); });
    add("SetBandwidth", [] { return Text(Cam().SetBandwidth(100.0f)); });
    add("GetProjectorTemperature", [] {
        float c = 0;
        return Text(Cam().GetProjectorTemperature(c));
    });
    add("GetExposureTimeRange", [] {
        int lo = 0, hi = 0;
        return Text(Cam().GetExposureTimeRange(&lo, &hi));
    });
    add("GetGainRange", [] {
        float lo = 0, hi = 0;
        return Text(Cam().GetGainRange(&lo, &hi));
    });
    add("GetGammaRange", [] {
        float lo = 0, hi = 0;
        return Text(Cam().GetGammaRange(&lo, &hi));
    });
    add("LoadSettingFromFile", [] { return Text(Cam().LoadSettingFromFile("settings.json")); });
    add("SaveSettingToFile", [] { return Text(Cam().SaveSettingToFile("settings.json")); });
    add("CheckRoi", [] { return Text(Cam().CheckRoi(Vyx::ROI(0, 0, 64, 64))); });
    add("AutoAdjustRoi", [] { return Text(Cam().AutoAdjustRoi(Vyx::ROI(1, 2, 64, 64))); }, "0,0,0,0");
    add("GetRoiRange", [] {
        Vyx::ROIRange r{};
        return Text(Cam().GetRoiRange(r));
    });
    add("OpenProtectiveCover", [] { return Text(Cam().OpenProtectiveCover()); });
    add("CloseProtectiveCover", [] { return Text(Cam().CloseProtectiveCover()); });
    add("ResetProtectiveCover", [] { return Text(Cam().ResetProtectiveCover()); });
    add("OpenProtectiveCoverAsync", [] { return Text(Cam().OpenProtectiveCoverAsync()); });
    add("CloseProtectiveCoverAsync", [] { return Text(Cam().CloseProtectiveCoverAsync()); });
    add("GetProtectiveCoverStatus", [] {
        Vyx::ProtectiveCoverStatus s{};
        return Text(Cam().GetProtectiveCoverStatus(s));
    });
    add("SetCurrentUserSet", [] { return Text(Cam().SetCurrentUserSet(1)); });
    add("GetCurrentUserSet", [] {
        int i = 0;
        return Text(Cam().GetCurrentUserSet(i));
    });
    add("SetUserSetName", [] { return Text(Cam().SetUserSetName(1, "name")); });
    add("GetUserSetName", [] {
        char name[Vyx::kUserSetNameCapacity] = {};
        return Text(Cam().GetUserSetName(1, name));
    });
    // Declared by each class apart, with the same shape.
    add("Open", [] { return Text(Cam().Open()); });
    add("Close", [] {
        Cam().Close();
        return std::string(kVoid);
    }, kVoid);
    add("Destroy", [] {
        Cam c;
        Cam::Destroy(c);
        return std::string(kVoid);
    }, kVoid);
    add("Capture", [] { return Text(Cam().Capture()); });
    add("Capture", [] { return Text(Cam().Capture(typename Cam::CaptureOptions())); });
    add("SetCustomTransformation",
        [] { return Text(Cam().SetCustomTransformation(typename Cam::CustomTransformOptions())); });
    add("GetCustomTransformation", [] {
        typename Cam::CustomTransformOptions o;
        return Text(Cam().GetCustomTransformation(o));
    });
    add("GetCameraResolution", [] {
        Vyx::Size s{};
        return Text(Cam().GetCameraResolution(s));
    });
    add("GetPointMap", [] { return Handle(Cam().GetPointMap()); }, "#0.0");
    add("GetDepthMap", [] { return Handle(Cam().GetDepthMap()); }, "#0.0");
    add("GetConfidenceMap", [] { return Handle(Cam().GetConfidenceMap()); }, "#0.0");
    add("GetMesh", [] { return Handle(Cam().GetMesh()); }, "#0.0");
    add("SaveEncodedImagesData", [] { return Text(Cam().SaveEncodedImagesData("patterns")); });
    add("AutoWhiteBalance",
        [] { return Text(Cam().AutoWhiteBalance(3, typename Cam::CaptureOptions(), Vyx::ROI(0, 0, 0, 0))); });
    add("SaveCaptureOptionParameters",
        [] { return Text(Cam().SaveCaptureOptionParameters(typename Cam::CaptureOptions())); });
    add("LoadCaptureOptionParameters", [] {
        typename Cam::CaptureOptions o;
        return Text(Cam().LoadCaptureOptionParameters(o));
    });
    add("GetAutoCaptureSetting", [] {
        typename Cam::CaptureOptions o;
        return Text(Cam().GetAutoCaptureSetting(o, Vyx::ROI(0, 0, 0, 0)));
    });
    add("GetAutoHdrCaptureSetting", [] {
        typename Cam::CaptureOptions o;
        return Text(Cam().GetAutoHdrCaptureSetting(o, Vyx::ROI(0, 0, 0, 0)));
    });
    add("GetAutoNoiseRemovalSetting", [] {
        typename Cam::CaptureOptions o;
        return Text(Cam().GetAutoNoiseRemovalSetting(o));
    });
    add("GetAuto2DExposureTime", [] {
        typename Cam::CaptureOptions o;
        return Text(Cam().GetAuto2DExposureTime(o, Vyx::ROI(0, 0, 0, 0)));
    });
}

std::vector<Entry> MakeEntries() {
    using namespace Vyx;
    std::vector<Entry> e;
    auto add = [&](const char* op, std::function<std::string()> call, std::string failure = "false") {
        e.push_back({op, std::move(call), std::move(failure)});
    };
    auto traced_only = [&](const char* op, std::function<std::string()> call, std::string failure) {
        e.push_back({op, std::move(call), std::move(failure), false});
    };
    auto void_call = [](std::function<void()> f) {
        return [f] {
            f();
            return std::string(kVoid);
        };
    };

    // System.
    traced_only("GetVersion", [] { return Pointer(GetVersion()); }, "null");
    add("SystemInit", [] { return Text(SystemInit()); });
    traced_only("SystemIsInited", [] { return Text(SystemIsInited()); }, "false");
    traced_only("SystemShutdown", void_call([] { SystemShutdown(); }), kVoid);
    add("SystemListDevices", [] {
        Device d[4];
        int count = 0;
        return Status(SystemListDevices(d, 4, &count, SystemListDeviceType::All));
    }, "code");
    add("SystemFindDevice", [] { return Handle(SystemFindDevice("VX1300001")); }, "#0.0");

    // Device.
    add("Device::Destroy", void_call([] { Device::Destroy(Device()); }), kVoid);
    add("Device::IsValid", [] { return Text(Device().IsValid()); });
    add("Device::Print", void_call([] { Device().Print(); }), kVoid);
    add("Device::GetDeviceInfo", [] {
        DeviceInfo info{};
        return Text(Device().GetDeviceInfo(&info));
    });
    add("Device::IsFirmwareMatch", [] { return Text(Device().IsFirmwareMatch()); });
    add("Device::SetNetworkConfig", [] {
        return Status(Device().SetNetworkConfig(NetworkDevice_LightMachine, NetworkType_STATIC, "10.0.0.2",
                                                "255.0.0.0", "10.0.0.1"));
    }, "code");
    add("Device::GetNetworkConfig", [] {
        NetworkType type{};
        char ip[16], mask[16], gateway[16];
        int speed = 0;
        return Status(Device().GetNetworkConfig(NetworkDevice_LightMachine, &type, ip, mask, gateway, &speed));
    }, "code");
    add("Device::AutoConfigureNetwork", [] { return Status(Device().AutoConfigureNetwork()); }, "code");

    // Images.
    add("Image::Create", [] { return Handle(Image::Create(ImageType::Mono8, {4, 4})); }, "#0.0");
    add("Image::CreateFromFile", [] { return Handle(Image::CreateFromFile("image.png")); }, "#0.0");
    add("Image::Destroy", void_call([] { Image::Destroy(Image()); }), kVoid);
    add("Image::IsValid", [] { return Text(Image().IsValid()); });
    add("Image::GetSize", [] { return Text(Image().GetSize()); }, "0x0");
    add("Image::GetType", [] { return std::to_string(static_cast<int>(Image().GetType())); },
        std::to_string(static_cast<int>(ImageType::None)));
    add("Image::GetDataPtr", [] { return Pointer(Image().GetDataPtr()); }, "null");
    add("Image::SaveImage", [] { return Text(Image().SaveImage("image.png")); });
    add("Image::Clone", [] { return Handle(Image().Clone()); }, "#0.0");

    // Result maps.
    add("DepthMap::IsValid", [] { return Text(DepthMap().IsValid()); });
    add("DepthMap::GetSize", [] { return Text(DepthMap().GetSize()); }, "0x0");
    add("DepthMap::GetDataPtr", [] { return Pointer(DepthMap().GetDataPtr()); }, "null");
    add("DepthMap::SaveDepthMap", [] { return Text(DepthMap().SaveDepthMap("depth.png", false)); });
    add("ConfidenceMap::IsValid", [] { return Text(ConfidenceMap().IsValid()); });
    add("ConfidenceMap::GetSize", [] { return Text(ConfidenceMap().GetSize()); }, "0x0");
    add("ConfidenceMap::GetDataPtr", [] { return Pointer(ConfidenceMap().GetDataPtr()); }, "null");
    add("CorrespondMap::IsValid", [] { return Text(CorrespondMap().IsValid()); });
    add("CorrespondMap::GetSize", [] { return Text(CorrespondMap().GetSize()); }, "0x0");
    add("CorrespondMap::GetDataPtr", [] { return Pointer(CorrespondMap().GetDataPtr()); }, "null");

    // Point maps.
    add("PointMap::Create", [] { return Handle(PointMap::Create(PointMapType::PointsOnly, {4, 4})); }, "#0.0");
    add("PointMap::CreateFromFile",
        [] { return Handle(PointMap::CreateFromFile("cloud.ply", {4, 4}, PointMapUnit::Meter)); }, "#0.0");
    add("PointMap::Destroy", void_call([] { PointMap::Destroy(PointMap()); }), kVoid);
    add("PointMap::IsValid", [] { return Text(PointMap().IsValid()); });
    add("PointMap::GetSize", [] { return Text(PointMap().GetSize()); }, "0x0");
    add("PointMap::Clone", [] { return Handle(PointMap().Clone()); }, "#0.0");
    add("PointMap::GetPointDataPtr", [] { return Pointer(PointMap().GetPointDataPtr()); }, "null");
    add("PointMap::GetNormalDataPtr", [] { return Pointer(PointMap().GetNormalDataPtr()); }, "null");
    add("PointMap::Save", [] { return Text(PointMap().Save("cloud.ply", PointMapUnit::Meter, true)); });
    add("PointMap::GetTimestamp", [] { return std::to_string(PointMap().GetTimestamp()); }, "0");
    add("PointMap::SetTimestamp", [] { return Text(PointMap().SetTimestamp(5)); });

    // Meshes.
    add("Mesh::CreateFromPointMapData", [] {
        const double points[3] = {0, 0, 1};
        return Handle(Mesh::CreateFromPointMapData({1, 1}, points, 0.0));
    }, "#0.0");
    add("Mesh::CreateFromPointMap", [] { return Handle(Mesh::CreateFromPointMap(PointMap(), 0.0)); }, "#0.0");
    add("Mesh::Destroy", void_call([] { Mesh::Destroy(Mesh()); }), kVoid);
    add("Mesh::IsValid", [] { return Text(Mesh().IsValid()); });
    add("Mesh::GetSize", [] { return Text(Mesh().GetSize()); }, "0x0");
    add("Mesh::Clone", [] { return Handle(Mesh().Clone()); }, "#0.0");
    add("Mesh::Save", [] { return Text(Mesh().Save("mesh.ply", PointMapUnit::Meter)); });

    // Cameras.
    AddDeviceCalls<X1>(&e, "X1");
    add("X1::Create", [] { return Handle(X1::Create(Device(), CameraID_Left)); }, "#0.0");
    add("X1::Capture2D", [] { return Text(X1().Capture2D()); });
    add("X1::Capture2D", [] { return Text(X1().Capture2D(X1::CaptureOptions())); });
    add("X1::GetImage", [] { return Handle(X1().GetImage()); }, "#0.0");
    add("X1::GetCameraTemperature", [] {
        float c = 0;
        return Text(X1().GetCameraTemperature(CameraTempSelector_Camera, c));
    });
    add("X1::SetBalanceRatio", [] { return Text(X1().SetBalanceRatio(BalanceSelector_Red, 1.0f)); });
    add("X1::GetBalanceRatio", [] {
        float r = 0;
        return Text(X1().GetBalanceRatio(BalanceSelector_Red, r));
    });
    add("X1::GetBalanceRange", [] {
        float lo = 0, hi = 0;
        return Text(X1().GetBalanceRange(BalanceSelector_Red, lo, hi));
    });
    add("X1::GetExtrinsicMatrix", [] {
        float m[16];
        return Text(X1().GetExtrinsicMatrix(m));
    });
    add("X1::GetIntrinsicParameters", [] {
        float k[9], d[5];
        return Text(X1().GetIntrinsicParameters(k, d));
    });

    AddDeviceCalls<X2>(&e, "X2");
    add("X2::Create", [] { return Handle(X2::Create(Device())); }, "#0.0");
    add("X2::Capture2D", [] { return Text(X2().Capture2D(CameraID_Left)); });
    add("X2::Capture2D", [] { return Text(X2().Capture2D(CameraID_Left, X2::CaptureOptions())); });
    add("X2::GetImage", [] { return Handle(X2().GetImage(CameraID_Left)); }, "#0.0");
    add("X2::GetCorrespondMap", [] { return Handle(X2().GetCorrespondMap()); }, "#0.0");
    add("X2::GetTimestamp", [] {
        uint64_t t = 0;
        return Text(X2().GetTimestamp(t));
    });
    add("X2::ResetTimestamp", [] { return Text(X2().ResetTimestamp()); });
    add("X2::StartFixedLineScan", [] { return Text(X2().StartFixedLineScan()); });
    add("X2::StartFixedLineScan", [] { return Text(X2().StartFixedLineScan(X2::CaptureOptions())); });
    add("X2::GetFixedLineScanPointMap", [] { return Handle(X2().GetFixedLineScanPointMap()); }, "#0.0");
    add("X2::GetFixedLineScanPointMap", [] {
        PointMap m;
        return Text(X2().GetFixedLineScanPointMap(m));
    });
    add("X2::StopFixedLineScan", [] { return Text(X2().StopFixedLineScan()); });
    add("X2::GetCameraTemperature", [] {
        float c = 0;
        return Text(X2().GetCameraTemperature(CameraID_Left, CameraTempSelector_Camera, c));
    });
    add("X2::GetExtrinsicMatrix", [] {
        float m[16];
        return Text(X2().GetExtrinsicMatrix(CameraID_Left, m));
    });
    add("X2::GetIntrinsicParameters", [] {
        float k[9], d[5];
        return Text(X2().GetIntrinsicParameters(CameraID_Left, k, d));
    });

    // Tools.
    traced_only("Compensator_FixedMarkers::Compensator_FixedMarkers", void_call([] {
        Compensator_FixedMarkers c;
    }), kVoid);
    traced_only("Compensator_FixedMarkers::~Compensator_FixedMarkers", void_call([] {
        auto c = std::make_unique<Compensator_FixedMarkers>();
        c.reset();
    }), kVoid);
    add("Compensator_FixedMarkers::Initialize", [] {
        Compensator_FixedMarkers c;
        return Status(c.Initialize(PointMap(), Image(), 3));
    }, "-code");
    add("Compensator_FixedMarkers::Update", [] {
        Compensator_FixedMarkers c;
        double drift = 0;
        return Status(c.Update(PointMap(), Image(), drift));
    }, "0");
    add("Compensator_FixedMarkers::Apply", [] {
        Compensator_FixedMarkers c;
        PointMap m;
        return Status(c.Apply(m));
    }, "0");
    add("GetExternalCameraExtrinsicMatrix", [] {
        const float k[9] = {500, 0, 32, 0, 500, 24, 0, 0, 1}, d[5] = {};
        float ext[16];
        double err = 0;
        return Status(GetExternalCameraExtrinsicMatrix(Image(), PointMap(), nullptr, Image(), PointMap(), nullptr,
                                                       Image(), PointMap(), nullptr, 64, 48, k, d, ext, err));
    }, "0");
    add("GetExternalCameraPointMap", [] {
        const float k[9] = {500, 0, 32, 0, 500, 24, 0, 0, 1}, d[5] = {};
        const float ext[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        return Handle(GetExternalCameraPointMap(PointMap(), 64, 48, k, d, ext));
    }, "#0.0");
    add("DetectCodedCircleMarker", [] {
        int count = 0;
        std::vector<CodedCircleMarker> markers(kMaxCodedCircleMarkers);
        return Status(DetectCodedCircleMarker(Image(), CodedCircleMarkerType(), &count, markers.data()));
    }, "code");
    add("DetectConcentricCircleMarker2d", [] {
        int count = 0;
        std::vector<double> v(kConcentricMarker2dValues);
        return Status(DetectConcentricCircleMarker2d(Image(), &count, v.data()));
    }, "code");
    add("DetectConcentricCircleMarker3d", [] {
        int count = 0;
        std::vector<double> v2(kConcentricMarker2dValues), v3(kConcentricMarker3dValues);
        return Status(DetectConcentricCircleMarker3d(Image(), PointMap(), &count, v2.data(), v3.data()));
    }, "code");
    add("GetTwoCameraTransformByCodedCircleMarker", [] {
        double r[9], t[3];
        return Status(GetTwoCameraTransformByCodedCircleMarker(PointMap(), Image(), PointMap(), Image(),
                                                               CodedCircleMarkerType(), r, t));
    }, "code");
    add("TransformPointCloud", [] {
        const double r[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, t[3] = {};
        PointMap m;
        return Text(TransformPointCloud(r, t, m));
    });
    add("TestAccuracy", [] {
        const float ref2d[8] = {}, ref3d[12] = {};
        float c2[8], c3[12], mean = 0, flat = 0;
        return Status(TestAccuracy(Image(), PointMap(), ref2d, ref3d, 2, 2, 10.0f, c2, c3, mean, flat));
    }, "code");
    return e;
}

const std::vector<Entry>& Entries() {
    static const std::vector<Entry> entries = MakeEntries();
    return entries;
}

// ---------------------------------------------------------------------------
// The public functions the headers declare, by op name, one per declaration
// (overloads count apart). Constructors, destructors and deleted members are
// left out, and so are the declarations of nested records.

std::string WithoutComments(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, 2, "//") == 0) {
            while (i < text.size() && text[i] != '\n') ++i;
        } else if (text.compare(i, 2, "/*") == 0) {
            const std::size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 2;
        } else {
            out += text[i++];
        }
    }
    // Preprocessor lines (the layout macros) declare nothing callable.
    std::istringstream lines(out);
    std::string line, kept;
    while (std::getline(lines, line)) {
        const std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '#') {
            while (!line.empty() && line.back() == '\\' && std::getline(lines, line)) {
            }
            continue;
        }
        kept += line + "\n";
    }
    return kept;
}

std::string Squeezed(const std::string& s) {
    std::string out;
    bool space = false;
    for (char c : s) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            space = !out.empty();
        } else {
            if (space) out += ' ';
            space = false;
            out += c;
        }
    }
    // Access labels run into the next declaration.
    for (const char* label : {"public:", "private:", "protected:"}) {
        while (out.rfind(label, 0) == 0) out = Squeezed(out.substr(std::string(label).size()));
    }
    return out;
}

// The identifier right before the first '(' of a declaration.
std::string NameBeforeParen(const std::string& decl) {
    const std::size_t paren = decl.find('(');
    std::size_t end = paren;
    while (end > 0 && decl[end - 1] == ' ') --end;
    std::size_t begin = end;
    while (begin > 0 && (std::isalnum(static_cast<unsigned char>(decl[begin - 1])) || decl[begin - 1] == '_' ||
                         decl[begin - 1] == '~')) {
        --begin;
    }
    return decl.substr(begin, end - begin);
}

void CollectDeclarations(const std::string& text, std::vector<std::string>* out) {
    struct Scope {
        enum K { Namespace, ApiClass, Other } kind;
        std::string name;
    };
    std::vector<Scope> scopes;
    std::string statement;
    auto declare = [&](const std::string& decl) {
        if (decl.find('(') == std::string::npos || decl.find("= delete") != std::string::npos) return;
        const Scope::K where = scopes.empty() ? Scope::Namespace : scopes.back().kind;
        const std::string name = NameBeforeParen(decl);
        if (where == Scope::Namespace && decl.rfind("VYX_API ", 0) == 0) {
            out->push_back(name);
        } else if (where == Scope::ApiClass) {
            const std::string& cls = scopes.back().name;
            if (name == cls || name[0] == '~' || name.rfind("operator", 0) == 0) return;
            out->push_back(cls + "::" + name);
        }
    };
    for (char c : text) {
        if (c == '{') {
            const std::string head = Squeezed(statement);
            statement.clear();
            std::istringstream words(head);
            std::string w1, w2, w3;
            words >> w1 >> w2 >> w3;
            if ((w1 == "class" || w1 == "struct") && w2 == "VYX_API") {
                scopes.push_back({Scope::ApiClass, w3});
            } else if (w1 == "namespace") {
                scopes.push_back({Scope::Namespace, w2});
            } else {
                if (head.find('(') != std::string::npos) declare(head);  // an inline definition
                scopes.push_back({Scope::Other, ""});
            }
        } else if (c == '}') {
            if (!scopes.empty()) scopes.pop_back();
            statement.clear();
        } else if (c == ';') {
            declare(Squeezed(statement));
            statement.clear();
        } else {
            statement += c;
        }
    }
}

const std::string kHeaderDir = std::string(VYX_TEST_DATA_DIR) + "/../../../include/vyx/";
const char* const kHeaders[] = {"data.h", "system.h", "tools.h", "types.h", "view_pins.h", "x1.h", "x2.h"};

std::vector<std::string> DeclaredFunctions() {
    std::vector<std::string> names;
    for (const char* h : kHeaders) {
        std::ifstream in(kHeaderDir + h);
        EXPECT_TRUE(in.good()) << "cannot read " << kHeaderDir + h;
        std::stringstream text;
        text << in.rdbuf();
        CollectDeclarations(WithoutComments(text.str()), &names);
    }
    return names;
}

// Declared functions that have no gate, and why nothing in them can throw.
const std::map<std::string, int> kUngated = {
    {"GetLastError", 1},                   // reads the thread's record
    {"GetLastErrorMessage", 1},            // reads the thread's record
    {"SystemListDeviceType::ToString", 1},  // name tables: a switch over constants
    {"PointMapUnit::ToString", 1},
    {"ImageType::ToString", 1},
    {"ImageType::GetPixelSize", 1},
    {"PointMapType::ToString", 1},
    {"PinView", 5},    // catches everything itself and never touches the last error
    {"UnpinView", 1},  // runs destructors only
};

std::map<std::string, int> Counted(const std::vector<std::string>& names) {
    std::map<std::string, int> counts;
    for (const std::string& n : names) ++counts[n];
    return counts;
}

TEST(EntryBoundaryTable, CoversEveryDeclaredFunction) {
    const std::vector<std::string> declared = DeclaredFunctions();
    // The parser must see the headers at all: a handful of well-known names.
    const std::map<std::string, int> seen = Counted(declared);
    for (const char* known : {"X1::Capture", "X2::GetImage", "SystemListDevices", "Image::SaveImage",
                              "ImageType::ToString", "Compensator_FixedMarkers::Update"}) {
        EXPECT_GT(seen.count(known), 0u) << known << " not found in the headers";
    }
    std::map<std::string, int> expected = seen;
    for (const auto& [name, n] : kUngated) {
        EXPECT_EQ(expected[name], n) << name << ": ungated declarations changed";
        expected.erase(name);
    }
    std::map<std::string, int> tabled;
    for (const Entry& e : Entries()) {
        // Constructors and destructors are not declarations the parser counts.
        if (e.op.find("::Compensator_FixedMarkers") != std::string::npos ||
            e.op.find("::~Compensator_FixedMarkers") != std::string::npos) {
            continue;
        }
        ++tabled[e.op];
    }
    for (const auto& [name, n] : expected) {
        EXPECT_EQ(tabled[name], n) << name << ": declared " << n << " time(s), called by " << tabled[name]
                                   << " row(s) of the table";
    }
    for (const auto& [name, n] : tabled) {
        EXPECT_GT(expected.count(name), 0u) << name << ": a row for a function no header declares";
    }
}

// ---------------------------------------------------------------------------
// Each row made to throw.

struct Case {
    std::size_t index;
    bool out_of_memory;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << Entries()[c.index].op << (c.out_of_memory ? " (std::bad_alloc)" : " (std::runtime_error)");
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (std::size_t i = 0; i < Entries().size(); ++i) {
        cases.push_back({i, false});
        cases.push_back({i, true});
    }
    return cases;
}

class EntryBoundary : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        vyxsim::Reset();
        ASSERT_TRUE(Vyx::SystemInit());
        vyxsim::SetTraceEnabled(true);
        vyxsim::ClearTrace();
    }
    void TearDown() override { vyxsim::Reset(); }
};

TEST_P(EntryBoundary, ThrownExceptionBecomesItsFailure) {
    const Entry& e = Entries()[GetParam().index];
    const bool oom = GetParam().out_of_memory;
    vyxsim::ThrowNext(e.op, 1, oom);
    vyxsim::SetLastError(vyxsim::kOk, "");

    std::string result;
    bool escaped = false;
    try {
        result = e.call();
    } catch (...) {
        escaped = true;
    }
    ASSERT_FALSE(escaped) << "an exception left " << e.op;
    EXPECT_EQ(result, e.failure);
    EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInternal);
    EXPECT_EQ(std::string(Vyx::GetLastErrorMessage()),
              e.op + ": internal error: " +
                  (oom ? "out of memory" : "exception injected through the control interface"));
    // The row calls the op it is named after: the trace holds its line.
    const std::vector<std::string> trace = vyxsim::TakeTrace();
    EXPECT_TRUE(std::any_of(trace.begin(), trace.end(), [&](const std::string& l) { return l.rfind(e.op + "(", 0) == 0; }))
        << "no trace line of " << e.op;

    if (!e.gated) return;
    // The function's own failure path reports the same value, and the thrown
    // exception was used up: an injected failure now reports kInjectedFault.
    vyxsim::FailNext(e.op, 1, false);
    std::string failed;
    try {
        failed = e.call();
    } catch (...) {
        ADD_FAILURE() << "an exception left " << e.op << " on its injected failure";
    }
    EXPECT_EQ(failed, result) << e.op << " fails with another value than when it throws";
    EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInjectedFault);
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    for (char c : Entries()[info.param.index].op) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name + "_" + std::to_string(info.param.index) + (info.param.out_of_memory ? "_bad_alloc" : "_runtime_error");
}

INSTANTIATE_TEST_SUITE_P(EveryEntryPoint, EntryBoundary, ::testing::ValuesIn(Cases()), CaseName);

// ---------------------------------------------------------------------------
// The injection and the report themselves.

class ThrowInjection : public ::testing::Test {
protected:
    void SetUp() override {
        vyxsim::Reset();
        ASSERT_TRUE(Vyx::SystemInit());
    }
    void TearDown() override { vyxsim::Reset(); }
};

TEST_F(ThrowInjection, CountsDownThenCallsGoThrough) {
    vyxsim::ThrowNext("Image::Create", 2, false);
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(Vyx::Image::Create(Vyx::ImageType::Mono8, {4, 4}).IsValid());
        EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInternal);
    }
    const Vyx::Image img = Vyx::Image::Create(Vyx::ImageType::Mono8, {4, 4});
    EXPECT_TRUE(img.IsValid());
    Vyx::Image::Destroy(img);
}

TEST_F(ThrowInjection, ZeroCountAndClearFailuresWithdraw) {
    vyxsim::ThrowNext("Image::Create", 3, false);
    vyxsim::ThrowNext("Image::Create", 0, false);
    vyxsim::ThrowNext("PointMap::Create", 3, true);
    vyxsim::ClearFailures();
    const Vyx::Image img = Vyx::Image::Create(Vyx::ImageType::Mono8, {4, 4});
    const Vyx::PointMap map = Vyx::PointMap::Create(Vyx::PointMapType::PointsOnly, {4, 4});
    EXPECT_TRUE(img.IsValid());
    EXPECT_TRUE(map.IsValid());
    Vyx::Image::Destroy(img);
    Vyx::PointMap::Destroy(map);
}

TEST_F(ThrowInjection, AppliesBeforeTheInitialisedCheck) {
    Vyx::SystemShutdown();
    vyxsim::ThrowNext("X1::Capture", 1, false);
    EXPECT_FALSE(Vyx::X1().Capture());
    EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInternal);
    EXPECT_FALSE(Vyx::X1().Capture());
    EXPECT_EQ(Vyx::GetLastError(), vyxsim::kNotInitialized);
}

TEST_F(ThrowInjection, ScriptedMessageStillReplacesTheReport) {
    vyxsim::ScriptNextErrorMessage("scripted");
    vyxsim::ThrowNext("Image::SaveImage", 1, false);
    EXPECT_FALSE(Vyx::Image().SaveImage("x.png"));
    EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInternal);  // the code is the call's own
    EXPECT_STREQ(Vyx::GetLastErrorMessage(), "scripted");
}

// The report outside the gate: what each kind of exception reads as, under the
// op this thread passed the gate with last.
TEST_F(ThrowInjection, ReportNamesTheLastOpAndWhatWasThrown) {
    EXPECT_FALSE(Vyx::Image().IsValid());  // passes the gate as Image::IsValid
    EXPECT_STREQ(vyxsim::CurrentOp(), "Image::IsValid");
    struct Odd {};
    const std::vector<std::pair<std::function<void()>, std::string>> throws = {
        {[] { throw std::runtime_error("bad \xFF byte"); }, "bad \\xFF byte"},
        {[] { throw std::bad_alloc(); }, "out of memory"},
        {[] { throw Odd(); }, "unknown exception"},
        {[] { throw 42; }, "unknown exception"},
    };
    for (const auto& [thrower, what] : throws) {
        try {
            thrower();
        } catch (...) {
            EXPECT_EQ(vyxsim::FailUnexpected(7), 7);
        }
        EXPECT_EQ(Vyx::GetLastError(), vyxsim::kInternal);
        EXPECT_EQ(std::string(Vyx::GetLastErrorMessage()), "Image::IsValid: internal error: " + what);
    }
}

}  // namespace
}  // namespace vyxtest
