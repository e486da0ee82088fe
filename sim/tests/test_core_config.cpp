// Device configurations: the built-in default, a full file, and damaged files
// that must be refused with a clear reason and change nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/device_registry.h"
#include "core/devices.h"
#include "core/error.h"
#include "scene/default_scene.h"
#include "scene/device_scenes.h"
#include "scene/scene_json.h"
#include "vyx/system.h"
#include "vyxsim/control.h"

namespace vyxsim {
namespace {

const std::string kConfigDir = std::string(VYX_TEST_DATA_DIR) + "/config/";
const std::vector<std::string> kDefaultSerials = {"VX1300001", "VX2300002"};

class Config : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override {
        unsetenv("VYX_SIM_CONFIG");
        Reset();
    }
};

TEST_F(Config, BuiltInDefault) {
    EXPECT_EQ(DeviceSerials(), kDefaultSerials);
    auto usb = FindDeviceBySerial("VX1300001");
    auto gige = FindDeviceBySerial("VX2300002");
    ASSERT_TRUE(usb && gige);
    EXPECT_EQ(usb->name, "Vyx M130 virtual");
    EXPECT_EQ(usb->port, Vyx::PortType_USB);
    EXPECT_FALSE(usb->color);
    EXPECT_FALSE(usb->protective_cover);
    EXPECT_EQ(gige->name, "Vyx C230 virtual");
    EXPECT_EQ(gige->port, Vyx::PortType_GIGE);
    EXPECT_TRUE(gige->color);
    EXPECT_TRUE(gige->protective_cover);
    for (const auto& d : {usb, gige}) {
        EXPECT_TRUE(d->support_x1 && d->support_x2);
        EXPECT_TRUE(d->scene.is_null());
        // Cameras look along +z, the right one a baseline to the right, the
        // projector between them, and a field of view of 40 to 50 degrees.
        double hfov = 2 * std::atan(d->left.width / 2.0 / d->left.fx) * 180 / M_PI;
        EXPECT_GT(hfov, 40);
        EXPECT_LT(hfov, 50);
        EXPECT_EQ(d->left.pose[3], 0.0);
        EXPECT_GT(d->right.pose[3], 0.05);
        EXPECT_DOUBLE_EQ(d->projector.pose[3], d->right.pose[3] / 2);
        EXPECT_LT(d->workingdist_near_mm, d->workingdist_far_mm);
    }
    // About 1.3 and 2.3 megapixels.
    EXPECT_NEAR(usb->left.width * usb->left.height / 1e6, 1.3, 0.1);
    EXPECT_NEAR(gige->left.width * gige->left.height / 1e6, 2.3, 0.1);
}

TEST_F(Config, FullFile) {
    std::string error;
    ASSERT_TRUE(LoadConfigFile(kConfigDir + "good.json", &error)) << error;
    EXPECT_EQ(DeviceSerials(), (std::vector<std::string>{"MIN-1", "CELL-0042", "SPARE-1"}));

    auto minimal = FindDeviceBySerial("MIN-1");
    EXPECT_EQ(minimal->left.width, 1280);  // defaults fill what is left out
    EXPECT_EQ(minimal->port_text, "USB 3.0");
    EXPECT_TRUE(minimal->connected);

    auto d = FindDeviceBySerial("CELL-0042");
    EXPECT_EQ(d->port, Vyx::PortType_GIGE);
    EXPECT_EQ(d->port_text, "GigE port 2 of switch A");
    EXPECT_EQ(d->factory_date, "2023-11-30");
    EXPECT_EQ(d->board_model, 7);
    EXPECT_FALSE(d->firmware_match);
    EXPECT_FALSE(d->support_x2);
    EXPECT_TRUE(d->extra_camera);
    EXPECT_EQ(d->capture_modes, Vyx::CaptureMode_Normal | Vyx::CaptureMode_Robust);
    EXPECT_EQ(d->projector_colors, Vyx::ProjectorColor_Red | Vyx::ProjectorColor_White);
    EXPECT_EQ(d->left.width, 640);
    EXPECT_EQ(d->left.fx, 700);
    EXPECT_EQ(d->left.fy, 700);
    EXPECT_EQ(d->left.cx, 321.5);
    EXPECT_EQ(d->left.distortion[3], 0.0002);
    EXPECT_EQ(d->right.fx, 702);
    EXPECT_EQ(d->right.fy, 701);
    EXPECT_EQ(d->right.cx, 321.5);  // not overridden: the left camera's
    EXPECT_DOUBLE_EQ(d->right.pose[3], 0.08);
    EXPECT_DOUBLE_EQ(d->projector.pose[3], 0.04);
    EXPECT_DOUBLE_EQ(d->projector.pose[7], -0.02);
    EXPECT_EQ(d->projector.width, 912);
    EXPECT_EQ(d->workingdist_near_mm, 250);
    EXPECT_EQ(d->network[0].type, Vyx::NetworkType_STATIC);
    EXPECT_EQ(d->network[0].ip, "10.1.2.3");
    EXPECT_EQ(d->network[3].ip, "10.1.2.9");
    EXPECT_EQ(d->dhcp_lease[3].ip, "10.1.2.9");
    EXPECT_EQ(d->scene["objects"][0]["type"], "sphere");

    EXPECT_FALSE(FindDeviceBySerial("SPARE-1")->connected);
}

TEST_F(Config, ZeroDevicesIsAValidConfiguration) {
    std::string error;
    ASSERT_TRUE(LoadConfigFile(kConfigDir + "zero_devices.json", &error)) << error;
    EXPECT_TRUE(DeviceSerials().empty());
    ASSERT_TRUE(Vyx::SystemInit());
    int count = -1;
    EXPECT_EQ(Vyx::SystemListDevices(nullptr, 0, &count, Vyx::SystemListDeviceType::All), 0);
    EXPECT_EQ(count, 0);
}

struct Damaged {
    const char* file;
    const char* problem;  // expected in the message, after the file's name
};

class DamagedConfig : public Config, public ::testing::WithParamInterface<Damaged> {};

TEST_P(DamagedConfig, IsRefusedAndChangesNothing) {
    const Damaged& c = GetParam();
    // Start from a configuration other than the default, to see it kept.
    std::string error;
    ASSERT_TRUE(LoadConfigFile(kConfigDir + "good.json", &error)) << error;
    auto before = FindDeviceBySerial("CELL-0042");

    std::string path = kConfigDir + c.file;
    EXPECT_FALSE(LoadConfigFile(path, &error));
    EXPECT_NE(error.find("'" + path + "'"), std::string::npos) << error;
    EXPECT_NE(error.find(c.problem), std::string::npos) << error;

    EXPECT_EQ(DeviceSerials(), (std::vector<std::string>{"MIN-1", "CELL-0042", "SPARE-1"}));
    EXPECT_EQ(FindDeviceBySerial("CELL-0042"), before);  // the very same record
    EXPECT_FALSE(before->retired);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedConfig,
    ::testing::Values(
        Damaged{"bad_json.json", "invalid JSON: "},
        Damaged{"not_an_object.json", "expected a JSON object with a \"devices\" list, got an array"},
        Damaged{"missing_devices.json", ": devices: missing"},
        Damaged{"devices_not_list.json", "devices: expected an array, got an object"},
        Damaged{"wrong_type.json", "devices[0].resolution: expected an array of 2 values, got a string"},
        Damaged{"long_name.json", "devices[0].name: 'A name that is far too long for the field' is 41 bytes long; at most 31 bytes fit"},
        Damaged{"duplicate_serial.json", "devices[1].serial: serial number 'TWIN' is used twice"},
        Damaged{"unknown_key.json", "devices[0].focal_lenght_px: unknown key"},
        Damaged{"bad_port.json", "devices[0].port: expected \"USB\" or \"GigE\", got 'USB3'"},
        Damaged{"bad_ip.json", "devices[0].network.LeftCamera: ip '192.168.1.300' is not a dotted IPv4 address"},
        Damaged{"extra_network_without_camera.json", "network.ExtraCamera: the device has no extra camera"},
        Damaged{"bad_working_distance.json", "working_distance_mm: the near end must be less than the far end"},
        Damaged{"scene_not_object.json", "devices[0].scene: expected an object, got an integer"},
        Damaged{"scene_unknown_key.json", "devices[0].scene.objects[2].sise: unknown key"},
        Damaged{"bad_capture_mode.json", "capabilities.capture_modes[1]: unknown name 'Turbo'"},
        Damaged{"missing_serial.json", "devices[0].serial: missing"},
        Damaged{"negative_resolution.json", "devices[0].resolution[0]: -640 is out of range"},
        Damaged{"float_for_int.json", "devices[0].board_model: expected an integer, got a number"},
        Damaged{"control_character.json", "devices[0].name: contains a control character"},
        Damaged{"no_such_file.json", "No such file or directory"}),
    [](const ::testing::TestParamInfo<Damaged>& info) {
        std::string name = info.param.file;
        name = name.substr(0, name.find('.'));
        return name;
    });

TEST_F(Config, TextAndAddDevice) {
    std::string error;
    EXPECT_FALSE(LoadConfigText("{\"devices\": [1]}", &error));
    EXPECT_EQ(error, "configuration text: devices[0]: expected an object, got an integer");
    EXPECT_EQ(DeviceSerials(), kDefaultSerials);

    EXPECT_TRUE(AddDevice(R"({"name": "Added", "serial": "ADD-1", "port": "GigE"})", &error)) << error;
    EXPECT_EQ(DeviceSerials(), (std::vector<std::string>{"VX1300001", "VX2300002", "ADD-1"}));
    // Its default lease does not clash with the others'.
    EXPECT_NE(FindDeviceBySerial("ADD-1")->dhcp_lease[0].ip, FindDeviceBySerial("VX1300001")->dhcp_lease[0].ip);

    EXPECT_FALSE(AddDevice(R"({"name": "Twin", "serial": "VX1300001", "port": "USB"})", &error));
    EXPECT_NE(error.find("serial number 'VX1300001' is already configured"), std::string::npos) << error;
    EXPECT_FALSE(AddDevice("{\"name\": ", &error));
    EXPECT_NE(error.find("invalid JSON"), std::string::npos) << error;
    EXPECT_EQ(DeviceSerials().size(), 3u);
}

// A scene is read when its configuration is loaded, whichever way: a
// mistake in it refuses the configuration, naming the device and the place,
// and leaves the devices as they were.
TEST_F(Config, ScenesAreCheckedWhenLoaded) {
    const std::string typo = R"({"objects": [{"type": "plane"}, {"type": "plane"}, {"type": "sphere", "radius": 0.1, "sise": 1}]})";
    const std::string range = R"({"objects": [{"type": "sphere", "radius": -1}]})";
    auto device = [](const std::string& serial, const std::string& scene) {
        return R"({"name": "Scene", "serial": ")" + serial + R"(", "port": "USB", "scene": )" + scene + "}";
    };
    struct Case {
        std::string text;
        bool whole;          // a configuration (LoadConfigText), else one device (AddDevice)
        std::string prefix;  // the message starts so
    } cases[] = {
        {R"({"devices": [)" + device("OK-1", R"({"objects": []})") + ", " + device("BAD-1", typo) + "]}", true,
         "configuration text: devices[1].scene.objects[2].sise: unknown key (known: "},
        {R"({"devices": [)" + device("BAD-2", range) + "]}", true,
         "configuration text: devices[0].scene.objects[0].radius: -1 is out of range"},
        {device("BAD-3", typo), false, "device description: scene.objects[2].sise: unknown key (known: "},
        {device("BAD-4", R"({"ambient": 1})"), false, "device description: scene: needs 'objects', an array"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(c.whole ? LoadConfigText(c.text, &error) : AddDevice(c.text, &error)) << c.text;
        EXPECT_EQ(error.rfind(c.prefix, 0), 0u) << error;
        EXPECT_EQ(DeviceSerials(), kDefaultSerials);
    }
    std::string error;
    EXPECT_TRUE(AddDevice(device("GOOD-1", R"({"objects": [{"type": "sphere", "radius": 0.1}]})"), &error)) << error;
}

TEST_F(Config, ABadSceneInTheEnvironmentConfigurationLeavesNoDevices) {
    const std::string bad = kConfigDir + "scene_unknown_key.json";
    setenv("VYX_SIM_CONFIG", bad.c_str(), 1);
    Reset();
    EXPECT_TRUE(DeviceSerials().empty());
    EXPECT_FALSE(Vyx::SystemInit());
    EXPECT_EQ(Vyx::GetLastError(), kBadFile);
    const std::string message = Vyx::GetLastErrorMessage();
    EXPECT_NE(message.find("configuration file '" + bad + "' (VYX_SIM_CONFIG): devices[0].scene.objects[2].sise: unknown key"),
              std::string::npos) << message;
}

// What a capture falls back on when a device's scene does not read: only a
// record made without the configuration reader can have one now.
TEST_F(Config, ASceneThatDoesNotReadIsStillReportedToTheCapture) {
    auto record = std::make_shared<DeviceRecord>();
    record->serial = "HAND-MADE";
    record->scene = nlohmann::json::parse(R"({"objects": [{"type": "cone"}]})");
    std::string why;
    EXPECT_EQ(scene::SceneForDevice(record, &why), nullptr);
    EXPECT_NE(why.find("the scene configured for device 'HAND-MADE' is invalid: scene.objects[0].type"), std::string::npos) << why;
}

TEST_F(Config, DefaultConfigurationTextGivesTheBuiltInDevices) {
    std::string error;
    ASSERT_TRUE(LoadConfigText(R"({"devices": []})", &error)) << error;
    ASSERT_TRUE(LoadConfigText(DefaultConfigText(), &error)) << error;
    EXPECT_EQ(DeviceSerials(), kDefaultSerials);
    const auto usb = FindDeviceBySerial("VX1300001");
    ASSERT_TRUE(usb);
    EXPECT_EQ(usb->name, "Vyx M130 virtual");
    EXPECT_EQ(usb->left.fx, 1500.0);
    EXPECT_TRUE(usb->scene.is_null());
}

// The default scene's JSON form reads back as the very scene a device
// without one sees: every value to the last bit (written again, the two give
// the same text), so that both render alike.
TEST_F(Config, DefaultSceneTextIsTheDefaultSceneExactly) {
    for (const std::string serial : {"", "VX1300001", "VX2300002"}) {
        std::string text, error;
        ASSERT_TRUE(DefaultSceneText(serial, &text, &error)) << error;
        const auto device = FindDeviceBySerial(serial.empty() ? "VX1300001" : serial);
        scene::Scene read;
        ASSERT_TRUE(scene::ParseScene(nlohmann::json::parse(text), &read, &error)) << error;
        const scene::Scene seen = scene::DefaultScene(*device);
        ASSERT_EQ(read.objects.size(), seen.objects.size());
        for (std::size_t i = 0; i < seen.objects.size(); ++i) {
            EXPECT_EQ(read.objects[i].pose.R, seen.objects[i].pose.R) << serial << " object " << i;
            EXPECT_EQ(read.objects[i].pose.t, seen.objects[i].pose.t) << serial << " object " << i;
        }
        EXPECT_EQ(scene::SceneToJson(read).dump(), scene::SceneToJson(seen).dump());
    }
    std::string text, error;
    EXPECT_FALSE(DefaultSceneText("NOPE", &text, &error));
    EXPECT_EQ(error, "no configured device has serial number 'NOPE'");
    // The two built-in devices see scenes of their own (their optics differ).
    std::string usb, gige;
    ASSERT_TRUE(DefaultSceneText("VX1300001", &usb, &error));
    ASSERT_TRUE(DefaultSceneText("VX2300002", &gige, &error));
    EXPECT_NE(usb, gige);
}

TEST_F(Config, SetSceneChecksAndReplacesWhatADeviceSees) {
    const auto device = FindDeviceBySerial("VX1300001");
    std::string error;
    const auto before = scene::SceneForDevice(device, &error);
    ASSERT_TRUE(before) << error;

    const std::string ball = R"({"objects": [{"type": "sphere", "center": [0, 0, 0.5], "radius": 0.05}]})";
    EXPECT_FALSE(SetScene("NOPE", &ball, &error));
    EXPECT_EQ(error, "");

    const struct {
        std::string text, message;
    } bad[] = {
        {R"({"objects": [{"type": "sphere", "radius": 0.1, "sise": 1}]})",
         "scene for device 'VX1300001': scene.objects[0].sise: unknown key (known: "},
        {"{\"objects\": ", "scene for device 'VX1300001': invalid JSON: "},
        {"[1]", "scene for device 'VX1300001': scene: must be an object"},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(SetScene("VX1300001", &b.text, &error)) << b.text;
        EXPECT_EQ(error.rfind(b.message, 0), 0u) << error;
        EXPECT_EQ(scene::SceneForDevice(device, &error), before) << "a refused scene changes nothing";
    }

    ASSERT_TRUE(SetScene("VX1300001", &ball, &error)) << error;
    EXPECT_EQ(error, "");
    const auto now = scene::SceneForDevice(device, &error);
    ASSERT_TRUE(now);
    ASSERT_EQ(now->objects.size(), 1u);
    EXPECT_EQ(now->objects[0].shape, scene::Shape::Sphere);
    // The other device keeps its own.
    EXPECT_GT(scene::SceneForDevice(FindDeviceBySerial("VX2300002"), &error)->objects.size(), 1u);

    ASSERT_TRUE(SetScene("VX1300001", nullptr, &error)) << error;
    EXPECT_EQ(scene::SceneToJson(*scene::SceneForDevice(device, &error)).dump(), scene::SceneToJson(*before).dump());

    // A reset brings back devices as configured, without the scene set.
    ASSERT_TRUE(SetScene("VX1300001", &ball, &error)) << error;
    Reset();
    EXPECT_GT(scene::SceneForDevice(FindDeviceBySerial("VX1300001"), &error)->objects.size(), 1u);
}

// Scenes set, read and described from several threads at once, while
// devices are added: every reader sees one whole scene or the other.
TEST_F(Config, SceneThreadsSetReadAndDescribeAtOnce) {
    const std::string one = R"({"objects": [{"type": "sphere", "center": [0, 0, 0.5], "radius": 0.05}]})";
    const std::string two = R"({"objects": [{"type": "plane"}, {"type": "plane", "name": "b"}]})";
    const auto device = FindDeviceBySerial("VX1300001");
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                std::string error, text;
                switch ((t + i) % 4) {
                    case 0:
                        if (!SetScene("VX1300001", (i % 2) ? &one : &two, &error)) ++bad;
                        break;
                    case 1: {
                        auto s = scene::SceneForDevice(device, &error);
                        if (!s || (s->objects.size() != 1 && s->objects.size() != 2 && s->objects.size() < 5)) ++bad;
                        break;
                    }
                    case 2:
                        if (!DefaultSceneText("VX1300001", &text, &error) || text.empty()) ++bad;
                        break;
                    default:
                        AddDevice(R"({"name": "T", "serial": "T-)" + std::to_string(t) + "-" + std::to_string(i) +
                                      R"(", "port": "USB", "scene": )" + one + "}",
                                  &error);
                        if (!error.empty()) ++bad;
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(DeviceSerials().size(), 2u + 4u * 50u);
}

TEST_F(Config, ReplacedDevicesLoseTheirHandles) {
    ASSERT_TRUE(Vyx::SystemInit());
    Vyx::Device old = Vyx::SystemFindDevice("VX1300001");
    ASSERT_TRUE(old.IsValid());
    auto old_record = FindDeviceBySerial("VX1300001");
    std::string error;
    ASSERT_TRUE(LoadConfigText(R"({"devices": [{"name": "n", "serial": "VX1300001", "port": "USB"}]})", &error));
    Vyx::SystemFindDevice("NOPE");  // a last error of its own, which IsValid leaves alone
    EXPECT_FALSE(old.IsValid());
    EXPECT_EQ(Vyx::GetLastError(), kNotFound);
    EXPECT_TRUE(old_record->retired);
    EXPECT_FALSE(old_record->connected);
    Vyx::Device fresh = Vyx::SystemFindDevice("VX1300001");
    EXPECT_TRUE(fresh.IsValid());
}

TEST_F(Config, EnvironmentConfigurationIsReadOnReset) {
    setenv("VYX_SIM_CONFIG", (kConfigDir + "good.json").c_str(), 1);
    Reset();
    EXPECT_EQ(DeviceSerials().size(), 3u);
    EXPECT_TRUE(Vyx::SystemInit());

    // A damaged one: no devices, and SystemInit says why.
    std::string bad = kConfigDir + "duplicate_serial.json";
    setenv("VYX_SIM_CONFIG", bad.c_str(), 1);
    Reset();
    EXPECT_TRUE(DeviceSerials().empty());
    EXPECT_FALSE(Vyx::SystemInit());
    EXPECT_EQ(Vyx::GetLastError(), kBadFile);
    std::string message = Vyx::GetLastErrorMessage();
    EXPECT_NE(message.find("SystemInit: configuration file '" + bad + "'"), std::string::npos) << message;
    EXPECT_NE(message.find("is used twice"), std::string::npos) << message;
    EXPECT_FALSE(Vyx::SystemIsInited());

    unsetenv("VYX_SIM_CONFIG");
    Reset();
    EXPECT_EQ(DeviceSerials(), kDefaultSerials);
}

}  // namespace
}  // namespace vyxsim
