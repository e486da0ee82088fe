// Captures of replay devices.
#include "camera/replay.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "camera/session.h"
#include "camera/transform.h"
#include "core/error.h"
#include "recording/recording.h"
#include "recording/replay.h"
#include "rendering/projection.h"
#include "sensor/measurement.h"

namespace vyxsim::cam {

namespace {

std::string ReplayText(const DeviceRecord& d) {
    return "replay device '" + Printable(d.serial, 40) + "' (recording '" + Printable(d.replay->recording().folder, 120) + "')";
}

}  // namespace

bool NeedsScene(const char* op, const DeviceRecord& d) {
    if (!IsReplay(d)) return true;
    return Fail(false, kUnsupported, std::string(op) + ": " + ReplayText(d) +
                                         " is a replay device: it hands out recorded frames and has no scene to do this with");
}

bool ReplayOpens(const char* op, const DeviceRecord& d, bool x2, Vyx::CameraID camid) {
    if (!IsReplay(d)) return true;
    const rec::Recording& r = d.replay->recording();
    const std::string recorded = r.x2 ? "X2" : (r.camera_id == Vyx::CameraID_Left ? "X1 (CameraID_Left)" : "X1 (CameraID_Right)");
    if (x2 == r.x2 && (x2 || camid == r.camera_id)) return true;
    const std::string asked = x2 ? "X2" : (camid == Vyx::CameraID_Left ? "X1 (CameraID_Left)" : "X1 (CameraID_Right)");
    return Fail(false, kUnsupported, std::string(op) + ": " + ReplayText(d) + " was recorded as " + recorded +
                                         " and cannot be opened as " + asked);
}

Vyx::ImageType::Enum ImageTypeOf(const DeviceRecord& d) {
    if (IsReplay(d)) return d.replay->recording().image_type;
    return d.color ? Vyx::ImageType::BGR8 : Vyx::ImageType::Mono8;
}

void WriteCalibration(const DeviceRecord& d, int index, const CameraModel& m, float* k9, float* d5, float* m16) {
    if (IsReplay(d)) {
        const rec::Recording& r = d.replay->recording();
        if (index == 0 ? r.has_left : (index == 1 && r.has_right)) {
            const rec::Calibration& c = index == 0 ? r.left : r.right;
            if (k9) std::copy(c.camera_matrix.begin(), c.camera_matrix.end(), k9);
            if (d5) std::copy(c.distortion.begin(), c.distortion.end(), d5);
            if (m16) std::copy(c.extrinsic.begin(), c.extrinsic.end(), m16);
            return;
        }
    }
    const double k[9] = {m.fx, 0.0, m.cx, 0.0, m.fy, m.cy, 0.0, 0.0, 1.0};
    if (k9) std::copy(std::begin(k), std::end(k), k9);
    if (d5) std::copy(m.distortion.begin(), m.distortion.begin() + 5, d5);
    if (m16) std::copy(m.pose.begin(), m.pose.begin() + 16, m16);
}

bool LastReplayTimestamp(const DeviceRecord& d, uint64_t* us) {
    if (!IsReplay(d)) return false;
    const rec::ReplayStatus s = d.replay->Status();
    if (s.last_frame < 0) return false;
    *us = s.last_timestamp_us;
    return true;
}

bool ReplayOutputX1(const char* op, const DeviceRecord& d, const Vyx::X1::CustomTransformOptions& ct,
                    Eigen::Matrix4d* out) {
    switch (ct.coordinate_select) {
        case Vyx::X1::CustomTransformOptions::CoordinateSelect_Camera: *out = TransformMatrix(ct.transform); return true;
        case Vyx::X1::CustomTransformOptions::CoordinateSelect_CaliBoard: return NeedsScene(op, d);
        default: *out = Eigen::Matrix4d::Identity(); return true;
    }
}

bool ReplayOutputX2(const char* op, const DeviceRecord& d, const Vyx::X2::CustomTransformOptions& ct,
                    Eigen::Matrix4d* out) {
    using CT = Vyx::X2::CustomTransformOptions;
    switch (ct.coordinate_select) {
        case CT::CoordinateSelect_CameraLeft: *out = TransformMatrix(ct.transform); return true;
        case CT::CoordinateSelect_CameraRight:
            // Recorded points are in the left camera's frame.
            *out = TransformMatrix(ct.transform) * scene::DeviceToCamera(d.right) * scene::CameraToDevice(d.left);
            return true;
        case CT::CoordinateSelect_Disabled: *out = Eigen::Matrix4d::Identity(); return true;
        default:
            if (ct.coordinate_select == CT::CoordinateSelect_CaliBoard) return NeedsScene(op, d);
            return NoExtraRecorded(op, d);
    }
}

bool NoExtraRecorded(const char* op, const DeviceRecord& d) {
    return Fail(false, kUnsupported, std::string(op) + ": " + ReplayText(d) + " has no recording of the extra camera");
}

void ReplayShot::Release() {
    for (const Words& w : images) {
        if (!w.IsZero()) RemoveObject(Kind::Image, w);
    }
    if (!points.IsZero()) RemoveObject(Kind::PointMap, points);
    if (!depth.IsZero()) RemoveObject(Kind::DepthMap, depth);
    if (!confidence.IsZero()) RemoveObject(Kind::ConfidenceMap, confidence);
    if (!correspond.IsZero()) RemoveObject(Kind::CorrespondMap, correspond);
    *this = ReplayShot{};
}

bool TakeReplayFrame(const char* op, const DeviceRecord& d, const Params3D* params, unsigned images, ReplayShot* shot) {
    rec::Replay& replay = *d.replay;
    const rec::Recording& r = replay.recording();
    if (!replay.Begin(&shot->index, &shot->ticket)) {
        return Fail(false, kNotAvailable, std::string(op) + ": replay device '" + Printable(d.serial, 40) +
                                              "' has handed out all " + std::to_string(r.frames.size()) + " frames of '" +
                                              Printable(r.folder, 120) + "' (at_end is \"fail\")");
    }
    rec::FrameData data;
    rec::FramePart part;
    part.maps = params != nullptr;
    part.images = images;
    std::string why;
    if (!rec::ReadFrame(r, shot->index, part, &data, &why)) {
        return Fail(false, kBadFile, std::string(op) + ": " + ReplayText(d) + ", frame " + std::to_string(shot->index) +
                                         ": " + why);
    }
    const Vyx::Size size{r.width, r.height};
    const std::size_t n = r.Pixels();
    bool ok = true;
    if (params) {
        shot->points = NewPointMap(r.normals ? Vyx::PointMapType::PointsNormals : Vyx::PointMapType::PointsOnly, size,
                                   &shot->points_obj);
        ok = !shot->points.IsZero();
        // The recorded frame overwrites every value of these maps and images.
        if (ok) shot->depth = NewMap(Kind::DepthMap, size, &shot->depth_obj, false);
        ok = ok && !shot->depth.IsZero();
        if (ok) shot->confidence = NewMap(Kind::ConfidenceMap, size, &shot->confidence_obj, false);
        ok = ok && !shot->confidence.IsZero();
        if (ok && r.x2) {
            shot->correspond = NewMap(Kind::CorrespondMap, size, &shot->correspond_obj, false);
            ok = !shot->correspond.IsZero();
        }
    }
    for (int i = 0; i < 2 && ok; ++i) {
        if (!(images & (1u << i)) || (!r.x2 && i == 1)) continue;
        shot->images[static_cast<std::size_t>(i)] = NewImage(r.image_type, size, &shot->image_objs[static_cast<std::size_t>(i)], false);
        ok = !shot->images[static_cast<std::size_t>(i)].IsZero();
    }
    if (!ok) {
        shot->Release();  // the factory has set the last error
        return false;
    }
    if (params) {
        std::copy(data.points.begin(), data.points.begin() + static_cast<std::ptrdiff_t>(3 * n), shot->points_obj->points);
        if (r.normals) std::copy(data.points.begin() + static_cast<std::ptrdiff_t>(3 * n), data.points.end(), shot->points_obj->normals);
        std::copy(data.depth.begin(), data.depth.end(), shot->depth_obj->data);
        std::copy(data.confidence.begin(), data.confidence.end(), shot->confidence_obj->data);
        if (r.x2) std::copy(data.correspondence.begin(), data.correspondence.end(), shot->correspond_obj->data);
        Out3D out;
        out.points = shot->points_obj->points;
        out.normals = shot->points_obj->normals;
        out.depth = shot->depth_obj->data;
        out.confidence = shot->confidence_obj->data;
        FilterMeasured(r.width, r.height, *params, out);
        shot->points_obj->timestamp.store(r.frames[shot->index].timestamp_us);
    }
    for (std::size_t i = 0; i < 2; ++i) {
        if (shot->image_objs[i]) std::memcpy(shot->image_objs[i]->data, data.images[i].data(), data.images[i].size());
    }
    return true;
}

void ReplayHandedOut(const DeviceRecord& d, const ReplayShot& shot) { d.replay->Commit(shot.index, shot.ticket); }

}  // namespace vyxsim::cam
