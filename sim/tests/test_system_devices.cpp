// Discovery, device handles and device information.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "core/handles.h"
#include "vyx/system.h"
#include "vyxsim/control.h"

using Vyx::Device;
using Vyx::DeviceInfo;
using Vyx::HandleAccess;
using Vyx::SystemListDeviceType;

namespace vyxsim {
namespace {

const std::string kConfigDir = std::string(VYX_TEST_DATA_DIR) + "/config/";

bool Same(const Device& a, const Device& b) {
    Words x = HandleAccess::Get(a), y = HandleAccess::Get(b);
    return x.a == y.a && x.b == y.b;
}

Device Garbage() { return HandleAccess::Make<Device>(Words{0xDEADBEEF, 0xDEADBEEF}); }

class Devices : public ::testing::Test {
protected:
    void SetUp() override {
        Reset();
        ASSERT_TRUE(Vyx::SystemInit());
    }
    void TearDown() override { Reset(); }

    std::vector<Device> List(SystemListDeviceType::Enum type = SystemListDeviceType::All) {
        std::vector<Device> devices(16);
        int count = -1;
        EXPECT_EQ(Vyx::SystemListDevices(devices.data(), 16, &count, type), 0);
        devices.resize(static_cast<std::size_t>(count < 0 ? 0 : count));
        return devices;
    }
    std::string Serial(const Device& d) {
        DeviceInfo info;
        return d.GetDeviceInfo(&info) ? info.sn : "";
    }
};

TEST_F(Devices, ListsByPortKind) {
    struct Case {
        SystemListDeviceType::Enum type;
        std::vector<std::string> serials;
    } cases[] = {
        {SystemListDeviceType::All, {"VX1300001", "VX2300002"}},
        {SystemListDeviceType::USB, {"VX1300001"}},
        {SystemListDeviceType::GigE, {"VX2300002"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> serials;
        for (const Device& d : List(c.type)) serials.push_back(Serial(d));
        EXPECT_EQ(serials, c.serials) << SystemListDeviceType::ToString(c.type);
    }
}

TEST_F(Devices, ListingHonoursCapacity) {
    Device devices[3] = {Garbage(), Garbage(), Garbage()};
    int count = 0;
    EXPECT_EQ(Vyx::SystemListDevices(devices, 1, &count, SystemListDeviceType::All), 0);
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(devices[0].IsValid());
    EXPECT_TRUE(Same(devices[1], Garbage()));  // beyond the capacity: untouched
    count = 0;
    EXPECT_EQ(Vyx::SystemListDevices(nullptr, 0, &count, SystemListDeviceType::All), 0);
    EXPECT_EQ(count, 2);
}

TEST_F(Devices, ListingRefusesBadArguments) {
    Device devices[2] = {Garbage(), Garbage()};
    int count = 77;
    struct Case {
        Device* devices;
        int capacity;
        int* count;
        int type;
        const char* message;
    } cases[] = {
        {devices, 2, nullptr, 3, "count is a null pointer"},
        {devices, -1, &count, 3, "capacity -1 is negative"},
        {nullptr, 2, &count, 3, "devices is a null pointer"},
        {devices, 2, &count, 0, "unknown port kind 0"},
        {devices, 2, &count, 7, "unknown port kind 7"},
    };
    for (const Case& c : cases) {
        int rc = Vyx::SystemListDevices(c.devices, c.capacity, c.count,
                                        static_cast<SystemListDeviceType::Enum>(c.type));
        EXPECT_EQ(rc, kInvalidArgument) << c.message;
        EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
        EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find(c.message), std::string::npos)
            << Vyx::GetLastErrorMessage();
        EXPECT_EQ(count, 77);
        EXPECT_TRUE(Same(devices[0], Garbage()));
    }
}

TEST_F(Devices, ScriptedListingCount) {
    struct Case {
        int scripted, capacity;
        int valid;   // real handles written
        int zeroed;  // all-zero handles written after them
    } cases[] = {{20, 16, 2, 14}, {20, 4, 2, 2}, {1, 16, 1, 0}, {0, 16, 0, 0}, {-3, 16, 0, 0}};
    for (const Case& c : cases) {
        ScriptListingCount(true, c.scripted);
        std::vector<Device> devices(17, Garbage());
        int count = 12345;
        EXPECT_EQ(Vyx::SystemListDevices(devices.data(), c.capacity, &count, SystemListDeviceType::All), 0);
        EXPECT_EQ(count, c.scripted);
        for (int i = 0; i < 17; ++i) {
            if (i < c.valid) {
                EXPECT_TRUE(devices[i].IsValid()) << c.scripted << " entry " << i;
            } else if (i < c.valid + c.zeroed) {
                EXPECT_TRUE(HandleAccess::Get(devices[i]).IsZero()) << c.scripted << " entry " << i;
            } else {
                EXPECT_TRUE(Same(devices[i], Garbage())) << c.scripted << " entry " << i;
            }
        }
    }
    ScriptListingCount(false, 0);
    EXPECT_EQ(List().size(), 2u);
}

TEST_F(Devices, InjectedListingFailure) {
    Device devices[2] = {Garbage(), Garbage()};
    int count = 77;
    FailNext("SystemListDevices", 1, false);
    EXPECT_EQ(Vyx::SystemListDevices(devices, 2, &count, SystemListDeviceType::All), kInjectedFault);
    EXPECT_EQ(count, 77);
    EXPECT_TRUE(Same(devices[0], Garbage()));
    FailNext("SystemListDevices", 1, true);
    EXPECT_EQ(Vyx::SystemListDevices(devices, 2, &count, SystemListDeviceType::All), kInjectedFault);
    EXPECT_EQ(Vyx::GetLastError(), kInjectedFault);
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(devices[1].IsValid());
}

TEST_F(Devices, OneHandlePerDeviceUntilDestroyed) {
    std::vector<Device> first = List();
    std::vector<Device> second = List();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_TRUE(Same(first[0], second[0]));
    EXPECT_TRUE(Same(first[1], Vyx::SystemFindDevice("VX2300002")));
    EXPECT_EQ(LiveObjects(), 2u);

    Device::Destroy(first[0]);
    Vyx::SystemFindDevice("NOPE");
    EXPECT_FALSE(first[0].IsValid());
    EXPECT_EQ(Vyx::GetLastError(), kNotFound);  // a validity check leaves the last error alone
    DeviceInfo info;
    EXPECT_FALSE(first[0].GetDeviceInfo(&info));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);
    Device::Destroy(first[0]);  // again: refused, nothing else happens
    EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);
    EXPECT_TRUE(first[1].IsValid());

    Device renewed = List()[0];
    EXPECT_TRUE(renewed.IsValid());
    EXPECT_FALSE(Same(renewed, first[0]));
    EXPECT_FALSE(first[0].IsValid());  // the old handle is never revived
    EXPECT_EQ(Serial(renewed), "VX1300001");
}

TEST_F(Devices, ShutdownReleasesHandlesAndRefusesCalls) {
    Device d = Vyx::SystemFindDevice("VX1300001");
    ASSERT_TRUE(d.IsValid());
    Vyx::SystemShutdown();
    EXPECT_EQ(LiveObjects(), 0u);
    EXPECT_FALSE(d.IsValid());
    EXPECT_EQ(Vyx::GetLastError(), kNotInitialized);
    int count = 5;
    EXPECT_EQ(Vyx::SystemListDevices(nullptr, 0, &count, SystemListDeviceType::All), kNotInitialized);
    EXPECT_EQ(count, 5);
    EXPECT_TRUE(HandleAccess::Get(Vyx::SystemFindDevice("VX1300001")).IsZero());
    ASSERT_TRUE(Vyx::SystemInit());
    Vyx::SystemFindDevice("NOPE");
    EXPECT_FALSE(d.IsValid());
    EXPECT_EQ(Vyx::GetLastError(), kNotFound);  // left as it was
    EXPECT_TRUE(Vyx::SystemFindDevice("VX1300001").IsValid());
}

TEST_F(Devices, FindDevice) {
    Device d = Vyx::SystemFindDevice(nullptr);
    EXPECT_TRUE(HandleAccess::Get(d).IsZero());
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    d = Vyx::SystemFindDevice("NOPE");
    EXPECT_TRUE(HandleAccess::Get(d).IsZero());
    EXPECT_EQ(Vyx::GetLastError(), kNotFound);
    EXPECT_STREQ(Vyx::GetLastErrorMessage(), "SystemFindDevice: no device with serial number 'NOPE'");
    d = Vyx::SystemFindDevice("");
    EXPECT_EQ(Vyx::GetLastError(), kNotFound);
    EXPECT_EQ(Serial(Vyx::SystemFindDevice("VX2300002")), "VX2300002");
}

TEST_F(Devices, DeviceInfoOfTheDefaults) {
    struct Case {
        const char *serial, *name;
        Vyx::PortType port;
        bool cover;
    } cases[] = {{"VX1300001", "Vyx M130 virtual", Vyx::PortType_USB, false},
                 {"VX2300002", "Vyx C230 virtual", Vyx::PortType_GIGE, true}};
    for (const Case& c : cases) {
        DeviceInfo info;
        std::memset(&info, 0xAB, sizeof info);
        ASSERT_TRUE(Vyx::SystemFindDevice(c.serial).GetDeviceInfo(&info));
        EXPECT_STREQ(info.name, c.name);
        EXPECT_STREQ(info.sn, c.serial);
        EXPECT_GT(std::strlen(info.factroydate), 0u);
        EXPECT_GT(std::strlen(info.port), 0u);
        EXPECT_EQ(info.type, c.port);
        EXPECT_EQ(info.cameraid, Vyx::CameraID_Both);
        EXPECT_TRUE(info.support_x1);
        EXPECT_TRUE(info.support_x2);
        EXPECT_EQ(info.support_protective_cover, c.cover);
        EXPECT_FALSE(info.support_extra);
        EXPECT_TRUE(info.support_color & Vyx::ProjectorColor_Blue);
        EXPECT_TRUE(info.support_capture_mode & Vyx::CaptureMode_Normal);
        EXPECT_GT(info.workingdist_near_mm, 0);
        EXPECT_GT(info.workingdist_far_mm, info.workingdist_near_mm);
        for (uint8_t b : info.reserved) EXPECT_EQ(b, 0);
        // Every text ends inside its field, with zeros after the NUL.
        for (const char* field : {info.name, info.sn, info.factroydate, info.port}) {
            std::size_t n = strnlen(field, 32);
            ASSERT_LT(n, 32u);
            for (std::size_t i = n; i < 32; ++i) EXPECT_EQ(field[i], 0);
        }
    }
}

TEST_F(Devices, DeviceInfoFailures) {
    DeviceInfo info;
    std::memset(&info, 0x5A, sizeof info);
    DeviceInfo untouched = info;
    Device d = Vyx::SystemFindDevice("VX1300001");
    EXPECT_FALSE(d.GetDeviceInfo(nullptr));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    EXPECT_FALSE(Garbage().GetDeviceInfo(&info));
    EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);
    EXPECT_FALSE(Device().GetDeviceInfo(&info));
    EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0);

    FailNext("Device::GetDeviceInfo", 1, false);
    EXPECT_FALSE(d.GetDeviceInfo(&info));
    EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0);
    FailNext("Device::GetDeviceInfo", 1, true);
    EXPECT_FALSE(d.GetDeviceInfo(&info));
    EXPECT_EQ(Vyx::GetLastError(), kInjectedFault);
    EXPECT_STREQ(info.sn, "VX1300001");
}

TEST_F(Devices, InjectedFailuresOfHandleChecks) {
    Device d = Vyx::SystemFindDevice("VX1300001");
    for (bool write : {false, true}) {
        FailNext("Device::IsValid", 1, write);
        EXPECT_FALSE(d.IsValid());
        EXPECT_EQ(Vyx::GetLastError(), kInjectedFault);
        EXPECT_TRUE(d.IsValid());
        FailNext("SystemFindDevice", 1, write);
        EXPECT_TRUE(HandleAccess::Get(Vyx::SystemFindDevice("VX1300001")).IsZero());
        EXPECT_EQ(Vyx::GetLastError(), kInjectedFault);
    }
    // Destroy with its work done: the handle is gone, and the failure reported.
    FailNext("Device::Destroy", 1, true);
    Device::Destroy(d);
    EXPECT_EQ(Vyx::GetLastError(), kInjectedFault);
    EXPECT_FALSE(d.IsValid());
}

TEST_F(Devices, ScriptedAndLongestNames) {
    std::string raw("\xFF\xFEnot utf-8", 11);
    EXPECT_TRUE(ScriptDeviceName("VX1300001", raw));
    EXPECT_FALSE(ScriptDeviceName("VX1300001", std::string(32, 'n')));
    EXPECT_FALSE(ScriptDeviceName("NOPE", "x"));
    DeviceInfo info;
    ASSERT_TRUE(Vyx::SystemFindDevice("VX1300001").GetDeviceInfo(&info));
    EXPECT_EQ(std::string(info.name), raw);

    std::string longest(31, 'L');
    ASSERT_TRUE(LoadConfigText(R"({"devices": [{"name": ")" + longest + R"(", "serial": ")" +
                                   std::string(31, '9') + R"(", "port": "USB", "port_text": ")" +
                                   longest + R"(", "factory_date": ")" + longest + R"("}]})",
                               nullptr));
    ASSERT_TRUE(Vyx::SystemInit());
    ASSERT_TRUE(Vyx::SystemFindDevice(std::string(31, '9').c_str()).GetDeviceInfo(&info));
    EXPECT_EQ(std::string(info.name), longest);
    EXPECT_EQ(std::string(info.port), longest);
    EXPECT_EQ(info.factroydate[31], '\0');
}

TEST_F(Devices, FirmwareMatch) {
    EXPECT_TRUE(Vyx::SystemFindDevice("VX1300001").IsFirmwareMatch());
    ASSERT_TRUE(LoadConfigFile(kConfigDir + "good.json", nullptr));
    Device cell = Vyx::SystemFindDevice("CELL-0042");
    EXPECT_FALSE(cell.IsFirmwareMatch());
    EXPECT_EQ(Vyx::GetLastError(), kFirmwareMismatch);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("'CELL-0042'"), std::string::npos);
    EXPECT_FALSE(Garbage().IsFirmwareMatch());
    EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);
}

TEST_F(Devices, PrintDescribesTheDevice) {
    ::testing::internal::CaptureStdout();
    Vyx::SystemFindDevice("VX2300002").Print();
    Garbage().Print();
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("VX2300002"), std::string::npos) << out;
    EXPECT_NE(out.find("Vyx C230 virtual"), std::string::npos) << out;
    EXPECT_NE(out.find("1920 x 1200"), std::string::npos) << out;
    EXPECT_EQ(out.find("DEADBEEF"), std::string::npos);
    EXPECT_EQ(Vyx::GetLastError(), kInvalidHandle);
}

TEST_F(Devices, UnplugAndReplug) {
    Device usb = Vyx::SystemFindDevice("VX1300001");
    EXPECT_FALSE(Unplug("NOPE"));
    ASSERT_TRUE(Unplug("VX1300001"));
    // Not listed, not found, but the handle keeps the cached identity.
    EXPECT_EQ(List().size(), 1u);
    EXPECT_TRUE(List(SystemListDeviceType::USB).empty());
    EXPECT_TRUE(HandleAccess::Get(Vyx::SystemFindDevice("VX1300001")).IsZero());
    EXPECT_EQ(Vyx::GetLastError(), kDisconnected);
    EXPECT_EQ(Serial(usb), "VX1300001");
    EXPECT_FALSE(usb.IsFirmwareMatch());
    EXPECT_EQ(Vyx::GetLastError(), kDisconnected);
    EXPECT_EQ(DeviceSerials().size(), 2u);  // still configured

    ASSERT_TRUE(Replug("VX1300001"));
    std::vector<Device> listed = List(SystemListDeviceType::USB);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(Same(listed[0], usb));  // the same handle as before
    EXPECT_TRUE(usb.IsFirmwareMatch());
}

TEST_F(Devices, ResetRestoresDeviceState) {
    ASSERT_TRUE(Unplug("VX2300002"));
    ASSERT_TRUE(ScriptDeviceName("VX1300001", "renamed"));
    Reset();
    ASSERT_TRUE(Vyx::SystemInit());
    EXPECT_EQ(List().size(), 2u);
    DeviceInfo info;
    ASSERT_TRUE(Vyx::SystemFindDevice("VX1300001").GetDeviceInfo(&info));
    EXPECT_STREQ(info.name, "Vyx M130 virtual");
}

// Eight threads list, inspect and destroy device handles at once: every call
// either works or fails with kInvalidHandle, and the registry ends with one
// handle per device.
TEST(DevicesThreads, ConcurrentDiscovery) {
    Reset();
    ASSERT_TRUE(Vyx::SystemInit());
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int i = 0; i < 300; ++i) {
                Device devices[4];
                int count = 0;
                if (Vyx::SystemListDevices(devices, 4, &count, SystemListDeviceType::All) != 0 || count != 2) {
                    ++wrong;
                }
                DeviceInfo info;
                for (int k = 0; k < 2; ++k) {
                    if (!devices[k].GetDeviceInfo(&info) && Vyx::GetLastError() != kInvalidHandle) ++wrong;
                }
                if ((i + t) % 5 == 0) Device::Destroy(devices[i % 2]);
                Device found = Vyx::SystemFindDevice(i % 2 ? "VX1300001" : "VX2300002");
                if (HandleAccess::Get(found).IsZero()) ++wrong;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    Device devices[2];
    int count = 0;
    Vyx::SystemListDevices(devices, 2, &count, SystemListDeviceType::All);
    EXPECT_TRUE(devices[0].IsValid() && devices[1].IsValid());
    EXPECT_EQ(LiveObjects(), 2u);
    Reset();
}

}  // namespace
}  // namespace vyxsim
