// libpng reports errors by longjmp. Each guarded function below holds the
// setjmp and nothing with a destructor that the jump could skip; the buffers
// they fill belong to their callers and are reached through pointers that do
// not change after setjmp. The callbacks libpng calls hold only plain data.
#include "data/formats/png.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

namespace vyxsim::fmt {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "16-bit samples assume a little-endian host");

namespace {

struct PngState {
    const uint8_t* data = nullptr;  // reading
    std::size_t size = 0;
    std::size_t pos = 0;
    std::vector<uint8_t>* out = nullptr;  // writing
    bool out_of_memory = false;
    char message[256] = {0};
};

void OnError(png_structp png, png_const_charp message) {
    auto* st = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(st->message, sizeof st->message, "%s", message != nullptr ? message : "error");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadBytes(png_structp png, png_bytep out, png_size_t length) {
    auto* st = static_cast<PngState*>(png_get_io_ptr(png));
    if (length > st->size - st->pos) png_error(png, "truncated PNG data");
    std::memcpy(out, st->data + st->pos, length);
    st->pos += length;
}

void WriteBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* st = static_cast<PngState*>(png_get_io_ptr(png));
    try {
        st->out->insert(st->out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        st->out_of_memory = true;
    }
    if (st->out_of_memory) png_error(png, "out of memory while encoding");
}

void FlushBytes(png_structp) {}

// What the guarded reader produced.
struct Decoded {
    int width = 0;
    int height = 0;
    int channels = 0;
    int bit_depth = 0;
};

// Reads the whole image into `pixels`. Returns false with st->message set.
bool ReadGuarded(png_structp png, png_infop info, PngState* st, bool gray16, Decoded* d,
                 std::vector<uint8_t>* pixels, std::vector<png_bytep>* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, st, ReadBytes);
    png_set_user_limits(png, 1u << 20, 1u << 20);
    png_set_chunk_malloc_max(png, std::size_t{8} << 20);
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int color_type = png_get_color_type(png, info);
    const int bit_depth = png_get_bit_depth(png, info);
    if (static_cast<uint64_t>(width) * height > static_cast<uint64_t>(kMaxRasterPixels)) {
        std::snprintf(st->message, sizeof st->message, "PNG size %u x %u is too large", width,
                      height);
        return false;
    }
    // Deflate expands data at most 1032 times: a file whose rows could not
    // fit its compressed size is truncated or lies about its size.
    const uint64_t raw = (static_cast<uint64_t>(png_get_rowbytes(png, info)) + 1) * height;
    if (raw > static_cast<uint64_t>(st->size) * 1032 + 8 * static_cast<uint64_t>(height) + 4096) {
        std::snprintf(st->message, sizeof st->message,
                      "PNG size %u x %u cannot fit in a file of %zu bytes", width, height,
                      st->size);
        return false;
    }

    if (gray16) {
        if (color_type != PNG_COLOR_TYPE_GRAY || bit_depth != 16) {
            std::snprintf(st->message, sizeof st->message, "not a 16-bit grey PNG");
            return false;
        }
        png_set_swap(png);
    } else {
        if (color_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
        if (color_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        if (bit_depth == 16) png_set_scale_16(png);
        if ((color_type & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS)) {
            png_set_strip_alpha(png);
        }
        if ((color_type & PNG_COLOR_MASK_COLOR) != 0) png_set_bgr(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    d->width = static_cast<int>(width);
    d->height = static_cast<int>(height);
    d->channels = png_get_channels(png, info);
    d->bit_depth = png_get_bit_depth(png, info);
    const bool expected = gray16 ? (d->channels == 1 && d->bit_depth == 16)
                                 : ((d->channels == 1 || d->channels == 3) && d->bit_depth == 8);
    const std::size_t row_bytes = png_get_rowbytes(png, info);
    if (!expected ||
        row_bytes != static_cast<std::size_t>(width) * d->channels * (d->bit_depth / 8)) {
        std::snprintf(st->message, sizeof st->message, "unsupported PNG pixel layout");
        return false;
    }
    pixels->resize(row_bytes * height);
    rows->resize(height);
    for (png_uint_32 y = 0; y < height; ++y) (*rows)[y] = pixels->data() + row_bytes * y;
    png_read_image(png, rows->data());
    return true;
}

bool Decode(const uint8_t* data, std::size_t size, bool gray16, Decoded* d,
            std::vector<uint8_t>* pixels, std::string* error) {
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        *error = "not a PNG file (bad signature)";
        return false;
    }
    PngState st;
    st.data = data;
    st.size = size;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st, OnError, OnWarning);
    if (png == nullptr) {
        *error = "cannot create a PNG reader";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        *error = "cannot create a PNG reader";
        return false;
    }
    std::vector<png_bytep> rows;
    bool ok = false;
    try {
        ok = ReadGuarded(png, info, &st, gray16, d, pixels, &rows);
    } catch (const std::bad_alloc&) {
        std::snprintf(st.message, sizeof st.message, "cannot allocate the PNG pixels");
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        *error = std::string("damaged PNG: ") + st.message;
        pixels->clear();
    }
    return ok;
}

bool WriteGuarded(png_structp png, png_infop info, PngState* st, int width, int height,
                  int color_type, int bit_depth, bool bgr, png_bytep* rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, st, WriteBytes, FlushBytes);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                 bit_depth, color_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    if (bgr) png_set_bgr(png);
    if (bit_depth == 16) png_set_swap(png);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

bool Encode(int width, int height, int color_type, int bit_depth, bool bgr, const uint8_t* pixels,
            std::size_t row_bytes, std::vector<uint8_t>* out, std::string* error) {
    if (width <= 0 || height <= 0 || pixels == nullptr || width > (1 << 24) ||
        height > (1 << 24)) {
        *error = "nothing to encode";
        return false;
    }
    PngState st;
    st.out = out;
    out->clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &st, OnError, OnWarning);
    if (png == nullptr) {
        *error = "cannot create a PNG writer";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        *error = "cannot create a PNG writer";
        return false;
    }
    bool ok = false;
    try {
        std::vector<png_bytep> rows(static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y) {
            rows[static_cast<std::size_t>(y)] =
                const_cast<png_bytep>(pixels + row_bytes * static_cast<std::size_t>(y));
        }
        ok = WriteGuarded(png, info, &st, width, height, color_type, bit_depth, bgr, rows.data());
    } catch (const std::bad_alloc&) {
        std::snprintf(st.message, sizeof st.message, "out of memory");
    }
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        *error = std::string("cannot encode PNG: ") + st.message;
        out->clear();
    }
    return ok;
}

}  // namespace

bool DecodePng(const uint8_t* data, std::size_t size, Raster* out, std::string* error) {
    Decoded d;
    Raster r;
    if (!Decode(data, size, false, &d, &r.pixels, error)) return false;
    r.width = d.width;
    r.height = d.height;
    r.channels = d.channels;
    *out = std::move(r);
    return true;
}

bool DecodePngGray16(const uint8_t* data, std::size_t size, int* width, int* height,
                     std::vector<uint16_t>* values, std::string* error) {
    Decoded d;
    std::vector<uint8_t> bytes;
    if (!Decode(data, size, true, &d, &bytes, error)) return false;
    values->resize(bytes.size() / 2);
    std::memcpy(values->data(), bytes.data(), values->size() * 2);
    *width = d.width;
    *height = d.height;
    return true;
}

bool EncodePng(const RasterView& image, std::vector<uint8_t>* out, std::string* error) {
    if (image.channels != 1 && image.channels != 3) {
        *error = "nothing to encode";
        return false;
    }
    const int color_type = image.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB;
    const std::size_t row_bytes = static_cast<std::size_t>(image.width) * image.channels;
    return Encode(image.width, image.height, color_type, 8, image.channels == 3 && image.bgr,
                  image.pixels, row_bytes, out, error);
}

bool EncodePngGray16(int width, int height, const uint16_t* values, std::vector<uint8_t>* out,
                     std::string* error) {
    return Encode(width, height, PNG_COLOR_TYPE_GRAY, 16, false,
                  reinterpret_cast<const uint8_t*>(values), static_cast<std::size_t>(width) * 2,
                  out, error);
}

}  // namespace vyxsim::fmt
