// Float TIFF reader over arbitrary bytes; what decodes must survive a round
// trip.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "data/formats/tiff.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    int w = 0, h = 0;
    std::vector<float> v;
    if (!vyxsim::fmt::DecodeTiffFloat(data, size, &w, &h, &v, &error)) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(v.size() == static_cast<size_t>(w) * h);
    std::vector<uint8_t> file;
    FUZZ_CHECK(vyxsim::fmt::EncodeTiffFloat(w, h, v.data(), &file, &error));
    std::vector<float> back;
    int bw = 0, bh = 0;
    FUZZ_CHECK(vyxsim::fmt::DecodeTiffFloat(file.data(), file.size(), &bw, &bh, &back, &error));
    FUZZ_CHECK(bw == w && bh == h && back.size() == v.size());
    // Bit for bit, NaN payloads included.
    FUZZ_CHECK(std::memcmp(back.data(), v.data(), v.size() * sizeof(float)) == 0);
    return 0;
}
