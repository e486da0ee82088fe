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
#include "vyx/data.h"

namespace Vyx {

using vyxsim::Enter;
using vyxsim::Gate;
using vyxsim::ImageObj;
using vyxsim::Kind;
using vyxsim::Words;

namespace {

std::shared_ptr<ImageObj> FindImage(const Image& image) {
    return vyxsim::Find<ImageObj>(Kind::Image, HandleAccess::Get(image));
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

// Undoes a creation whose call is made to fail after its work.
Image Injected(Words w, const char* op) {
    vyxsim::RemoveObject(Kind::Image, w);
    return vyxsim::FailInjected(Invalid(), op);
}

}  // namespace

Image Image::Create(ImageType::Enum type, Size size, uint8_t* data, bool sdk_owns_data) {
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
    if (w.IsZero()) return Invalid();
    if (g == Gate::FailAfterWork) return Injected(w, op);
    return HandleAccess::Make<Image>(w);
}

Image Image::CreateFromFile(const char* path) {
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
    const Words w = vyxsim::RegisterObject(Kind::Image, obj);
    if (w.IsZero()) return Invalid();
    if (g == Gate::FailAfterWork) return Injected(w, op);
    return HandleAccess::Make<Image>(w);
}

void Image::Destroy(Image image, bool no_reuse) {
    static const char* const op = "Image::Destroy";
    const Words w = HandleAccess::Get(image);
    const Gate g = Enter(op, {{"image", w}, {"no_reuse", no_reuse}});
    if (g == Gate::Fail) return;
    auto obj = std::static_pointer_cast<ImageObj>(vyxsim::RemoveObject(Kind::Image, w));
    if (!obj) {
        vyxsim::SetLastError(vyxsim::kInvalidHandle, std::string(op) + ": the handle names no image");
        return;
    }
    // The storage goes to the pool only when no other thread still uses the
    // object (the registry no longer hands it out, so the count cannot grow).
    if (!no_reuse && obj.use_count() == 1 && !obj->storage.empty()) {
        obj->data = nullptr;
        vyxsim::data::RecycleBytes(std::move(obj->storage));
    }
    if (g == Gate::FailAfterWork) vyxsim::SetInjectedError(op);
}

bool Image::IsValid() const {
    if (Enter("Image::IsValid", {{"image", HandleAccess::Get(*this)}}) == Gate::Fail) return false;
    return FindImage(*this) != nullptr;
}

Size Image::GetSize() const {
    if (Enter("Image::GetSize", {{"image", HandleAccess::Get(*this)}}) == Gate::Fail) return Size();
    const auto obj = FindImage(*this);
    return obj ? obj->size : Size();
}

ImageType::Enum Image::GetType() const {
    if (Enter("Image::GetType", {{"image", HandleAccess::Get(*this)}}) == Gate::Fail) {
        return ImageType::None;
    }
    const auto obj = FindImage(*this);
    return obj ? obj->type : ImageType::None;
}

uint8_t* Image::GetDataPtr() const {
    if (Enter("Image::GetDataPtr", {{"image", HandleAccess::Get(*this)}}) == Gate::Fail) {
        return nullptr;
    }
    const auto obj = FindImage(*this);
    return obj ? obj->data : nullptr;
}

bool Image::SaveImage(const char* path) const {
    static const char* const op = "Image::SaveImage";
    const Gate g = Enter(op, {{"image", HandleAccess::Get(*this)}, {"path", path}});
    if (g == Gate::Fail) return false;
    const auto obj = FindImage(*this);
    if (!obj) return vyxsim::Fail(false, vyxsim::kInvalidHandle, std::string(op) + ": the handle names no image");
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
}

Image Image::Clone() const {
    static const char* const op = "Image::Clone";
    const Gate g = Enter(op, {{"image", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return Invalid();
    const auto src = FindImage(*this);
    if (!src) {
        vyxsim::SetLastError(vyxsim::kInvalidHandle, std::string(op) + ": the handle names no image");
        return Invalid();
    }
    std::shared_ptr<ImageObj> copy;
    const Words w = vyxsim::NewImage(src->type, src->size, &copy);
    if (w.IsZero()) return Invalid();
    std::memcpy(copy->data, src->data, copy->storage.size());
    if (g == Gate::FailAfterWork) return Injected(w, op);
    return HandleAccess::Make<Image>(w);
}

}  // namespace Vyx
