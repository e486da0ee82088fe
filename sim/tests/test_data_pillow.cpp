// Interoperability with a common imaging library: Pillow reads the PNG and
// BMP files the SDK writes (with colours in the right order), and the SDK
// reads the ones Pillow writes. Skipped when /usr/bin/python3 has no Pillow.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "test_data_support.h"
#include "vyx/data.h"

namespace {

class Pillow : public vyxtest::DataTest {
protected:
    void SetUp() override {
        vyxtest::DataTest::SetUp();
        if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "Pillow is not available to /usr/bin/python3";
        }
    }
    int RunPython(const std::string& script) {
        const std::string file = Path("check.py");
        std::ofstream(file) << script;
        return std::system(("/usr/bin/python3 " + file + " " + dir_).c_str());
    }
};

// Pixel (x, y) of the pattern, as R, G, B.
uint8_t Channel(int x, int y, int c) { return static_cast<uint8_t>(x * 20 + y * 3 + c * 90); }

TEST_F(Pillow, ReadsWhatTheSdkWrites) {
    const int w = 13, h = 6;  // odd width: BMP rows need padding
    const auto grey = Vyx::Image::Create(Vyx::ImageType::Mono8, {w, h});
    const auto bgr = Vyx::Image::Create(Vyx::ImageType::BGR8, {w, h});
    const auto rgb = Vyx::Image::Create(Vyx::ImageType::RGB8, {w, h});
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int i = y * w + x;
            grey.GetDataPtr()[i] = Channel(x, y, 0);
            for (int c = 0; c < 3; ++c) {
                rgb.GetDataPtr()[3 * i + c] = Channel(x, y, c);
                bgr.GetDataPtr()[3 * i + 2 - c] = Channel(x, y, c);
            }
        }
    }
    for (const char* ext : {"png", "bmp"}) {
        ASSERT_TRUE(grey.SaveImage(Path(std::string("grey.") + ext).c_str()));
        ASSERT_TRUE(bgr.SaveImage(Path(std::string("bgr.") + ext).c_str()));
        ASSERT_TRUE(rgb.SaveImage(Path(std::string("rgb.") + ext).c_str()));
    }
    const int rc = RunPython(R"PY(
import sys
from PIL import Image
d = sys.argv[1]
def channel(x, y, c):
    return (x * 20 + y * 3 + c * 90) % 256
bad = []
for ext in ("png", "bmp"):
    g = Image.open(f"{d}/grey.{ext}")
    if g.mode not in ("L", "P") or g.size != (13, 6):
        bad.append(f"grey.{ext}: {g.mode} {g.size}")
    g = g.convert("L")
    for name in ("bgr", "rgb"):
        im = Image.open(f"{d}/{name}.{ext}")
        if im.mode != "RGB" or im.size != (13, 6):
            bad.append(f"{name}.{ext}: {im.mode} {im.size}")
        for y in range(6):
            for x in range(13):
                if im.getpixel((x, y)) != tuple(channel(x, y, c) for c in range(3)):
                    bad.append(f"{name}.{ext} ({x},{y}) {im.getpixel((x, y))}")
    for y in range(6):
        for x in range(13):
            if g.getpixel((x, y)) != channel(x, y, 0):
                bad.append(f"grey.{ext} ({x},{y})")
print("\n".join(bad[:10]))
sys.exit(1 if bad else 0)
)PY");
    EXPECT_EQ(rc, 0);
}

TEST_F(Pillow, SdkReadsWhatPillowWrites) {
    const int rc = RunPython(R"PY(
import sys
from PIL import Image
d = sys.argv[1]
rgb = Image.new("RGB", (7, 5))
grey = Image.new("L", (7, 5))
for y in range(5):
    for x in range(7):
        rgb.putpixel((x, y), (x * 30, y * 50, 255 - x * 5))
        grey.putpixel((x, y), x * 10 + y)
for ext in ("png", "bmp"):
    rgb.save(f"{d}/p_rgb.{ext}")
    grey.save(f"{d}/p_grey.{ext}")
rgb.convert("RGBA").save(f"{d}/p_rgba.png")
)PY");
    ASSERT_EQ(rc, 0);
    for (const char* name : {"p_rgb.png", "p_rgb.bmp", "p_rgba.png"}) {
        const auto img = Vyx::Image::CreateFromFile(Path(name).c_str());
        ASSERT_TRUE(img.IsValid()) << name << ": " << Vyx::GetLastErrorMessage();
        EXPECT_EQ(img.GetType(), Vyx::ImageType::BGR8) << name;
        const uint8_t* p = img.GetDataPtr() + 3 * (4 * 7 + 5);  // (x 5, y 4)
        EXPECT_EQ(p[0], 230) << name;  // B
        EXPECT_EQ(p[1], 200) << name;  // G
        EXPECT_EQ(p[2], 150) << name;  // R
    }
    for (const char* name : {"p_grey.png", "p_grey.bmp"}) {
        const auto img = Vyx::Image::CreateFromFile(Path(name).c_str());
        ASSERT_TRUE(img.IsValid()) << name << ": " << Vyx::GetLastErrorMessage();
        EXPECT_EQ(img.GetType(), Vyx::ImageType::Mono8) << name;
        EXPECT_EQ(img.GetDataPtr()[4 * 7 + 5], 54) << name;
    }
}

}  // namespace
