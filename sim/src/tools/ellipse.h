// Ellipses in the image: least-squares fitting to edge points and sub-pixel
// refinement of a blob's outline.
#pragma once

#include <vector>

#include <Eigen/Core>

#include "tools/raster.h"

namespace vyxsim::tools {

// The ellipse {centre + A (cos t, sin t)}: A is symmetric positive definite,
// so the parameter t runs the same way round as the image angle (u right,
// v down) and a circle on a surface facing the camera keeps its sense of
// rotation.
struct Ellipse {
    Eigen::Vector2d centre = Eigen::Vector2d::Zero();
    Eigen::Matrix2d A = Eigen::Matrix2d::Identity();

    Eigen::Vector2d At(double t, double scale = 1.0) const;
    // Radius of `p` in units of the ellipse (1 on the ellipse).
    double NormalisedRadius(const Eigen::Vector2d& p) const;
    double MeanRadius() const;  // sqrt of the product of the semi-axes, pixels
    double AxisRatio() const;   // major over minor semi-axis
};

// The ellipse whose second moments are those of a filled blob.
Ellipse EllipseFromMoments(const Eigen::Vector2d& centroid, const Eigen::Matrix2d& covariance);

// Direct least-squares ellipse fit (Fitzgibbon's constraint 4ac - b^2 = 1,
// in Halir and Flusser's stable form) to at least 6 points. False when the
// points fit no ellipse.
bool FitEllipse(const std::vector<Eigen::Vector2d>& points, Ellipse* out);

// Refines the outline of a region that is brighter (`bright_inside`) or
// darker than its surroundings: along rays from the centre, the sub-pixel
// position where the grey value crosses midway between the inside level
// (sampled within 0.5 of the outline) and the outside level (sampled between
// 1.25 and `outside` in units of the ellipse); then an ellipse fit to those
// edge points. Twice, re-centred. False when too few edges are found.
bool RefineOutline(const Grey& grey, const Ellipse& initial, bool bright_inside, double outside,
                   Ellipse* out);

}  // namespace vyxsim::tools
