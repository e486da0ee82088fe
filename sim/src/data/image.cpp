// Vyx::Image: 2D images in SDK or caller memory, PNG and BMP files.
#include <cstring>

#include "core/call.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/objects.h"
#include "data/common.h"
#include "data/formats/bmp.h"
#include "data/formats/io.h"
#include "data/formats/png.h"
#include "data/object_ops.h"
#include "vyx/data.h"

namespace Vyx {

using vyxsim::Enter;
using vyxsim::Gate;
using vyxsim::ImageObj;
using vyxsim::Kind;
using vyxsim::Words;

namespace {

std::shared_ptr<ImageObj> FindImage(const Image& image) {
    return vyxsim::data::FindOf<ImageObj>(Kind::Image, image);
}

bool NoImage(const char* op) { return vyxsim::data::NoObject(op, "image"); }

// A query of an image's object (`read`), `fallback` when there is none.
template <class R, class Read>
R ImageQuery(const char* op, const Image& image, R fallback, Read read) {
    return vyxsim::data::Query<ImageObj>(op, "image", Kind::Image, image, fallback, read);
}

std::size_t PixelBytes(ImageType::Enum type) {
    return type == ImageType::Mono8 ? 1 : (type == ImageType::RGB8 || type == ImageType::BGR8) ? 3 : 0;
}

// The image formats by file-name extension.
enum class ImageFormat { None, Png, Bmp };

ImageFormat FormatOf(const char* path) {
    const std::string ext = vyxsim::fmt::LowerExtension(path);
    if (ext == "png") return ImageFormat::Png;
    if (ext == "bmp") return ImageFormat::Bmp;
    return ImageFormat::None;
}

bool UnknownFormat(const char* op, const char* path) {
    return vyxsim::data::BadArgument(
        op, "unsupported file extension in " + vyxsim::data::PathText(path) +
                " (images are .png or .bmp files)");
}

Image Invalid() { return Image(); }

Image Finish(Words w, Gate g, const char* op) { return vyxsim::data::Finish<Image>(Kind::Image, w, g, op); }

}  // namespace

Image Image::Create(ImageType::Enum type, Size size, uint8_t* data, bool sdk_owns_data) try {
    static const char* const op = "Image::Create";
    const Gate g = Enter(op, {{"type", static_cast<int>(type)},
                              {"width", size.width},
                              {"height", size.height},
                              {"data", reinterpret_cast<uintptr_t>(data)},
                              {"sdk_owns_data", sdk_owns_data}});
    if (g == Gate::Fail) return Invalid();
    const std::size_t pixel = PixelBytes(type);
    std::size_t count = 0;
    if (pixel == 0) {
        vyxsim::data::BadArgument(op, "unknown image type " + std::to_string(static_cast<int>(type)));
        return Invalid();
    }
    if (!vyxsim::data::GridElements(size, pixel, 1, &count)) {
        vyxsim::data::BadArgument(op, "invalid image size " + vyxsim::data::SizeText(size));
        return Invalid();
    }
    Words w;
    if (sdk_owns_data) {
        w = vyxsim::NewImage(type, size);
    } else {
        if (data == nullptr) {
            vyxsim::data::BadArgument(op, "null data for an image over caller memory");
            return Invalid();
        }
        auto obj = std::make_shared<ImageObj>();
        obj->type = type;
        obj->size = size;
        obj->data = data;
        w = vyxsim::RegisterObject(Kind::Image, obj);
    }
    return Finish(w, g, op);
} catch (...) {
    return vyxsim::FailUnexpected(Image());
}

Image Image::CreateFromFile(const char* path) try {
    static const char* const op = "Image::CreateFromFile";
    const Gate g = Enter(op, {{"path", path}});
    if (g == Gate::Fail) return Invalid();
    if (path == nullptr) {
        vyxsim::data::BadArgument(op, "null path");
        return Invalid();
    }
    const ImageFormat format = FormatOf(path);
    if (format == ImageFormat::None) {
        UnknownFormat(op, path);
        return Invalid();
    }
    std::vector<uint8_t> bytes;
    if (!vyxsim::data::ReadInputFile(op, path, &bytes)) return Invalid();
    vyxsim::fmt::Raster raster;
    std::string problem;
    const bool ok = format == ImageFormat::Png
                        ? vyxsim::fmt::DecodePng(bytes.data(), bytes.size(), &raster, &problem)
                        : vyxsim::fmt::DecodeBmp(bytes.data(), bytes.size(), &raster, &problem);
    if (!ok) {
        vyxsim::data::BadFile(op, path, problem);
        return Invalid();
    }
    auto obj = std::make_shared<ImageObj>();
    obj->type = raster.channels == 1 ? ImageType::Mono8 : ImageType::BGR8;
    obj->size = {raster.width, raster.height};
    obj->storage = std::move(raster.pixels);
    obj->data = obj->storage.data();
    return Finish(vyxsim::RegisterObject(Kind::Image, obj), g, op);
} catch (...) {
    return vyxsim::FailUnexpected(Image());
}

void Image::Destroy(Image image, bool no_reuse) try {
    vyxsim::data::Destroy<ImageObj>("Image::Destroy", "image", Kind::Image, HandleAccess::Get(image), no_reuse,
                                    "image", [](ImageObj& obj) {
                                        if (obj.storage.empty()) return;  // caller memory
                                        obj.data = nullptr;
                                        vyxsim::data::RecycleBytes(std::move(obj.storage));
                                    });
} catch (...) {
    vyxsim::FailUnexpected();
}

bool Image::IsValid() const try {
    return ImageQuery("Image::IsValid", *this, false, [](const ImageObj&) { return true; });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

Size Image::GetSize() const try {
    return ImageQuery("Image::GetSize", *this, Size(), [](const ImageObj& obj) { return obj.size; });
} catch (...) {
    return vyxsim::FailUnexpected(Size());
}

ImageType::Enum Image::GetType() const try {
    return ImageQuery("Image::GetType", *this, ImageType::None, [](const ImageObj& obj) { return obj.type; });
} catch (...) {
    return vyxsim::FailUnexpected(ImageType::None);
}

uint8_t* Image::GetDataPtr() const try {
    return ImageQuery("Image::GetDataPtr", *this, static_cast<uint8_t*>(nullptr),
                      [](const ImageObj& obj) { return obj.data; });
} catch (...) {
    return vyxsim::FailUnexpected(static_cast<uint8_t*>(nullptr));
}

bool Image::SaveImage(const char* path) const try {
    static const char* const op = "Image::SaveImage";
    const Gate g = Enter(op, {{"image", HandleAccess::Get(*this)}, {"path", path}});
    if (g == Gate::Fail) return false;
    const auto obj = FindImage(*this);
    if (!obj) return NoImage(op);
    if (path == nullptr) return vyxsim::data::BadArgument(op, "null path");
    const ImageFormat format = FormatOf(path);
    if (format == ImageFormat::None) return UnknownFormat(op, path);

    vyxsim::fmt::RasterView view;
    view.width = obj->size.width;
    view.height = obj->size.height;
    view.channels = static_cast<int>(PixelBytes(obj->type));
    view.bgr = obj->type == ImageType::BGR8;
    view.pixels = obj->data;
    std::vector<uint8_t> bytes;
    std::string problem;
    const bool encoded = format == ImageFormat::Png
                             ? vyxsim::fmt::EncodePng(view, &bytes, &problem)
                             : vyxsim::fmt::EncodeBmp(view, &bytes, &problem);
    if (!encoded) {
        return vyxsim::data::BadArgument(op, "cannot encode the image for " +
                                                 vyxsim::data::PathText(path) + ": " + problem);
    }
    if (!vyxsim::data::WriteOutputFile(op, path, bytes)) return false;
    if (g == Gate::FailAfterWork) return vyxsim::FailInjected(false, op);
    return true;
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

Image Image::Clone() const try {
    static const char* const op = "Image::Clone";
    const Gate g = Enter(op, {{"image", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return Invalid();
    const auto src = FindImage(*this);
    if (!src) {
        NoImage(op);
        return Invalid();
    }
    std::shared_ptr<ImageObj> copy;
    const Words w = vyxsim::NewImage(src->type, src->size, &copy);
    if (!w.IsZero()) std::memcpy(copy->data, src->data, copy->storage.size());
    return Finish(w, g, op);
} catch (...) {
    return vyxsim::FailUnexpected(Image());
}

}  // namespace Vyx
