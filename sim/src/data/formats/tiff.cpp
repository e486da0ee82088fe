#include "data/formats/tiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "data/formats/raster.h"

namespace vyxsim::fmt {

namespace {

// A TIFF file in memory: read from `data` or written into `out`.
struct MemFile {
    const uint8_t* data = nullptr;
    std::size_t size = 0;
    std::vector<uint8_t>* out = nullptr;
    std::size_t pos = 0;
    std::string message;
};

int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* f = static_cast<MemFile*>(user);
    if (f->message.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, fmt, ap);
        f->message = text;
        (void)module;
    }
    return 1;  // handled: keeps libtiff from printing
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

std::size_t Extent(const MemFile* f) { return f->out != nullptr ? f->out->size() : f->size; }

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemFile*>(h);
    const std::size_t extent = Extent(f);
    if (n < 0 || f->pos >= extent) return 0;
    const std::size_t count = std::min(static_cast<std::size_t>(n), extent - f->pos);
    const uint8_t* src = f->out != nullptr ? f->out->data() : f->data;
    std::memcpy(buf, src + f->pos, count);
    f->pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemFile*>(h);
    if (f->out == nullptr || n < 0) return -1;
    const auto count = static_cast<std::size_t>(n);
    try {
        if (f->pos + count > f->out->size()) f->out->resize(f->pos + count);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    std::memcpy(f->out->data() + f->pos, buf, count);
    f->pos += count;
    return n;
}

toff_t SeekProc(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<MemFile*>(h);
    uint64_t base = 0;
    if (whence == SEEK_CUR) base = f->pos;
    if (whence == SEEK_END) base = Extent(f);
    const uint64_t target = base + off;
    // Reading never moves past the end; writing may (the gap is zero-filled
    // by the next write).
    if (target < base || (f->out == nullptr && target > f->size) || target > (uint64_t{1} << 40)) {
        return static_cast<toff_t>(-1);
    }
    f->pos = static_cast<std::size_t>(target);
    return target;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return Extent(static_cast<MemFile*>(h)); }

int MapProc(thandle_t h, void** base, toff_t* size) {
    auto* f = static_cast<MemFile*>(h);
    if (f->out != nullptr) return 0;
    *base = const_cast<uint8_t*>(f->data);
    *size = f->size;
    return 1;
}

void UnmapProc(thandle_t, void*, toff_t) {}

// TIFF handles with options that route messages into `f`.
TIFF* OpenMem(MemFile* f, const char* mode) {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (opts == nullptr) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, OnError, f);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, OnWarning, f);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t{1} << 30);
    TIFF* tif = TIFFClientOpenExt("memory", mode, f, ReadProc, WriteProc, SeekProc, CloseProc,
                                  SizeProc, MapProc, UnmapProc, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

bool Fail(std::string* error, const std::string& what, const MemFile& f) {
    *error = what;
    if (!f.message.empty()) *error += " (" + f.message + ")";
    return false;
}

}  // namespace

bool EncodeTiffFloat(int width, int height, const float* values, std::vector<uint8_t>* out,
                     std::string* error) {
    if (width <= 0 || height <= 0 || values == nullptr) {
        *error = "nothing to encode";
        return false;
    }
    out->clear();
    MemFile f;
    f.out = out;
    TIFF* tif = OpenMem(&f, "wl");
    if (tif == nullptr) return Fail(error, "cannot create a TIFF writer", f);
    const uint32_t rows_per_strip =
        std::max<uint32_t>(1, static_cast<uint32_t>(65536 / (static_cast<uint64_t>(width) * 4)));
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width)) &&
              TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height)) &&
              TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1) &&
              TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 32) &&
              TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP) &&
              TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) &&
              TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
    const std::size_t row = static_cast<std::size_t>(width);
    for (int y = 0; ok && y < height; ++y) {
        ok = TIFFWriteScanline(tif, const_cast<float*>(values + row * static_cast<std::size_t>(y)),
                               static_cast<uint32_t>(y), 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(tif) == 1;
    TIFFClose(tif);
    if (!ok) {
        out->clear();
        return Fail(error, "cannot encode TIFF", f);
    }
    return true;
}

bool DecodeTiffFloat(const uint8_t* data, std::size_t size, int* width, int* height,
                     std::vector<float>* values, std::string* error) {
    if (size < 8 || !((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'))) {
        *error = "not a TIFF file (bad byte-order mark)";
        return false;
    }
    MemFile f;
    f.data = data;
    f.size = size;
    TIFF* tif = OpenMem(&f, "r");
    if (tif == nullptr) return Fail(error, "damaged TIFF", f);

    uint32_t w = 0, h = 0;
    uint16_t spp = 1, bps = 1, format = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);

    std::string problem;
    uint64_t limit = static_cast<uint64_t>(size) * 4096 + 4096;
    if (w == 0 || h == 0) {
        problem = "TIFF without an image size";
    } else if (static_cast<uint64_t>(w) * h > static_cast<uint64_t>(kMaxRasterPixels)) {
        problem = "TIFF size " + std::to_string(w) + " x " + std::to_string(h) + " is too large";
    } else if (spp != 1 || bps != 32 || format != SAMPLEFORMAT_IEEEFP) {
        problem = "not a one-channel 32-bit float TIFF";
    } else if (TIFFIsTiled(tif)) {
        problem = "tiled TIFF is not supported";
    } else if (compression != COMPRESSION_NONE && compression != COMPRESSION_LZW &&
               compression != COMPRESSION_ADOBE_DEFLATE && compression != COMPRESSION_DEFLATE) {
        problem = "TIFF compression " + std::to_string(compression) + " is not supported";
    } else if (compression == COMPRESSION_NONE) {
        limit = size;
    }
    if (problem.empty() && static_cast<uint64_t>(w) * h * 4 > limit) {
        problem = "TIFF size " + std::to_string(w) + " x " + std::to_string(h) +
                  " cannot fit in a file of " + std::to_string(size) + " bytes";
    }
    if (problem.empty() && TIFFScanlineSize64(tif) != static_cast<uint64_t>(w) * 4) {
        problem = "unexpected TIFF row size";
    }
    if (!problem.empty()) {
        TIFFClose(tif);
        *error = problem;
        return false;
    }
    std::vector<float> v;
    try {
        v.resize(static_cast<std::size_t>(w) * h);
    } catch (const std::bad_alloc&) {
        TIFFClose(tif);
        *error = "cannot allocate the TIFF pixels";
        return false;
    }
    bool ok = true;
    for (uint32_t y = 0; ok && y < h; ++y) {
        ok = TIFFReadScanline(tif, v.data() + static_cast<std::size_t>(w) * y, y, 0) == 1;
    }
    TIFFClose(tif);
    if (!ok) return Fail(error, "damaged TIFF pixel data", f);
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    *values = std::move(v);
    return true;
}

}  // namespace vyxsim::fmt
