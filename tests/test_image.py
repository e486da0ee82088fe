"""Images: the module-level image functions, the Image class, its uint8 view
and PNG/BMP files (checked with Pillow as an independent reader/writer)."""

import numpy as np
import pytest
from tracing import calls, arg

W, H = 640, 480
TYPES = ["Mono8", "RGB8", "BGR8"]


def new_image(vx, type_name, width=W, height=H):
    img = vx.ImageCreate(getattr(vx.ImageTypeEnum, type_name), vx.Size(width, height))
    assert img.IsValid(), vx.GetLastErrorMessage()
    return img


def pattern(shape, seed=0):
    return np.random.default_rng(seed).integers(0, 256, shape, dtype=np.uint8)


def traced(sim, fn):
    """The SDK calls `fn` makes, as trace lines."""
    sim.trace_clear()
    sim.trace_enable(True)
    try:
        fn()
    finally:
        sim.trace_enable(False)
    return sim.trace()


class TestImageFunctions:
    @pytest.mark.parametrize("type_name, pixel_size", [("None", 0), ("Mono8", 1), ("RGB8", 3),
                                                       ("BGR8", 3)])
    def test_pixel_size(self, vyx, type_name, pixel_size):
        assert vyx.ImageTypeGetPixelSize(getattr(vyx.ImageTypeEnum, type_name)) == pixel_size

    def test_type_names(self, vyx):
        names = [vyx.ImageTypeToString(getattr(vyx.ImageTypeEnum, t)) for t in ["None"] + TYPES]
        assert all(isinstance(n, str) and n for n in names)
        assert len(set(names)) == 4
        # A value without a name is the SDK's null text.
        assert vyx.ImageTypeToString(vyx.ImageTypeEnum(77)) is None

    @pytest.mark.parametrize("type_name", TYPES)
    def test_create(self, vyx, type_name):
        img = new_image(vyx, type_name, 7, 5)
        size = img.GetSize()
        assert (size.width, size.height) == (7, 5)
        assert img.GetType() == getattr(vyx.ImageTypeEnum, type_name)
        assert not np.asarray(img).any(), "new images are zeroed"

    def test_create_passes_sdk_allocation(self, vyx, sim):
        lines = traced(sim, lambda: vyx.ImageCreate(vyx.ImageTypeEnum.Mono8, vyx.Size(4, 3)))
        (line,) = calls(lines, "Image::Create")
        assert arg(line, "sdk_owns_data") == "true"

    @pytest.mark.parametrize("bad", [
        lambda vx: vx.ImageCreate(1, vx.Size(4, 3)),
        lambda vx: vx.ImageCreate(vx.ImageTypeEnum.Mono8, (4, 3)),
        lambda vx: vx.ImageCreate(vx.ImageTypeEnum.Mono8),
    ])
    def test_create_argument_types(self, vyx, bad):
        with pytest.raises(TypeError):
            bad(vyx)

    def test_failed_create_returns_invalid_handle(self, vyx):
        img = vyx.ImageCreate(vyx.ImageTypeEnum.Mono8, vyx.Size(-4, 3))
        assert not img.IsValid()
        assert vyx.GetLastError() != 0


class TestImageDestroy:
    @pytest.mark.parametrize("destroy, no_reuse", [
        (lambda vx, img: vx.ImageDestroy(img), "true"),
        (lambda vx, img: vx.ImageDestroy(img, False), "false"),
        (lambda vx, img: vx.ImageDestroy(img, True), "true"),
        (lambda vx, img: vx.ImageDestroy(img=img, no_reuse=False), "false"),
        (lambda vx, img: vx.ImageDestroy(img, no_reuse=False), "false"),
        (lambda vx, img: vx.ImageDestroy(img=img), "true"),
        (lambda vx, img: vx.Image.Destroy(img), "true"),
    ])
    def test_no_reuse_reaches_sdk(self, vyx, sim, destroy, no_reuse):
        img = new_image(vyx, "Mono8")
        (line,) = calls(traced(sim, lambda: destroy(vyx, img)), "Image::Destroy")
        assert arg(line, "no_reuse") == no_reuse
        assert not img.IsValid()

    def test_signature_and_docstring(self, vyx):
        doc = vyx.ImageDestroy.__doc__
        # Registered before the Image class, so the help text shows the native name.
        assert doc.startswith("ImageDestroy(img: Vyx::Image, no_reuse: bool = True) -> None")
        assert "Destroy the image" in doc

    def test_static_destroy_takes_no_flag(self, vyx):
        img = new_image(vyx, "Mono8")
        with pytest.raises(TypeError):
            vyx.Image.Destroy(img, False)
        assert img.IsValid()

    def test_second_destroy_is_harmless(self, vyx):
        img = new_image(vyx, "Mono8")
        clone = img.Clone()
        vyx.ImageDestroy(img)
        vyx.ImageDestroy(img)  # the same value reaches the SDK again
        assert not img.IsValid() and clone.IsValid()


class TestImageView:
    @pytest.mark.parametrize("type_name, shape, strides", [
        ("Mono8", (H, W), (W, 1)),
        ("BGR8", (H, W, 3), (3 * W, 3, 1)),
        ("RGB8", (H, W, 3), (3 * W, 3, 1)),
    ])
    def test_layout(self, vyx, type_name, shape, strides):
        a = np.asarray(new_image(vyx, type_name))
        assert (a.shape, a.strides, a.dtype) == (shape, strides, np.uint8)

    @pytest.mark.parametrize("type_name", TYPES)
    @pytest.mark.parametrize("width, height", [(1, 1), (3, 5), (641, 3), (5, 479)])
    def test_odd_sizes_are_packed(self, vyx, type_name, width, height):
        a = np.asarray(new_image(vyx, type_name, width, height))
        channels = 1 if type_name == "Mono8" else 3
        assert a.shape[:2] == (height, width)
        assert a.strides[0] == width * channels
        assert a.nbytes == width * height * vyx.ImageTypeGetPixelSize(
            getattr(vyx.ImageTypeEnum, type_name))

    def test_first_byte_write_reaches_sdk(self, vyx):
        img = new_image(vyx, "Mono8")
        np.asarray(img)[0, 0] = 255
        clone = img.Clone()
        c = np.asarray(clone)
        assert c[0, 0] == 255 and c.sum() == 255

    @pytest.mark.parametrize("type_name", TYPES)
    def test_writes_reach_sdk(self, vyx, type_name):
        img = new_image(vyx, type_name)
        view = np.asarray(img)
        data = pattern(view.shape, seed=3)
        view[...] = data
        clone = img.Clone()
        assert clone.GetType() == img.GetType()
        np.testing.assert_array_equal(np.asarray(clone), data)
        # The clone is the SDK's own copy: changing the original leaves it be.
        view[...] = 0
        np.testing.assert_array_equal(np.asarray(clone), data)

    @pytest.mark.parametrize("type_name, width, height", [
        ("Mono8", 0, H), ("Mono8", W, 0), ("BGR8", 0, 0), ("None", W, H),
    ])
    def test_no_pixels_gives_empty_view(self, vyx, type_name, width, height):
        img = vyx.ImageCreate(getattr(vyx.ImageTypeEnum, type_name), vyx.Size(width, height))
        mv = memoryview(img)
        assert (mv.nbytes, mv.ndim, mv.itemsize, mv.format) == (0, 0, 0, "")


class TestImageFiles:
    @pytest.mark.parametrize("ext", ["png", "bmp"])
    @pytest.mark.parametrize("type_name", ["Mono8", "BGR8"])
    def test_round_trip(self, vyx, tmp_path, ext, type_name):
        img = new_image(vyx, type_name, 37, 23)
        data = pattern(np.asarray(img).shape, seed=5)
        np.asarray(img)[...] = data
        path = str(tmp_path / f"img.{ext}")
        assert img.SaveImage(path), vyx.GetLastErrorMessage()
        loaded = vyx.Image.CreateFromFile(path)
        assert loaded.IsValid(), vyx.GetLastErrorMessage()
        assert loaded.GetType() == img.GetType()
        np.testing.assert_array_equal(np.asarray(loaded), data)

    @pytest.mark.parametrize("ext", ["png", "bmp"])
    @pytest.mark.parametrize("type_name, mode, to_pillow", [
        ("Mono8", "L", lambda a: a),
        ("BGR8", "RGB", lambda a: a[..., ::-1]),
        ("RGB8", "RGB", lambda a: a),
    ])
    def test_pillow_reads_our_files(self, vyx, tmp_path, ext, type_name, mode, to_pillow):
        from PIL import Image as PILImage

        img = new_image(vyx, type_name, 31, 17)
        data = pattern(np.asarray(img).shape, seed=7)
        np.asarray(img)[...] = data
        path = tmp_path / f"ours.{ext}"
        assert img.SaveImage(str(path)), vyx.GetLastErrorMessage()
        with PILImage.open(path) as pil:
            assert pil.mode == mode and pil.size == (31, 17)
            np.testing.assert_array_equal(np.asarray(pil), to_pillow(data))

    @pytest.mark.parametrize("ext", ["png", "bmp"])
    @pytest.mark.parametrize("mode", ["L", "RGB"])
    def test_we_read_pillow_files(self, vyx, tmp_path, ext, mode):
        from PIL import Image as PILImage

        rgb = pattern((19, 29, 3), seed=11)
        pil = PILImage.fromarray(rgb if mode == "RGB" else rgb[..., 0], mode)
        path = tmp_path / f"pillow.{ext}"
        pil.save(path)
        img = vyx.Image.CreateFromFile(str(path))
        assert img.IsValid(), vyx.GetLastErrorMessage()
        size = img.GetSize()
        assert (size.width, size.height) == (29, 19)
        view = np.asarray(img)
        if mode == "L":
            assert img.GetType() == vyx.ImageTypeEnum.Mono8
            np.testing.assert_array_equal(view, rgb[..., 0])
        elif img.GetType() == vyx.ImageTypeEnum.BGR8:
            np.testing.assert_array_equal(view, rgb[..., ::-1])
        else:
            assert img.GetType() == vyx.ImageTypeEnum.RGB8
            np.testing.assert_array_equal(view, rgb)

    def test_missing_file(self, vyx, tmp_path):
        path = str(tmp_path / "missing.png")
        img = vyx.Image.CreateFromFile(path)
        assert not img.IsValid()
        assert vyx.GetLastError() != 0 and path in vyx.GetLastErrorMessage()

    def test_save_to_missing_directory_fails(self, vyx, tmp_path):
        img = new_image(vyx, "Mono8", 4, 4)
        assert img.SaveImage(str(tmp_path / "no" / "such" / "dir.png")) is False

    def test_null_paths_reach_sdk(self, vyx, sim):
        img = new_image(vyx, "Mono8", 4, 4)
        results = {}

        def both():
            results["load"] = vyx.Image.CreateFromFile(None)
            results["save"] = img.SaveImage(None)

        lines = traced(sim, both)
        (load,) = calls(lines, "Image::CreateFromFile")
        (save,) = calls(lines, "Image::SaveImage")
        assert arg(load, "path") == "null" and arg(save, "path") == "null"
        assert not results["load"].IsValid() and results["save"] is False
