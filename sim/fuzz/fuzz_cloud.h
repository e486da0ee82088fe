// Round trip of a decoded point cloud through both encodings of a format.
#pragma once

#include "data/formats/cloud.h"
#include "data/formats/io.h"
#include "fuzz_check.h"

template <class Encode, class Decode>
void CheckCloudRoundTrip(const vyxsim::fmt::CloudData& c, Encode encode, Decode decode) {
    FUZZ_CHECK(c.values.size() == c.count * (c.has_normals ? 6 : 3));
    FUZZ_CHECK(!c.has_colors || c.colors.size() == c.count * 3);
    if (c.count == 0 || c.count > 20000) return;
    vyxsim::fmt::CloudView view;
    view.width = static_cast<int32_t>(c.count);
    view.height = 1;
    view.points = c.values.data();
    view.normals = c.has_normals ? c.values.data() + 3 * c.count : nullptr;
    if (c.has_colors) view.colors = {c.colors.data(), 3, false};
    view.timestamp = c.timestamp;
    for (bool binary : {false, true}) {
        vyxsim::fmt::VectorSink sink;
        std::string error;
        FUZZ_CHECK(encode(view, binary, sink, &error));
        vyxsim::fmt::CloudData back;
        FUZZ_CHECK(decode(sink.bytes.data(), sink.bytes.size(), &back, &error));
        FUZZ_CHECK(back.count == c.count && back.has_normals == c.has_normals && back.has_colors == c.has_colors);
        FUZZ_CHECK(back.timestamp == c.timestamp);
        for (size_t i = 0; i < c.values.size(); ++i) FUZZ_CHECK(SameValue(back.values[i], c.values[i]));
        FUZZ_CHECK(back.colors == c.colors);
    }
}
