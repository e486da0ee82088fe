"""Depth, confidence and correspondence maps: empty wrappers, SaveDepthMap's
arguments, and the views and files of maps that cameras produce."""

import numpy as np
import pytest
from tracing import traced, arg

MAPS = ["DepthMap", "ConfidenceMap", "CorrespondMap"]


class TestEmptyWrappers:
    @pytest.mark.parametrize("cls", MAPS)
    def test_default_names_nothing(self, vyx, cls):
        m = getattr(vyx, cls)()
        size = m.GetSize()
        assert not m.IsValid() and (size.width, size.height) == (0, 0)
        mv = memoryview(m)
        assert (mv.nbytes, mv.itemsize, mv.format, mv.ndim) == (0, 0, "", 0)
        assert np.asarray(m).nbytes == 0

    @pytest.mark.parametrize("cls", MAPS)
    def test_before_system_init(self, sim, cls):
        import PyVyx

        m = getattr(PyVyx, cls)()
        assert not m.IsValid()
        assert memoryview(m).nbytes == 0

    @pytest.mark.parametrize("cls", MAPS)
    def test_no_undeclared_attributes(self, vyx, cls):
        with pytest.raises(AttributeError):
            getattr(vyx, cls)().extra = 1

    def test_only_depth_maps_save(self, vyx):
        assert hasattr(vyx.DepthMap, "SaveDepthMap")
        assert not hasattr(vyx.ConfidenceMap, "SaveDepthMap")
        assert not hasattr(vyx.CorrespondMap, "SaveDepthMap")


class TestSaveDepthMapArguments:
    def test_flag_is_required(self, vyx, tmp_path):
        with pytest.raises(TypeError):
            vyx.DepthMap().SaveDepthMap(str(tmp_path / "d.tiff"))

    @pytest.mark.parametrize("flag", [True, False])
    def test_both_arguments_reach_sdk(self, vyx, sim, tmp_path, flag):
        path = str(tmp_path / "d.tiff")
        ok, lines = traced(sim, lambda: vyx.DepthMap().SaveDepthMap(path, flag))
        assert ok is False, "an empty wrapper names no depth map"
        (line,) = [x for x in lines if x.startswith("DepthMap::SaveDepthMap(")]
        assert arg(line, "path") == f'"{path}"'
        assert arg(line, "float32") == ("true" if flag else "false")
        assert vyx.GetLastError() != 0

    def test_null_path(self, vyx, sim):
        ok, lines = traced(sim, lambda: vyx.DepthMap().SaveDepthMap(None, True))
        assert ok is False and arg(lines[0], "path") == "null"


# --- Maps from a camera ------------------------------------------------------


def _first_device(vx):
    status, devices = vx.SystemListDevices(vx.SystemListDeviceTypeEnum.All)
    assert status == 0 and devices, vx.GetLastErrorMessage()
    return devices[0]


@pytest.fixture
def x1_maps(vyx):
    """Depth, confidence and point map of one X1 capture of the first device."""
    if not hasattr(vyx, "X1") or not hasattr(vyx.X1, "Capture"):
        pytest.skip("PyVyx.X1 has no Capture yet: maps come only from cameras")
    cam = vyx.X1.Create(_first_device(vyx), vyx.CameraID_Left)
    assert cam.Open(), vyx.GetLastErrorMessage()
    assert cam.Capture(vyx.X1_CaptureOptions()), vyx.GetLastErrorMessage()
    ok, res = cam.GetCameraResolution()
    assert ok
    yield cam, res, cam.GetDepthMap(), cam.GetConfidenceMap(), cam.GetPointMap()
    cam.Close()
    vyx.X1.Destroy(cam)


@pytest.fixture
def x2_correspondence(vyx):
    if not hasattr(vyx, "X2") or not hasattr(vyx.X2, "GetCorrespondMap"):
        pytest.skip("PyVyx.X2 has no GetCorrespondMap yet: maps come only from cameras")
    cam = vyx.X2.Create(_first_device(vyx))
    assert cam.Open(), vyx.GetLastErrorMessage()
    assert cam.Capture(vyx.X2_CaptureOptions()), vyx.GetLastErrorMessage()
    yield cam, cam.GetCorrespondMap()
    cam.Close()
    vyx.X2.Destroy(cam)


class TestCameraMaps:
    def test_depth_and_confidence_layout(self, x1_maps):
        _, res, depth, conf, _ = x1_maps
        w, h = res.width, res.height
        for m in (depth, conf):
            assert m.IsValid()
            size = m.GetSize()
            assert (size.width, size.height) == (w, h)
            a = np.asarray(m)
            assert (a.shape, a.strides, a.dtype) == ((h, w), (8 * w, 8), np.float64)
            assert a.flags.writeable

    def test_depth_agrees_with_points_and_confidence(self, x1_maps):
        _, _, depth, conf, pm = x1_maps
        d, c, p = np.asarray(depth), np.asarray(conf), np.asarray(pm)
        measured = ~np.isnan(d)
        assert measured.any(), "the default scene is in view"
        assert np.all(c[~measured] == 0) and np.all((c >= 0) & (c <= 1))
        # Without a custom transform the points are in the camera frame: z is depth.
        np.testing.assert_allclose(p[..., 2][measured], d[measured], rtol=1e-9)

    def test_correspondence_layout(self, x2_correspondence):
        _, cm = x2_correspondence
        size = cm.GetSize()
        w, h = size.width, size.height
        a = np.asarray(cm)
        assert (a.shape, a.strides, a.dtype) == ((h, w, 2), (16 * w, 16, 8), np.float64)
        assert cm.IsValid() and (~np.isnan(a)).any()

    def test_depth_tiff_round_trip_through_pillow(self, x1_maps, tmp_path):
        from PIL import Image as PILImage

        _, _, depth, _, _ = x1_maps
        d = np.asarray(depth)
        d[0, 0] = 1.25  # a write through the view must reach the file
        path = tmp_path / "depth.tiff"
        assert depth.SaveDepthMap(str(path), True)
        with PILImage.open(path) as pil:
            assert pil.mode == "F"
            got = np.asarray(pil)
        np.testing.assert_array_equal(got, d.astype(np.float32))

    def test_depth_png16_through_pillow(self, x1_maps, tmp_path):
        from PIL import Image as PILImage

        _, _, depth, _, _ = x1_maps
        path = tmp_path / "depth.png"
        assert depth.SaveDepthMap(str(path), False)
        with PILImage.open(path) as pil:
            assert pil.mode in ("I;16", "I")
            got = np.asarray(pil).astype(np.float64)
        d = np.asarray(depth)
        measured = ~np.isnan(d)
        assert np.all(got[~measured] == 0)
        # 16-bit PNG depth holds whole millimetres.
        np.testing.assert_allclose(got[measured], np.round(d[measured] * 1000), atol=1)
