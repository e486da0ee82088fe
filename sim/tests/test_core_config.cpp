// Device configurations: the built-in default, a full file, and damaged files
// that must be refused with a clear reason and change nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/device_registry.h"
#include "core/devices.h"
#include "core/error.h"
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
