// X2 fixed line scan: profiles against a known part on the conveyor, trigger
// rates, the scan time, both forms of GetFixedLineScanPointMap, calls out of
// order, timestamps, disconnection.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/error.h"
#include "test_x2_support.h"

namespace vyxsim::x2test {
namespace {

// A belt at 0.7 m and a 60 x 60 x 40 mm box on it, under the projector.
constexpr const char* kBeltScene = R"json({"objects": [
  {"type": "plane", "name": "belt", "pose": {"position": [0.0, 0.0, 0.7]}, "albedo": [0.6, 0.6, 0.6]},
  {"type": "box", "name": "part", "pose": {"position": [0.05, 0.0, 0.68]}, "size": [0.06, 0.06, 0.04],
   "albedo": [0.5, 0.5, 0.5]}
]})json";
constexpr double kBeltZ = 0.7, kTopZ = 0.66, kBoxMinX = 0.02, kBoxMaxX = 0.08;
constexpr double kConveyorMmPerMs = 0.1;

class X2Scan : public X2Fixture {
protected:
    void SetUp() override {
        X2Fixture::SetUp();
        std::string error;
        const nlohmann::json scene = nlohmann::json::parse(kBeltScene);
        ASSERT_TRUE(scene::SetDeviceScene(Device(kGrey), &scene, &error)) << error;
    }

    static Opts Rate(double per_ms) {
        Opts o;
        o.trigger_mode = Vyx::TriggerMode_FixedRate;
        o.auto_set_fixed_rate = false;
        o.fixed_rate = per_ms;
        return o;
    }

    // Mean y (mm) of the belt points of each row; NaN for a row without any.
    static std::vector<double> BeltRowY(const Vyx::PointMap& pm, double x_offset = 0.0) {
        const Vyx::Size sz = pm.GetSize();
        const double* p = pm.GetPointDataPtr();
        std::vector<double> out;
        for (int r = 0; r < sz.height; ++r) {
            double sum = 0.0;
            int n = 0;
            for (int i = 0; i < sz.width; ++i) {
                const double* q = p + 3 * (static_cast<std::size_t>(r) * sz.width + i);
                const double x = q[0] + x_offset;
                if (std::abs(q[2] - kBeltZ) < 0.002 && (x < kBoxMinX - 0.01 || x > kBoxMaxX + 0.01)) {
                    sum += q[1];
                    ++n;
                }
            }
            out.push_back(n ? sum / n * 1000.0 : std::nan(""));
        }
        return out;
    }
};

// Every profile lies on the belt or on the top of the box, in the frame of
// the camera transform_to_camera names, and rows follow the conveyor.
TEST_F(X2Scan, ProfilesLieOnThePartTheConveyorCarries) {
    for (Vyx::CameraID tcam : {Vyx::CameraID_Left, Vyx::CameraID_Right}) {
        SCOPED_TRACE("transform_to_camera " + std::to_string(tcam));
        X2 cam = OpenX2(kGrey);
        Opts o = Rate(1.0);
        o.transform_to_camera = tcam;
        ASSERT_TRUE(cam.StartFixedLineScan(o)) << Vyx::GetLastErrorMessage();
        ShiftTime(30.0);
        Vyx::PointMap pm = cam.GetFixedLineScanPointMap();
        ASSERT_TRUE(pm.IsValid()) << Vyx::GetLastErrorMessage();
        const Vyx::Size sz = pm.GetSize();
        EXPECT_EQ(sz.width, 1280);
        EXPECT_EQ(sz.height, 31);  // profiles at 0, 1, .. 30 ms
        EXPECT_EQ(pm.GetNormalDataPtr(), nullptr);
        // Points in the right camera's frame lie one baseline to the left.
        const double x_offset = tcam == Vyx::CameraID_Right ? 0.1 : 0.0;
        const double* p = pm.GetPointDataPtr();
        std::size_t belt = 0, top = 0, none = 0, elsewhere = 0;
        for (std::size_t k = 0; k < Pixels(sz); ++k) {
            const double* q = p + 3 * k;
            if (std::isnan(q[0])) {
                ASSERT_TRUE(Nan3(q));
                ++none;
                continue;
            }
            const double x = q[0] + x_offset;
            if (std::abs(q[2] - kBeltZ) < 0.0012) {
                ++belt;
            } else if (std::abs(q[2] - kTopZ) < 0.0012 && x > kBoxMinX - 0.001 && x < kBoxMaxX + 0.001) {
                ++top;
            } else {
                ++elsewhere;
            }
        }
        EXPECT_EQ(elsewhere, 0u);
        EXPECT_GT(top, 31u * 100);
        EXPECT_GT(belt, 31u * 300);
        EXPECT_GT(none, 31u * 10);  // the box shadows the belt beside it
        // Row r sees the part r ms later: 0.1 mm further along y.
        const std::vector<double> y = BeltRowY(pm, x_offset);
        for (std::size_t r = 1; r < y.size(); ++r) {
            ASSERT_NEAR(y[r] - y[r - 1], kConveyorMmPerMs, 0.01) << "row " << r;
        }
        EXPECT_NEAR(y[0], -0.28, 0.05);  // the laser sheet's tilt at the belt
        EXPECT_TRUE(cam.StopFixedLineScan());
        Vyx::PointMap::Destroy(pm);
        X2::Destroy(cam);
    }
}

TEST_F(X2Scan, TriggerModesSetTheRowRate) {
    X2 cam = OpenX2(kGrey);
    struct Case {
        const char* what;
        Opts o;
        double per_ms;
    };
    std::vector<Case> cases;
    {
        Opts o;
        o.trigger_mode = Vyx::TriggerMode_FixedRate;  // the rate the exposure allows
        o.line_scanner_exposure_time_us = 400;
        cases.push_back({"fixed rate, automatic", o, 1000.0 / (400 + 100)});
    }
    cases.push_back({"fixed rate 0.5 kHz", Rate(0.5), 0.5});
    for (int interval : {8, 40}) {
        Opts o;
        o.trigger_mode = Vyx::TriggerMode_HardWare;
        o.encoder_trigger_interval = interval;
        // 100 mm/s past an encoder of 100 ticks/mm.
        cases.push_back({interval == 8 ? "encoder every 8 ticks" : "encoder every 40 ticks", o, 10.0 / interval});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(cam.StartFixedLineScan(c.o)) << Vyx::GetLastErrorMessage();
        Vyx::PointMap first = cam.GetFixedLineScanPointMap();
        ASSERT_TRUE(first.IsValid());
        EXPECT_EQ(first.GetSize().height, 1);  // profile 0, at the start
        ShiftTime(40.0);
        Vyx::PointMap second = cam.GetFixedLineScanPointMap();
        const int added = second.GetSize().height - first.GetSize().height;
        EXPECT_EQ(added, static_cast<int>(std::floor(40.0 * c.per_ms + 1e-9)));
        // The last profile's time: `added` line periods after the first's.
        EXPECT_EQ(second.GetTimestamp() - first.GetTimestamp(),
                  static_cast<uint64_t>(std::llround(added * 1000.0 / c.per_ms)));
        const std::vector<double> y = BeltRowY(second);
        for (std::size_t r = 1; r < y.size(); ++r) {
            ASSERT_NEAR(y[r] - y[r - 1], kConveyorMmPerMs / c.per_ms, 0.01) << "row " << r;
        }
        EXPECT_TRUE(cam.StopFixedLineScan());
        Vyx::PointMap::Destroy(first);
        Vyx::PointMap::Destroy(second);
    }
    // Software trigger: one profile per call, where the part is then.
    ASSERT_TRUE(cam.StartFixedLineScan());
    std::vector<double> y;
    std::vector<uint64_t> stamps;
    for (int call = 1; call <= 3; ++call) {
        Vyx::PointMap pm = cam.GetFixedLineScanPointMap();
        ASSERT_EQ(pm.GetSize().height, call);
        y = BeltRowY(pm);
        stamps.push_back(pm.GetTimestamp());
        Vyx::PointMap::Destroy(pm);
        ShiftTime(5.0);
    }
    // 5 ms of conveyor between the triggers, and on the device clock.
    EXPECT_NEAR(y[1] - y[0], 0.5, 0.01);
    EXPECT_NEAR(y[2] - y[1], 0.5, 0.01);
    EXPECT_EQ(stamps[1] - stamps[0], 5000u);
    EXPECT_EQ(stamps[2] - stamps[1], 5000u);
    EXPECT_TRUE(cam.StopFixedLineScan());
}

TEST_F(X2Scan, ScanTimeBoundsTheRowsAndOptionsAreChecked) {
    X2 cam = OpenX2(kGrey);
    Opts o = Rate(1.0);
    o.line_scanner_scan_time_ms = 10;
    ASSERT_TRUE(cam.StartFixedLineScan(o));
    ShiftTime(100.0);
    Vyx::PointMap pm = cam.GetFixedLineScanPointMap();
    EXPECT_EQ(pm.GetSize().height, 10);
    ShiftTime(100.0);
    EXPECT_TRUE(cam.GetFixedLineScanPointMap(pm));
    EXPECT_EQ(pm.GetSize().height, 10);
    EXPECT_TRUE(cam.StopFixedLineScan());
    // Software triggers after the scan time add nothing.
    Opts sw;
    sw.line_scanner_scan_time_ms = 1000;
    ASSERT_TRUE(cam.StartFixedLineScan(sw));
    Vyx::PointMap one;
    EXPECT_TRUE(cam.GetFixedLineScanPointMap(one));
    EXPECT_EQ(one.GetSize().height, 1);
    ShiftTime(2000.0);
    EXPECT_TRUE(cam.GetFixedLineScanPointMap(one));
    EXPECT_EQ(one.GetSize().height, 1);
    EXPECT_TRUE(cam.StopFixedLineScan());
    Vyx::PointMap::Destroy(one);

    struct Bad {
        const char* field;
        Opts o;
    };
    std::vector<Bad> bad(7);
    bad[0] = {"line_scanner_scan_time_ms", Opts()};
    bad[0].o.line_scanner_scan_time_ms = 0;
    bad[1] = {"fixed_rate", Rate(3.0)};  // 300 us allow 2.5 profiles per ms
    bad[2] = {"encoder_trigger_interval", Opts()};
    bad[2].o.trigger_mode = Vyx::TriggerMode_HardWare;
    bad[2].o.encoder_trigger_interval = 0;
    bad[3] = {"line_scanner_scan_time_ms", Rate(2.0)};
    bad[3].o.line_scanner_scan_time_ms = 60000;  // 120000 profiles
    bad[4] = {"trigger_mode", Opts()};
    bad[4].o.trigger_mode = static_cast<Vyx::TriggerMode>(7);
    bad[5] = {"line_scanner_max_distance", Opts()};
    bad[5].o.line_scanner_min_distance = 700;
    bad[5].o.line_scanner_max_distance = 600;
    bad[6] = {"transform_to_camera", Opts()};
    bad[6].o.transform_to_camera = Vyx::CameraID_Both;
    for (const Bad& b : bad) {
        EXPECT_FALSE(cam.StartFixedLineScan(b.o)) << b.field;
        EXPECT_EQ(Vyx::GetLastError(), kInvalidArgument);
        EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find(b.field), std::string::npos) << Vyx::GetLastErrorMessage();
    }
    EXPECT_FALSE(cam.GetFixedLineScanPointMap(pm));  // none of them started a scan
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    Vyx::PointMap::Destroy(pm);

    std::string error;
    ASSERT_TRUE(AddDevice(R"({"name": "area", "serial": "VXAREA01", "port": "USB",
                              "capabilities": {"capture_modes": ["Normal"]}})", &error)) << error;
    X2 area = OpenX2("VXAREA01");
    EXPECT_FALSE(area.StartFixedLineScan());
    EXPECT_EQ(Vyx::GetLastError(), kUnsupported);
}

TEST_F(X2Scan, DistanceLimitsAndBrightnessThresholdDropPoints) {
    X2 cam = OpenX2(kGrey);
    struct Case {
        int min_mm, max_mm, threshold;
        bool belt, top;
    } cases[] = {{680, 0, 5, true, false}, {0, 680, 5, false, true}, {0, 0, 255, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.min_mm) + " .. " + std::to_string(c.max_mm) + " mm, threshold " +
                     std::to_string(c.threshold));
        Opts o = Rate(1.0);
        o.line_scanner_min_distance = c.min_mm;
        o.line_scanner_max_distance = c.max_mm;
        o.line_scanner_brightness_threshold = c.threshold;
        ASSERT_TRUE(cam.StartFixedLineScan(o)) << Vyx::GetLastErrorMessage();
        ShiftTime(5.0);
        Vyx::PointMap pm = cam.GetFixedLineScanPointMap();
        std::size_t belt = 0, top = 0;
        const double* p = pm.GetPointDataPtr();
        for (std::size_t k = 0; k < Pixels(pm.GetSize()); ++k) {
            belt += std::abs(p[3 * k + 2] - kBeltZ) < 0.002;
            top += std::abs(p[3 * k + 2] - kTopZ) < 0.002;
        }
        EXPECT_EQ(belt > 0, c.belt);
        EXPECT_EQ(top > 0, c.top);
        EXPECT_TRUE(cam.StopFixedLineScan());
        Vyx::PointMap::Destroy(pm);
    }
}

// The filling form writes into a map of the scan's width with room for the
// rows, and otherwise gives the caller a new map (releasing one it made for
// an earlier call of this scan).
TEST_F(X2Scan, FillingFormWritesIntoAMapWithRoomOrReplacesIt) {
    X2 cam = OpenX2(kGrey);
    ASSERT_TRUE(cam.StartFixedLineScan(Rate(0.1)));  // a profile every 10 ms
    ShiftTime(40.0);

    Vyx::PointMap mine;
    ASSERT_TRUE(cam.GetFixedLineScanPointMap(mine)) << Vyx::GetLastErrorMessage();
    ASSERT_TRUE(mine.IsValid());
    const int rows1 = mine.GetSize().height;
    EXPECT_EQ(rows1, 5);  // at 0, 10, .. 40 ms
    const Vyx::PointMap first = mine;
    ShiftTime(100.0);
    ASSERT_TRUE(cam.GetFixedLineScanPointMap(mine));
    EXPECT_EQ(mine.GetSize().height, rows1 + 10);
    EXPECT_FALSE(first.IsValid());  // made for the earlier call, replaced

    // Room for 500 rows: written in place, the rest NaN, normals NaN (the
    // map starts all zero).
    Vyx::PointMap big = Vyx::PointMap::Create(Vyx::PointMapType::PointsNormals, {1280, 500});
    ASSERT_TRUE(big.IsValid());
    std::fill(big.GetPointDataPtr(), big.GetPointDataPtr() + 3 * 1280 * 500, 0.0);
    std::fill(big.GetNormalDataPtr(), big.GetNormalDataPtr() + 3 * 1280 * 500, 0.0);
    const Words big_words = Vyx::HandleAccess::Get(big);
    ASSERT_TRUE(cam.GetFixedLineScanPointMap(big));
    EXPECT_EQ(Vyx::HandleAccess::Get(big).a, big_words.a);
    EXPECT_EQ(big.GetSize().height, 500);
    const double* p = big.GetPointDataPtr();
    const double* n = big.GetNormalDataPtr();
    int rows_with_points = 0;
    for (int r = 0; r < 500; ++r) {
        bool any = false;
        for (int i = 0; i < 1280; ++i) {
            const std::size_t k = static_cast<std::size_t>(r) * 1280 + i;
            any = any || !std::isnan(p[3 * k]);
            ASSERT_TRUE(Nan3(n + 3 * k));
        }
        if (any) {
            ASSERT_EQ(rows_with_points, r) << "a row without points between profiles";
            rows_with_points = r + 1;
        }
    }
    EXPECT_EQ(rows_with_points, rows1 + 10);
    EXPECT_EQ(big.GetTimestamp(), 140000u);  // the profile at 140 ms

    // The wrong width: a new map, and the caller's own map left alone.
    Vyx::PointMap narrow = Vyx::PointMap::Create(Vyx::PointMapType::PointsOnly, {640, 500});
    const Vyx::PointMap narrow_copy = narrow;
    ASSERT_TRUE(cam.GetFixedLineScanPointMap(narrow));
    EXPECT_NE(Vyx::HandleAccess::Get(narrow).a, Vyx::HandleAccess::Get(narrow_copy).a);
    EXPECT_EQ(narrow.GetSize().width, 1280);
    EXPECT_TRUE(narrow_copy.IsValid());
    EXPECT_TRUE(cam.StopFixedLineScan());
    for (Vyx::PointMap m : {mine, big, narrow, narrow_copy}) Vyx::PointMap::Destroy(m);
}

TEST_F(X2Scan, CallsOutOfOrderFailWithWrongState) {
    X2 cam = X2::Create(Vyx::SystemFindDevice(kGrey));
    EXPECT_FALSE(cam.StartFixedLineScan());
    EXPECT_EQ(Vyx::GetLastError(), kNotOpen);
    ASSERT_TRUE(cam.Open());
    Vyx::PointMap pm;
    auto wrong_state = [&](bool ok, const char* what) {
        EXPECT_FALSE(ok) << what;
        EXPECT_EQ(Vyx::GetLastError(), kWrongState) << what;
    };
    wrong_state(cam.GetFixedLineScanPointMap().IsValid(), "get before start");
    wrong_state(cam.GetFixedLineScanPointMap(pm), "fill before start");
    EXPECT_TRUE(Vyx::HandleAccess::Get(pm).IsZero());
    wrong_state(cam.StopFixedLineScan(), "stop before start");
    ASSERT_TRUE(cam.StartFixedLineScan());
    wrong_state(cam.StartFixedLineScan(), "start twice");
    wrong_state(cam.Capture(), "capture during a scan");
    wrong_state(cam.Capture2D(Vyx::CameraID_Left), "2D capture during a scan");
    EXPECT_NE(std::string(Vyx::GetLastErrorMessage()).find("line scan"), std::string::npos);
    EXPECT_TRUE(cam.StopFixedLineScan());
    wrong_state(cam.StopFixedLineScan(), "stop twice");
    wrong_state(cam.GetFixedLineScanPointMap().IsValid(), "get after stop");
    EXPECT_TRUE(cam.Capture());
    // Close ends a scan.
    ASSERT_TRUE(cam.StartFixedLineScan());
    cam.Close();
    ASSERT_TRUE(cam.Open());
    wrong_state(cam.StopFixedLineScan(), "stop after close");
}

TEST_F(X2Scan, TimestampsAdvanceWithCapturesAndTheScanAndReset) {
    X2 cam = X2::Create(Vyx::SystemFindDevice(kGrey));
    uint64_t t = 7;
    EXPECT_FALSE(cam.GetTimestamp(t));
    EXPECT_EQ(t, 7u);
    ShiftTime(3.0);  // before Open: not on the device clock
    ASSERT_TRUE(cam.Open());
    uint64_t t0 = 1, t1 = 0, t2 = 1;
    ASSERT_TRUE(cam.GetTimestamp(t0));
    EXPECT_EQ(t0, 0u);  // microseconds since Open
    ShiftTime(2.0);
    ASSERT_TRUE(cam.Capture());
    ASSERT_TRUE(cam.GetTimestamp(t1));
    // Normal mode: 13 patterns of 11 + 3 ms, plus the image.
    EXPECT_GT(t1, 2000u + 13 * 14000);
    // The capture's map carries the clock at the end of its acquisition,
    // which is now: the clock stood still since.
    EXPECT_EQ(cam.GetPointMap().GetTimestamp(), t1);
    ASSERT_TRUE(cam.ResetTimestamp());
    ASSERT_TRUE(cam.GetTimestamp(t2));
    EXPECT_EQ(t2, 0u);

    // A scan at 1 profile per ms: maps carry the time of their last profile,
    // profiles exactly 1000 us apart.
    ShiftTime(1.0);
    ASSERT_TRUE(cam.StartFixedLineScan(Rate(1.0)));
    Vyx::PointMap a = cam.GetFixedLineScanPointMap();
    ShiftTime(25.5);
    Vyx::PointMap b = cam.GetFixedLineScanPointMap();
    uint64_t now = 0;
    ASSERT_TRUE(cam.GetTimestamp(now));
    EXPECT_EQ(a.GetSize().height, 1);
    EXPECT_EQ(b.GetSize().height, 26);
    EXPECT_EQ(a.GetTimestamp(), 1000u);
    EXPECT_EQ(b.GetTimestamp(), 26000u);
    EXPECT_EQ(now, 26500u);
    // Profiles taken after ResetTimestamp are on the new clock: the last, at
    // 29 ms into the scan, 3.5 ms after the reset.
    ASSERT_TRUE(cam.ResetTimestamp());
    ShiftTime(4.0);
    Vyx::PointMap c = cam.GetFixedLineScanPointMap();
    EXPECT_EQ(c.GetSize().height, 30);
    EXPECT_EQ(c.GetTimestamp(), 3500u);
    EXPECT_TRUE(cam.StopFixedLineScan());
    for (Vyx::PointMap m : {a, b, c}) Vyx::PointMap::Destroy(m);
}

// In manual mode the capture latency passes on the model clock: each capture
// moves the clock (and every device clock) on by exactly the latency, and
// nothing waits.
TEST_F(X2Scan, CaptureLatencyAdvancesTheManualClockExactly) {
    X2 cam = OpenX2(kGrey);
    auto clock_during = [&](auto&& call) {
        uint64_t before = 0, after = 0;
        EXPECT_TRUE(cam.GetTimestamp(before));
        const int64_t model_before = ClockNowUs();
        EXPECT_TRUE(call()) << Vyx::GetLastErrorMessage();
        EXPECT_TRUE(cam.GetTimestamp(after));
        return std::pair<uint64_t, int64_t>{after - before, ClockNowUs() - model_before};
    };
    const auto capture = [&] { return cam.Capture(); };
    const auto plain = clock_during(capture);
    EXPECT_EQ(plain.second, 0);  // the acquisition time is the device's own
    EXPECT_GT(plain.first, 13u * 14000);
    SetCaptureLatencyMs(250);
    const auto slow = clock_during(capture);
    EXPECT_EQ(slow.first, plain.first + 250000);
    EXPECT_EQ(slow.second, 250000);
    EXPECT_EQ(CapturesWaiting(), 0);
    // A scan's start spends the latency too; its first profile comes after.
    const auto start = clock_during([&] { return cam.StartFixedLineScan(Rate(1.0)); });
    EXPECT_EQ(start.first, 250000u);
    uint64_t started = 0;
    ASSERT_TRUE(cam.GetTimestamp(started));
    Vyx::PointMap pm = cam.GetFixedLineScanPointMap();
    EXPECT_EQ(pm.GetTimestamp(), started);
    EXPECT_TRUE(cam.StopFixedLineScan());
    Vyx::PointMap::Destroy(pm);
}

TEST_F(X2Scan, UnplugStopsTheScanAndReplugStartsAgain) {
    X2 cam = OpenX2(kGrey);
    ASSERT_TRUE(cam.StartFixedLineScan(Rate(1.0)));
    ASSERT_TRUE(Unplug(kGrey));
    EXPECT_FALSE(cam.GetFixedLineScanPointMap().IsValid());
    EXPECT_EQ(Vyx::GetLastError(), kDisconnected);
    EXPECT_FALSE(cam.StopFixedLineScan());
    EXPECT_EQ(Vyx::GetLastError(), kDisconnected);
    ASSERT_TRUE(Replug(kGrey));
    ASSERT_TRUE(cam.Open());
    EXPECT_FALSE(cam.StopFixedLineScan());  // the scan ended with the connection
    EXPECT_EQ(Vyx::GetLastError(), kWrongState);
    EXPECT_TRUE(cam.StartFixedLineScan(Rate(1.0)));
    Vyx::PointMap pm = cam.GetFixedLineScanPointMap();
    EXPECT_TRUE(pm.IsValid());
    EXPECT_TRUE(cam.StopFixedLineScan());
    Vyx::PointMap::Destroy(pm);
}

}  // namespace
}  // namespace vyxsim::x2test
