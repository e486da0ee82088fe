// Device configurations: the built-in default, reading configuration files
// and strict validation of configurations and device descriptions into
// device records.
#include "core/device_config.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <unordered_set>
#include <utility>

#include "core/error.h"
#include "core/json_read.h"
#include "core/network.h"
#include "data/formats/io.h"
#include "recording/recording.h"
#include "recording/replay.h"
#include "scene/scene_json.h"

namespace vyxsim {

using nlohmann::json;

namespace {

// ---------------------------------------------------------------------------
// The built-in default: a grey USB device and a colour GigE device with a
// protective cover. Both cameras look along +z (x right, y down); the right
// camera sits one baseline along +x, the projector midway between them.

const char kDefaultConfiguration[] = R"json({
  "devices": [
    {
      "name": "Vyx M130 virtual",
      "serial": "VX1300001",
      "port": "USB",
      "port_text": "USB 3.0 SuperSpeed 5 Gbit/s",
      "factory_date": "2024-03-18",
      "board_model": 130,
      "firmware_match": true,
      "capabilities": {
        "x1": true, "x2": true, "color": false, "protective_cover": false, "extra_camera": false,
        "capture_modes": ["Fast", "Normal", "Ultra", "Robust", "AntiInterReflection", "FixedLineScan"],
        "projector_colors": ["Blue", "White"]
      },
      "resolution": [1280, 1024],
      "focal_length_px": [1500.0, 1500.0],
      "principal_point": [640.0, 512.0],
      "distortion": [-0.012, 0.004, 0.0, 0.0, 0.0],
      "baseline_mm": 100.0,
      "projector": {"position_mm": [50.0, 0.0, 0.0], "resolution": [1280, 1024],
                    "focal_length_px": [1250.0, 1250.0]},
      "working_distance_mm": [400, 800]
    },
    {
      "name": "Vyx C230 virtual",
      "serial": "VX2300002",
      "port": "GigE",
      "port_text": "GigE 1000BASE-T",
      "factory_date": "2024-06-02",
      "board_model": 230,
      "firmware_match": true,
      "capabilities": {
        "x1": true, "x2": true, "color": true, "protective_cover": true, "extra_camera": false,
        "capture_modes": ["Fast", "Normal", "Ultra", "Robust", "AntiInterReflection",
                          "SwingLineScan", "FixedLineScan", "LineArrayShift"],
        "projector_colors": ["Red", "Green", "Blue", "White"]
      },
      "resolution": [1920, 1200],
      "focal_length_px": [2200.0, 2200.0],
      "principal_point": [960.0, 600.0],
      "distortion": [-0.008, 0.002, 0.0, 0.0, 0.0],
      "baseline_mm": 150.0,
      "projector": {"position_mm": [75.0, 0.0, 0.0], "resolution": [1280, 1024],
                    "focal_length_px": [1200.0, 1200.0]},
      "working_distance_mm": [500, 1000]
    }
  ]
})json";

// ---------------------------------------------------------------------------
// Validation. Every problem is thrown as a Problem naming the JSON path.

using namespace jsonread;  // Problem, Throw, Join, the typed readers

bool ReadBool(const json& obj, const std::string& path, const char* key, bool def) {
    const json* v = Member(obj, key);
    if (!v) return def;
    if (!v->is_boolean()) WrongType(Join(path, key), "a boolean", *v);
    return v->get<bool>();
}

int64_t ReadInt(const json& obj, const std::string& path, const char* key, int64_t def, int64_t lo,
                int64_t hi) {
    const json* v = Member(obj, key);
    return v ? AsInt(*v, Join(path, key), lo, hi) : def;
}

double ReadNumber(const json& obj, const std::string& path, const char* key, double def, double lo,
                  double hi) {
    const json* v = Member(obj, key);
    return v ? AsNumber(*v, Join(path, key), lo, hi) : def;
}

// A text that fits a 32-byte DeviceInfo field: at most 31 bytes, no control
// characters (JSON texts are valid UTF-8 already).
std::string ReadText(const json& obj, const std::string& path, const char* key, const char* def,
                     bool required) {
    const json* v = Member(obj, key);
    std::string where = Join(path, key);
    if (!v) {
        if (required) Throw(where, "missing");
        return def;
    }
    if (!v->is_string()) WrongType(where, "a string", *v);
    std::string s = v->get<std::string>();
    if (s.empty() && required) Throw(where, "must not be empty");
    if (s.size() > 31) {
        Throw(where, "'" + Printable(s, 64) + "' is " + std::to_string(s.size()) +
                         " bytes long; at most 31 bytes fit");
    }
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7F) Throw(where, "contains a control character");
    }
    return s;
}

// A focal length: one number (fx = fy) or [fx, fy], in pixels.
void ReadFocal(const json& obj, const std::string& path, const char* key, double def_fx,
               double def_fy, double* fx, double* fy) {
    const json* v = Member(obj, key);
    std::string where = Join(path, key);
    if (!v) {
        *fx = def_fx;
        *fy = def_fy;
    } else if (v->is_number()) {
        *fx = *fy = AsNumber(*v, where, 1.0, 1e6);
    } else {
        const json& a = ArrayOf(*v, where, 2);
        *fx = AsNumber(a[0], where + "[0]", 1.0, 1e6);
        *fy = AsNumber(a[1], where + "[1]", 1.0, 1e6);
    }
}

void ReadResolution(const json& obj, const std::string& path, int def_w, int def_h, int* w,
                    int* h) {
    const json* v = Member(obj, "resolution");
    *w = def_w;
    *h = def_h;
    if (!v) return;
    std::string where = Join(path, "resolution");
    const json& a = ArrayOf(*v, where, 2);
    *w = static_cast<int>(AsInt(a[0], where + "[0]", 16, 16384));
    *h = static_cast<int>(AsInt(a[1], where + "[1]", 16, 16384));
}

// Intrinsics shared by the cameras (and overridable for the right one).
void ReadIntrinsics(const json& obj, const std::string& path, CameraModel* cam,
                    const CameraModel& def) {
    ReadFocal(obj, path, "focal_length_px", def.fx, def.fy, &cam->fx, &cam->fy);
    cam->cx = def.cx;
    cam->cy = def.cy;
    if (const json* v = Member(obj, "principal_point")) {
        std::string where = Join(path, "principal_point");
        const json& a = ArrayOf(*v, where, 2);
        cam->cx = AsNumber(a[0], where + "[0]", 0.0, cam->width);
        cam->cy = AsNumber(a[1], where + "[1]", 0.0, cam->height);
    }
    cam->distortion = def.distortion;
    if (const json* v = Member(obj, "distortion")) {
        std::string where = Join(path, "distortion");
        const json& a = ArrayOf(*v, where, 5);
        for (std::size_t i = 0; i < 5; ++i) {
            cam->distortion[i] = AsNumber(a[i], where + "[" + std::to_string(i) + "]", -10.0, 10.0);
        }
    }
}

int32_t ReadFlags(const json& obj, const std::string& path, const char* key, int32_t def,
                  std::initializer_list<std::pair<const char*, int32_t>> names) {
    const json* v = Member(obj, key);
    if (!v) return def;
    std::string where = Join(path, key);
    if (!v->is_array()) WrongType(where, "an array of names", *v);
    int32_t flags = 0;
    for (std::size_t i = 0; i < v->size(); ++i) {
        const json& e = (*v)[i];
        std::string at = where + "[" + std::to_string(i) + "]";
        if (!e.is_string()) WrongType(at, "a string", e);
        bool found = false;
        for (const auto& [name, bit] : names) {
            if (e.get<std::string>() == name) {
                flags |= bit;
                found = true;
            }
        }
        if (!found) {
            std::string known;
            for (const auto& n : names) known += std::string(known.empty() ? "" : ", ") + n.first;
            Throw(at, "unknown name '" + Printable(e.get<std::string>(), 40) + "' (known: " + known +
                          ")");
        }
    }
    return flags;
}

void SetTranslation(CameraModel* cam, double x_m, double y_m, double z_m) {
    cam->pose = {1, 0, 0, x_m, 0, 1, 0, y_m, 0, 0, 1, z_m, 0, 0, 0, 1};
}

const char* const kPartNames[4] = {"LightMachine", "LeftCamera", "RightCamera", "ExtraCamera"};

// The lease a part gets by default: 192.168.10.100 and up, four addresses
// per device in configuration order.
NetworkConfig DefaultLease(int device_index, int part) {
    int host = 4 * device_index + part;
    int third = 10 + host / 150;
    if (third > 254) third = 254;
    NetworkConfig c;
    c.type = Vyx::NetworkType_DHCP;
    c.ip = "192.168." + std::to_string(third) + "." + std::to_string(100 + host % 150);
    c.mask = "255.255.255.0";
    c.gateway = "192.168." + std::to_string(third) + ".1";
    return c;
}

void ReadNetwork(const json& obj, const std::string& path, DeviceRecord* d, int device_index) {
    for (int part = 0; part < 4; ++part) {
        d->dhcp_lease[part] = DefaultLease(device_index, part);
        d->network[part] = d->dhcp_lease[part];
    }
    const json* v = Member(obj, "network");
    if (!v) return;
    std::string where = Join(path, "network");
    if (!v->is_object()) WrongType(where, "an object", *v);
    CheckKeys(*v, where, {kPartNames[0], kPartNames[1], kPartNames[2], kPartNames[3]});
    for (int part = 0; part < 4; ++part) {
        const json* e = Member(*v, kPartNames[part]);
        if (!e) continue;
        std::string at = Join(where, kPartNames[part]);
        if (part == Vyx::NetworkDevice_ExtraCamera && !d->extra_camera) {
            Throw(at, "the device has no extra camera (capabilities.extra_camera is false)");
        }
        if (!e->is_object()) WrongType(at, "an object", *e);
        CheckKeys(*e, at, {"type", "ip", "mask", "gateway"});
        NetworkConfig c = d->dhcp_lease[part];
        std::string type = "DHCP";
        if (const json* t = Member(*e, "type")) {
            if (!t->is_string()) WrongType(Join(at, "type"), "a string", *t);
            type = t->get<std::string>();
        }
        if (type != "DHCP" && type != "STATIC") {
            Throw(Join(at, "type"), "expected \"DHCP\" or \"STATIC\", got '" + Printable(type, 40) + "'");
        }
        c.type = type == "DHCP" ? Vyx::NetworkType_DHCP : Vyx::NetworkType_STATIC;
        for (auto [key, field] : {std::pair{"ip", &c.ip}, std::pair{"mask", &c.mask},
                                  std::pair{"gateway", &c.gateway}}) {
            if (const json* t = Member(*e, key)) {
                if (!t->is_string()) WrongType(Join(at, key), "a string", *t);
                *field = t->get<std::string>();
            }
        }
        std::string problem = CheckNetworkTexts(c.ip.c_str(), c.mask.c_str(), c.gateway.c_str());
        if (!problem.empty()) Throw(at, problem);
        d->network[part] = c;
        if (c.type == Vyx::NetworkType_DHCP) d->dhcp_lease[part] = c;
    }
}

CameraModel RecordedModel(const rec::Calibration& c, int width, int height) {
    CameraModel m;
    m.width = width;
    m.height = height;
    m.fx = c.camera_matrix[0];
    m.cx = c.camera_matrix[2];
    m.fy = c.camera_matrix[4];
    m.cy = c.camera_matrix[5];
    for (std::size_t i = 0; i < 5; ++i) m.distortion[i] = c.distortion[i];
    for (std::size_t i = 0; i < 16; ++i) m.pose[i] = c.extrinsic[i];
    return m;
}

// A device that replays a recording folder: its identity, optics and
// capabilities are the recorded ones; only the serial number and name may
// be overridden, so that one recording can serve as two devices.
std::shared_ptr<DeviceRecord> ParseReplayDevice(const json& j, const std::string& path, int index,
                                                const std::string& base_dir) {
    for (auto it = j.begin(); it != j.end(); ++it) {
        const std::string& key = it.key();
        if (key == "comment" || key == "recording" || key == "at_end" || key == "serial" || key == "name" ||
            key == "connected") {
            continue;
        }
        Throw(Join(path, key), "not allowed on a replay device (it takes recording, at_end, serial, name, connected)");
    }
    const json& folder = j["recording"];
    const std::string where = Join(path, "recording");
    if (!folder.is_string()) WrongType(where, "a string (a folder path)", folder);
    std::string dir = folder.get<std::string>();
    if (dir.empty()) Throw(where, "must not be empty");
    if (dir[0] != '/' && !base_dir.empty()) dir = base_dir + "/" + dir;

    rec::AtEnd at_end = rec::AtEnd::Loop;
    if (const json* a = Member(j, "at_end")) {
        if (!a->is_string()) WrongType(Join(path, "at_end"), "a string", *a);
        if (*a == "loop") at_end = rec::AtEnd::Loop;
        else if (*a == "hold") at_end = rec::AtEnd::Hold;
        else if (*a == "fail") at_end = rec::AtEnd::Fail;
        else Throw(Join(path, "at_end"), "expected \"loop\", \"hold\" or \"fail\", got '" + Printable(a->get<std::string>(), 40) + "'");
    }
    const std::string name = Member(j, "name") ? ReadText(j, path, "name", "", true) : "";
    const std::string serial = Member(j, "serial") ? ReadText(j, path, "serial", "", true) : "";
    const bool connected = ReadBool(j, path, "connected", true);

    std::string why;
    auto recording = rec::LoadRecording(dir, &why);
    if (!recording) Throw(where, why);
    const rec::RecordedDevice& info = recording->device;
    auto d = std::make_shared<DeviceRecord>();
    d->name = name.empty() ? info.name : name;
    d->serial = serial.empty() ? info.sn : serial;
    d->factory_date = info.factory_date;
    d->port_text = info.port_text;
    d->port = info.port;
    d->board_model = info.board_model;
    d->support_x1 = info.support_x1;
    d->support_x2 = info.support_x2;
    d->color = recording->image_type != Vyx::ImageType::Mono8;
    d->protective_cover = info.support_protective_cover;
    d->extra_camera = info.support_extra;
    d->projector_colors = info.support_color;
    d->capture_modes = info.support_capture_mode;
    d->workingdist_near_mm = info.workingdist_near_mm;
    d->workingdist_far_mm = info.workingdist_far_mm;
    d->camera_ids = info.cameraid;
    d->connected = connected;
    const int w = recording->width, h = recording->height;
    if (recording->has_left) d->left = RecordedModel(recording->left, w, h);
    if (recording->has_right) d->right = RecordedModel(recording->right, w, h);
    if (!recording->has_left) d->left = d->right;
    if (!recording->has_right) d->right = d->left;
    d->projector = d->left;
    ReadNetwork(json::object(), path, d.get(), index);
    d->replay = std::make_shared<rec::Replay>(std::move(recording), at_end);
    return d;
}

}  // namespace

std::shared_ptr<DeviceRecord> ParseDevice(const json& j, const std::string& path, int index,
                                          const std::string& base_dir) {
    if (!j.is_object()) WrongType(path, "an object", j);
    if (Member(j, "recording")) return ParseReplayDevice(j, path, index, base_dir);
    CheckKeys(j, path,
              {"name", "serial", "port", "port_text", "factory_date", "board_model",
               "firmware_match", "connected", "capabilities", "resolution", "focal_length_px",
               "principal_point", "distortion", "right_camera", "baseline_mm", "projector",
               "working_distance_mm", "network", "scene"});
    auto d = std::make_shared<DeviceRecord>();
    d->name = ReadText(j, path, "name", "", true);
    d->serial = ReadText(j, path, "serial", "", true);

    const json* port = Member(j, "port");
    if (!port) Throw(Join(path, "port"), "missing");
    if (!port->is_string()) WrongType(Join(path, "port"), "a string", *port);
    if (*port == "USB") {
        d->port = Vyx::PortType_USB;
    } else if (*port == "GigE") {
        d->port = Vyx::PortType_GIGE;
    } else {
        Throw(Join(path, "port"),
              "expected \"USB\" or \"GigE\", got '" + Printable(port->get<std::string>(), 40) + "'");
    }
    d->port_text = ReadText(j, path, "port_text",
                            d->port == Vyx::PortType_USB ? "USB 3.0" : "GigE 1000BASE-T", false);
    d->factory_date = ReadText(j, path, "factory_date", "2024-01-01", false);
    d->board_model = static_cast<int32_t>(ReadInt(j, path, "board_model", 0, INT32_MIN, INT32_MAX));
    d->firmware_match = ReadBool(j, path, "firmware_match", true);
    d->connected = ReadBool(j, path, "connected", true);

    const json empty = json::object();
    const json* caps = Member(j, "capabilities");
    std::string cpath = Join(path, "capabilities");
    if (caps && !caps->is_object()) WrongType(cpath, "an object", *caps);
    if (!caps) caps = &empty;
    CheckKeys(*caps, cpath,
              {"x1", "x2", "color", "protective_cover", "extra_camera", "capture_modes",
               "projector_colors"});
    d->support_x1 = ReadBool(*caps, cpath, "x1", true);
    d->support_x2 = ReadBool(*caps, cpath, "x2", true);
    d->color = ReadBool(*caps, cpath, "color", false);
    d->protective_cover = ReadBool(*caps, cpath, "protective_cover", false);
    d->extra_camera = ReadBool(*caps, cpath, "extra_camera", false);
    d->camera_ids = Vyx::CameraID_Left | Vyx::CameraID_Right | (d->extra_camera ? Vyx::CameraID_Extra : 0);
    d->capture_modes = ReadFlags(
        *caps, cpath, "capture_modes",
        Vyx::CaptureMode_Fast | Vyx::CaptureMode_Normal | Vyx::CaptureMode_Ultra |
            Vyx::CaptureMode_Robust | Vyx::CaptureMode_AntiInterReflection,
        {{"Fast", Vyx::CaptureMode_Fast},
         {"Normal", Vyx::CaptureMode_Normal},
         {"Ultra", Vyx::CaptureMode_Ultra},
         {"Robust", Vyx::CaptureMode_Robust},
         {"AntiInterReflection", Vyx::CaptureMode_AntiInterReflection},
         {"SwingLineScan", Vyx::CaptureMode_SwingLineScan},
         {"FixedLineScan", Vyx::CaptureMode_FixedLineScan},
         {"LineArrayShift", Vyx::CaptureMode_LineArrayShift}});
    d->projector_colors = ReadFlags(*caps, cpath, "projector_colors", Vyx::ProjectorColor_Blue,
                                    {{"Red", Vyx::ProjectorColor_Red},
                                     {"Green", Vyx::ProjectorColor_Green},
                                     {"Blue", Vyx::ProjectorColor_Blue},
                                     {"White", Vyx::ProjectorColor_White}});

    // Cameras: both share the device's intrinsics unless right_camera
    // overrides them. The default focal length gives a 46-degree horizontal
    // field of view.
    CameraModel base;
    ReadResolution(j, path, 1280, 1024, &base.width, &base.height);
    CameraModel def;
    def.width = base.width;
    def.height = base.height;
    def.fx = def.fy = base.width / 2.0 / std::tan(23.0 * M_PI / 180.0);
    def.cx = base.width / 2.0;
    def.cy = base.height / 2.0;
    d->left = base;
    ReadIntrinsics(j, path, &d->left, def);
    d->right = d->left;
    if (const json* r = Member(j, "right_camera")) {
        std::string rpath = Join(path, "right_camera");
        if (!r->is_object()) WrongType(rpath, "an object", *r);
        CheckKeys(*r, rpath, {"focal_length_px", "principal_point", "distortion"});
        ReadIntrinsics(*r, rpath, &d->right, d->left);
    }
    double baseline_mm = ReadNumber(j, path, "baseline_mm", 100.0, 1.0, 10000.0);
    SetTranslation(&d->left, 0, 0, 0);
    SetTranslation(&d->right, baseline_mm / 1000.0, 0, 0);

    // Projector: midway between the cameras by default, with a field of view
    // a little wider than the cameras'.
    const json* proj = Member(j, "projector");
    std::string ppath = Join(path, "projector");
    if (proj && !proj->is_object()) WrongType(ppath, "an object", *proj);
    if (!proj) proj = &empty;
    CheckKeys(*proj, ppath, {"position_mm", "resolution", "focal_length_px"});
    ReadResolution(*proj, ppath, 1280, 1024, &d->projector.width, &d->projector.height);
    double cam_half_fov = std::atan(d->left.width / 2.0 / d->left.fx);
    double proj_focal = d->projector.width / 2.0 / std::tan(cam_half_fov + 4.0 * M_PI / 180.0);
    ReadFocal(*proj, ppath, "focal_length_px", proj_focal, proj_focal, &d->projector.fx, &d->projector.fy);
    d->projector.cx = d->projector.width / 2.0;
    d->projector.cy = d->projector.height / 2.0;
    double pos[3] = {baseline_mm / 2.0, 0.0, 0.0};
    if (const json* p = Member(*proj, "position_mm")) {
        std::string where = Join(ppath, "position_mm");
        const json& a = ArrayOf(*p, where, 3);
        for (std::size_t i = 0; i < 3; ++i) {
            pos[i] = AsNumber(a[i], where + "[" + std::to_string(i) + "]", -10000.0, 10000.0);
        }
    }
    SetTranslation(&d->projector, pos[0] / 1000.0, pos[1] / 1000.0, pos[2] / 1000.0);

    d->workingdist_near_mm = 400;
    d->workingdist_far_mm = 800;
    if (const json* w = Member(j, "working_distance_mm")) {
        std::string where = Join(path, "working_distance_mm");
        const json& a = ArrayOf(*w, where, 2);
        d->workingdist_near_mm = static_cast<int32_t>(AsInt(a[0], where + "[0]", 1, 100000));
        d->workingdist_far_mm = static_cast<int32_t>(AsInt(a[1], where + "[1]", 1, 100000));
        if (d->workingdist_near_mm >= d->workingdist_far_mm) {
            Throw(where, "the near end must be less than the far end");
        }
    }

    ReadNetwork(j, path, d.get(), index);

    if (const json* s = Member(j, "scene")) {
        if (!s->is_object()) WrongType(Join(path, "scene"), "an object", *s);
        // Read with the scene reader a capture uses, so that a misspelt key
        // refuses the configuration now instead of failing the first
        // capture. Its messages name the place from "scene" on.
        scene::Scene parsed;
        std::string why;
        if (!scene::ParseScene(*s, &parsed, &why)) throw Problem(path.empty() ? why : path + "." + why);
        d->scene = *s;
    }
    return d;
}

std::vector<std::shared_ptr<DeviceRecord>> ParseConfiguration(const std::string& text, const std::string& base_dir) {
    const json root = Parse(text);
    if (!root.is_object()) WrongType("", "a JSON object with a \"devices\" list", root);
    CheckKeys(root, "", {"devices"});
    const json* devices = Member(root, "devices");
    if (!devices) throw Problem("devices: missing");
    if (!devices->is_array()) WrongType("devices", "an array", *devices);
    std::vector<std::shared_ptr<DeviceRecord>> out;
    std::unordered_set<std::string> serials;
    for (std::size_t i = 0; i < devices->size(); ++i) {
        std::string path = "devices[" + std::to_string(i) + "]";
        auto d = ParseDevice((*devices)[i], path, static_cast<int>(i), base_dir);
        if (!serials.insert(d->serial).second) {
            Throw(path + ".serial", "serial number '" + Printable(d->serial) + "' is used twice");
        }
        out.push_back(std::move(d));
    }
    return out;
}

// A configuration file is hand-written text; anything near this size is not one.
constexpr std::size_t kMaxConfigBytes = std::size_t{64} << 20;

bool ReadConfigurationFile(const std::string& path, std::string* text, std::string* error) {
    if (path.find('\0') != std::string::npos) {
        *error = "cannot read configuration file '" + Printable(path) + "': the path has a NUL byte inside";
        return false;
    }
    std::vector<uint8_t> bytes;
    std::string why;
    if (fmt::ReadWholeFile(path.c_str(), kMaxConfigBytes, &bytes, &why) != fmt::ReadStatus::Ok) {
        *error = "cannot read configuration file '" + Printable(path) + "': " + why;
        return false;
    }
    text->assign(bytes.begin(), bytes.end());
    return true;
}

bool ParseStartConfiguration(std::vector<std::shared_ptr<DeviceRecord>>* out, std::string* error) {
    const char* env = std::getenv("VYX_SIM_CONFIG");
    std::string text = kDefaultConfiguration;
    std::string origin = "built-in configuration";
    if (env && *env) {
        origin = "configuration file '" + Printable(env) + "' (VYX_SIM_CONFIG)";
        if (!ReadConfigurationFile(env, &text, error)) {
            *error += " (VYX_SIM_CONFIG)";
            return false;
        }
    }
    try {
        *out = ParseConfiguration(text, env && *env ? ConfigurationFolder(env) : std::string());
    } catch (const Problem& p) {
        *error = origin + ": " + p.what();
        return false;
    }
    return true;
}

const char* DefaultConfigurationText() { return kDefaultConfiguration; }

std::string ConfigurationFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace vyxsim
