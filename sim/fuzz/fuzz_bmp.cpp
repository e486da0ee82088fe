// BMP reader over arbitrary bytes; what decodes must survive a round trip.
#include <cstddef>
#include <cstdint>

#include "data/formats/bmp.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vyxsim::fmt::Raster r;
    std::string error;
    if (!vyxsim::fmt::DecodeBmp(data, size, &r, &error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(r.pixels.size() == static_cast<size_t>(r.width) * r.height * r.channels);
    std::vector<uint8_t> file;
    FUZZ_CHECK(vyxsim::fmt::EncodeBmp({r.width, r.height, r.channels, true, r.pixels.data()}, &file, &error,
                                      size % 2 == 0));
    vyxsim::fmt::Raster back;
    FUZZ_CHECK(vyxsim::fmt::DecodeBmp(file.data(), file.size(), &back, &error));
    FUZZ_CHECK(back.width == r.width && back.height == r.height && back.channels == r.channels);
    FUZZ_CHECK(back.pixels == r.pixels);
    return 0;
}
