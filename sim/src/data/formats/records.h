// Writing many small records (points, vertices, faces) through a Sink: a
// chunk buffer, and the point records both point-cloud formats write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "data/formats/cloud.h"
#include "data/formats/io.h"
#include "data/formats/text.h"

namespace vyxsim::fmt {

// Room one record may take: sixteen formatted numbers.
constexpr std::size_t kRecordRoom = 16 * kMaxNumberChars;

// A 1 MiB buffer that hands full chunks to the sink. The writer puts a
// record at At() (at most kRecordRoom bytes) and then reports its end to
// Advance(). The constructor throws std::bad_alloc when memory runs out.
class Chunks {
public:
    static constexpr std::size_t kChunk = std::size_t{1} << 20;

    explicit Chunks(Sink& sink) : sink_(sink) { buf_.resize(kChunk + kRecordRoom); }
    char* At() { return buf_.data() + used_; }
    // Records that the writer advanced to `p`; flushes a full chunk.
    bool Advance(char* p) {
        used_ = static_cast<std::size_t>(p - buf_.data());
        return used_ < kChunk || Flush();
    }
    bool Flush() {
        const bool ok = used_ == 0 || sink_.Write(buf_.data(), used_);
        used_ = 0;
        return ok;
    }

private:
    Sink& sink_;
    std::vector<char> buf_;
    std::size_t used_ = 0;
};

// The colour of point i as R, G, B.
inline void ColorOf(const ColorSource& src, std::size_t i, uint8_t* rgb) {
    if (src.channels == 1) {
        rgb[0] = rgb[1] = rgb[2] = src.pixels[i];
        return;
    }
    const uint8_t* p = src.pixels + 3 * i;
    rgb[0] = src.bgr ? p[2] : p[0];
    rgb[1] = p[1];
    rgb[2] = src.bgr ? p[0] : p[2];
}

// The points of `cloud`, one record each: x y z multiplied by the cloud's
// scale, the normal when the cloud has normals, then, when it has colours,
// what `put_color(p, i, binary)` writes at p for point i (returning the new
// end; a text colour ends with a space). Binary records hold the doubles'
// bytes (little-endian hosts); text records are numbers separated by spaces
// and ended by a newline.
template <class PutColor>
bool WritePointRecords(const CloudView& cloud, bool binary, Sink& sink, std::string* error,
                       PutColor put_color) {
    const std::size_t n = static_cast<std::size_t>(cloud.width) * static_cast<std::size_t>(cloud.height);
    const bool normals = cloud.normals != nullptr;
    const bool colors = cloud.colors.pixels != nullptr;
    try {
        Chunks out(sink);
        for (std::size_t i = 0; i < n; ++i) {
            const double* pt = cloud.points + 3 * i;
            const double xyz[3] = {pt[0] * cloud.scale, pt[1] * cloud.scale, pt[2] * cloud.scale};
            char* p = out.At();
            if (binary) {
                std::memcpy(p, xyz, 24);
                p += 24;
                if (normals) {
                    std::memcpy(p, cloud.normals + 3 * i, 24);
                    p += 24;
                }
            } else {
                for (double v : xyz) {
                    p = PutDouble(p, v);
                    *p++ = ' ';
                }
                if (normals) {
                    for (std::size_t k = 0; k < 3; ++k) {
                        p = PutDouble(p, cloud.normals[3 * i + k]);
                        *p++ = ' ';
                    }
                }
            }
            if (colors) p = put_color(p, i, binary);
            if (!binary) p[-1] = '\n';
            if (!out.Advance(p)) return Bad(error, "write failed");
        }
        if (!out.Flush()) return Bad(error, "write failed");
    } catch (const std::bad_alloc&) {
        return Bad(error, "out of memory");
    }
    return true;
}

}  // namespace vyxsim::fmt
