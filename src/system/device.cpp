// DeviceInfo and Device: a discovered device's identity record and its
// handle. Python never constructs either; both come from SDK calls.
#include "module/binding.h"
#include "vyx/system.h"

namespace pyvyx {

namespace {

// Capacity of each network text buffer: 15 characters and the NUL.
constexpr std::size_t kNetworkTextCapacity = 16;
using NetworkText = BytesBuffer<kNetworkTextCapacity>;

void RegisterDeviceInfo(py::module_& m) {
    // Read-only fields. Texts are read within their 32 bytes, up to the first
    // NUL, and decoded as strict UTF-8 on every read. `support_x1` comes
    // before `support_capture_mode`, unlike the storage order.
    using Info = Vyx::DeviceInfo;
    py::class_<Info> cls(m, "DeviceInfo");
    DefReadonlyText(cls, "name", &Info::name);
    DefReadonlyText(cls, "sn", &Info::sn);
    DefReadonlyText(cls, "factroydate", &Info::factroydate);
    DefReadonlyText(cls, "port", &Info::port);
    cls.def_readonly("type", &Info::type)
        .def_readonly("cameraid", &Info::cameraid)
        .def_readonly("boardmodel", &Info::boardmodel)
        .def_readonly("support_x2", &Info::support_x2)
        .def_readonly("support_color", &Info::support_color)
        .def_readonly("workingdist_near_mm", &Info::workingdist_near_mm)
        .def_readonly("workingdist_far_mm", &Info::workingdist_far_mm)
        .def_readonly("support_x1", &Info::support_x1)
        .def_readonly("support_capture_mode", &Info::support_capture_mode)
        .def_readonly("support_protective_cover", &Info::support_protective_cover)
        .def_readonly("support_extra", &Info::support_extra);
}

void RegisterDeviceClass(py::module_& m) {
    // Every method runs its SDK call without the interpreter lock. Destroy
    // releases the SDK's object; the Python object keeps its copy of the
    // handle, and later calls on it go to the SDK, which reports them.
    py::class_<Vyx::Device>(m, "Device")
        .def_static("Destroy", &Vyx::Device::Destroy, ReleaseGil())
        .def("IsValid", &Vyx::Device::IsValid, ReleaseGil())
        .def("Print", &Vyx::Device::Print, ReleaseGil())
        .def(
            "GetDeviceInfo",
            [](const Vyx::Device& self) {
                // The record starts all zero: whatever the SDK does not
                // write, also on failure, reads as empty text, 0 or False.
                return ResultTuple(
                    [&](Vyx::DeviceInfo& info) { return self.GetDeviceInfo(&info); },
                    Zeroed<Vyx::DeviceInfo>());
            },
            ReleaseGil())
        .def("IsFirmwareMatch", &Vyx::Device::IsFirmwareMatch, ReleaseGil())
        .def(
            "SetNetworkConfig",
            [](Vyx::Device& self, Vyx::NetworkDevice part, Vyx::NetworkType type, const CText& ip,
               const CText& mask, const CText& gateway) {
                return self.SetNetworkConfig(part, type, ip, mask, gateway) == 0;
            },
            ReleaseGil())
        .def(
            "GetNetworkConfig",
            [](const Vyx::Device& self, Vyx::NetworkDevice part) {
                // Only the outputs, which keep their zero starting values
                // when the SDK writes nothing; each text is read within its
                // own buffer.
                return OutputTuple(
                    [&](Vyx::NetworkType& type, NetworkText& ip, NetworkText& mask,
                        NetworkText& gateway, int& link_speed) {
                        self.GetNetworkConfig(part, &type, ip.data(), mask.data(), gateway.data(),
                                              &link_speed);
                    },
                    Vyx::NetworkType_DHCP, NetworkText{}, NetworkText{}, NetworkText{}, 0);
            },
            ReleaseGil())
        .def("AutoConfigureNetwork", &Vyx::Device::AutoConfigureNetwork, ReleaseGil());
}

}  // namespace

void RegisterDevice(py::module_& m) {
    RegisterDeviceInfo(m);
    RegisterDeviceClass(m);
}

}  // namespace pyvyx
