// Vyx::Compensator_FixedMarkers: keeps point maps registered against coded
// markers fixed in the scene.
//
// Initialize stores the markers' surface points (by code) as the reference.
// Update finds them again and estimates the rigid drift D, reference frame to
// current frame (p_now = R p_ref + t), as the two-camera transform does.
// Apply maps a point map back into the reference frame with the inverse of D.
#include <cmath>
#include <cstdint>
#include <map>
#include <mutex>
#include <new>

#include "core/call.h"
#include "core/error.h"
#include "tools/support.h"
#include "vyx/tools.h"

namespace Vyx {

using vyxsim::Enter;
using vyxsim::Gate;
namespace tools = vyxsim::tools;

struct Compensator_FixedMarkers::State {
    std::mutex mutex;
    bool initialised = false;
    std::map<uint32_t, Eigen::Vector3d> reference;  // code -> surface point, metres
    tools::Rigid drift;                              // reference frame -> current frame
};

// Construction and destruction need no initialised system; both are traced
// with the object's address so that callers can pair them. Neither lets an
// exception out: a constructor cannot report failure by its result, so it
// sets the last error and leaves an object whose calls fail (kInternal) when
// its state could not be allocated.
Compensator_FixedMarkers::Compensator_FixedMarkers() : state_(new (std::nothrow) State) {
    try {
        vyxsim::TraceCall("Compensator_FixedMarkers::Compensator_FixedMarkers",
                          {{"object", reinterpret_cast<uintptr_t>(this)}});
        if (!state_) throw std::bad_alloc();
    } catch (...) {
        vyxsim::FailUnexpected();
    }
}

Compensator_FixedMarkers::~Compensator_FixedMarkers() {
    try {
        vyxsim::TraceCall("Compensator_FixedMarkers::~Compensator_FixedMarkers",
                          {{"object", reinterpret_cast<uintptr_t>(this)}});
    } catch (...) {
        vyxsim::FailUnexpected();
    }
    delete state_;
}

namespace {

// The markers of the default geometry seen in `image`, lifted through `map`,
// by code (codes seen more than once and markers without a surface point are
// left out). False with the last error set when the arguments are unusable.
bool MarkersByCode(const char* op, const PointMap& map, const Image& image,
                   std::map<uint32_t, Eigen::Vector3d>* out) {
    tools::GreyInput in;
    std::shared_ptr<vyxsim::PointMapObj> pm;
    if (!tools::ReadPointMap(op, "point map", map, &pm) || !tools::ReadImage(op, "image", image, &in) ||
        !tools::SameSize(op, in, *pm)) {
        return false;
    }
    const tools::RingGeometry geo;  // the default CodedCircleMarkerType
    for (const auto& m : tools::UniqueCodes(tools::LiftMarkers(tools::DetectCodedMarkers(in.grey, geo), *pm))) {
        if (m.lifted) (*out)[m.marker.code] = m.point;
    }
    return true;
}

// False, with kInternal set, for a compensator whose state could not be
// allocated when it was constructed.
bool HasState(const void* state, const char* op) {
    if (state) return true;
    return vyxsim::Fail(false, vyxsim::kInternal, std::string(op) + ": internal error: out of memory");
}

}  // namespace

int Compensator_FixedMarkers::Initialize(const PointMap& map, const Image& image, int min_markers) try {
    static const char* const op = "Compensator_FixedMarkers::Initialize";
    const Gate g = Enter(op, {{"map", HandleAccess::Get(map)},
                              {"image", HandleAccess::Get(image)},
                              {"min_markers", min_markers}});
    if (g == Gate::Fail) return -tools::LastCode();
    if (!HasState(state_, op)) return -static_cast<int>(vyxsim::kInternal);
    return tools::Guarded(op, -static_cast<int>(vyxsim::kInvalidArgument), [&]() -> int {
        std::map<uint32_t, Eigen::Vector3d> found;
        if (!MarkersByCode(op, map, image, &found)) return -tools::LastCode();
        const int need = std::max(3, min_markers);
        const int count = static_cast<int>(found.size());
        if (count < need) {
            vyxsim::SetLastError(vyxsim::kNoResult, std::string(op) + ": found " + std::to_string(count) +
                                                         " coded markers with surface points, " + std::to_string(need) +
                                                         " are needed");
            return -vyxsim::kNoResult;
        }
        std::vector<Eigen::Vector3d> pts;
        for (const auto& kv : found) pts.push_back(kv.second);
        if (tools::LateralSpread(pts) < tools::kMarkerInlierDistance) {
            vyxsim::SetLastError(vyxsim::kNoResult, std::string(op) + ": the markers found lie on a line");
            return -vyxsim::kNoResult;
        }
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            state_->reference = std::move(found);
            state_->drift = tools::Rigid();
            state_->initialised = true;
        }
        if (g == Gate::FailAfterWork) {
            vyxsim::SetInjectedError(op);
            return -tools::LastCode();
        }
        return count;
    });
} catch (...) {
    return vyxsim::FailUnexpected(-static_cast<int>(vyxsim::kInternal));
}

int Compensator_FixedMarkers::Update(const PointMap& map, const Image& image, double& drift) try {
    static const char* const op = "Compensator_FixedMarkers::Update";
    const Gate g = Enter(op, {{"map", HandleAccess::Get(map)}, {"image", HandleAccess::Get(image)}});
    if (g == Gate::Fail) return 0;
    if (!HasState(state_, op)) return 0;
    return tools::Guarded(op, 0, [&]() -> int {
        std::map<uint32_t, Eigen::Vector3d> reference;
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            if (!state_->initialised) {
                return vyxsim::Fail(0, vyxsim::kWrongState, std::string(op) + ": the compensator is not initialised");
            }
            reference = state_->reference;
        }
        std::map<uint32_t, Eigen::Vector3d> found;
        if (!MarkersByCode(op, map, image, &found)) return 0;
        std::vector<Eigen::Vector3d> src, dst;
        for (const auto& kv : found) {
            auto it = reference.find(kv.first);
            if (it == reference.end()) continue;
            src.push_back(it->second);
            dst.push_back(kv.second);
        }
        tools::RobustRigid fit;
        if (src.size() < 3 || !tools::FitRigidRobust(src, dst, tools::kMarkerInlierDistance, &fit)) {
            return vyxsim::Fail(0, vyxsim::kNoResult,
                                std::string(op) + ": " + std::to_string(src.size()) + " of the " +
                                    std::to_string(reference.size()) +
                                    " reference markers were found, and at least 3 that agree on a rigid motion are "
                                    "needed");
        }
        // RMS displacement the drift gives the reference markers, millimetres.
        double sq = 0.0;
        for (const auto& kv : reference) sq += (fit.transform.Apply(kv.second) - kv.second).squaredNorm();
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            state_->drift = fit.transform;
        }
        drift = 1000.0 * std::sqrt(sq / static_cast<double>(reference.size()));
        if (g == Gate::FailAfterWork) return vyxsim::FailInjected(0, op);
        return 1;
    });
} catch (...) {
    return vyxsim::FailUnexpected(0);
}

int Compensator_FixedMarkers::Apply(PointMap& map) try {
    static const char* const op = "Compensator_FixedMarkers::Apply";
    const Gate g = Enter(op, {{"map", HandleAccess::Get(map)}});
    if (g == Gate::Fail) return 0;
    if (!HasState(state_, op)) return 0;
    return tools::Guarded(op, 0, [&]() -> int {
        tools::Rigid inverse;
        {
            std::lock_guard<std::mutex> lock(state_->mutex);
            if (!state_->initialised) {
                return vyxsim::Fail(0, vyxsim::kWrongState, std::string(op) + ": the compensator is not initialised");
            }
            inverse = state_->drift.Inverse();
        }
        std::shared_ptr<vyxsim::PointMapObj> pm;
        if (!tools::ReadPointMap(op, "point map", map, &pm)) return 0;
        tools::TransformPoints(*pm, inverse.R, inverse.t);
        if (g == Gate::FailAfterWork) return vyxsim::FailInjected(0, op);
        return 1;
    });
} catch (...) {
    return vyxsim::FailUnexpected(0);
}

}  // namespace Vyx
