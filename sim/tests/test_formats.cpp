// The file codecs on their own, over memory buffers: round trips of every
// format with values compared, and the written files checked against the
// formats' published rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "data/formats/bmp.h"
#include "data/formats/bytes.h"
#include "data/formats/mesh_io.h"
#include "data/formats/pcd.h"
#include "data/formats/ply.h"
#include "data/formats/png.h"
#include "data/formats/tiff.h"

namespace {

using namespace vyxsim::fmt;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<uint8_t> Pattern(int width, int height, int channels) {
    std::vector<uint8_t> v(static_cast<std::size_t>(width) * height * channels);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>((i * 37 + i / 7) & 0xFF);
    return v;
}

// Same value, or both NaN.
bool Same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

// ------------------------------------------------------------------ images

struct RasterCase {
    int width, height, channels;
    bool bgr;
    bool top_down;  // BMP only
};

class ImageCodecs : public ::testing::TestWithParam<RasterCase> {};

// Decoding gives B, G, R for colour whatever order the source had.
std::vector<uint8_t> ExpectedBgr(const std::vector<uint8_t>& src, const RasterCase& c) {
    std::vector<uint8_t> out = src;
    if (c.channels == 3 && !c.bgr) {
        for (std::size_t i = 0; i < out.size(); i += 3) std::swap(out[i], out[i + 2]);
    }
    return out;
}

TEST_P(ImageCodecs, BmpRoundTripKeepsPixelsAndWritesStandardHeader) {
    const RasterCase c = GetParam();
    const auto pixels = Pattern(c.width, c.height, c.channels);
    RasterView view{c.width, c.height, c.channels, c.bgr, pixels.data()};
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(EncodeBmp(view, &file, &error, c.top_down)) << error;

    // BITMAPFILEHEADER and BITMAPINFOHEADER fields.
    const uint32_t stride = (static_cast<uint32_t>(c.width) * c.channels * 8 + 31) / 32 * 4;
    const uint32_t palette = c.channels == 1 ? 1024 : 0;
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(LoadLE32(&file[2]), file.size());
    EXPECT_EQ(LoadLE32(&file[6]), 0u);  // reserved
    EXPECT_EQ(LoadLE32(&file[10]), 54u + palette);
    EXPECT_EQ(LoadLE32(&file[14]), 40u);
    EXPECT_EQ(LoadLE32s(&file[18]), c.width);
    EXPECT_EQ(LoadLE32s(&file[22]), c.top_down ? -c.height : c.height);
    EXPECT_EQ(LoadLE16(&file[26]), 1);
    EXPECT_EQ(LoadLE16(&file[28]), c.channels * 8);
    EXPECT_EQ(LoadLE32(&file[30]), 0u);  // BI_RGB
    EXPECT_EQ(LoadLE32(&file[34]), stride * static_cast<uint32_t>(c.height));
    EXPECT_EQ(LoadLE32(&file[46]), c.channels == 1 ? 256u : 0u);
    EXPECT_EQ(file.size(), 54u + palette + stride * static_cast<uint32_t>(c.height));
    if (c.channels == 1) {
        for (uint32_t i = 0; i < 256; ++i) {
            EXPECT_EQ(file[54 + 4 * i], i);
            EXPECT_EQ(file[54 + 4 * i + 2], i);
        }
    }
    // The first image row is the last file row in a bottom-up file; colour
    // bytes are B, G, R in the file; padding is zero.
    const uint8_t* first_row = &file[54 + palette + (c.top_down ? 0 : stride * (c.height - 1))];
    const auto expected = ExpectedBgr(pixels, c);
    EXPECT_EQ(0, std::memcmp(first_row, expected.data(), static_cast<std::size_t>(c.width) * c.channels));
    for (uint32_t k = static_cast<uint32_t>(c.width) * c.channels; k < stride; ++k) EXPECT_EQ(first_row[k], 0);

    Raster back;
    ASSERT_TRUE(DecodeBmp(file.data(), file.size(), &back, &error)) << error;
    EXPECT_EQ(back.width, c.width);
    EXPECT_EQ(back.height, c.height);
    EXPECT_EQ(back.channels, c.channels);
    EXPECT_EQ(back.pixels, expected);
}

TEST_P(ImageCodecs, PngRoundTripKeepsPixels) {
    const RasterCase c = GetParam();
    const auto pixels = Pattern(c.width, c.height, c.channels);
    RasterView view{c.width, c.height, c.channels, c.bgr, pixels.data()};
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(EncodePng(view, &file, &error)) << error;
    // Signature, then IHDR with the size, bit depth 8 and grey (0) or RGB (2).
    ASSERT_GE(file.size(), 33u);
    EXPECT_EQ(0, std::memcmp(file.data(), "\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(0, std::memcmp(&file[12], "IHDR", 4));
    EXPECT_EQ(file[24], 8);
    EXPECT_EQ(file[25], c.channels == 1 ? 0 : 2);

    Raster back;
    ASSERT_TRUE(DecodePng(file.data(), file.size(), &back, &error)) << error;
    EXPECT_EQ(back.width, c.width);
    EXPECT_EQ(back.height, c.height);
    EXPECT_EQ(back.channels, c.channels);
    EXPECT_EQ(back.pixels, ExpectedBgr(pixels, c));
}

INSTANTIATE_TEST_SUITE_P(Layouts, ImageCodecs,
                         ::testing::Values(RasterCase{5, 3, 1, false, false}, RasterCase{5, 3, 1, false, true},
                                           RasterCase{7, 4, 3, true, false}, RasterCase{7, 4, 3, true, true},
                                           RasterCase{6, 2, 3, false, false}, RasterCase{1, 1, 3, false, true},
                                           RasterCase{4, 4, 3, true, false}, RasterCase{13, 9, 1, false, false}));

TEST(PngCodec, SixteenBitGreyRoundTripsAndScalesToEightBits) {
    const int w = 4, h = 3;
    std::vector<uint16_t> values = {0, 1, 127, 128, 255, 256, 32767, 32768, 65279, 65280, 65534, 65535};
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(EncodePngGray16(w, h, values.data(), &file, &error)) << error;
    int bw = 0, bh = 0;
    std::vector<uint16_t> back;
    ASSERT_TRUE(DecodePngGray16(file.data(), file.size(), &bw, &bh, &back, &error)) << error;
    EXPECT_EQ(bw, w);
    EXPECT_EQ(bh, h);
    EXPECT_EQ(back, values);

    Raster eight;
    ASSERT_TRUE(DecodePng(file.data(), file.size(), &eight, &error)) << error;
    ASSERT_EQ(eight.channels, 1);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(eight.pixels[i], static_cast<int>(std::lround(values[i] * 255.0 / 65535.0))) << values[i];
    }
}

TEST(PngCodec, EightBitFileIsNotASixteenBitDepthImage) {
    const auto pixels = Pattern(3, 3, 1);
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(EncodePng({3, 3, 1, false, pixels.data()}, &file, &error));
    int w, h;
    std::vector<uint16_t> v;
    EXPECT_FALSE(DecodePngGray16(file.data(), file.size(), &w, &h, &v, &error));
    EXPECT_NE(error.find("16-bit"), std::string::npos) << error;
}

TEST(TiffCodec, FloatRoundTripKeepsNaNAndInfinity) {
    const int w = 5, h = 3;
    std::vector<float> values(w * h);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = 0.25f + 0.001f * static_cast<float>(i);
    values[3] = std::numeric_limits<float>::quiet_NaN();
    values[7] = std::numeric_limits<float>::infinity();
    values[8] = -0.0f;
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(EncodeTiffFloat(w, h, values.data(), &file, &error)) << error;
    EXPECT_EQ(0, std::memcmp(file.data(), "II*\0", 4));
    int bw = 0, bh = 0;
    std::vector<float> back;
    ASSERT_TRUE(DecodeTiffFloat(file.data(), file.size(), &bw, &bh, &back, &error)) << error;
    ASSERT_EQ(bw, w);
    ASSERT_EQ(bh, h);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_TRUE(Same(values[i], back[i])) << i;
        EXPECT_EQ(std::signbit(values[i]), std::signbit(back[i])) << i;
    }
}

TEST(TiffCodec, WideImageUsesSeveralStrips) {
    const int w = 3000, h = 40;  // 12000 bytes per row: 5 rows per 64 KiB strip
    std::vector<float> values(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i);
    std::vector<uint8_t> file;
    std::string error;
    ASSERT_TRUE(EncodeTiffFloat(w, h, values.data(), &file, &error)) << error;
    int bw, bh;
    std::vector<float> back;
    ASSERT_TRUE(DecodeTiffFloat(file.data(), file.size(), &bw, &bh, &back, &error)) << error;
    EXPECT_EQ(back, values);
}

TEST(FloatConversion, OutOfRangeBecomesInfinite) {
    EXPECT_EQ(ToFloat(1e300), std::numeric_limits<float>::infinity());
    EXPECT_EQ(ToFloat(-1e300), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(ToFloat(kNaN)));
    EXPECT_EQ(ToFloat(0.5), 0.5f);
}

// ------------------------------------------------------------- point clouds

struct CloudCase {
    bool pcd;
    bool binary;
    bool normals;
    int colors;  // 0 none, 1 grey, 3 colour (BGR source)
    double scale;
};

std::string CaseName(const ::testing::TestParamInfo<CloudCase>& info) {
    const CloudCase& c = info.param;
    return std::string(c.pcd ? "Pcd" : "Ply") + (c.binary ? "Binary" : "Ascii") +
           (c.normals ? "Normals" : "") + (c.colors == 1 ? "Grey" : c.colors == 3 ? "Colour" : "") +
           (c.scale != 1.0 ? "Millimetres" : "");
}

class CloudCodecs : public ::testing::TestWithParam<CloudCase> {
protected:
    static constexpr int kW = 7, kH = 5;
    void SetUp() override {
        const std::size_t n = kW * kH;
        points.resize(3 * n);
        normals.resize(3 * n);
        for (std::size_t i = 0; i < n; ++i) {
            points[3 * i] = 0.001 * static_cast<double>(i) - 0.0123456789;
            points[3 * i + 1] = -1.0 / 3.0 + static_cast<double>(i) * 1e-7;
            points[3 * i + 2] = 0.5 + std::sin(static_cast<double>(i));
            const double len = std::sqrt(1.0 + 0.01 * static_cast<double>(i * i));
            normals[3 * i] = 0.1 * static_cast<double>(i) / len;
            normals[3 * i + 1] = 0.0;
            normals[3 * i + 2] = -1.0 / len;
        }
        for (std::size_t i : {std::size_t{0}, std::size_t{8}, n - 1}) {
            points[3 * i] = points[3 * i + 1] = points[3 * i + 2] = kNaN;
        }
        image = Pattern(kW, kH, 3);
        image[0] = image[1] = image[2] = 1;  // a near-black packed rgb (a float subnormal)
    }

    CloudView View() const {
        const CloudCase c = GetParam();
        CloudView v;
        v.width = kW;
        v.height = kH;
        v.points = points.data();
        v.normals = c.normals ? normals.data() : nullptr;
        if (c.colors != 0) v.colors = ColorSource{image.data(), c.colors, true};
        v.scale = c.scale;
        v.timestamp = 18446744073709551615ull;
        v.unit_name = c.scale == 1.0 ? "meter" : "millimeter";
        return v;
    }

    std::vector<double> points, normals;
    std::vector<uint8_t> image;
};

TEST_P(CloudCodecs, RoundTripKeepsGridValuesNaNNormalsColoursAndTimestamp) {
    const CloudCase c = GetParam();
    VectorSink sink;
    std::string error;
    ASSERT_TRUE(c.pcd ? EncodePcd(View(), c.binary, sink, &error) : EncodePly(View(), c.binary, sink, &error))
        << error;
    CloudData back;
    ASSERT_TRUE(c.pcd ? DecodePcd(sink.bytes.data(), sink.bytes.size(), &back, &error)
                      : DecodePly(sink.bytes.data(), sink.bytes.size(), &back, &error))
        << error;
    const std::size_t n = kW * kH;
    ASSERT_EQ(back.count, n);  // invalid points keep their cells
    EXPECT_TRUE(back.has_grid);
    EXPECT_EQ(back.grid_width, kW);
    EXPECT_EQ(back.grid_height, kH);
    EXPECT_TRUE(back.has_timestamp);
    EXPECT_EQ(back.timestamp, 18446744073709551615ull);
    ASSERT_EQ(back.has_normals, c.normals);
    ASSERT_EQ(back.has_colors, c.colors != 0);
    for (std::size_t i = 0; i < 3 * n; ++i) {
        // Shortest round-trip text and raw binary both give the exact value
        // that was written (the scaled one).
        EXPECT_TRUE(Same(back.values[i], points[i] * c.scale)) << i << ": " << back.values[i];
    }
    if (c.normals) {
        for (std::size_t i = 0; i < 3 * n; ++i) EXPECT_EQ(back.values[3 * n + i], normals[i]) << i;
    }
    for (std::size_t i = 0; c.colors != 0 && i < n; ++i) {
        if (c.colors == 1) {
            for (int k = 0; k < 3; ++k) EXPECT_EQ(back.colors[3 * i + k], image[i]) << i;
        } else {
            EXPECT_EQ(back.colors[3 * i], image[3 * i + 2]) << i;  // red from the BGR source
            EXPECT_EQ(back.colors[3 * i + 1], image[3 * i + 1]) << i;
            EXPECT_EQ(back.colors[3 * i + 2], image[3 * i]) << i;
        }
    }
}

// PLY header grammar: "ply", one format line, comments / obj_info, element
// lines each followed by their property lines, "end_header".
TEST_P(CloudCodecs, HeaderFollowsTheFormatRules) {
    const CloudCase c = GetParam();
    VectorSink sink;
    std::string error;
    ASSERT_TRUE(c.pcd ? EncodePcd(View(), c.binary, sink, &error) : EncodePly(View(), c.binary, sink, &error));
    const std::string text(sink.bytes.begin(), sink.bytes.end());
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> lines;
    const std::string end_marker = c.pcd ? "DATA " : "end_header";
    while (std::getline(in, line)) {
        lines.push_back(line);
        if (line.rfind(end_marker, 0) == 0) break;
    }
    const std::size_t n = kW * kH;
    if (!c.pcd) {
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ(lines[0], "ply");
        EXPECT_EQ(lines[1], c.binary ? "format binary_little_endian 1.0" : "format ascii 1.0");
        const std::regex comment(R"((comment|obj_info)( .*)?)");
        const std::regex element(R"(element [A-Za-z_]+ [0-9]+)");
        const std::regex property(
            R"(property (char|uchar|short|ushort|int|uint|float|double|int8|uint8|int16|uint16|int32|uint32|float32|float64) [A-Za-z_]+)");
        std::vector<std::string> props;
        bool in_element = false;
        for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
            if (std::regex_match(lines[i], comment)) {
                EXPECT_FALSE(in_element) << "comment inside an element: " << lines[i];
            } else if (std::regex_match(lines[i], element)) {
                EXPECT_EQ(lines[i], "element vertex " + std::to_string(n));
                in_element = true;
            } else if (std::regex_match(lines[i], property)) {
                EXPECT_TRUE(in_element);
                props.push_back(lines[i]);
            } else {
                ADD_FAILURE() << "not a PLY header line: " << lines[i];
            }
        }
        EXPECT_EQ(lines.back(), "end_header");
        std::vector<std::string> expected = {"property double x", "property double y", "property double z"};
        if (c.normals) expected.insert(expected.end(), {"property double nx", "property double ny", "property double nz"});
        if (c.colors) expected.insert(expected.end(), {"property uchar red", "property uchar green", "property uchar blue"});
        EXPECT_EQ(props, expected);
        EXPECT_NE(text.find("comment organized width 7 height 5\n"), std::string::npos);
        // Binary body: exactly one record per grid cell.
        if (c.binary) {
            const std::size_t header = text.find("end_header\n") + 11;
            const std::size_t record = 24 + (c.normals ? 24 : 0) + (c.colors ? 3 : 0);
            EXPECT_EQ(sink.bytes.size() - header, n * record);
        }
    } else {
        // PCD v0.7: comments first, then the fields in the mandated order.
        std::vector<std::string> keys;
        for (const auto& l : lines) {
            if (l.empty() || l[0] == '#') {
                EXPECT_TRUE(keys.empty()) << "comment after the header fields: " << l;
                continue;
            }
            keys.push_back(l.substr(0, l.find(' ')));
        }
        EXPECT_EQ(keys, (std::vector<std::string>{"VERSION", "FIELDS", "SIZE", "TYPE", "COUNT", "WIDTH", "HEIGHT",
                                                  "VIEWPOINT", "POINTS", "DATA"}));
        std::string fields = "FIELDS x y z", sizes = "SIZE 8 8 8", types = "TYPE F F F", counts = "COUNT 1 1 1";
        if (c.normals) {
            fields += " normal_x normal_y normal_z";
            sizes += " 8 8 8";
            types += " F F F";
            counts += " 1 1 1";
        }
        if (c.colors) {
            fields += " rgb";
            sizes += " 4";
            types += " F";
            counts += " 1";
        }
        EXPECT_EQ(lines[lines.size() - 10], "VERSION 0.7");
        EXPECT_EQ(lines[lines.size() - 9], fields);
        EXPECT_EQ(lines[lines.size() - 8], sizes);
        EXPECT_EQ(lines[lines.size() - 7], types);
        EXPECT_EQ(lines[lines.size() - 6], counts);
        EXPECT_EQ(lines[lines.size() - 5], "WIDTH 7");
        EXPECT_EQ(lines[lines.size() - 4], "HEIGHT 5");
        EXPECT_EQ(lines[lines.size() - 2], "POINTS " + std::to_string(n));
        EXPECT_EQ(lines.back(), c.binary ? "DATA binary" : "DATA ascii");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CloudCodecs,
    ::testing::Values(CloudCase{false, true, false, 0, 1.0}, CloudCase{false, true, false, 0, 1000.0},
                      CloudCase{false, true, true, 3, 1000.0}, CloudCase{false, true, false, 1, 1.0},
                      CloudCase{false, false, false, 0, 1.0}, CloudCase{false, false, true, 3, 1000.0},
                      CloudCase{false, false, true, 1, 1.0}, CloudCase{true, true, false, 0, 1.0},
                      CloudCase{true, true, true, 3, 1000.0}, CloudCase{true, true, false, 1, 1000.0},
                      CloudCase{true, false, false, 0, 1.0}, CloudCase{true, false, true, 3, 1000.0},
                      CloudCase{true, false, false, 1, 1.0}),
    CaseName);

TEST(PlyCodec, ReadsFloatBigEndianAndSkipsUnknownElementsAndProperties) {
    const char header[] =
        "ply\r\nformat binary_big_endian 1.0\r\nelement camera 2\r\nproperty list uchar float params\r\n"
        "element vertex 2\r\nproperty float x\r\nproperty uchar flags\r\nproperty float y\r\n"
        "property float z\r\nproperty list uchar int neighbours\r\nend_header\r\n";
    std::vector<uint8_t> file(header, header + sizeof header - 1);
    auto put_be_float = [&](float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        for (int s = 24; s >= 0; s -= 8) file.push_back(static_cast<uint8_t>(u >> s));
    };
    // camera 0: 1 float; camera 1: no floats
    file.push_back(1);
    put_be_float(9.f);
    file.push_back(0);
    for (int i = 0; i < 2; ++i) {
        put_be_float(1.5f + i);
        file.push_back(0xAA);
        put_be_float(-2.25f);
        put_be_float(i == 0 ? std::numeric_limits<float>::quiet_NaN() : 1e-3f);
        file.push_back(1);  // one neighbour index
        for (int k = 0; k < 4; ++k) file.push_back(0);
    }
    CloudData c;
    std::string error;
    ASSERT_TRUE(DecodePly(file.data(), file.size(), &c, &error)) << error;
    ASSERT_EQ(c.count, 2u);
    EXPECT_FALSE(c.has_grid);
    EXPECT_FALSE(c.has_normals);
    EXPECT_EQ(c.values[0], 1.5);
    EXPECT_EQ(c.values[1], -2.25);
    EXPECT_TRUE(std::isnan(c.values[2]));
    EXPECT_EQ(c.values[3], 2.5);
    EXPECT_EQ(c.values[5], static_cast<double>(1e-3f));
}

// The streaming reader (what the SDK uses for files) against the in-memory
// one, across the block and header-prefix boundaries, with the unit divisor.
TEST(PlyCodec, StreamReaderMatchesTheWholeBufferReader) {
    for (bool normals : {false, true}) {
        for (bool binary : {true, false}) {
            const int w = 300, h = 250;  // 75000 vertices: several blocks, body beyond 1 MiB
            std::vector<double> pts(3 * w * h), nrm(3 * w * h);
            for (std::size_t i = 0; i < pts.size(); ++i) {
                pts[i] = i % 97 == 0 ? kNaN : 0.001 * static_cast<double>(i);
                nrm[i] = -0.5 + 1e-6 * static_cast<double>(i);
            }
            CloudView v;
            v.width = w;
            v.height = h;
            v.points = pts.data();
            v.normals = normals ? nrm.data() : nullptr;
            v.timestamp = 5;
            VectorSink sink;
            std::string error;
            ASSERT_TRUE(EncodePly(v, binary, sink, &error));
            CloudData whole, streamed;
            ASSERT_TRUE(DecodePly(sink.bytes.data(), sink.bytes.size(), &whole, &error)) << error;
            MemoryReader reader(sink.bytes.data(), sink.bytes.size());
            bool read_failed = true;
            ASSERT_TRUE(DecodePlyStream(reader, sink.bytes.size(), 1000.0, &streamed, &error, &read_failed)) << error;
            EXPECT_FALSE(read_failed);
            ASSERT_EQ(streamed.count, whole.count);
            ASSERT_EQ(streamed.values.size(), whole.values.size());
            EXPECT_TRUE(streamed.has_grid && streamed.grid_width == w && streamed.timestamp == 5);
            for (std::size_t i = 0; i < whole.values.size(); ++i) {
                const double expected = i < pts.size() ? whole.values[i] / 1000.0 : whole.values[i];
                ASSERT_TRUE(Same(streamed.values[i], expected)) << i;
            }
            // A reader that runs dry (the file shrank) is an I/O failure, not
            // a damaged file.
            MemoryReader short_reader(sink.bytes.data(), sink.bytes.size() - 100);
            EXPECT_FALSE(DecodePlyStream(short_reader, sink.bytes.size(), 1.0, &streamed, &error, &read_failed));
            EXPECT_TRUE(read_failed);
        }
    }
}

TEST(PlyCodec, FacesAreSplitIntoFans) {
    const char text[] =
        "ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nproperty float y\nproperty float z\n"
        "element face 2\nproperty list uchar uint vertex_indices\nend_header\n"
        "0 0 0\n1 0 0\n1 1 0\n0 1 0\n2 2 0\n3 0 1 2\n5 0 1 2 3 4\n";
    CloudData c;
    std::string error;
    ASSERT_TRUE(DecodePly(reinterpret_cast<const uint8_t*>(text), sizeof text - 1, &c, &error, true)) << error;
    const std::vector<std::array<uint32_t, 3>> expected = {{0, 1, 2}, {0, 1, 2}, {0, 2, 3}, {0, 3, 4}};
    EXPECT_EQ(c.triangles, expected);
}

TEST(PlyCodec, FaceIndexBeyondTheVerticesIsRefused) {
    const char text[] =
        "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
        "element face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n1 1 0\n3 0 1 3\n";
    CloudData c;
    std::string error;
    EXPECT_FALSE(DecodePly(reinterpret_cast<const uint8_t*>(text), sizeof text - 1, &c, &error, true));
    EXPECT_NE(error.find("vertex 3 of 3"), std::string::npos) << error;
}

// ------------------------------------------------------------------ meshes

struct MeshFixture {
    std::vector<std::array<double, 3>> vertices = {{0, 0, 0.5}, {0.001, 0, 0.5}, {0, 0.002, 0.5}, {0.001, 0.002, 0.6}};
    std::vector<std::array<double, 3>> normals = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}, {0, 0.6, -0.8}};
    std::vector<std::array<uint32_t, 3>> triangles = {{0, 2, 1}, {1, 2, 3}};
    MeshView View(double scale, bool with_normals) const {
        MeshView v;
        v.vertices = vertices.data();
        v.vertex_count = vertices.size();
        v.normals = with_normals ? normals.data() : nullptr;
        v.triangles = triangles.data();
        v.triangle_count = triangles.size();
        v.scale = scale;
        return v;
    }
};

TEST(MeshWriters, PlyHoldsScaledFloatVerticesAndTriangles) {
    MeshFixture m;
    VectorSink sink;
    std::string error;
    ASSERT_TRUE(EncodeMeshPly(m.View(1000.0, true), sink, &error)) << error;
    CloudData c;
    ASSERT_TRUE(DecodePly(sink.bytes.data(), sink.bytes.size(), &c, &error, true)) << error;
    ASSERT_EQ(c.count, 4u);
    EXPECT_TRUE(c.has_normals);
    for (std::size_t i = 0; i < 4; ++i) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(c.values[3 * i + k], static_cast<double>(static_cast<float>(m.vertices[i][k] * 1000.0)));
            EXPECT_EQ(c.values[12 + 3 * i + k], static_cast<double>(static_cast<float>(m.normals[i][k])));
        }
    }
    EXPECT_EQ(c.triangles, m.triangles);
}

TEST(MeshWriters, ObjListsOneBasedFacesWithNormals) {
    MeshFixture m;
    VectorSink sink;
    std::string error;
    ASSERT_TRUE(EncodeMeshObj(m.View(1.0, true), sink, &error)) << error;
    std::istringstream in(std::string(sink.bytes.begin(), sink.bytes.end()));
    std::string line;
    std::vector<std::array<double, 3>> v, vn;
    std::vector<std::string> faces;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string kind;
        ls >> kind;
        if (kind == "v" || kind == "vn") {
            std::array<double, 3> a{};
            ls >> a[0] >> a[1] >> a[2];
            (kind == "v" ? v : vn).push_back(a);
        } else if (kind == "f") {
            faces.push_back(line);
        } else {
            EXPECT_EQ(kind, "#") << line;
        }
    }
    EXPECT_EQ(v, m.vertices);
    EXPECT_EQ(vn, m.normals);
    EXPECT_EQ(faces, (std::vector<std::string>{"f 1//1 3//3 2//2", "f 2//2 3//3 4//4"}));
}

TEST(MeshWriters, StlHasCountedTrianglesWithUnitFacetNormals) {
    MeshFixture m;
    VectorSink sink;
    std::string error;
    ASSERT_TRUE(EncodeMeshStl(m.View(1000.0, false), sink, &error)) << error;
    ASSERT_EQ(sink.bytes.size(), 84u + 50u * 2);
    EXPECT_NE(0, std::memcmp(sink.bytes.data(), "solid", 5));
    EXPECT_EQ(LoadLE32(&sink.bytes[80]), 2u);
    for (int t = 0; t < 2; ++t) {
        float f[12];
        std::memcpy(f, &sink.bytes[84 + 50 * t], sizeof f);
        const double len = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
        EXPECT_NEAR(len, 1.0, 1e-6);
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                EXPECT_FLOAT_EQ(f[3 + 3 * j + k], static_cast<float>(m.vertices[m.triangles[t][j]][k] * 1000.0));
            }
        }
    }
    // The first triangle lies in the plane z = 500 mm, wound towards the
    // origin (normal -z).
    float n0[3];
    std::memcpy(n0, &sink.bytes[84], sizeof n0);
    EXPECT_NEAR(n0[2], -1.0f, 1e-6);
}

}  // namespace
