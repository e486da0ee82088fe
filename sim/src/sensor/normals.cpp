// EstimateNormals: the job's plain description, and the kernel for the
// widest vector unit the processor has.
#include "sensor/normals.h"

#include <algorithm>

#include "sensor/normals_job.h"

namespace vyxsim::cam {

std::vector<NormalsKernel> SupportedNormalsKernels() {
    std::vector<NormalsKernel> kernels{NormalsKernel::kBaseline};
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    const bool fma = __builtin_cpu_supports("fma");
    if (fma && __builtin_cpu_supports("avx2")) kernels.push_back(NormalsKernel::kAvx2);
    if (fma && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vl")) {
        kernels.push_back(NormalsKernel::kAvx512);
    }
#endif
    return kernels;
}

const char* NormalsKernelName(NormalsKernel kernel) {
    switch (kernel) {
        case NormalsKernel::kAvx512: return "Avx512";
        case NormalsKernel::kAvx2: return "Avx2";
        case NormalsKernel::kBaseline: return "Baseline";
    }
    return "?";
}

void EstimateNormals(const double* zmap, int w, int h, int step, const scene::RayTable& rays, int radius,
                     const Eigen::Matrix3d& normal_map, double* normals) {
    static const NormalsKernel widest = SupportedNormalsKernels().back();
    EstimateNormals(zmap, w, h, step, rays, radius, normal_map, normals, widest);
}

void EstimateNormals(const double* zmap, int w, int h, int step, const scene::RayTable& rays, int radius,
                     const Eigen::Matrix3d& normal_map, double* normals, NormalsKernel kernel) {
    NormalsJob job;
    job.z = zmap;
    job.w = w;
    job.h = h;
    job.step = step;
    job.r = std::max(1, radius / step);
    job.ray_x = rays.x.data();
    job.ray_y = rays.y.data();
    job.ray_width = static_cast<std::size_t>(rays.width);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) job.map[3 * row + col] = normal_map(row, col);
    }
    job.identity = normal_map == Eigen::Matrix3d::Identity();
    job.rotation_only =
        (normal_map * normal_map.transpose() - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff() < 1e-12;
    // r + 1 zeros before column 0; after the last column, room for the
    // widest kernel's last block and the window's right edge beyond it.
    constexpr int kWidestBlock = 8;
    const std::size_t blocks_w = static_cast<std::size_t>((w + kWidestBlock - 1) / kWidestBlock * kWidestBlock);
    job.stride = static_cast<std::size_t>(job.r) + 1 + blocks_w + static_cast<std::size_t>(job.r) + kWidestBlock;
    std::vector<double> columns(10 * job.stride, 0.0);
    job.columns = columns.data();
    job.normals = normals;
    switch (kernel) {
        case NormalsKernel::kAvx512: NormalsAvx512(job); break;
        case NormalsKernel::kAvx2: NormalsAvx2(job); break;
        case NormalsKernel::kBaseline: NormalsBaseline(job); break;
    }
}

}  // namespace vyxsim::cam
