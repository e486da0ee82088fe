// Shared by the replay tests: writes tiny recording folders (manifest, PLY,
// .npy, PNG as docs/recording-format.md describes them) with known values,
// and gives the values each frame holds.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "data/formats/png.h"
#include "data/formats/raster.h"

namespace vyxsim::replaytest {

namespace fs = std::filesystem;
using nlohmann::json;

// What a test recording holds: camera kind, size, image type, normals, frames.
struct RecordingShape {
    bool x2 = false;
    std::string camera_id = "Left";
    int width = 16, height = 12;
    std::string image_type = "Mono8";
    bool normals = false;
    int frames = 3;
};

// The values of frame `f`: a tilted plane at 0.5 m + 10 mm per frame, the
// first pixel invalid (NaN, confidence 0), pixel 1 with x = -0.0.
struct Values {
    std::vector<double> points, normals, depth, confidence, correspondence;
    std::vector<uint8_t> left, right;  // images in the SDK's byte order
};

inline Values FrameValues(const RecordingShape& s, int f) {
    const std::size_t n = static_cast<std::size_t>(s.width) * s.height;
    const int ch = s.image_type == "Mono8" ? 1 : 3;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Values v;
    for (int j = 0; j < s.height; ++j) {
        for (int i = 0; i < s.width; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * s.width + i;
            const double z = 0.5 + 0.01 * f + 0.0003 * i + 0.0001 * j;
            double x = (i - s.width / 2.0) * 0.001 * z, y = (j - s.height / 2.0) * 0.001 * z;
            if (k == 1) x = -0.0;
            const bool valid = k != 0;
            v.points.insert(v.points.end(), {valid ? x : nan, valid ? y : nan, valid ? z : nan});
            v.normals.insert(v.normals.end(), {valid ? 0.1 : nan, valid ? -0.2 : nan, valid ? -0.97467943448 : nan});
            v.depth.push_back(valid ? z : nan);
            v.confidence.push_back(valid ? 0.1 + 0.8 * static_cast<double>(k) / static_cast<double>(n) : 0.0);
            v.correspondence.insert(v.correspondence.end(), {valid ? i - 3.25 + f : nan, valid ? j + 0.125 : nan});
        }
    }
    for (std::size_t b = 0; b < n * ch; ++b) {
        v.left.push_back(static_cast<uint8_t>((b * 7 + f * 13) & 0xFF));
        v.right.push_back(static_cast<uint8_t>((b * 5 + f * 29 + 1) & 0xFF));
    }
    return v;
}

inline void WriteBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string Raw(const double* d, std::size_t n) { return std::string(reinterpret_cast<const char*>(d), n * sizeof(double)); }

inline std::string PlyBytes(const RecordingShape& s, const Values& v) {
    std::string h = "ply\nformat binary_little_endian 1.0\ncomment width " + std::to_string(s.width) +
                    "\ncomment height " + std::to_string(s.height) + "\nelement vertex " +
                    std::to_string(s.width * s.height) + "\nproperty double x\nproperty double y\nproperty double z\n";
    if (s.normals) h += "property double nx\nproperty double ny\nproperty double nz\n";
    h += "end_header\n";
    const std::size_t n = static_cast<std::size_t>(s.width) * s.height;
    for (std::size_t k = 0; k < n; ++k) {
        h += Raw(&v.points[3 * k], 3);
        if (s.normals) h += Raw(&v.normals[3 * k], 3);
    }
    return h;
}

inline std::string NpyBytes(const std::string& shape, const std::vector<double>& values, const std::string& descr = "<f8") {
    std::string dict = "{'descr': '" + descr + "', 'fortran_order': False, 'shape': " + shape + ", }";
    while ((10 + dict.size() + 1) % 64 != 0) dict += ' ';
    dict += '\n';
    std::string out = "\x93NUMPY";
    out += '\x01';
    out += '\x00';
    out += static_cast<char>(dict.size() & 0xFF);
    out += static_cast<char>(dict.size() >> 8);
    return out + dict + Raw(values.data(), values.size());
}

inline std::string PngBytes(const RecordingShape& s, const std::vector<uint8_t>& sdk_bytes) {
    fmt::RasterView view;
    view.width = s.width;
    view.height = s.height;
    view.channels = s.image_type == "Mono8" ? 1 : 3;
    view.bgr = s.image_type == "BGR8";  // a PNG stores red first
    view.pixels = sdk_bytes.data();
    std::vector<uint8_t> out;
    std::string error;
    EXPECT_TRUE(fmt::EncodePng(view, &out, &error)) << error;
    return std::string(out.begin(), out.end());
}

inline std::string Name(int f, const char* role, const char* ext) {
    char b[64];
    std::snprintf(b, sizeof b, "%06d.%s.%s", f, role, ext);
    return b;
}

inline json Calibration(double fx, double tx) {
    return {{"camera_matrix", {fx, 0, 8.25, 0, fx + 0.5, 6.125, 0, 0, 1}},
            {"distortion", {-0.0125, 0.00390625, 0, 0, 0.001}},
            {"extrinsic", {1, 0, 0, tx, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
}

inline json Manifest(const RecordingShape& s) {
    json m = {{"format", "vyx-recording"},
              {"format_version", 1},
              {"recorder", "test"},
              {"created", "2026-01-01T00:00:00Z"},
              {"camera", s.x2 ? "X2" : "X1"},
              {"device",
               {{"name", "Recorded M130"}, {"sn", "VXREC0001"}, {"factroydate", "2024-01-01"},
                {"port", "USB 3.0 SuperSpeed 5 Gbit/s"}, {"type", "USB"}, {"cameraid", 3}, {"boardmodel", 130},
                {"support_x1", true}, {"support_x2", true}, {"support_color", 4}, {"support_capture_mode", 31},
                {"support_protective_cover", false}, {"support_extra", false}, {"workingdist_near_mm", 400},
                {"workingdist_far_mm", 800}}},
              {"resolution", {s.width, s.height}},
              {"image_type", s.image_type},
              {"options", {{"kind", s.x2 ? "X2_CaptureOptions" : "X1_CaptureOptions"}, {"fields", json::object()}}},
              {"settings_file", nullptr},
              {"normals", s.normals}};
    if (!s.x2) m["camera_id"] = s.camera_id;
    json cams = json::object();
    if (s.x2 || s.camera_id == "Left") cams["Left"] = Calibration(20.5, 0.0);
    if (s.x2 || s.camera_id == "Right") cams["Right"] = Calibration(21.5, 0.1);
    m["cameras"] = cams;
    json frames = json::array();
    for (int f = 0; f < s.frames; ++f) {
        json files = {{"points", Name(f, "points", "ply")},
                      {"depth", Name(f, "depth", "npy")},
                      {"confidence", Name(f, "confidence", "npy")}};
        if (s.x2) {
            files["left"] = Name(f, "left", "png");
            files["right"] = Name(f, "right", "png");
            files["correspondence"] = Name(f, "correspondence", "npy");
        } else {
            files["image"] = Name(f, "image", "png");
        }
        frames.push_back({{"index", f}, {"timestamp_us", 1000000 + 33333 * f}, {"files", files}});
    }
    m["frames"] = frames;
    return m;
}

// Writes the recording of `s` into `dir` (made afresh).
inline void WriteRecording(const fs::path& dir, const RecordingShape& s) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string shape = "(" + std::to_string(s.height) + ", " + std::to_string(s.width) + ")";
    for (int f = 0; f < s.frames; ++f) {
        const Values v = FrameValues(s, f);
        WriteBytes(dir / Name(f, "points", "ply"), PlyBytes(s, v));
        WriteBytes(dir / Name(f, "depth", "npy"), NpyBytes(shape, v.depth));
        WriteBytes(dir / Name(f, "confidence", "npy"), NpyBytes(shape, v.confidence));
        if (s.x2) {
            WriteBytes(dir / Name(f, "left", "png"), PngBytes(s, v.left));
            WriteBytes(dir / Name(f, "right", "png"), PngBytes(s, v.right));
            WriteBytes(dir / Name(f, "correspondence", "npy"),
                       NpyBytes("(" + std::to_string(s.height) + ", " + std::to_string(s.width) + ", 2)", v.correspondence));
        } else {
            WriteBytes(dir / Name(f, "image", "png"), PngBytes(s, v.left));
        }
    }
    std::ofstream(dir / "manifest.json") << Manifest(s).dump(1);
}

// A scratch folder of this test process.
inline fs::path Scratch(std::string name) {
    for (char& c : name) {
        if (c == '/') c = '_';  // parametrised tests are named "Case/0"
    }
    return fs::temp_directory_path() / ("vyx_replay_" + std::to_string(::getpid()) + "_" + name);
}

// Bitwise equality of double arrays (NaN equals NaN, -0 differs from +0).
inline bool SameBits(const double* a, const double* b, std::size_t n) { return std::memcmp(a, b, n * sizeof(double)) == 0; }

}  // namespace vyxsim::replaytest
