// PNG readers (8-bit and 16-bit grey) over arbitrary bytes; what decodes must
// survive a round trip.
#include <cstddef>
#include <cstdint>

#include "data/formats/png.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    vyxsim::fmt::Raster r;
    if (vyxsim::fmt::DecodePng(data, size, &r, &error)) {
        FUZZ_CHECK(r.pixels.size() == static_cast<size_t>(r.width) * r.height * r.channels);
        std::vector<uint8_t> file;
        FUZZ_CHECK(vyxsim::fmt::EncodePng({r.width, r.height, r.channels, true, r.pixels.data()}, &file, &error));
        vyxsim::fmt::Raster back;
        FUZZ_CHECK(vyxsim::fmt::DecodePng(file.data(), file.size(), &back, &error));
        FUZZ_CHECK(back.width == r.width && back.height == r.height && back.pixels == r.pixels);
    } else {
        FUZZ_CHECK(!error.empty());
    }
    int w = 0, h = 0;
    std::vector<uint16_t> v;
    if (vyxsim::fmt::DecodePngGray16(data, size, &w, &h, &v, &error)) {
        FUZZ_CHECK(v.size() == static_cast<size_t>(w) * h);
        std::vector<uint8_t> file;
        FUZZ_CHECK(vyxsim::fmt::EncodePngGray16(w, h, v.data(), &file, &error));
        std::vector<uint16_t> back;
        int bw = 0, bh = 0;
        FUZZ_CHECK(vyxsim::fmt::DecodePngGray16(file.data(), file.size(), &bw, &bh, &back, &error));
        FUZZ_CHECK(bw == w && bh == h && back == v);
    }
    return 0;
}
