// Cover, user sets, balance, bandwidth and ROI rules of a device.
#include "camera/maintenance.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/error.h"

namespace vyxsim::cam {

namespace {

std::string Dev(const DeviceRecord& d) { return "device '" + Printable(d.serial, 40) + "'"; }

bool NoCover(const char* op, const DeviceRecord& d) {
    return Fail(false, kUnsupported, std::string(op) + ": " + Dev(d) + " has no protective cover");
}

const char* StatusName(Vyx::ProtectiveCoverStatus s) {
    switch (s) {
        case Vyx::ProtectiveCoverStatus_Closed: return "closed";
        case Vyx::ProtectiveCoverStatus_Closing: return "closing";
        case Vyx::ProtectiveCoverStatus_Open: return "open";
        case Vyx::ProtectiveCoverStatus_Opening: return "opening";
        default: return "unknown";
    }
}

bool BadIndex(const char* op, int index) {
    return Fail(false, kInvalidArgument, std::string(op) + ": user set " + std::to_string(index) + " does not exist (0 .. " +
                                             std::to_string(Vyx::kUserSetCount - 1) + ")");
}

int Channel(Vyx::BalanceSelector s) {
    switch (s) {
        case Vyx::BalanceSelector_Red: return 0;
        case Vyx::BalanceSelector_Green: return 1;
        case Vyx::BalanceSelector_Blue: return 2;
        default: return -1;
    }
}

bool BalanceUsable(const char* op, const DeviceRecord& d, Vyx::BalanceSelector s, int* channel) {
    if (!d.color) return Fail(false, kUnsupported, std::string(op) + ": " + Dev(d) + " has grey cameras; white balance needs colour");
    *channel = Channel(s);
    if (*channel < 0) {
        return Fail(false, kInvalidArgument, std::string(op) + ": selector " + std::to_string(static_cast<int>(s)) +
                                                 " is not BalanceSelector_Red, _Green or _Blue");
    }
    return true;
}

}  // namespace

bool CoverOpen(const char* op, const DeviceRecord& d, CameraState& s, bool async) {
    if (!d.protective_cover) return NoCover(op, d);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (async) {
        s.cover.MoveTo(1.0, s.Now());
    } else {
        s.cover.Set(1.0, s.Now());
    }
    return true;
}

bool CoverClose(const char* op, const DeviceRecord& d, CameraState& s, bool async) {
    if (!d.protective_cover) return NoCover(op, d);
    std::lock_guard<std::mutex> lock(s.mutex);
    if (async) {
        s.cover.MoveTo(0.0, s.Now());
    } else {
        s.cover.Set(0.0, s.Now());
    }
    return true;
}

bool CoverReset(const char* op, const DeviceRecord& d, CameraState& s) {
    if (!d.protective_cover) return NoCover(op, d);
    std::lock_guard<std::mutex> lock(s.mutex);
    s.cover.Set(0.0, s.Now());
    return true;
}

bool CoverStatus(const char* op, const DeviceRecord& d, CameraState& s, Vyx::ProtectiveCoverStatus* status) {
    if (!d.protective_cover) return NoCover(op, d);
    std::lock_guard<std::mutex> lock(s.mutex);
    *status = s.cover.StatusAt(s.Now());
    return true;
}

bool CoverLetsCapture(const char* op, const DeviceRecord& d, CameraState& s) {
    if (!d.protective_cover) return true;
    Vyx::ProtectiveCoverStatus st;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        st = s.cover.StatusAt(s.Now());
    }
    if (st == Vyx::ProtectiveCoverStatus_Open) return true;
    return Fail(false, kWrongState, std::string(op) + ": the protective cover of " + Dev(d) + " is " + StatusName(st) +
                                        "; open it before capturing");
}

bool SetCurrentUserSet(const char* op, CameraState& s, int index) {
    if (index < 0 || index >= Vyx::kUserSetCount) return BadIndex(op, index);
    std::lock_guard<std::mutex> lock(s.mutex);
    s.settings.current_user_set = index;
    return true;
}

bool GetCurrentUserSet(const char* op, CameraState& s, int* index) {
    if (!index) return Fail(false, kInvalidArgument, std::string(op) + ": the output is null");
    std::lock_guard<std::mutex> lock(s.mutex);
    *index = s.settings.current_user_set;
    return true;
}

bool SetUserSetName(const char* op, CameraState& s, int index, const char* name) {
    if (index < 0 || index >= Vyx::kUserSetCount) return BadIndex(op, index);
    if (!name) return Fail(false, kInvalidArgument, std::string(op) + ": the name is null");
    // Reads at most kUserSetNameCapacity bytes of the caller's text.
    const std::size_t len = strnlen(name, static_cast<std::size_t>(Vyx::kUserSetNameCapacity));
    if (len >= static_cast<std::size_t>(Vyx::kUserSetNameCapacity)) {
        return Fail(false, kInvalidArgument,
                    std::string(op) + ": the name is " + std::to_string(Vyx::kUserSetNameCapacity) +
                        " bytes or longer; user set names hold at most " + std::to_string(Vyx::kUserSetNameCapacity - 1) +
                        " bytes");
    }
    // Names are stored and saved as text: bytes that are not UTF-8 would make
    // every later SaveSettingToFile fail.
    if (!IsUtf8(std::string_view(name, len))) {
        return Fail(false, kInvalidArgument, std::string(op) + ": the name '" + Printable(std::string(name, len)) + "' is not valid UTF-8");
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.settings.user_sets[static_cast<std::size_t>(index)].name.assign(name, len);
    return true;
}

bool GetUserSetName(const char* op, CameraState& s, int index, char* name) {
    if (index < 0 || index >= Vyx::kUserSetCount) return BadIndex(op, index);
    if (!name) return Fail(false, kInvalidArgument, std::string(op) + ": the name buffer is null");
    std::lock_guard<std::mutex> lock(s.mutex);
    const std::string& n = s.settings.user_sets[static_cast<std::size_t>(index)].name;
    const std::size_t len = std::min(n.size(), static_cast<std::size_t>(Vyx::kUserSetNameCapacity - 1));
    std::memcpy(name, n.data(), len);
    name[len] = '\0';
    return true;
}

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

bool SetBandwidth(const char* op, CameraState& s, float percent) {
    if (!(percent >= kBandwidthMin && percent <= kBandwidthMax)) {
        return Fail(false, kInvalidArgument, std::string(op) + ": bandwidth " + std::to_string(percent) +
                                                 " is outside " + std::to_string(kBandwidthMin) + " .. " +
                                                 std::to_string(kBandwidthMax) + " (percent of the link)");
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.settings.bandwidth = percent;
    return true;
}

double LinkBytesPerSecond(DeviceRecord& d, CameraState& s) {
    float pct;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        pct = s.settings.bandwidth;
    }
    int mbps = d.LinkSpeedMbps();
    if (mbps <= 0) mbps = d.port == Vyx::PortType_GIGE ? 1000 : 5000;
    return mbps * 1e6 / 8.0 * pct / 100.0;
}

// ---------------------------------------------------------------------------
// ROI rules.

namespace {
constexpr int kXStep = 8, kYStep = 2, kWStep = 16, kHStep = 2, kMinSize = 64;
}

Vyx::ROIRange RoiRange(const CameraModel& c) {
    Vyx::ROIRange r;
    r.x_step = kXStep;
    r.y_step = kYStep;
    r.width_step = kWStep;
    r.height_step = kHStep;
    r.width_min = std::min(kMinSize, c.width);
    r.height_min = std::min(kMinSize, c.height);
    r.width_max = c.width;
    r.height_max = c.height;
    return r;
}

bool RoiInsideImage(const CameraModel& c, const Vyx::ROI& r, std::string* why) {
    if (r.x == 0 && r.y == 0 && r.width == 0 && r.height == 0) return true;
    if (r.x < 0 || r.y < 0 || r.width <= 0 || r.height <= 0 || static_cast<int64_t>(r.x) + r.width > c.width ||
        static_cast<int64_t>(r.y) + r.height > c.height) {
        if (why) {
            *why = "roi [" + std::to_string(r.x) + " " + std::to_string(r.y) + " " + std::to_string(r.width) + " " +
                   std::to_string(r.height) + "] does not lie inside the " + std::to_string(c.width) + " x " +
                   std::to_string(c.height) + " image";
        }
        return false;
    }
    return true;
}

bool RoiFollowsRules(const CameraModel& c, const Vyx::ROI& r, std::string* why) {
    if (r.x == 0 && r.y == 0 && r.width == 0 && r.height == 0) return true;
    if (!RoiInsideImage(c, r, why)) return false;
    const Vyx::ROIRange rr = RoiRange(c);
    auto fail = [&](const std::string& w) {
        if (why) *why = w;
        return false;
    };
    if (r.x % kXStep != 0) return fail("x " + std::to_string(r.x) + " is not a multiple of " + std::to_string(kXStep));
    if (r.y % kYStep != 0) return fail("y " + std::to_string(r.y) + " is not a multiple of " + std::to_string(kYStep));
    if (r.width < rr.width_min) return fail("width " + std::to_string(r.width) + " is below " + std::to_string(rr.width_min));
    if (r.height < rr.height_min) return fail("height " + std::to_string(r.height) + " is below " + std::to_string(rr.height_min));
    if (r.width % kWStep != 0 && r.x + r.width != c.width) {
        return fail("width " + std::to_string(r.width) + " is not a multiple of " + std::to_string(kWStep) +
                    " and does not reach the right edge");
    }
    if (r.height % kHStep != 0 && r.y + r.height != c.height) {
        return fail("height " + std::to_string(r.height) + " is not a multiple of " + std::to_string(kHStep) +
                    " and does not reach the bottom edge");
    }
    return true;
}

namespace {

// One axis: start snapped down to `step`, length rounded up to `lstep`, at
// least `min`, inside [0, size).
void AdjustAxis(int64_t start, int64_t length, int size, int step, int lstep, int min, int32_t* out_start,
                int32_t* out_length) {
    int64_t a = std::clamp<int64_t>(start, 0, size);
    int64_t b = std::clamp<int64_t>(start + std::max<int64_t>(length, 0), 0, size);
    a = a / step * step;
    const int64_t min_len = std::min(min, size);
    int64_t len = std::max<int64_t>(b - a, min_len);
    len = (len + lstep - 1) / lstep * lstep;
    if (a + len > size) {
        len = size - a;  // reaching the edge is allowed
        if (len < min_len) {
            a = std::max<int64_t>(0, (size - min_len) / step * step);
            len = size - a;
        }
    }
    *out_start = static_cast<int32_t>(a);
    *out_length = static_cast<int32_t>(len);
}

}  // namespace

Vyx::ROI AdjustRoi(const CameraModel& c, const Vyx::ROI& r) {
    if (r.x == 0 && r.y == 0 && r.width == 0 && r.height == 0) return r;
    Vyx::ROI out(0, 0, 0, 0);
    AdjustAxis(r.x, r.width, c.width, kXStep, kWStep, kMinSize, &out.x, &out.width);
    AdjustAxis(r.y, r.height, c.height, kYStep, kHStep, kMinSize, &out.y, &out.height);
    return out;
}

}  // namespace vyxsim::cam
