// PCD reader over arbitrary bytes; what decodes must survive a round trip
// through the ASCII and binary writers.
#include <cstddef>
#include <cstdint>

#include "data/formats/pcd.h"
#include "fuzz_cloud.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vyxsim::fmt::CloudData c;
    std::string error;
    if (!vyxsim::fmt::DecodePcd(data, size, &c, &error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    if (c.has_grid) FUZZ_CHECK(static_cast<uint64_t>(c.grid_width) * c.grid_height == c.count);
    CheckCloudRoundTrip(c, vyxsim::fmt::EncodePcd, vyxsim::fmt::DecodePcd);
    return 0;
}
