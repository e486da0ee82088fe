// The ray-cast renderer.
#include "rendering/render.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "rendering/projection.h"
#include "rendering/tracer.h"

namespace vyxsim::scene {

bool Render(const Scene& scene, const RenderSetup& setup, Frame* out) {
    if (!setup.camera || !out) return false;
    const CameraModel& cam = *setup.camera;
    auto rays = RaysFor(cam);
    if (!rays) return false;
    const int step = std::max(1, setup.step);
    const int fw = (cam.width + step - 1) / step, fh = (cam.height + step - 1) / step;
    Frame& f = *out;
    f.width = fw;
    f.height = fh;
    f.step = step;
    const std::size_t n = f.Size();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    f.depth.assign(n, nan);
    f.irradiance.assign(n, 0.0f);
    f.proj_u.assign(n, nan);
    f.proj_v.assign(n, nan);
    f.albedo.assign(3 * n, 0);
    f.view_cos.assign(n, 0);
    f.object.assign(n, 0);

    const Eigen::Matrix4d dev_to_cam = DeviceToCamera(cam);
    Tracer tracer(scene, dev_to_cam);

    // The projector in this camera's frame.
    const bool have_projector = setup.projector && setup.projector->width > 0 &&
                                setup.projector->fx > 0.0 && setup.projector->fy > 0.0;
    Eigen::Matrix4d cam_to_proj = Eigen::Matrix4d::Identity();
    Eigen::Vector3d proj_centre = Eigen::Vector3d::Zero();
    if (have_projector) {
        cam_to_proj = DeviceToCamera(*setup.projector) * CameraToDevice(cam);
        const Eigen::Vector4d c = dev_to_cam * CameraCentre(*setup.projector).homogeneous();
        proj_centre = c.head<3>();
    }
    const Eigen::Matrix3d Rp = cam_to_proj.block<3, 3>(0, 0);
    const Eigen::Vector3d tp = cam_to_proj.block<3, 1>(0, 3);
    const double dref2 = setup.reference_distance * setup.reference_distance;
    const double inf = std::numeric_limits<double>::infinity();
    const double pixel_angle = step / cam.fx;

    const int row_begin = std::max(0, setup.row_begin);
    const int row_end = setup.row_end < 0 ? cam.height : std::min(cam.height, setup.row_end);
    for (int j = 0; j < fh; ++j) {
        const int v = j * step;
        if (v < row_begin || v >= row_end) continue;
        for (int i = 0; i < fw; ++i) {
            const int u = i * step;
            const std::size_t ri = static_cast<std::size_t>(v) * static_cast<std::size_t>(cam.width) + static_cast<std::size_t>(u);
            const Eigen::Vector3d d(rays->x[ri], rays->y[ri], 1.0);
            Hit hit;
            if (!tracer.Intersect(Eigen::Vector3d::Zero(), d, 0.0, inf, &hit)) continue;
            const std::size_t k = static_cast<std::size_t>(j) * static_cast<std::size_t>(fw) + static_cast<std::size_t>(i);
            const Eigen::Vector3d p = hit.t * d;
            Eigen::Vector3d nrm = hit.normal;
            const double dlen = d.norm();
            double cos_view = -nrm.dot(d) / dlen;
            if (cos_view < 0.0) {  // seen from inside: face the camera
                nrm = -nrm;
                cos_view = -cos_view;
            }
            f.depth[k] = static_cast<float>(hit.t);
            f.view_cos[k] = static_cast<uint8_t>(std::lround(std::clamp(cos_view, 0.0, 1.0) * 255.0));
            f.object[k] = static_cast<uint16_t>(std::min(hit.object + 1, 65535));
            const double footprint = 0.5 * hit.t * dlen * pixel_angle / std::max(cos_view, 0.25);
            const Rgb a = tracer.Albedo(hit, footprint);
            f.albedo[3 * k + 0] = static_cast<uint8_t>(std::lround(std::clamp(a.r, 0.0, 1.0) * 255.0));
            f.albedo[3 * k + 1] = static_cast<uint8_t>(std::lround(std::clamp(a.g, 0.0, 1.0) * 255.0));
            f.albedo[3 * k + 2] = static_cast<uint8_t>(std::lround(std::clamp(a.b, 0.0, 1.0) * 255.0));

            if (!have_projector) {
                f.irradiance[k] = 1.0f;
                continue;
            }
            // Projector light: inside its field, on the side facing it, and
            // not blocked on the way.
            const Eigen::Vector3d pp = Rp * p + tp;
            Eigen::Vector2d px;
            if (!ProjectCamera(*setup.projector, pp, &px)) continue;
            if (px.x() < -0.5 || px.y() < -0.5 || px.x() > setup.projector->width - 0.5 ||
                px.y() > setup.projector->height - 0.5) {
                continue;
            }
            const Eigen::Vector3d to_proj = proj_centre - p;
            const double dist2 = to_proj.squaredNorm();
            const double cos_p = nrm.dot(to_proj) / std::sqrt(dist2);
            if (cos_p <= 0.0) continue;
            const Eigen::Vector3d start = p + nrm * 1e-7;
            if (tracer.Occluded(start, proj_centre - start, 1e-9, 1.0 - 1e-9)) continue;
            f.irradiance[k] = static_cast<float>(cos_p * dref2 / dist2);
            f.proj_u[k] = static_cast<float>(px.x());
            f.proj_v[k] = static_cast<float>(px.y());
        }
    }
    return true;
}

}  // namespace vyxsim::scene
