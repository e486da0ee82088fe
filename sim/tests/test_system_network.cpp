// Network configuration of devices: round trips, validation, automatic
// configuration and unplugged devices.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "core/error.h"
#include "core/handles.h"
#include "core/network.h"
#include "vyx/system.h"
#include "vyxsim/control.h"

using Vyx::Device;
using Vyx::NetworkDevice;
using Vyx::NetworkType;

namespace vyxsim {
namespace {

struct Net {
    int rc = -1;
    NetworkType type = static_cast<NetworkType>(-1);
    std::string ip, mask, gateway;
    int link = -1;
    bool operator==(const Net& o) const {
        return type == o.type && ip == o.ip && mask == o.mask && gateway == o.gateway && link == o.link;
    }
};

// Reads a configuration through 32-byte buffers and checks that nothing past
// the 16 bytes the call may use was written.
Net Get(const Device& d, NetworkDevice part) {
    char buf[3][32];
    std::memset(buf, 0x7E, sizeof buf);
    Net n;
    n.rc = d.GetNetworkConfig(part, &n.type, buf[0], buf[1], buf[2], &n.link);
    for (auto& b : buf) {
        for (int i = 16; i < 32; ++i) EXPECT_EQ(b[i], 0x7E) << "written past 16 bytes";
    }
    if (n.rc == 0) {
        n.ip = buf[0];
        n.mask = buf[1];
        n.gateway = buf[2];
    }
    return n;
}

class Network : public ::testing::Test {
protected:
    void SetUp() override {
        Reset();
        ASSERT_TRUE(Vyx::SystemInit());
        usb = Vyx::SystemFindDevice("VX1300001");
        gige = Vyx::SystemFindDevice("VX2300002");
    }
    void TearDown() override { Reset(); }
    Device usb, gige;
};

TEST_F(Network, DefaultsAndLinkSpeed) {
    Net n = Get(gige, Vyx::NetworkDevice_LightMachine);
    ASSERT_EQ(n.rc, 0);
    EXPECT_EQ(n.type, Vyx::NetworkType_DHCP);
    EXPECT_EQ(CheckNetworkTexts(n.ip.c_str(), n.mask.c_str(), n.gateway.c_str()), "");
    EXPECT_EQ(n.link, 1000);
    EXPECT_EQ(Get(usb, Vyx::NetworkDevice_RightCamera).link, 5000);
    // Every part of every device has its own address.
    std::set<std::string> ips;
    for (const Device& d : {usb, gige}) {
        for (auto part : {Vyx::NetworkDevice_LightMachine, Vyx::NetworkDevice_LeftCamera,
                          Vyx::NetworkDevice_RightCamera}) {
            ips.insert(Get(d, part).ip);
        }
    }
    EXPECT_EQ(ips.size(), 6u);
}

TEST_F(Network, StaticRoundTripAndBackToDhcp) {
    Net lease = Get(gige, Vyx::NetworkDevice_LeftCamera);
    struct Case {
        const char *ip, *mask, *gateway;
    } cases[] = {{"10.0.0.2", "255.0.0.0", "10.0.0.1"},
                 {"192.168.200.254", "255.255.255.0", "0.0.0.0"},
                 {"172.16.5.77", "255.255.240.0", "172.16.0.1"},
                 {"100.100.100.101", "255.255.255.252", "100.100.100.102"}};
    for (const Case& c : cases) {
        ASSERT_EQ(gige.SetNetworkConfig(Vyx::NetworkDevice_LeftCamera, Vyx::NetworkType_STATIC, c.ip,
                                        c.mask, c.gateway), 0)
            << Vyx::GetLastErrorMessage();
        Net n = Get(gige, Vyx::NetworkDevice_LeftCamera);
        EXPECT_EQ(n.type, Vyx::NetworkType_STATIC);
        EXPECT_EQ(n.ip, c.ip);
        EXPECT_EQ(n.mask, c.mask);
        EXPECT_EQ(n.gateway, c.gateway);
    }
    // Other parts are unaffected; DHCP brings back the lease.
    EXPECT_EQ(Get(gige, Vyx::NetworkDevice_RightCamera).type, Vyx::NetworkType_DHCP);
    ASSERT_EQ(gige.SetNetworkConfig(Vyx::NetworkDevice_LeftCamera, Vyx::NetworkType_DHCP, "", "", ""), 0);
    EXPECT_EQ(Get(gige, Vyx::NetworkDevice_LeftCamera), lease);
}

TEST_F(Network, StateOutlivesShutdownButNotReset) {
    ASSERT_EQ(usb.SetNetworkConfig(Vyx::NetworkDevice_LightMachine, Vyx::NetworkType_STATIC,
                                   "10.9.8.7", "255.255.255.0", "10.9.8.1"), 0);
    Vyx::SystemShutdown();
    ASSERT_TRUE(Vyx::SystemInit());
    Device again = Vyx::SystemFindDevice("VX1300001");
    EXPECT_EQ(Get(again, Vyx::NetworkDevice_LightMachine).ip, "10.9.8.7");
    Reset();
    ASSERT_TRUE(Vyx::SystemInit());
    again = Vyx::SystemFindDevice("VX1300001");
    EXPECT_EQ(Get(again, Vyx::NetworkDevice_LightMachine).type, Vyx::NetworkType_DHCP);
}

struct Invalid {
    const char *ip, *mask, *gateway;
    const char* problem;
};

class NetworkValidation : public Network, public ::testing::WithParamInterface<Invalid> {};

TEST_P(NetworkValidation, IsRefusedAndChangesNothing) {
    const Invalid& c = GetParam();
    Net before = Get(gige, Vyx::NetworkDevice_LightMachine);
    int rc = gige.SetNetworkConfig(Vyx::NetworkDevice_LightMachine, Vyx::NetworkType_STATIC, c.ip,
                                   c.mask, c.gateway);
    EXPECT_EQ(rc, kInvalidArgument);
    EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
    std::string message = Vyx::GetLastErrorMessage();
    EXPECT_EQ(message.rfind("Device::SetNetworkConfig: ", 0), 0u) << message;
    EXPECT_NE(message.find(c.problem), std::string::npos) << message;
    EXPECT_EQ(Get(gige, Vyx::NetworkDevice_LightMachine), before);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NetworkValidation,
    ::testing::Values(
        Invalid{"", "255.255.255.0", "0.0.0.0", "ip '' is not a dotted IPv4 address"},
        Invalid{"1.2.3", "255.255.255.0", "0.0.0.0", "ip '1.2.3' is not"},
        Invalid{"1.2.3.4.5", "255.255.255.0", "0.0.0.0", "ip '1.2.3.4.5' is not"},
        Invalid{"256.1.1.1", "255.0.0.0", "0.0.0.0", "ip '256.1.1.1' is not"},
        Invalid{"01.2.3.4", "255.0.0.0", "0.0.0.0", "ip '01.2.3.4' is not"},
        Invalid{" 1.2.3.4", "255.0.0.0", "0.0.0.0", "ip ' 1.2.3.4' is not"},
        Invalid{"1.2.3.4 ", "255.0.0.0", "0.0.0.0", "ip '1.2.3.4 ' is not"},
        Invalid{"1..3.4", "255.0.0.0", "0.0.0.0", "ip '1..3.4' is not"},
        Invalid{"1.2.3.+4", "255.0.0.0", "0.0.0.0", "ip '1.2.3.+4' is not"},
        Invalid{"a.b.c.d", "255.0.0.0", "0.0.0.0", "ip 'a.b.c.d' is not"},
        Invalid{"192.168.100.1000", "255.0.0.0", "0.0.0.0", "longer than 15 characters"},
        Invalid{"192.168.1.10", "255.0.255.0", "0.0.0.0", "mask '255.0.255.0' is not a subnet mask"},
        Invalid{"192.168.1.10", "0.0.0.0", "0.0.0.0", "mask '0.0.0.0' is not a subnet mask"},
        Invalid{"192.168.1.10", "255.255.255.255", "0.0.0.0", "is not a subnet mask"},
        Invalid{"0.0.0.0", "255.0.0.0", "0.0.0.0", "ip '0.0.0.0' is not a host address"},
        Invalid{"127.0.0.5", "255.0.0.0", "0.0.0.0", "is not a host address"},
        Invalid{"224.1.1.1", "255.0.0.0", "0.0.0.0", "is not a host address"},
        Invalid{"192.168.1.0", "255.255.255.0", "0.0.0.0", "network or broadcast address"},
        Invalid{"192.168.1.255", "255.255.255.0", "0.0.0.0", "network or broadcast address"},
        Invalid{"192.168.1.10", "255.255.255.0", "192.168.2.1", "not in the subnet"},
        Invalid{"192.168.1.10", "255.255.255.0", "192.168.1.10", "not a usable address"},
        Invalid{nullptr, "255.255.255.0", "0.0.0.0", "ip is missing (null)"},
        Invalid{"192.168.1.10", nullptr, "0.0.0.0", "mask is missing (null)"},
        Invalid{"192.168.1.10", "255.255.255.0", nullptr, "gateway is missing (null)"},
        Invalid{"192.168.1.\xFF", "255.255.255.0", "0.0.0.0", "ip '192.168.1.\\xFF' is not"}));

TEST_F(Network, DhcpTextsMustBeEmptyOrAddresses) {
    EXPECT_EQ(gige.SetNetworkConfig(Vyx::NetworkDevice_LightMachine, Vyx::NetworkType_DHCP,
                                    "192.168.1.5", "", "0.0.0.0"), 0);
    EXPECT_EQ(gige.SetNetworkConfig(Vyx::NetworkDevice_LightMachine, Vyx::NetworkType_DHCP,
                                    "garbage", "", ""), kInvalidArgument);
    EXPECT_EQ(gige.SetNetworkConfig(Vyx::NetworkDevice_LightMachine, Vyx::NetworkType_DHCP,
                                    nullptr, "", ""), kInvalidArgument);
}

TEST_F(Network, PartTypeAndHandleChecks) {
    const char *ip = "10.0.0.2", *mask = "255.0.0.0", *gw = "10.0.0.1";
    struct Case {
        Device d;
        int part, type, rc;
    } cases[] = {
        {gige, 4, Vyx::NetworkType_STATIC, kInvalidArgument},
        {gige, -1, Vyx::NetworkType_STATIC, kInvalidArgument},
        {gige, Vyx::NetworkDevice_ExtraCamera, Vyx::NetworkType_STATIC, kUnsupported},
        {gige, Vyx::NetworkDevice_LightMachine, 2, kInvalidArgument},
        {Device(), Vyx::NetworkDevice_LightMachine, Vyx::NetworkType_STATIC, kInvalidHandle},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.d.GetNetworkConfig(static_cast<NetworkDevice>(c.part), nullptr, nullptr, nullptr,
                                       nullptr, nullptr), kInvalidArgument);
        Device d = c.d;
        EXPECT_EQ(d.SetNetworkConfig(static_cast<NetworkDevice>(c.part), static_cast<NetworkType>(c.type),
                                     ip, mask, gw), c.rc) << c.part << " " << c.type;
        EXPECT_EQ(Vyx::GetLastError(), c.rc);
        if (c.type == Vyx::NetworkType_STATIC) {
            EXPECT_EQ(Get(c.d, static_cast<NetworkDevice>(c.part)).rc, c.rc);
        }
    }
    // A null output is refused before anything is written.
    char a[16] = "keep", b[16] = "keep", g[16] = "keep";
    NetworkType type = Vyx::NetworkType_STATIC;
    EXPECT_EQ(gige.GetNetworkConfig(Vyx::NetworkDevice_LightMachine, &type, a, b, g, nullptr), kInvalidArgument);
    EXPECT_STREQ(a, "keep");
    EXPECT_EQ(type, Vyx::NetworkType_STATIC);
}

TEST_F(Network, InjectedFailures) {
    FailNext("Device::GetNetworkConfig", 1, false);
    Net n = Get(gige, Vyx::NetworkDevice_LightMachine);
    EXPECT_EQ(n.rc, kInjectedFault);
    EXPECT_EQ(n.link, -1);  // untouched
    FailNext("Device::GetNetworkConfig", 1, true);
    NetworkType type = static_cast<NetworkType>(9);
    char ip[16] = "", mask[16] = "", gw[16] = "";
    int link = -1;
    EXPECT_EQ(gige.GetNetworkConfig(Vyx::NetworkDevice_LightMachine, &type, ip, mask, gw, &link), kInjectedFault);
    EXPECT_EQ(link, 1000);  // written before the failure
    EXPECT_GT(std::strlen(ip), 0u);
    FailNext("Device::SetNetworkConfig", 1, false);
    EXPECT_EQ(gige.SetNetworkConfig(Vyx::NetworkDevice_LightMachine, Vyx::NetworkType_STATIC, "10.0.0.2",
                                    "255.0.0.0", "10.0.0.1"), kInjectedFault);
    EXPECT_EQ(Get(gige, Vyx::NetworkDevice_LightMachine).type, Vyx::NetworkType_DHCP);
}

TEST_F(Network, AutoConfigureAssignsFreeStaticAddresses) {
    // Take an address the automatic configuration would otherwise pick.
    ASSERT_EQ(usb.SetNetworkConfig(Vyx::NetworkDevice_LightMachine, Vyx::NetworkType_STATIC,
                                   "192.168.10.100", "255.255.255.0", "192.168.10.1"), 0);
    EXPECT_EQ(gige.AutoConfigureNetwork(), 0);
    std::set<std::string> ips;
    for (auto part : {Vyx::NetworkDevice_LightMachine, Vyx::NetworkDevice_LeftCamera,
                      Vyx::NetworkDevice_RightCamera}) {
        Net n = Get(gige, part);
        EXPECT_EQ(n.type, Vyx::NetworkType_STATIC);
        EXPECT_EQ(CheckNetworkTexts(n.ip.c_str(), n.mask.c_str(), n.gateway.c_str()), "") << n.ip;
        EXPECT_EQ(n.ip.rfind("192.168.10.", 0), 0u) << n.ip;
        ips.insert(n.ip);
    }
    EXPECT_EQ(ips.size(), 3u);
    for (auto part : {Vyx::NetworkDevice_LightMachine, Vyx::NetworkDevice_LeftCamera,
                      Vyx::NetworkDevice_RightCamera}) {
        EXPECT_EQ(ips.count(Get(usb, part).ip), 0u);
    }
    EXPECT_NE(Device().AutoConfigureNetwork(), 0);
}

TEST_F(Network, UnpluggedDeviceRefusesNetworkCalls) {
    ASSERT_TRUE(Unplug("VX2300002"));
    EXPECT_EQ(Get(gige, Vyx::NetworkDevice_LightMachine).rc, kDisconnected);
    EXPECT_EQ(gige.SetNetworkConfig(Vyx::NetworkDevice_LightMachine, Vyx::NetworkType_STATIC,
                                    "10.0.0.2", "255.0.0.0", "10.0.0.1"), kDisconnected);
    EXPECT_EQ(gige.AutoConfigureNetwork(), kDisconnected);
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("'VX2300002' is not connected"), std::string::npos);
    ASSERT_TRUE(Replug("VX2300002"));
    EXPECT_EQ(Get(gige, Vyx::NetworkDevice_LightMachine).rc, 0);
    EXPECT_EQ(gige.AutoConfigureNetwork(), 0);
}

TEST_F(Network, NotInitialised) {
    Vyx::SystemShutdown();
    EXPECT_EQ(Get(gige, Vyx::NetworkDevice_LightMachine).rc, kNotInitialized);
    EXPECT_EQ(gige.AutoConfigureNetwork(), kNotInitialized);
}

}  // namespace
}  // namespace vyxsim
