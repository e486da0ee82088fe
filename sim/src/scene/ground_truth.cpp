// Ground truth of a scene: where its calibration board and markers are.
#include "scene/ground_truth.h"

#include "scene/marker_codes.h"

namespace vyxsim::scene {

bool BoardGroundTruth(const Scene& scene, BoardTruth* out) {
    for (std::size_t i = 0; i < scene.objects.size(); ++i) {
        const Object& o = scene.objects[i];
        if (o.shape != Shape::Board) continue;
        BoardTruth b;
        b.object = static_cast<int>(i);
        b.pose = o.pose.Matrix();
        b.cols = o.grid.cols;
        b.rows = o.grid.rows;
        b.spacing = o.grid.spacing;
        b.circle_radius = o.grid.radius;
        b.width = o.size.x();
        b.height = o.size.y();
        b.normal = -o.pose.R.col(2);
        for (int r = 0; r < o.grid.rows; ++r) {
            for (int c = 0; c < o.grid.cols; ++c) {
                Eigen::Vector3d local((c - (o.grid.cols - 1) / 2.0) * o.grid.spacing,
                                      (r - (o.grid.rows - 1) / 2.0) * o.grid.spacing, 0.0);
                b.circle_centres.push_back(o.pose.Apply(local));
            }
        }
        if (out) *out = std::move(b);
        return true;
    }
    return false;
}

std::vector<MarkerTruth> MarkersGroundTruth(const Scene& scene) {
    std::vector<MarkerTruth> out;
    const MarkerGeometry& g = scene.marker_geometry;
    for (std::size_t i = 0; i < scene.objects.size(); ++i) {
        const Object& o = scene.objects[i];
        if (o.shape != Shape::Plane && o.shape != Shape::Board) continue;
        for (const Marker& m : o.markers) {
            MarkerTruth t;
            t.object = static_cast<int>(i);
            t.kind = m.kind;
            t.word = m.word;
            t.code = CanonicalCode(m.word, g.bits);
            t.centre = o.pose.Apply({m.position.x(), m.position.y(), 0.0});
            t.normal = -o.pose.R.col(2);
            t.axis_x = o.pose.R.col(0);
            t.r0 = m.r0;
            t.r1 = m.r0 * g.r1_ratio;
            t.r2 = m.r0 * g.r2_ratio;
            out.push_back(t);
        }
    }
    return out;
}

}  // namespace vyxsim::scene
