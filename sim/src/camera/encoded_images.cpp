// The pattern images SaveEncodedImagesData writes (encoded_images.h).
#include "camera/encoded_images.h"

#include <system_error>
#include <vector>

#include "core/error.h"
#include "data/formats/io.h"
#include "data/formats/png.h"

namespace vyxsim::cam {

bool MakeDirectory(const char* op, const char* path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec || !std::filesystem::is_directory(path, ec)) {
        return Fail(false, kIoError,
                    std::string(op) + ": cannot create the directory '" + Printable(path) + "'" +
                        (ec ? ": " + ec.message() : std::string(": a file of that name exists")));
    }
    return true;
}

bool WritePatternImages(const char* op, const std::filesystem::path& dir, const std::string& prefix,
                        const scene::Frame& f, const Params3D& params, int projector_width, double ambient) {
    const ModeInfo mode = Mode(params.mode);
    std::vector<uint8_t> pixels(f.Size());
    const std::size_t exposures = params.exposures.size();
    for (std::size_t e = 0; e < exposures; ++e) {
        for (int k = 0; k < mode.PatternCount(); ++k) {
            ShadePattern(f, params, params.exposures[e], k, projector_width, ambient, pixels.data());
            const std::string name = prefix + (exposures > 1 ? "exposure" + std::to_string(e) + "_" : std::string()) +
                                     "pattern_" + (k < 10 ? "0" : "") + std::to_string(k) + "_" + PatternName(mode, k) +
                                     ".png";
            fmt::RasterView view;
            view.width = f.width;
            view.height = f.height;
            view.channels = 1;
            view.pixels = pixels.data();
            std::vector<uint8_t> png;
            std::string why;
            if (!fmt::EncodePng(view, &png, &why)) {
                return Fail(false, kIoError, std::string(op) + ": cannot encode " + name + ": " + why);
            }
            const std::string file = (dir / name).string();
            if (!fmt::WriteWholeFile(file.c_str(), png.data(), png.size(), &why)) {
                return Fail(false, kIoError, std::string(op) + ": cannot write '" + Printable(file) + "': " + why);
            }
        }
    }
    return true;
}

}  // namespace vyxsim::cam
