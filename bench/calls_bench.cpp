// The stand-in SDK's own cost of the small calls bench_calls.py times through
// PyVyx: subtracted from the Python figures, what is left is the binding's
// per-call overhead.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "vyx/vyx.h"
#include "vyxsim/control.h"

namespace {

struct Setup {
    Vyx::Image image;
    Vyx::X1 camera;
    Setup() {
        vyxsim::Reset();
        if (!Vyx::SystemInit()) std::exit(1);
        image = Vyx::Image::Create(Vyx::ImageType::Mono8, Vyx::Size{640, 480}, nullptr, true);
        camera = Vyx::X1::Create(Vyx::SystemFindDevice("VX1300001"), Vyx::CameraID_Left);
        if (!image.IsValid() || !camera.Open()) {
            std::fprintf(stderr, "set-up failed: %s\n", Vyx::GetLastErrorMessage());
            std::exit(1);
        }
    }
};

const Setup& Data() {
    static const Setup* s = new Setup();
    return *s;
}

void BM_SystemIsInited(benchmark::State& state) {
    Data();
    for (auto _ : state) benchmark::DoNotOptimize(Vyx::SystemIsInited());
}

void BM_ImageIsValid(benchmark::State& state) {
    const Vyx::Image& image = Data().image;
    for (auto _ : state) benchmark::DoNotOptimize(image.IsValid());
}

void BM_X1GetProjectorTemperature(benchmark::State& state) {
    const Vyx::X1& camera = Data().camera;
    float celsius = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(camera.GetProjectorTemperature(celsius));
        benchmark::DoNotOptimize(celsius);
    }
}

}  // namespace

BENCHMARK(BM_SystemIsInited)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ImageIsValid)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_X1GetProjectorTemperature)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
