// PLY reader over arbitrary bytes (with and without faces); what decodes
// must survive a round trip through the ASCII and binary writers.
#include <cstddef>
#include <cstdint>

#include "data/formats/ply.h"
#include "fuzz_cloud.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (bool faces : {false, true}) {
        vyxsim::fmt::CloudData c;
        std::string error;
        if (!vyxsim::fmt::DecodePly(data, size, &c, &error, faces)) {
            FUZZ_CHECK(!error.empty());
            continue;
        }
        for (const auto& t : c.triangles) FUZZ_CHECK(t[0] < c.count && t[1] < c.count && t[2] < c.count);
        if (c.has_grid) FUZZ_CHECK(static_cast<uint64_t>(c.grid_width) * c.grid_height == c.count);
        if (!faces) CheckCloudRoundTrip(c, vyxsim::fmt::EncodePly, [](const uint8_t* d, size_t n, vyxsim::fmt::CloudData* o, std::string* e) {
            return vyxsim::fmt::DecodePly(d, n, o, e);
        });
    }
    // The streaming reader agrees with the in-memory one.
    vyxsim::fmt::CloudData whole, streamed;
    std::string e1, e2;
    const bool ok1 = vyxsim::fmt::DecodePly(data, size, &whole, &e1);
    vyxsim::fmt::MemoryReader reader(data, size);
    bool read_failed = false;
    const bool ok2 = vyxsim::fmt::DecodePlyStream(reader, size, 1.0, &streamed, &e2, &read_failed);
    FUZZ_CHECK(!read_failed);
    FUZZ_CHECK(ok1 == ok2);
    if (ok1) {
        FUZZ_CHECK(whole.count == streamed.count && whole.has_normals == streamed.has_normals);
        FUZZ_CHECK(whole.has_grid == streamed.has_grid && whole.timestamp == streamed.timestamp);
        FUZZ_CHECK(whole.values.size() == streamed.values.size());
        for (size_t i = 0; i < whole.values.size(); ++i) FUZZ_CHECK(SameValue(whole.values[i], streamed.values[i]));
    }
    return 0;
}
