// The stand-in's sensor steps on one rendered frame of the first default
// device (1280 x 1024): the 3D measurement without and with normals, the
// normals alone, and the 2D image. These are what a capture spends its time
// on once its frame is cached. Linked against the library's objects (the
// sensor layer is internal).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "camera/capture.h"
#include "core/device_registry.h"
#include "rendering/frame_cache.h"
#include "scene/device_scenes.h"
#include "sensor/image.h"
#include "sensor/measurement.h"
#include "sensor/normals.h"

namespace {

using namespace vyxsim;

struct Rig {
    std::shared_ptr<DeviceRecord> device;
    std::shared_ptr<const scene::Frame> frame;
    std::shared_ptr<const scene::RayTable> rays;
    cam::Optics optics;
};

const Rig& TheRig() {
    static Rig* rig = [] {
        auto* r = new Rig();
        std::string why;
        if (!EnsureDevicesLoaded(&why) || AllDevices().empty()) {
            std::fprintf(stderr, "no devices: %s\n", why.c_str());
            std::exit(1);
        }
        r->device = AllDevices()[0];
        r->frame = cam::RenderCamera("bench", r->device, r->device->left, 1, nullptr);
        r->rays = scene::RaysFor(r->device->left);
        if (!r->frame || !r->rays) std::exit(1);
        r->optics = cam::OpticsFor(*r->device, r->device->left, r->rays.get());
        return r;
    }();
    return *rig;
}

struct Outputs {
    std::vector<double> points, normals, depth, confidence;
    explicit Outputs(std::size_t n)
        : points(3 * n, std::numeric_limits<double>::quiet_NaN()),
          normals(3 * n),
          depth(n),
          confidence(n) {}
    cam::Out3D Get(bool with_normals) {
        return {points.data(), with_normals ? normals.data() : nullptr, depth.data(), confidence.data()};
    }
};

void Measure(benchmark::State& state, bool normals) {
    const Rig& rig = TheRig();
    Outputs out(rig.frame->Size());
    cam::Params3D p;
    p.exposures.push_back({});
    p.calc_normal = normals;
    uint64_t i = 0;
    for (auto _ : state) {
        cam::Compute3D(*rig.frame, rig.optics, p, cam::MakeNoiseStream("bench", 0, ++i, 1), out.Get(normals));
        benchmark::ClobberMemory();
    }
}

void BM_Compute3D_1280x1024(benchmark::State& state) { Measure(state, false); }
void BM_Compute3D_Normals_1280x1024(benchmark::State& state) { Measure(state, true); }

// The normals alone, on each kernel this processor runs (captures use the
// widest).
void EstimateNormalsWith(benchmark::State& state, cam::NormalsKernel kernel) {
    const Rig& rig = TheRig();
    const scene::Frame& f = *rig.frame;
    std::vector<double> z(f.Size()), normals(3 * f.Size());
    for (std::size_t k = 0; k < f.Size(); ++k) z[k] = f.irradiance[k] > 0.0f ? f.depth[k] : std::nan("");
    for (auto _ : state) {
        cam::EstimateNormals(z.data(), f.width, f.height, 1, *rig.rays, 5, Eigen::Matrix3d::Identity(),
                             normals.data(), kernel);
        benchmark::ClobberMemory();
    }
}


void Shade(benchmark::State& state, bool color) {
    const Rig& rig = TheRig();
    std::vector<uint8_t> image(3 * rig.frame->Size());
    cam::Sensor sensor;
    sensor.color = color;
    uint64_t i = 0;
    for (auto _ : state) {
        cam::Shade2D(*rig.frame, cam::Params2D{}, sensor, cam::MakeNoiseStream("bench", 0, ++i, 2), image.data());
        benchmark::ClobberMemory();
    }
}

void BM_Shade2D_Mono8_1280x1024(benchmark::State& state) { Shade(state, false); }
void BM_Shade2D_BGR8_1280x1024(benchmark::State& state) { Shade(state, true); }

#define SENSOR_BENCH(name) \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)

SENSOR_BENCH(BM_Compute3D_1280x1024);
SENSOR_BENCH(BM_Compute3D_Normals_1280x1024);
const bool kNormalsRegistered = [] {
    for (const cam::NormalsKernel k : cam::SupportedNormalsKernels()) {
        const std::string name = std::string("BM_EstimateNormals_") + cam::NormalsKernelName(k) + "_1280x1024";
        benchmark::RegisterBenchmark(name.c_str(), EstimateNormalsWith, k)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    }
    return true;
}();
SENSOR_BENCH(BM_Shade2D_Mono8_1280x1024);
SENSOR_BENCH(BM_Shade2D_BGR8_1280x1024);

}  // namespace

BENCHMARK_MAIN();
