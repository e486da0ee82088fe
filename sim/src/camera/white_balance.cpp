// White balance of a colour device: the ratios as set, and the grey-world
// balance AutoWhiteBalance computes (white_balance.h).
#include "camera/white_balance.h"

#include <algorithm>
#include <string>

#include "camera/session.h"
#include "core/error.h"

namespace vyxsim::cam {

namespace {

int Channel(Vyx::BalanceSelector s) {
    switch (s) {
        case Vyx::BalanceSelector_Red: return 0;
        case Vyx::BalanceSelector_Green: return 1;
        case Vyx::BalanceSelector_Blue: return 2;
        default: return -1;
    }
}

bool BalanceUsable(const char* op, const DeviceRecord& d, Vyx::BalanceSelector s, int* channel) {
    if (!d.color) return Fail(false, kUnsupported, std::string(op) + ": " + DeviceText(d) + " has grey cameras; white balance needs colour");
    *channel = Channel(s);
    if (*channel < 0) {
        return Fail(false, kInvalidArgument, std::string(op) + ": selector " + std::to_string(static_cast<int>(s)) +
                                                 " is not BalanceSelector_Red, _Green or _Blue");
    }
    return true;
}

}  // namespace

bool SetBalance(const char* op, const DeviceRecord& d, CameraState& s, Vyx::BalanceSelector sel, float ratio) {
    int c;
    if (!BalanceUsable(op, d, sel, &c)) return false;
    if (!(ratio >= kBalanceMin && ratio <= kBalanceMax)) {
        return Fail(false, kInvalidArgument, std::string(op) + ": ratio " + std::to_string(ratio) + " is outside " +
                                                 std::to_string(kBalanceMin) + " .. " + std::to_string(kBalanceMax));
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.settings.balance[static_cast<std::size_t>(c)] = ratio;
    return true;
}

bool GetBalance(const char* op, const DeviceRecord& d, CameraState& s, Vyx::BalanceSelector sel, float* ratio) {
    int c;
    if (!BalanceUsable(op, d, sel, &c)) return false;
    std::lock_guard<std::mutex> lock(s.mutex);
    *ratio = s.settings.balance[static_cast<std::size_t>(c)];
    return true;
}

bool BalanceRange(const char* op, const DeviceRecord& d, Vyx::BalanceSelector sel, float* min, float* max) {
    int c;
    if (!BalanceUsable(op, d, sel, &c)) return false;
    *min = kBalanceMin;
    *max = kBalanceMax;
    return true;
}

bool GreyWorldBalance(const char* op, const std::vector<BalanceView>& views, const std::string& serial,
                      uint64_t capture_index, uint64_t noise_purpose, int repeats, const Params2D& p2,
                      const Sensor& sensor, const Vyx::ROI& roi, std::array<float, 3>* ratios) {
    const double sigma = kImageNoise * GainFactor(p2.gain_db);
    const std::array<float, 3>& current = sensor.balance;
    double sum[3] = {0, 0, 0};
    std::size_t count = 0;
    for (const BalanceView& view : views) {
        const scene::Frame& frame = *view.frame;
        for (int f = 0; f < repeats; ++f) {
            const NoiseStream noise =
                MakeNoiseStream(serial, view.camera_index, capture_index, noise_purpose + static_cast<uint64_t>(f));
            for (int v = 0; v < frame.height; ++v) {
                for (int u = 0; u < frame.width; ++u) {
                    if (!(roi.width == 0 && roi.height == 0) &&
                        (u < roi.x || v < roi.y || u >= roi.x + roi.width || v >= roi.y + roi.height)) {
                        continue;
                    }
                    const std::size_t k = static_cast<std::size_t>(v) * frame.width + u;
                    const std::array<double, 3> raw = RawResponse(frame, k, p2, sensor);
                    double shown_max = 0.0, shown_min = 1e9, noisy[3];
                    for (int ch = 0; ch < 3; ++ch) {
                        noisy[ch] = raw[ch] + sigma * Gaussian(noise, 3 * k + ch);
                        shown_max = std::max(shown_max, noisy[ch] * current[ch]);
                        shown_min = std::min(shown_min, noisy[ch] * current[ch]);
                    }
                    if (shown_max >= 0.98 || shown_min < 0.02) continue;
                    for (int ch = 0; ch < 3; ++ch) sum[ch] += noisy[ch];
                    ++count;
                }
            }
        }
    }
    if (count == 0 || sum[0] <= 0.0 || sum[2] <= 0.0) {
        return Fail(false, kNoResult, std::string(op) + ": no pixel in the region of interest is neither saturated nor dark");
    }
    *ratios = {static_cast<float>(sum[1] / sum[0]), 1.0f, static_cast<float>(sum[1] / sum[2])};
    for (float& r : *ratios) r = std::clamp(r, kBalanceMin, kBalanceMax);
    return true;
}

}  // namespace vyxsim::cam
