"""Circle markers: the marker records, coded-marker detection from an Image
and from a NumPy array (temporary SDK image, shapes, conversions), the
concentric detections' full-length buffers and the two-camera transform's
arrays."""
import sys

import numpy as np
import pytest
from tracing import traced, calls, arg, handle_text

W, H = 640, 480


@pytest.fixture
def map_size():
    """The size of the `img` and `pm` fixtures."""
    return W, H


class TestRecords:
    def test_marker_type_defaults(self, vyx):
        t = vyx.CodedCircleMarkerType()
        assert (t.N, t.r1_to_r0_ratio, t.r2_to_r0_ratio) == (12, 2.0, 3.0)
        assert type(t.N) is int and type(t.r1_to_r0_ratio) is float

    def test_marker_defaults(self, vyx):
        m = vyx.CodedCircleMarker()
        assert (m.x, m.y, m.code) == (0.0, 0.0, 0)

    @pytest.mark.parametrize("cls, field, value", [
        ("CodedCircleMarkerType", "N", 8),
        ("CodedCircleMarkerType", "r1_to_r0_ratio", 1.5),
        ("CodedCircleMarkerType", "r2_to_r0_ratio", 2.75),
        ("CodedCircleMarker", "x", 12.5),
        ("CodedCircleMarker", "y", -3.25),
        ("CodedCircleMarker", "code", 4095),
    ])
    def test_fields_read_write(self, vyx, cls, field, value):
        rec = getattr(vyx, cls)()
        setattr(rec, field, value)
        assert getattr(rec, field) == value

    @pytest.mark.parametrize("cls, field, value", [
        ("CodedCircleMarkerType", "N", 1.5),
        ("CodedCircleMarkerType", "N", 2**31),
        ("CodedCircleMarker", "code", "1"),
        ("CodedCircleMarker", "x", "1.0"),
    ])
    def test_field_conversion_errors(self, vyx, cls, field, value):
        with pytest.raises(TypeError):
            setattr(getattr(vyx, cls)(), field, value)

    def test_no_dynamic_attributes(self, vyx):
        with pytest.raises(AttributeError):
            vyx.CodedCircleMarker().z = 1.0

    def test_type_reaches_sdk(self, vyx, sim, img):
        t = vyx.CodedCircleMarkerType()
        t.N, t.r1_to_r0_ratio, t.r2_to_r0_ratio = 8, 2.5, 3.5
        _, lines = traced(sim, lambda: vyx.DetectCodedCircleMarker(img, t))
        (line,) = calls(lines, "DetectCodedCircleMarker")
        assert (arg(line, "N"), arg(line, "r1_to_r0_ratio"), arg(line, "r2_to_r0_ratio")) == \
            ("8", "2.5", "3.5")
        assert arg(line, "image") == handle_text(sim, img)


class TestDetectFromImage:
    def test_failure_gives_empty_list(self, vyx, sim, img):
        sim.fail_next("DetectCodedCircleMarker", write_outputs=False)
        assert vyx.DetectCodedCircleMarker(img, vyx.CodedCircleMarkerType()) == []

    def test_overloads_listed_in_type_error(self, vyx):
        with pytest.raises(TypeError) as e:
            vyx.DetectCodedCircleMarker("image", vyx.CodedCircleMarkerType())
        text = str(e.value)
        assert "PyVyx.Image" in text and "numpy.ndarray[numpy.uint8]" in text

    @pytest.mark.parametrize("call", [
        lambda vx, img: vx.DetectCodedCircleMarker(img),
        lambda vx, img: vx.DetectCodedCircleMarker(img, 12),
        lambda vx, img: vx.DetectCodedCircleMarker(img, vx.CodedCircleMarker()),
    ])
    def test_wrong_arguments(self, vyx, sim, img, call):
        _, lines = traced(sim, lambda: pytest.raises(TypeError, call, vyx, img))
        assert calls(lines, "DetectCodedCircleMarker") == []


class TestDetectFromArray:
    @pytest.mark.parametrize("shape, dtype, type_name", [
        ((H, W), np.uint8, "Mono8"),
        ((H, W), np.float64, "Mono8"),
        ((H, W, 1), np.uint8, "Mono8"),
        ((H, W, 3), np.uint8, "BGR8"),
        ((H, W, 3), np.int32, "BGR8"),
    ])
    def test_image_type_and_size(self, vyx, sim, shape, dtype, type_name):
        pixels = np.full(shape, 200, dtype=dtype)
        before = sim.live_objects()
        result, lines = traced(
            sim, lambda: vyx.DetectCodedCircleMarker(pixels, vyx.CodedCircleMarkerType()))
        assert isinstance(result, list)
        (create,) = calls(lines, "Image::Create")
        assert int(arg(create, "type")) == int(getattr(vyx.ImageTypeEnum, type_name))
        assert (arg(create, "width"), arg(create, "height")) == (str(W), str(H))
        assert arg(create, "sdk_owns_data") == "false"
        if dtype == np.uint8:
            assert int(arg(create, "data")) == pixels.ctypes.data, "uint8 arrays are not copied"
        else:
            assert int(arg(create, "data")) != pixels.ctypes.data
        # The temporary image is the one detected in, then destroyed.
        (detect,) = calls(lines, "DetectCodedCircleMarker")
        (destroy,) = calls(lines, "Image::Destroy")
        assert arg(destroy, "image") == arg(detect, "image")
        assert lines.index(detect) < lines.index(destroy)
        assert sim.live_objects() == before
        assert pixels.dtype == dtype and np.all(pixels == 200), "the caller's array is unchanged"

    @pytest.mark.parametrize("make", [
        lambda: np.arange(H * 2 * W, dtype=np.uint8).reshape(H, 2 * W)[:, ::2],
        lambda: np.asfortranarray(np.arange(H * W, dtype=np.uint8).reshape(H, W)),
        lambda: np.arange(W * H * 3, dtype=np.uint8).reshape(W, H, 3).transpose(1, 0, 2),
    ], ids=["strided", "fortran", "transposed"])
    def test_non_packed_arrays_are_packed(self, vyx, sim, make):
        pixels = make()
        assert not pixels.flags.c_contiguous
        _, lines = traced(
            sim, lambda: vyx.DetectCodedCircleMarker(pixels, vyx.CodedCircleMarkerType()))
        (create,) = calls(lines, "Image::Create")
        assert (arg(create, "width"), arg(create, "height")) == (str(pixels.shape[1]),
                                                                 str(pixels.shape[0]))
        assert int(arg(create, "data")) != pixels.ctypes.data

    @pytest.mark.parametrize("shape", [(W,), (H, W, 2), (H, W, 4), (2, H, W, 3), (0, W), (H, 0, 3),
                                       ()])
    def test_rejected_shapes(self, vyx, sim, shape):
        pixels = np.zeros(shape, dtype=np.uint8)
        before = sim.live_objects()
        _, lines = traced(sim, lambda: pytest.raises(
            ValueError, vyx.DetectCodedCircleMarker, pixels, vyx.CodedCircleMarkerType()))
        assert lines == [], "nothing reaches the SDK"
        assert sim.live_objects() == before

    def test_nested_sequence_is_converted(self, vyx, sim):
        rows = [[0, 255, 0], [255, 0, 255]]
        _, lines = traced(sim, lambda: vyx.DetectCodedCircleMarker(rows, vyx.CodedCircleMarkerType()))
        (create,) = calls(lines, "Image::Create")
        assert (arg(create, "width"), arg(create, "height")) == ("3", "2")

    def test_failed_detection_still_destroys(self, vyx, sim):
        pixels = np.zeros((H, W), dtype=np.uint8)
        before = sim.live_objects()
        sim.fail_next("DetectCodedCircleMarker")
        result, lines = traced(
            sim, lambda: vyx.DetectCodedCircleMarker(pixels, vyx.CodedCircleMarkerType()))
        assert result == []
        assert len(calls(lines, "Image::Destroy")) == 1
        assert sim.live_objects() == before
        # The detection's error is the one reported, not overwritten by the
        # release of the temporary image.
        assert vyx.GetLastError() == 10 and "DetectCodedCircleMarker" in vyx.GetLastErrorMessage()

    def test_failed_temporary_image_is_not_destroyed(self, vyx, sim):
        pixels = np.zeros((H, W), dtype=np.uint8)
        sim.fail_next("Image::Create")
        result, lines = traced(
            sim, lambda: vyx.DetectCodedCircleMarker(pixels, vyx.CodedCircleMarkerType()))
        assert result == []
        assert len(calls(lines, "DetectCodedCircleMarker")) == 1
        assert calls(lines, "Image::Destroy") == []

    @pytest.mark.parametrize("dtype", [np.uint8, np.float32])
    def test_no_reference_leaked(self, vyx, dtype):
        pixels = np.zeros((H, W), dtype=dtype)
        refs = sys.getrefcount(pixels)
        for _ in range(3):
            vyx.DetectCodedCircleMarker(pixels, vyx.CodedCircleMarkerType())
        assert sys.getrefcount(pixels) == refs


class TestConcentric:
    def test_2d_full_length_on_failure(self, vyx, sim, img):
        sim.fail_next("DetectConcentricCircleMarker2d", write_outputs=False)
        code, count, values = vyx.DetectConcentricCircleMarker2d(img)
        assert type(code) is int and code != 0
        assert count == 0
        assert len(values) == 2000 and all(type(v) is float and v == 0.0 for v in values)

    def test_3d_full_length_on_failure(self, vyx, sim, img, pm):
        sim.fail_next("DetectConcentricCircleMarker3d", write_outputs=False)
        code, count, values2d, values3d = vyx.DetectConcentricCircleMarker3d(img, pm)
        assert code != 0 and count == 0
        assert len(values2d) == 2000 and len(values3d) == 3000
        assert not any(values2d) and not any(values3d)

    def test_3d_handles_reach_sdk(self, vyx, sim, img, pm):
        _, lines = traced(sim, lambda: vyx.DetectConcentricCircleMarker3d(img, pm))
        (line,) = calls(lines, "DetectConcentricCircleMarker3d")
        assert (arg(line, "image"), arg(line, "map")) == (handle_text(sim, img),
                                                          handle_text(sim, pm))

    @pytest.mark.parametrize("call", [
        lambda vx, img, pm: vx.DetectConcentricCircleMarker2d(pm),
        lambda vx, img, pm: vx.DetectConcentricCircleMarker3d(img),
        lambda vx, img, pm: vx.DetectConcentricCircleMarker3d(pm, img),
    ])
    def test_wrong_arguments(self, vyx, img, pm, call):
        with pytest.raises(TypeError):
            call(vyx, img, pm)


class TestTwoCameraTransform:
    def test_zero_arrays_on_failure(self, vyx, sim, img, pm):
        sim.fail_next("GetTwoCameraTransformByCodedCircleMarker", write_outputs=False)
        code, rotation, translation = vyx.GetTwoCameraTransformByCodedCircleMarker(
            pm, img, pm, img, vyx.CodedCircleMarkerType())
        assert type(code) is int and code != 0
        assert rotation.shape == (3, 3) and translation.shape == (3,)
        for a in (rotation, translation):
            assert a.dtype == np.float64 and a.flags.c_contiguous and a.flags.owndata
            assert not a.any()

    def test_arguments_in_order(self, vyx, sim, img, pm):
        img2 = vyx.ImageCreate(vyx.ImageTypeEnum.Mono8, vyx.Size(W, H))
        pm2 = vyx.PointMapCreate(vyx.PointMapTypeEnum.PointsOnly, vyx.Size(W, H))
        t = vyx.CodedCircleMarkerType()
        t.N = 10
        _, lines = traced(sim, lambda: vyx.GetTwoCameraTransformByCodedCircleMarker(
            pm, img, pm2, img2, t))
        (line,) = calls(lines, "GetTwoCameraTransformByCodedCircleMarker")
        assert [arg(line, k) for k in ("map1", "image1", "map2", "image2", "N")] == [
            handle_text(sim, pm), handle_text(sim, img), handle_text(sim, pm2),
            handle_text(sim, img2), "10"]
