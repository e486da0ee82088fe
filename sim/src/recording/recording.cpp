// Recording folders: the manifest, the checks of every listed file and the
// reading of a frame.
#include "recording/recording.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <nlohmann/json.hpp>

#include "core/error.h"
#include "core/json_read.h"
#include "data/formats/cloud.h"
#include "data/formats/io.h"
#include "data/formats/ply.h"
#include "data/formats/png.h"
#include "data/formats/raster.h"
#include "recording/npy.h"

namespace vyxsim::rec {

using nlohmann::json;
using namespace jsonread;  // Problem, Throw, Member, the typed readers

namespace {

const char* const kRoleNames[kRoleCount] = {"points", "depth", "confidence", "image", "left", "right", "correspondence"};

// A manifest is machine-written JSON of a few hundred bytes per frame.
constexpr std::size_t kMaxManifestBytes = std::size_t{256} << 20;
constexpr std::size_t kMaxFrames = 1000000;
// Headers are read from at most this many leading bytes of a file.
constexpr std::size_t kHeaderPrefix = 64 * 1024;

// A failure naming the file it is about.
struct FileProblem {
    std::string file, what;
};

[[noreturn]] void FileFail(const std::string& file, const std::string& what) { throw FileProblem{file, what}; }

std::string Quoted(const std::string& path) { return "'" + Printable(path) + "'"; }

// Opens `path` (a regular file of at most `max` bytes) for reading.
void OpenFile(const std::string& path, std::size_t max, fmt::FileReader* reader) {
    std::string why;
    switch (reader->Open(path.c_str(), max, &why)) {
        case fmt::ReadStatus::Ok: return;
        case fmt::ReadStatus::CannotOpen:
            FileFail(path, why == std::strerror(ENOENT) ? "missing" : "cannot be opened: " + why);
        case fmt::ReadStatus::NotRegular: FileFail(path, "not a regular file (" + why + ")");
        case fmt::ReadStatus::TooLarge: FileFail(path, why);
        default: FileFail(path, "cannot be read: " + why);
    }
}

// The first min(size, limit) bytes of an opened file.
std::vector<uint8_t> Prefix(const std::string& path, fmt::FileReader& reader, std::size_t limit) {
    std::vector<uint8_t> bytes(std::min(reader.Size(), limit));
    std::string why;
    if (!reader.Read(bytes.data(), bytes.size(), &why)) FileFail(path, "cannot be read: " + why);
    return bytes;
}

std::string ResolutionText(const Recording& r) {
    return std::to_string(r.width) + " x " + std::to_string(r.height);
}

// --- PLY ----------------------------------------------------------------------

// Checks the header of a recorded point map and returns its length in bytes.
std::size_t CheckPlyHeader(const std::string& path, const uint8_t* data, std::size_t size, const Recording& r) {
    static const char kEnd[] = "end_header\n";
    const char* text = reinterpret_cast<const char*>(data);
    std::size_t header_len = 0;
    for (std::size_t i = 0; i + sizeof kEnd - 1 <= size; ++i) {
        if ((i == 0 || text[i - 1] == '\n') && std::memcmp(text + i, kEnd, sizeof kEnd - 1) == 0) {
            header_len = i + sizeof kEnd - 1;
            break;
        }
    }
    if (header_len == 0) FileFail(path, "not a PLY point map (no end_header line in its first " + std::to_string(kHeaderPrefix) + " bytes)");
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < header_len;) {
        std::size_t end = start;
        while (end < header_len && text[end] != '\n') ++end;
        std::string line(text + start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    if (lines.size() < 3 || lines[0] != "ply") FileFail(path, "not a PLY file");
    if (lines[1] != "format binary_little_endian 1.0") {
        FileFail(path, "the PLY format is '" + Printable(lines[1], 60) + "', not binary_little_endian 1.0");
    }
    long long grid_w = -1, grid_h = -1, vertices = -1;
    bool in_vertex = false;
    std::vector<std::string> props;
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l.rfind("comment ", 0) == 0 || l.rfind("obj_info", 0) == 0) {
            long long v;
            char extra;
            if (std::sscanf(l.c_str(), "comment width %lld %c", &v, &extra) == 1) grid_w = v;
            if (std::sscanf(l.c_str(), "comment height %lld %c", &v, &extra) == 1) grid_h = v;
            continue;
        }
        if (l.rfind("element ", 0) == 0) {
            long long n;
            char extra;
            if (vertices >= 0 || std::sscanf(l.c_str(), "element vertex %lld %c", &n, &extra) != 1 || n < 0) {
                FileFail(path, "the PLY file must have one element, vertex (has '" + Printable(l, 60) + "')");
            }
            vertices = n;
            in_vertex = true;
            continue;
        }
        if (l.rfind("property ", 0) == 0 && in_vertex) {
            props.push_back(l.substr(9));
            continue;
        }
        FileFail(path, "unexpected PLY header line '" + Printable(l, 60) + "'");
    }
    if (vertices < 0) FileFail(path, "the PLY file has no vertex element");
    if (grid_w != r.width || grid_h != r.height) {
        FileFail(path, "the PLY grid (comment width/height) is " + std::to_string(grid_w) + " x " + std::to_string(grid_h) +
                           ", not the recording's resolution " + ResolutionText(r));
    }
    if (static_cast<unsigned long long>(vertices) != r.Pixels()) {
        FileFail(path, "the PLY file has " + std::to_string(vertices) + " vertices; the recording's resolution " +
                           ResolutionText(r) + " needs " + std::to_string(r.Pixels()));
    }
    std::vector<std::string> want = {"double x", "double y", "double z"};
    if (r.normals) want.insert(want.end(), {"double nx", "double ny", "double nz"});
    if (props != want) {
        std::string got;
        for (const auto& p : props) got += (got.empty() ? "" : ", ") + p;
        FileFail(path, std::string("the vertex properties are (") + Printable(got, 120) + "), not double x, y, z" +
                           (r.normals ? ", nx, ny, nz (the recording has normals)" : " (the recording has no normals)"));
    }
    return header_len;
}

std::size_t PlyBodyBytes(const Recording& r) { return r.Pixels() * (r.normals ? 6 : 3) * sizeof(double); }

void CheckPly(const std::string& path, const Recording& r) {
    fmt::FileReader reader;
    OpenFile(path, SIZE_MAX, &reader);
    const std::vector<uint8_t> head = Prefix(path, reader, kHeaderPrefix);
    const std::size_t header = CheckPlyHeader(path, head.data(), head.size(), r);
    const std::size_t want = header + PlyBodyBytes(r);
    if (reader.Size() != want) {
        FileFail(path, "the file has " + std::to_string(reader.Size()) + " bytes; its header needs exactly " +
                           std::to_string(want) + (reader.Size() < want ? " (truncated)" : ""));
    }
}

// --- .npy -----------------------------------------------------------------------

std::vector<int64_t> NpyShape(const Recording& r, int role) {
    if (role == kCorrespondence) return {r.height, r.width, 2};
    return {r.height, r.width};
}

// Checks an .npy file's header and size; returns where its values start.
std::size_t CheckNpyHeader(const std::string& path, const uint8_t* data, std::size_t prefix, std::size_t file_size,
                           const Recording& r, int role) {
    NpyHeader h;
    std::string why;
    if (!ParseNpyHeader(data, prefix, &h, &why)) FileFail(path, why);
    if (h.descr != "<f8") FileFail(path, "dtype '" + Printable(h.descr, 40) + "' is not '<f8' (little-endian float64)");
    if (h.fortran_order) FileFail(path, "the values are in Fortran order, not C order");
    const std::vector<int64_t> want = NpyShape(r, role);
    if (h.shape != want) {
        FileFail(path, "shape " + ShapeText(h.shape) + " does not match the recording's resolution " + ResolutionText(r) +
                           " (expected " + ShapeText(want) + ")");
    }
    const std::size_t need = h.data_offset + r.Pixels() * (role == kCorrespondence ? 2 : 1) * sizeof(double);
    if (file_size != need) {
        FileFail(path, "the file has " + std::to_string(file_size) + " bytes; its header needs exactly " +
                           std::to_string(need) + (file_size < need ? " (truncated)" : ""));
    }
    return h.data_offset;
}

void CheckNpy(const std::string& path, const Recording& r, int role) {
    fmt::FileReader reader;
    OpenFile(path, SIZE_MAX, &reader);
    const std::vector<uint8_t> head = Prefix(path, reader, kHeaderPrefix);
    CheckNpyHeader(path, head.data(), head.size(), reader.Size(), r, role);
}

// --- PNG ------------------------------------------------------------------------

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void CheckPngHeader(const std::string& path, const uint8_t* d, std::size_t size, const Recording& r) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < 33 || std::memcmp(d, kSignature, 8) != 0 || BigEndian32(d + 8) != 13 || std::memcmp(d + 12, "IHDR", 4) != 0) {
        FileFail(path, "not a PNG file");
    }
    const uint32_t w = BigEndian32(d + 16), h = BigEndian32(d + 20);
    if (w != static_cast<uint32_t>(r.width) || h != static_cast<uint32_t>(r.height)) {
        FileFail(path, "the image is " + std::to_string(w) + " x " + std::to_string(h) +
                           ", not the recording's resolution " + ResolutionText(r));
    }
    const int want_type = r.image_type == Vyx::ImageType::Mono8 ? 0 : 2;
    if (d[24] != 8) FileFail(path, "bit depth " + std::to_string(d[24]) + ", not 8");
    if (d[25] != want_type) {
        FileFail(path, "colour type " + std::to_string(d[25]) + ", not " + std::to_string(want_type) + " (" +
                           (want_type == 0 ? "grey" : "RGB") + ") for image type " + Vyx::ImageType::ToString(r.image_type));
    }
    if (d[28] != 0) FileFail(path, "the image is interlaced");
}

void CheckPng(const std::string& path, const Recording& r) {
    fmt::FileReader reader;
    OpenFile(path, SIZE_MAX, &reader);
    const std::vector<uint8_t> head = Prefix(path, reader, 33);
    CheckPngHeader(path, head.data(), head.size(), r);
}

// --- The manifest ---------------------------------------------------------------

bool PlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name.find('\0') == std::string::npos;
}

std::string RealPath(const std::string& path) {
    char* p = ::realpath(path.c_str(), nullptr);
    if (!p) return {};
    std::string out(p);
    std::free(p);
    return out;
}

std::string Text(const json& obj, const std::string& path, const char* key, std::size_t max_bytes) {
    const json* v = Member(obj, key);
    if (!v) Throw(Join(path, key), "missing");
    if (!v->is_string()) WrongType(Join(path, key), "a string", *v);
    std::string s = v->get<std::string>();
    if (s.size() > max_bytes) Throw(Join(path, key), "is " + std::to_string(s.size()) + " bytes long; at most " + std::to_string(max_bytes) + " fit");
    if (s.find('\0') != std::string::npos) Throw(Join(path, key), "contains a NUL byte");
    return s;
}

bool Bool(const json& obj, const std::string& path, const char* key) {
    const json* v = Member(obj, key);
    if (!v) Throw(Join(path, key), "missing");
    if (!v->is_boolean()) WrongType(Join(path, key), "a boolean", *v);
    return v->get<bool>();
}

int32_t Int(const json& obj, const std::string& path, const char* key, int64_t lo, int64_t hi) {
    const json* v = Member(obj, key);
    if (!v) Throw(Join(path, key), "missing");
    return static_cast<int32_t>(AsInt(*v, Join(path, key), lo, hi));
}

template <std::size_t N>
void Floats(const json& obj, const std::string& path, const char* key, std::array<float, N>* out) {
    const json* v = Member(obj, key);
    if (!v) Throw(Join(path, key), "missing");
    const std::vector<double> d = Numbers(*v, Join(path, key), N, -1e30, 1e30);
    for (std::size_t i = 0; i < N; ++i) (*out)[i] = static_cast<float>(d[i]);
}

RecordedDevice ParseDeviceInfo(const json& j, const std::string& path) {
    if (!j.is_object()) WrongType(path, "an object", j);
    RecordedDevice d;
    d.name = Text(j, path, "name", 31);
    d.sn = Text(j, path, "sn", 31);
    if (d.sn.empty()) Throw(Join(path, "sn"), "must not be empty");
    d.factory_date = Text(j, path, "factroydate", 31);
    d.port_text = Text(j, path, "port", 31);
    const std::string type = Text(j, path, "type", 31);
    if (type == "USB") d.port = Vyx::PortType_USB;
    else if (type == "GigE") d.port = Vyx::PortType_GIGE;
    else Throw(Join(path, "type"), "expected \"USB\" or \"GigE\", got '" + Printable(type, 40) + "'");
    d.cameraid = Int(j, path, "cameraid", 0, 7);
    d.board_model = Int(j, path, "boardmodel", INT32_MIN, INT32_MAX);
    d.support_x1 = Bool(j, path, "support_x1");
    d.support_x2 = Bool(j, path, "support_x2");
    d.support_color = Int(j, path, "support_color", 0, 15);
    d.support_capture_mode = Int(j, path, "support_capture_mode", 0, 255);
    d.support_protective_cover = Bool(j, path, "support_protective_cover");
    d.support_extra = Bool(j, path, "support_extra");
    d.workingdist_near_mm = Int(j, path, "workingdist_near_mm", INT32_MIN, INT32_MAX);
    d.workingdist_far_mm = Int(j, path, "workingdist_far_mm", INT32_MIN, INT32_MAX);
    return d;
}

Calibration ParseCalibration(const json& j, const std::string& path) {
    if (!j.is_object()) WrongType(path, "an object", j);
    Calibration c;
    Floats(j, path, "camera_matrix", &c.camera_matrix);
    Floats(j, path, "distortion", &c.distortion);
    Floats(j, path, "extrinsic", &c.extrinsic);
    return c;
}

// Reads everything but the frames' files from the manifest.
void ParseManifest(const json& m, Recording* r) {
    if (!m.is_object()) WrongType("", "a JSON object", m);
    const json* format = Member(m, "format");
    if (!format || !format->is_string() || *format != "vyx-recording") {
        Throw("format", "this is not a recording manifest (format must be \"vyx-recording\")");
    }
    const json* version = Member(m, "format_version");
    if (!version) Throw("format_version", "missing");
    if (!version->is_number_integer() || version->get<int64_t>() != 1) {
        Throw("", "format_version " + version->dump() + " is not supported (this library reads version 1)");
    }
    const std::string camera = Text(m, "", "camera", 8);
    if (camera != "X1" && camera != "X2") Throw("camera", "expected \"X1\" or \"X2\", got '" + Printable(camera, 20) + "'");
    r->x2 = camera == "X2";
    if (!r->x2) {
        const std::string id = Text(m, "", "camera_id", 8);
        if (id != "Left" && id != "Right") Throw("camera_id", "expected \"Left\" or \"Right\", got '" + Printable(id, 20) + "'");
        r->camera_id = id == "Left" ? Vyx::CameraID_Left : Vyx::CameraID_Right;
    }
    const json* dev = Member(m, "device");
    if (!dev) Throw("device", "missing");
    r->device = ParseDeviceInfo(*dev, "device");

    const json* res = Member(m, "resolution");
    if (!res) Throw("resolution", "missing");
    ArrayOf(*res, "resolution", 2);
    r->width = static_cast<int>(AsInt((*res)[0], "resolution[0]", 1, kMaxSide));
    r->height = static_cast<int>(AsInt((*res)[1], "resolution[1]", 1, kMaxSide));
    if (r->Pixels() > kMaxPixels) Throw("resolution", "more than " + std::to_string(kMaxPixels) + " pixels");

    const std::string itype = Text(m, "", "image_type", 8);
    if (itype == "Mono8") r->image_type = Vyx::ImageType::Mono8;
    else if (itype == "BGR8") r->image_type = Vyx::ImageType::BGR8;
    else if (itype == "RGB8") r->image_type = Vyx::ImageType::RGB8;
    else Throw("image_type", "expected \"Mono8\", \"BGR8\" or \"RGB8\", got '" + Printable(itype, 20) + "'");

    const json* cams = Member(m, "cameras");
    if (!cams) Throw("cameras", "missing");
    if (!cams->is_object()) WrongType("cameras", "an object", *cams);
    const bool need_left = r->x2 || r->camera_id == Vyx::CameraID_Left;
    const bool need_right = r->x2 || r->camera_id == Vyx::CameraID_Right;
    if (const json* c = Member(*cams, "Left")) {
        r->left = ParseCalibration(*c, "cameras.Left");
        r->has_left = true;
    } else if (need_left) {
        Throw("cameras.Left", "missing");
    }
    if (const json* c = Member(*cams, "Right")) {
        r->right = ParseCalibration(*c, "cameras.Right");
        r->has_right = true;
    } else if (need_right) {
        Throw("cameras.Right", "missing");
    }
    r->normals = Bool(m, "", "normals");
}

void ParseFrames(const json& m, const std::string& manifest, Recording* r) {
    const json* frames = Member(m, "frames");
    if (!frames) Throw("frames", "missing");
    if (!frames->is_array()) WrongType("frames", "an array", *frames);
    if (frames->empty()) Throw("frames", "the recording has no frames");
    if (frames->size() > kMaxFrames) Throw("frames", "more than " + std::to_string(kMaxFrames) + " frames");
    const std::vector<int> roles = r->x2 ? std::vector<int>{kPoints, kDepth, kConfidence, kLeft, kRight, kCorrespondence}
                                         : std::vector<int>{kPoints, kDepth, kConfidence, kImage};
    const std::string real_folder = RealPath(r->folder);
    for (std::size_t i = 0; i < frames->size(); ++i) {
        const std::string at = "frames[" + std::to_string(i) + "]";
        const json& f = (*frames)[i];
        if (!f.is_object()) WrongType(at, "an object", f);
        const json* index = Member(f, "index");
        if (!index) Throw(Join(at, "index"), "missing");
        if (AsInt(*index, Join(at, "index"), 0, INT64_MAX) != static_cast<int64_t>(i)) {
            Throw(Join(at, "index"), "is " + index->dump() + "; frames must count from 0 without gaps");
        }
        const json* ts = Member(f, "timestamp_us");
        if (!ts) Throw(Join(at, "timestamp_us"), "missing");
        RecordedFrame frame;
        frame.timestamp_us = static_cast<uint64_t>(AsInt(*ts, Join(at, "timestamp_us"), 0, INT64_MAX));
        const json* files = Member(f, "files");
        const std::string fpath = Join(at, "files");
        if (!files) Throw(fpath, "missing");
        if (!files->is_object()) WrongType(fpath, "an object", *files);
        for (auto it = files->begin(); it != files->end(); ++it) {
            bool known = false;
            for (int role : roles) known = known || it.key() == kRoleNames[role];
            if (!known) {
                Throw(Join(fpath, it.key()), std::string("not a file role of an ") + (r->x2 ? "X2" : "X1") + " recording");
            }
        }
        for (int role : roles) {
            const std::string name = Text(*files, fpath, kRoleNames[role], 4096);
            if (!PlainName(name)) {
                Throw(Join(fpath, kRoleNames[role]), "'" + Printable(name, 80) + "' is not a file name inside the folder");
            }
            frame.files[static_cast<std::size_t>(role)] = r->folder + "/" + name;
        }
        r->frames.push_back(std::move(frame));
    }
    (void)manifest;
    // The files: present, regular, inside the folder (also through symbolic
    // links), and of the recording's form.
    for (const RecordedFrame& frame : r->frames) {
        for (int role : roles) {
            const std::string& path = frame.files[static_cast<std::size_t>(role)];
            fmt::FileReader probe;
            OpenFile(path, SIZE_MAX, &probe);
            const std::string real = RealPath(path);
            if (real_folder.empty() || real.size() <= real_folder.size() + 1 ||
                real.compare(0, real_folder.size() + 1, real_folder + "/") != 0) {
                FileFail(path, "lies outside the recording folder (it resolves to '" + Printable(real, 120) + "')");
            }
            if (role == kPoints) CheckPly(path, *r);
            else if (role == kDepth || role == kConfidence || role == kCorrespondence) CheckNpy(path, *r, role);
            else CheckPng(path, *r);
        }
    }
}

// --- Reading a frame --------------------------------------------------------------

void ReadNpy(const std::string& path, const Recording& r, int role, std::vector<double>* out) {
    fmt::FileReader reader;
    OpenFile(path, SIZE_MAX, &reader);
    const std::vector<uint8_t> head = Prefix(path, reader, kHeaderPrefix);
    const std::size_t offset = CheckNpyHeader(path, head.data(), head.size(), reader.Size(), r, role);
    const std::size_t n = r.Pixels() * (role == kCorrespondence ? 2 : 1);
    out->resize(n);
    // The values follow the header; part of them may be in the prefix read.
    const std::size_t bytes = n * sizeof(double);
    uint8_t* dst = reinterpret_cast<uint8_t*>(out->data());
    const std::size_t have = std::min(bytes, head.size() - offset);
    std::memcpy(dst, head.data() + offset, have);
    std::string why;
    if (!reader.Read(dst + have, bytes - have, &why)) FileFail(path, "cannot be read: " + why);
}

void ReadPly(const std::string& path, const Recording& r, std::vector<double>* out) {
    fmt::FileReader reader;
    OpenFile(path, SIZE_MAX, &reader);
    {
        const std::vector<uint8_t> head = Prefix(path, reader, kHeaderPrefix);
        const std::size_t header = CheckPlyHeader(path, head.data(), head.size(), r);
        if (reader.Size() != header + PlyBodyBytes(r)) FileFail(path, "the file's size no longer agrees with its header");
    }
    fmt::FileReader again;
    OpenFile(path, SIZE_MAX, &again);
    fmt::CloudData cloud;
    std::string why;
    bool read_failed = false;
    if (!fmt::DecodePlyStream(again, again.Size(), 1.0, &cloud, &why, &read_failed)) {
        FileFail(path, (read_failed ? "cannot be read: " : "damaged: ") + why);
    }
    if (cloud.count != r.Pixels() || cloud.has_normals != r.normals) FileFail(path, "no longer agrees with the recording");
    const std::size_t n = r.Pixels() * (r.normals ? 6 : 3);
    out->assign(cloud.values.data(), cloud.values.data() + n);
}

void ReadPng(const std::string& path, const Recording& r, std::vector<uint8_t>* out) {
    std::vector<uint8_t> bytes;
    std::string why;
    const std::size_t limit = std::size_t{64} << 20 > r.Pixels() * 8 ? std::size_t{64} << 20 : r.Pixels() * 8;
    {
        fmt::FileReader reader;
        OpenFile(path, limit, &reader);
    }
    if (fmt::ReadWholeFile(path.c_str(), limit, &bytes, &why) != fmt::ReadStatus::Ok) FileFail(path, "cannot be read: " + why);
    CheckPngHeader(path, bytes.data(), bytes.size(), r);
    fmt::Raster raster;
    if (!fmt::DecodePng(bytes.data(), bytes.size(), &raster, &why)) FileFail(path, "damaged: " + why);
    if (raster.width != r.width || raster.height != r.height || raster.channels != r.Channels()) {
        FileFail(path, "no longer agrees with the recording");
    }
    *out = std::move(raster.pixels);
    // The decoder gives colour as B, G, R: the bytes of a BGR8 image. An RGB8
    // image wants them the other way round.
    if (r.image_type == Vyx::ImageType::RGB8) {
        for (std::size_t k = 0; k + 2 < out->size(); k += 3) std::swap((*out)[k], (*out)[k + 2]);
    }
}

}  // namespace

const char* RoleName(int role) { return role >= 0 && role < kRoleCount ? kRoleNames[role] : "?"; }

std::shared_ptr<const Recording> LoadRecording(const std::string& folder_in, std::string* error) {
    auto r = std::make_shared<Recording>();
    r->folder = folder_in;
    while (r->folder.size() > 1 && r->folder.back() == '/') r->folder.pop_back();
    const std::string manifest = r->folder + "/manifest.json";
    try {
        if (folder_in.empty() || folder_in.find('\0') != std::string::npos) FileFail(folder_in, "not a folder name");
        fmt::FileReader reader;
        OpenFile(manifest, kMaxManifestBytes, &reader);
        std::string text(reader.Size(), '\0');
        std::string why;
        if (!reader.Read(text.data(), text.size(), &why)) FileFail(manifest, "cannot be read: " + why);
        try {
            const json m = Parse(text);
            ParseManifest(m, r.get());
            ParseFrames(m, manifest, r.get());
        } catch (const Problem& p) {
            FileFail(manifest, p.what());
        }
    } catch (const FileProblem& p) {
        *error = Quoted(p.file) + ": " + p.what;
        return nullptr;
    }
    return r;
}

bool ReadFrame(const Recording& r, std::size_t index, FramePart part, FrameData* out, std::string* error) {
    if (index >= r.frames.size()) {
        *error = Quoted(r.folder) + ": has no frame " + std::to_string(index);
        return false;
    }
    const RecordedFrame& f = r.frames[index];
    try {
        if (part.maps) {
            ReadPly(f.files[kPoints], r, &out->points);
            ReadNpy(f.files[kDepth], r, kDepth, &out->depth);
            ReadNpy(f.files[kConfidence], r, kConfidence, &out->confidence);
            if (r.x2) ReadNpy(f.files[kCorrespondence], r, kCorrespondence, &out->correspondence);
        }
        for (int i = 0; i < 2; ++i) {
            if (!(part.images & (1u << i)) || (!r.x2 && i == 1)) continue;
            ReadPng(f.files[r.x2 ? (i == 0 ? kLeft : kRight) : kImage], r, &out->images[static_cast<std::size_t>(i)]);
        }
    } catch (const FileProblem& p) {
        *error = Quoted(p.file) + ": " + p.what;
        return false;
    }
    return true;
}

}  // namespace vyxsim::rec
