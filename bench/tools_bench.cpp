// Measurement tools on captures of the virtual devices' default scenes:
// coded-marker detection on 1.3 MP (grey) and 2.3 MP (colour) images, the
// two-camera transform between the grey device's left and right cameras,
// the accuracy test and a point-cloud transform. Reported as the median of
// five repetitions.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "vyx/vyx.h"
#include "vyxsim/control.h"

namespace {

struct Shot {
    Vyx::Image image;
    Vyx::PointMap map;
};

// One capture of a device's camera; the results are cloned so that they
// outlive the camera.
Shot Capture(const char* serial, Vyx::CameraID id) {
    Shot s;
    Vyx::X1 cam = Vyx::X1::Create(Vyx::SystemFindDevice(serial), id);
    if (!cam.Open() || !cam.Capture()) {
        std::fprintf(stderr, "capture of %s failed: %s\n", serial, Vyx::GetLastErrorMessage());
        std::exit(1);
    }
    s.image = cam.GetImage().Clone();
    s.map = cam.GetPointMap().Clone();
    cam.Close();
    Vyx::X1::Destroy(cam);
    return s;
}

struct Captures {
    Shot grey_left, grey_right, colour;
    Captures() {
        vyxsim::Reset();
        if (!Vyx::SystemInit()) std::exit(1);
        grey_left = Capture("VX1300001", Vyx::CameraID_Left);
        grey_right = Capture("VX1300001", Vyx::CameraID_Right);
        colour = Capture("VX2300002", Vyx::CameraID_Left);
    }
};

const Captures& Data() {
    static const Captures* c = new Captures();
    return *c;
}

void DetectCoded(benchmark::State& state, const Shot& shot) {
    std::vector<Vyx::CodedCircleMarker> markers(Vyx::kMaxCodedCircleMarkers);
    int count = 0;
    for (auto _ : state) {
        if (Vyx::DetectCodedCircleMarker(shot.image, Vyx::CodedCircleMarkerType(), &count, markers.data()) != 0) {
            state.SkipWithError(Vyx::GetLastErrorMessage());
            break;
        }
        benchmark::DoNotOptimize(markers.data());
    }
    state.counters["markers"] = count;
}

void BM_DetectCodedCircleMarker_Mono8_1280x1024(benchmark::State& state) { DetectCoded(state, Data().grey_left); }
void BM_DetectCodedCircleMarker_BGR8_1920x1200(benchmark::State& state) { DetectCoded(state, Data().colour); }

void BM_DetectConcentricCircleMarker3d_1280x1024(benchmark::State& state) {
    const Shot& s = Data().grey_left;
    std::vector<double> v2(Vyx::kConcentricMarker2dValues), v3(Vyx::kConcentricMarker3dValues);
    int count = 0;
    for (auto _ : state) {
        Vyx::DetectConcentricCircleMarker3d(s.image, s.map, &count, v2.data(), v3.data());
        benchmark::DoNotOptimize(v3.data());
    }
    state.counters["markers"] = count;
}

void BM_GetTwoCameraTransform_1280x1024(benchmark::State& state) {
    const Captures& d = Data();
    double r[9], t[3];
    for (auto _ : state) {
        if (Vyx::GetTwoCameraTransformByCodedCircleMarker(d.grey_left.map, d.grey_left.image, d.grey_right.map,
                                                          d.grey_right.image, Vyx::CodedCircleMarkerType(), r,
                                                          t) != 0) {
            state.SkipWithError(Vyx::GetLastErrorMessage());
            break;
        }
        benchmark::DoNotOptimize(r);
    }
}

void BM_TestAccuracy_1280x1024(benchmark::State& state) {
    const Shot& s = Data().grey_left;
    std::vector<float> c2(2 * 99), c3(3 * 99);
    float error = 0, flatness = 0;
    for (auto _ : state) {
        if (Vyx::TestAccuracy(s.image, s.map, nullptr, nullptr, 11, 9, 12.5f, c2.data(), c3.data(), error,
                              flatness) != 0) {
            state.SkipWithError(Vyx::GetLastErrorMessage());
            break;
        }
        benchmark::DoNotOptimize(c3.data());
    }
}

void BM_TransformPointCloud_1280x1024(benchmark::State& state) {
    Vyx::PointMap map = Data().grey_left.map.Clone();
    const double r[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1}, t[3] = {0.01, 0.02, 0.03};
    for (auto _ : state) {
        Vyx::TransformPointCloud(r, t, map);
        benchmark::ClobberMemory();
    }
}

#define TOOLS_BENCH(name) \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)

TOOLS_BENCH(BM_DetectCodedCircleMarker_Mono8_1280x1024);
TOOLS_BENCH(BM_DetectCodedCircleMarker_BGR8_1920x1200);
TOOLS_BENCH(BM_DetectConcentricCircleMarker3d_1280x1024);
TOOLS_BENCH(BM_GetTwoCameraTransform_1280x1024);
TOOLS_BENCH(BM_TestAccuracy_1280x1024);
TOOLS_BENCH(BM_TransformPointCloud_1280x1024);

}  // namespace

BENCHMARK_MAIN();
