// Device discovery: port-kind names and the device listing.
#include <algorithm>
#include <tuple>
#include <vector>

#include "module/binding.h"
#include "vyx/system.h"

namespace pyvyx {

namespace {

// Room offered to the SDK for one listing.
constexpr int kListingCapacity = 16;

// (SDK status, devices): the list has as many entries as the SDK counted,
// of which only the first kListingCapacity can be handles it filled; the
// rest name no device. A negative count gives an empty list.
std::tuple<int, std::vector<Vyx::Device>> ListDevices(Vyx::SystemListDeviceType::Enum kind) {
    std::vector<Vyx::Device> devices(kListingCapacity);
    int count = 0;
    const int status = Vyx::SystemListDevices(devices.data(), kListingCapacity, &count, kind);
    devices.resize(static_cast<std::size_t>(std::max(count, 0)));
    return {status, std::move(devices)};
}

}  // namespace

void RegisterDiscovery(py::module_& m) {
    m.def("SystemListDeviceTypeToString", &Vyx::SystemListDeviceType::ToString, ReleaseGil());
    m.def("SystemListDevices", &ListDevices, ReleaseGil());
}

}  // namespace pyvyx
