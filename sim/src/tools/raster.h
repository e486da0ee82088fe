// Grey images and the low-level image analysis the measurement tools share:
// conversion to grey, bilinear sampling, adaptive binarisation and connected
// components with their moments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <Eigen/Core>

#include "vyx/types.h"

namespace vyxsim::tools {

// An 8-bit grey image, row-major, packed. `data` points either into
// `storage` or at pixels owned elsewhere (a Mono8 image used in place).
struct Grey {
    int width = 0;
    int height = 0;
    const uint8_t* data = nullptr;
    std::vector<uint8_t> storage;

    std::size_t Size() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
    uint8_t At(int u, int v) const { return data[static_cast<std::size_t>(v) * static_cast<std::size_t>(width) + static_cast<std::size_t>(u)]; }
    // Bilinear value at (u, v), pixel centres at integer coordinates; NaN
    // outside the image.
    double Sample(double u, double v) const;
};

// Grey view of packed pixels of `type` (Mono8 is used in place, RGB8 and
// BGR8 are converted with the usual luma weights). False for an unknown
// type or an empty size.
bool MakeGrey(Vyx::ImageType::Enum type, Vyx::Size size, const uint8_t* pixels, Grey* out);

// Pixel classes after binarisation.
enum : uint8_t { kBright = 0, kDark = 1 };

// Marks each pixel dark when it is clearly darker than the mean of the
// square window of half-size `half_window` around it (clipped at the
// borders): g < mean - max(6, mean / 5). Everything else is bright. The
// window is placed on 4 x 4 pixel blocks (the mean of the block's window
// serves all of its pixels).
std::vector<uint8_t> Binarise(const Grey& grey, int half_window);
// The window half-size the tools use for an image of this size.
int DefaultHalfWindow(int width, int height);

// A 4-connected region of one class with its pixel moments.
struct Blob {
    uint8_t cls = kBright;
    int64_t area = 0;
    int min_u = 0, min_v = 0, max_u = 0, max_v = 0;
    bool touches_border = false;
    double su = 0, sv = 0, suu = 0, suv = 0, svv = 0;  // sums over the pixels

    Eigen::Vector2d Centroid() const { return {su / area, sv / area}; }
    // Covariance of the pixel positions (with the 1/12 of a pixel's own
    // extent added, so a filled ellipse's covariance is axes^2 / 4).
    Eigen::Matrix2d Covariance() const;
    // Area over that of the ellipse with the same second moments: about 1
    // for a filled ellipse, less for rings and irregular shapes.
    double Ellipticity() const;
};

// Connected regions of both classes of `classes` (width x height).
std::vector<Blob> FindBlobs(const std::vector<uint8_t>& classes, int width, int height);

}  // namespace vyxsim::tools
