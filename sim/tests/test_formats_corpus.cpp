// The corpus of small valid and hand-made damaged or hostile files in
// tests/data/files: each one loaded through the SDK (or the TIFF reader) with
// the outcome expected. Damaged files must fail with kBadFile and a message
// naming the file, never crash or read outside the data (the sanitizer builds
// run this too).
#include <gtest/gtest.h>

#include <filesystem>
#include <cctype>
#include <cmath>
#include <set>

#include "core/error.h"
#include "data/formats/tiff.h"
#include "test_data_support.h"
#include "vyx/data.h"

namespace {

using vyxtest::CorpusPath;
using vyxtest::LastErrorIs;

enum class Loader { Image, PointMap, Tiff };

struct CorpusCase {
    const char* file;
    Loader loader;
    int code;  // vyxsim::ErrorCode; kOk when the file loads
    Vyx::Size size = {0, 0};  // point maps: the size asked for; images: the size expected
    int detail = 0;           // images: the ImageType; point maps: 1 with normals
};

constexpr int kOk = vyxsim::kOk;
constexpr int kBad = vyxsim::kBadFile;
constexpr int kArg = vyxsim::kInvalidArgument;

const CorpusCase kCases[] = {
    // Images.
    {"good_grey.png", Loader::Image, kOk, {5, 4}, Vyx::ImageType::Mono8},
    {"good_rgb.png", Loader::Image, kOk, {5, 4}, Vyx::ImageType::BGR8},
    {"good_palette.png", Loader::Image, kOk, {3, 2}, Vyx::ImageType::BGR8},
    {"good_rgba16.png", Loader::Image, kOk, {3, 2}, Vyx::ImageType::BGR8},
    {"good_grey.bmp", Loader::Image, kOk, {5, 3}, Vyx::ImageType::Mono8},
    {"good_bgr.bmp", Loader::Image, kOk, {5, 3}, Vyx::ImageType::BGR8},
    {"good_topdown.bmp", Loader::Image, kOk, {5, 3}, Vyx::ImageType::BGR8},
    {"good_bgrx32.bmp", Loader::Image, kOk, {2, 2}, Vyx::ImageType::BGR8},
    {"good_v5header.bmp", Loader::Image, kOk, {5, 3}, Vyx::ImageType::BGR8},
    {"bad_signature.png", Loader::Image, kBad},
    {"truncated.png", Loader::Image, kBad},
    {"bad_crc.png", Loader::Image, kBad},
    {"huge_dims.png", Loader::Image, kBad},
    {"zero_width.png", Loader::Image, kBad},
    {"empty.png", Loader::Image, kBad},
    {"png_named.bmp", Loader::Image, kBad},
    {"bad_magic.bmp", Loader::Image, kBad},
    {"truncated.bmp", Loader::Image, kBad},
    {"huge_dims.bmp", Loader::Image, kBad},
    {"negative_width.bmp", Loader::Image, kBad},
    {"int_min_height.bmp", Loader::Image, kBad},
    {"palette_overflow.bmp", Loader::Image, kBad},
    {"bad_index.bmp", Loader::Image, kBad},
    {"offset_beyond.bmp", Loader::Image, kBad},
    {"offset_in_header.bmp", Loader::Image, kBad},
    {"rle8.bmp", Loader::Image, kBad},
    {"bpp4.bmp", Loader::Image, kBad},
    {"os2_header.bmp", Loader::Image, kBad},
    {"zero_planes.bmp", Loader::Image, kBad},
    {"header_only.bmp", Loader::Image, kBad},
    // Point maps.
    {"good_ascii.ply", Loader::PointMap, kOk, {2, 2}},
    {"good_binary.ply", Loader::PointMap, kOk, {3, 2}, 1},
    {"good_binary.ply", Loader::PointMap, kArg, {2, 3}},  // grid transposed
    {"good_be.ply", Loader::PointMap, kOk, {2, 2}},
    {"good_nogrid.ply", Loader::PointMap, kOk, {2, 2}},
    {"good_nogrid.ply", Loader::PointMap, kOk, {4, 1}},
    {"good_nogrid.ply", Loader::PointMap, kArg, {3, 1}},  // 4 points, 3 cells
    {"good_faces.ply", Loader::PointMap, kOk, {4, 1}},
    {"good_skip_before.ply", Loader::PointMap, kOk, {1, 1}},
    {"ply_zero_vertices.ply", Loader::PointMap, kArg, {1, 1}},  // valid, but no points for the cell
    {"ply_no_magic.ply", Loader::PointMap, kBad, {1, 1}},
    {"ply_no_end_header.ply", Loader::PointMap, kBad, {1, 1}},
    {"ply_bad_format.ply", Loader::PointMap, kBad, {1, 1}},
    {"ply_huge_count.ply", Loader::PointMap, kBad, {2, 2}},
    {"ply_negative_count.ply", Loader::PointMap, kBad, {1, 1}},
    {"ply_truncated_binary.ply", Loader::PointMap, kBad, {2, 2}},
    {"ply_truncated_ascii.ply", Loader::PointMap, kBad, {2, 2}},
    {"ply_bad_number.ply", Loader::PointMap, kBad, {1, 1}},
    {"ply_no_xyz.ply", Loader::PointMap, kBad, {1, 1}},
    {"ply_grid_lie.ply", Loader::PointMap, kBad, {2, 2}},
    {"ply_list_lie.ply", Loader::PointMap, kBad, {1, 1}},
    {"ply_bad_type.ply", Loader::PointMap, kBad, {1, 1}},
    {"ply_float_list_count.ply", Loader::PointMap, kBad, {1, 1}},
    {"ply_property_first.ply", Loader::PointMap, kBad, {1, 1}},
    {"ply_no_format.ply", Loader::PointMap, kBad, {1, 1}},
    {"ply_no_vertex.ply", Loader::PointMap, kBad, {1, 1}},
    {"ply_header_only.ply", Loader::PointMap, kBad, {1, 1}},
    {"good_ascii.pcd", Loader::PointMap, kOk, {2, 2}},
    {"good_ascii.pcd", Loader::PointMap, kArg, {4, 1}},  // organised 2 x 2
    {"good_binary.pcd", Loader::PointMap, kOk, {3, 2}, 1},
    {"good_unorganized.pcd", Loader::PointMap, kOk, {2, 2}},
    {"pcd_no_data.pcd", Loader::PointMap, kBad, {1, 1}},
    {"pcd_compressed.pcd", Loader::PointMap, kBad, {1, 1}},
    {"pcd_huge_points.pcd", Loader::PointMap, kBad, {2, 2}},
    {"pcd_points_mismatch.pcd", Loader::PointMap, kBad, {2, 2}},
    {"pcd_truncated_binary.pcd", Loader::PointMap, kBad, {2, 2}},
    {"pcd_truncated_ascii.pcd", Loader::PointMap, kBad, {2, 2}},
    {"pcd_bad_size.pcd", Loader::PointMap, kBad, {1, 1}},
    {"pcd_fields_mismatch.pcd", Loader::PointMap, kBad, {1, 1}},
    {"pcd_no_xyz.pcd", Loader::PointMap, kBad, {1, 1}},
    {"pcd_bad_number.pcd", Loader::PointMap, kBad, {1, 1}},
    {"pcd_bad_type.pcd", Loader::PointMap, kBad, {1, 1}},
    {"pcd_not_pcd.pcd", Loader::PointMap, kBad, {1, 1}},
    // Depth TIFFs (read by the codec only).
    {"good_float.tif", Loader::Tiff, kOk, {3, 2}},
    {"good_float_be.tif", Loader::Tiff, kOk, {3, 2}},
    {"tiff_bad_magic.tif", Loader::Tiff, kBad},
    {"tiff_truncated.tif", Loader::Tiff, kBad},
    {"tiff_int32.tif", Loader::Tiff, kBad},
    {"tiff_strip_count_lie.tif", Loader::Tiff, kOk, {3, 2}},  // only the bytes needed are read
    {"tiff_huge_dims.tif", Loader::Tiff, kBad},
};

class Corpus : public vyxtest::DataTest, public ::testing::WithParamInterface<CorpusCase> {};

std::string CaseName(const ::testing::TestParamInfo<CorpusCase>& info) {
    std::string name = info.param.file;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name + "_" + std::to_string(info.param.size.width) + "x" + std::to_string(info.param.size.height);
}

TEST_P(Corpus, LoadsOrFailsAsExpected) {
    const CorpusCase& c = GetParam();
    const std::string path = CorpusPath(c.file);
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    switch (c.loader) {
        case Loader::Image: {
            const Vyx::Image img = Vyx::Image::CreateFromFile(path.c_str());
            ASSERT_EQ(img.IsValid(), c.code == kOk) << Vyx::GetLastErrorMessage();
            if (c.code == kOk) {
                EXPECT_EQ(img.GetSize().width, c.size.width);
                EXPECT_EQ(img.GetSize().height, c.size.height);
                EXPECT_EQ(img.GetType(), c.detail);
                Vyx::Image::Destroy(img);
            } else {
                EXPECT_TRUE(LastErrorIs(c.code, {"Image::CreateFromFile", c.file}));
            }
            break;
        }
        case Loader::PointMap: {
            for (auto unit : {Vyx::PointMapUnit::Meter, Vyx::PointMapUnit::Millimeter}) {
                const Vyx::PointMap map = Vyx::PointMap::CreateFromFile(path.c_str(), c.size, unit);
                ASSERT_EQ(map.IsValid(), c.code == kOk) << Vyx::GetLastErrorMessage();
                if (c.code == kOk) {
                    EXPECT_EQ(map.GetSize().width, c.size.width);
                    EXPECT_EQ(map.GetSize().height, c.size.height);
                    EXPECT_EQ(map.GetNormalDataPtr() != nullptr, c.detail == 1);
                    Vyx::PointMap::Destroy(map);
                } else {
                    EXPECT_TRUE(LastErrorIs(c.code, {"PointMap::CreateFromFile", c.file}));
                }
            }
            break;
        }
        case Loader::Tiff: {
            const auto bytes = vyxtest::ReadFile(path);
            int w = 0, h = 0;
            std::vector<float> values;
            std::string error;
            const bool ok = vyxsim::fmt::DecodeTiffFloat(bytes.data(), bytes.size(), &w, &h, &values, &error);
            ASSERT_EQ(ok, c.code == kOk) << error;
            if (ok) {
                EXPECT_EQ(w, c.size.width);
                EXPECT_EQ(h, c.size.height);
                EXPECT_EQ(values[0], 0.5f);
                EXPECT_TRUE(std::isnan(values[1]));
                EXPECT_EQ(values[5], 10.0f);
            } else {
                EXPECT_FALSE(error.empty());
            }
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, ::testing::ValuesIn(kCases), CaseName);

TEST(CorpusList, EveryFileOfTheCorpusIsChecked) {
    std::set<std::string> listed;
    for (const auto& c : kCases) listed.insert(c.file);
    for (const auto& entry : std::filesystem::directory_iterator(CorpusPath(""))) {
        const std::string name = entry.path().filename().string();
        if (name == "make_corpus.py") continue;
        EXPECT_TRUE(listed.count(name)) << name << " is in the corpus but not in the table";
    }
}

// Values of the valid files, as the generator wrote them.
class CorpusValues : public vyxtest::DataTest {};

TEST_F(CorpusValues, PlyAndPcdLoadWithUnitsTimestampAndNaN) {
    for (const char* file : {"good_ascii.ply", "good_ascii.pcd"}) {
        const std::string path = CorpusPath(file);
        const auto m = Vyx::PointMap::CreateFromFile(path.c_str(), {2, 2}, Vyx::PointMapUnit::Meter);
        ASSERT_TRUE(m.IsValid()) << Vyx::GetLastErrorMessage();
        const double* p = m.GetPointDataPtr();
        const bool pcd = std::string(file).find("pcd") != std::string::npos;
        EXPECT_EQ(p[2], pcd ? static_cast<double>(0.5f) : 0.5) << file;
        EXPECT_TRUE(std::isnan(p[3]) && std::isnan(p[4]) && std::isnan(p[5])) << file;
        EXPECT_EQ(m.GetTimestamp(), pcd ? 42u : 77u);
        const auto mm = Vyx::PointMap::CreateFromFile(path.c_str(), {2, 2}, Vyx::PointMapUnit::Millimeter);
        ASSERT_TRUE(mm.IsValid());
        EXPECT_DOUBLE_EQ(mm.GetPointDataPtr()[2], p[2] / 1000.0);
        EXPECT_DOUBLE_EQ(mm.GetPointDataPtr()[6], p[6] / 1000.0);
    }
    const auto b = Vyx::PointMap::CreateFromFile(CorpusPath("good_binary.ply").c_str(), {3, 2},
                                                 Vyx::PointMapUnit::Meter);
    ASSERT_TRUE(b.IsValid());
    EXPECT_EQ(b.GetTimestamp(), 123456789u);
    EXPECT_EQ(b.GetPointDataPtr()[3 * 5], 0.05);
    EXPECT_EQ(b.GetNormalDataPtr()[3 * 5 + 2], -1.0);
}

TEST_F(CorpusValues, ImagesLoadWithChannelsInBgrOrder) {
    // good_rgb.png stores R = 50 x, G = 60 y, B = 200 - 10 x.
    const auto png = Vyx::Image::CreateFromFile(CorpusPath("good_rgb.png").c_str());
    ASSERT_TRUE(png.IsValid());
    const uint8_t* px = png.GetDataPtr() + 3 * (5 * 2 + 3);  // row 2, column 3
    EXPECT_EQ(px[0], 170);
    EXPECT_EQ(px[1], 120);
    EXPECT_EQ(px[2], 150);
    // The palette file: red, green, blue / blue, green, red.
    const auto pal = Vyx::Image::CreateFromFile(CorpusPath("good_palette.png").c_str());
    ASSERT_TRUE(pal.IsValid());
    const std::vector<uint8_t> expected = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    EXPECT_EQ(std::vector<uint8_t>(pal.GetDataPtr(), pal.GetDataPtr() + 18), expected);
    // 16-bit with alpha: alpha dropped, samples scaled (1000 -> 4, 2000 -> 8).
    const auto deep = Vyx::Image::CreateFromFile(CorpusPath("good_rgba16.png").c_str());
    ASSERT_TRUE(deep.IsValid());
    const uint8_t* d = deep.GetDataPtr() + 3 * (3 * 1 + 1);  // row 1, column 1: R 1000, G 2000, B 65535
    EXPECT_EQ(d[0], 255);
    EXPECT_EQ(d[1], 8);
    EXPECT_EQ(d[2], 4);
    // Bottom-up and top-down BMP of the same rows read the same way round.
    const auto up = Vyx::Image::CreateFromFile(CorpusPath("good_bgr.bmp").c_str());
    const auto down = Vyx::Image::CreateFromFile(CorpusPath("good_topdown.bmp").c_str());
    ASSERT_TRUE(up.IsValid() && down.IsValid());
    // The generator lists rows in file order: first file row = last image row
    // for the bottom-up file, first image row for the top-down one.
    EXPECT_EQ(up.GetDataPtr()[1], 40);   // G = 20 * file row 2
    EXPECT_EQ(down.GetDataPtr()[1], 0);  // G = 20 * file row 0
    EXPECT_EQ(std::vector<uint8_t>(up.GetDataPtr(), up.GetDataPtr() + 15),
              std::vector<uint8_t>(down.GetDataPtr() + 30, down.GetDataPtr() + 45));
}

}  // namespace
