// The circle grid of a calibration board: dark circles on a bright board,
// in rows and columns.
#pragma once

#include <string>
#include <vector>

#include <Eigen/Core>

#include "tools/ellipse.h"
#include "tools/raster.h"

namespace vyxsim::tools {

// Dark filled elliptical blobs with refined outlines.
std::vector<Ellipse> FindDarkCircles(const Grey& grey);

struct CircleGrid {
    int cols = 0;
    int rows = 0;
    // Centres (pixels), row by row. Columns run along the lattice axis that
    // points right in the image (its u component positive), rows along the
    // other axis, turned so that columns x rows has the image's own sense of
    // rotation (u into v): for a board facing the camera and turned less than
    // 90 degrees in the image, row 0 / column 0 is the board's -y / -x corner.
    std::vector<Eigen::Vector2d> centres;
    std::vector<double> radii;       // mean radius of each circle, pixels
};

// Finds the grid among the dark circles: a lattice grown from the circle
// whose neighbours show two clear lattice directions, following each step to
// the next circle (which lets the lattice bend with perspective). With
// `cols` and `rows` > 0 the lattice found must be complete with exactly that
// many circles along its two axes (in either order: the axis with `cols`
// circles becomes the column axis); with both 0 it is taken as found (at
// least 3 x 3, complete, columns along the axis nearer the image's u).
// False, with the reason in `why`, when no such grid is found.
bool FindCircleGrid(const Grey& grey, int cols, int rows, CircleGrid* out, std::string* why);

}  // namespace vyxsim::tools
