#include "data/formats/bmp.h"

#include <array>
#include <cstring>
#include <new>

#include "data/formats/bytes.h"
#include "data/formats/text.h"

namespace vyxsim::fmt {

namespace {

constexpr std::size_t kFileHeader = 14;
constexpr uint32_t kBiRgb = 0;

}  // namespace

bool DecodeBmp(const uint8_t* data, std::size_t size, Raster* out, std::string* error) {
    if (size < kFileHeader + 4 || data[0] != 'B' || data[1] != 'M') {
        return Bad(error, "not a BMP file (no 'BM' signature)");
    }
    const uint32_t pixel_offset = LoadLE32(data + 10);
    const uint32_t info_size = LoadLE32(data + 14);
    if (info_size == 12) return Bad(error, "OS/2 bitmaps are not supported");
    if (info_size != 40 && info_size != 52 && info_size != 56 && info_size != 108 &&
        info_size != 124) {
        return Bad(error, "unknown BMP info header size " + std::to_string(info_size));
    }
    if (size < kFileHeader + info_size) return Bad(error, "truncated BMP header");
    const uint8_t* info = data + kFileHeader;
    const int32_t width = LoadLE32s(info + 4);
    const int32_t raw_height = LoadLE32s(info + 8);
    const uint16_t planes = LoadLE16(info + 12);
    const uint16_t bpp = LoadLE16(info + 14);
    const uint32_t compression = LoadLE32(info + 16);
    const uint32_t colors_used = LoadLE32(info + 32);

    if (width <= 0 || raw_height == 0 || raw_height == INT32_MIN) {
        return Bad(error, "invalid BMP size " + std::to_string(width) + " x " +
                              std::to_string(raw_height));
    }
    const bool top_down = raw_height < 0;
    const int32_t height = top_down ? -raw_height : raw_height;
    if (static_cast<int64_t>(width) * height > kMaxRasterPixels) {
        return Bad(error, "BMP size " + std::to_string(width) + " x " + std::to_string(height) +
                              " is too large");
    }
    if (planes != 1) return Bad(error, "BMP plane count " + std::to_string(planes) + " is not 1");
    if (compression != kBiRgb) {
        return Bad(error, "compressed BMP (method " + std::to_string(compression) +
                              ") is not supported");
    }
    if (bpp != 8 && bpp != 24 && bpp != 32) {
        return Bad(error, std::to_string(bpp) + "-bit BMP is not supported (8, 24 or 32 bits)");
    }

    // Palette of 8-bit images: B, G, R, reserved per entry, right after the
    // info header and before the pixels.
    std::array<std::array<uint8_t, 3>, 256> palette{};
    uint32_t palette_count = 0;
    bool grey = bpp == 8;
    std::size_t header_end = kFileHeader + info_size;
    if (bpp == 8) {
        palette_count = colors_used == 0 ? 256 : colors_used;
        if (palette_count > 256) {
            return Bad(error, "BMP palette of " + std::to_string(colors_used) +
                                  " colours exceeds 256");
        }
        const std::size_t palette_end = header_end + std::size_t{4} * palette_count;
        if (palette_end > size) return Bad(error, "truncated BMP palette");
        if (palette_end > pixel_offset) return Bad(error, "BMP palette overlaps the pixel data");
        for (uint32_t i = 0; i < palette_count; ++i) {
            const uint8_t* e = data + header_end + 4 * i;
            palette[i] = {e[0], e[1], e[2]};
            grey = grey && e[0] == e[1] && e[1] == e[2];
        }
        header_end = palette_end;
    }
    if (pixel_offset < header_end) {
        return Bad(error, "BMP pixel data offset " + std::to_string(pixel_offset) +
                              " lies inside the header");
    }
    const uint64_t stride = (static_cast<uint64_t>(width) * bpp + 31) / 32 * 4;
    const uint64_t needed = stride * static_cast<uint64_t>(height);
    if (pixel_offset > size || needed > size - pixel_offset) {
        return Bad(error, "truncated BMP: " + std::to_string(needed) +
                              " bytes of pixels needed from offset " +
                              std::to_string(pixel_offset) + ", the file has " +
                              std::to_string(size));
    }

    Raster r;
    r.width = width;
    r.height = height;
    r.channels = grey ? 1 : 3;
    try {
        r.pixels.resize(static_cast<std::size_t>(width) * height * r.channels);
    } catch (const std::bad_alloc&) {
        return Bad(error, "cannot allocate the BMP pixels");
    }
    const std::size_t out_row = static_cast<std::size_t>(width) * r.channels;
    for (int32_t y = 0; y < height; ++y) {
        const int32_t file_row = top_down ? y : height - 1 - y;
        const uint8_t* src = data + pixel_offset + stride * static_cast<uint64_t>(file_row);
        uint8_t* dst = r.pixels.data() + out_row * static_cast<std::size_t>(y);
        if (bpp == 8) {
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t index = src[x];
                if (index >= palette_count) {
                    return Bad(error, "BMP pixel index " + std::to_string(index) +
                                          " lies beyond the " + std::to_string(palette_count) +
                                          "-colour palette");
                }
                if (grey) {
                    dst[x] = palette[index][0];
                } else {
                    std::memcpy(dst + 3 * x, palette[index].data(), 3);
                }
            }
        } else if (bpp == 24) {
            std::memcpy(dst, src, out_row);
        } else {
            for (int32_t x = 0; x < width; ++x) std::memcpy(dst + 3 * x, src + 4 * x, 3);
        }
    }
    *out = std::move(r);
    return true;
}

bool EncodeBmp(const RasterView& image, std::vector<uint8_t>* out, std::string* error,
               bool top_down) {
    if (image.width <= 0 || image.height <= 0 || image.pixels == nullptr ||
        (image.channels != 1 && image.channels != 3)) {
        return Bad(error, "nothing to encode");
    }
    const bool grey = image.channels == 1;
    const uint32_t bpp = grey ? 8 : 24;
    const uint64_t stride = (static_cast<uint64_t>(image.width) * bpp + 31) / 32 * 4;
    const uint64_t pixel_bytes = stride * static_cast<uint64_t>(image.height);
    const uint32_t palette_bytes = grey ? 1024 : 0;
    const uint32_t offset = static_cast<uint32_t>(kFileHeader) + 40 + palette_bytes;
    const uint64_t file_size = offset + pixel_bytes;
    if (file_size > UINT32_MAX) return Bad(error, "image too large for a BMP file");

    std::vector<uint8_t>& f = *out;
    try {
        f.assign(static_cast<std::size_t>(file_size), 0);
    } catch (const std::bad_alloc&) {
        return Bad(error, "cannot allocate the BMP file");
    }
    f[0] = 'B';
    f[1] = 'M';
    StoreLE32(&f[2], static_cast<uint32_t>(file_size));
    StoreLE32(&f[10], offset);
    uint8_t* info = &f[kFileHeader];
    StoreLE32(info, 40);
    StoreLE32(info + 4, static_cast<uint32_t>(image.width));
    const int32_t h = top_down ? -image.height : image.height;
    uint32_t h_bits;
    std::memcpy(&h_bits, &h, 4);
    StoreLE32(info + 8, h_bits);
    StoreLE16(info + 12, 1);
    StoreLE16(info + 14, static_cast<uint16_t>(bpp));
    StoreLE32(info + 16, kBiRgb);
    StoreLE32(info + 20, static_cast<uint32_t>(pixel_bytes));
    StoreLE32(info + 24, 2835);  // 72 dpi
    StoreLE32(info + 28, 2835);
    StoreLE32(info + 32, grey ? 256 : 0);
    StoreLE32(info + 36, 0);
    if (grey) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint8_t* e = &f[kFileHeader + 40 + 4 * i];
            e[0] = e[1] = e[2] = static_cast<uint8_t>(i);
        }
    }
    const std::size_t row = static_cast<std::size_t>(image.width) * image.channels;
    for (int y = 0; y < image.height; ++y) {
        const int file_row = top_down ? y : image.height - 1 - y;
        uint8_t* dst = &f[offset + stride * static_cast<uint64_t>(file_row)];
        const uint8_t* src = image.pixels + row * static_cast<std::size_t>(y);
        if (grey || image.bgr) {
            std::memcpy(dst, src, row);
        } else {
            for (int x = 0; x < image.width; ++x) {
                dst[3 * x] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x];
            }
        }
    }
    return true;
}

}  // namespace vyxsim::fmt
