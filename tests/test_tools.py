"""External camera registration, TransformPointCloud and TestAccuracy: what
reaches the SDK, the lengths checked before it is called, output sizes and
starting values."""

import re

import numpy as np
import pytest
from tracing import traced, calls, arg, handle_text

W, H = 64, 48
# The external camera's image size: the masks are its grey images.
EW, EH = 80, 60
CAMERA = [600.0, 0.0, 320.0, 0.0, 600.0, 240.0, 0.0, 0.0, 1.0]
DISTORTION = [0.01, -0.02, 0.0, 0.0, 0.001]
EXTRINSIC = list(np.eye(4).ravel())


def refused(sim, exc, fn, op):
    """`fn` raises `exc` and `op` never reaches the SDK."""
    _, lines = traced(sim, lambda: pytest.raises(exc, fn))
    assert calls(lines, op) == []


@pytest.fixture
def map_size():
    """The size of the `img` and `pm` fixtures."""
    return W, H


# ---------------------------------------------------------------------------
# External camera

def views(img, pm, masks):
    out = []
    for mask in masks:
        out += [img, pm, mask]
    return out


def extrinsic(vx, img, pm, masks=None, camera=CAMERA, distortion=DISTORTION, size=(EW, EH)):
    masks = masks or [np.ones((EH, EW), np.uint8)] * 3
    return vx.GetExternalCameraExtrinsicMatrix(*views(img, pm, masks), *size, camera, distortion)


class TestExternalCameraExtrinsic:
    def test_unwritten_outputs_are_zero(self, vyx, sim, img, pm):
        sim.fail_next("GetExternalCameraExtrinsicMatrix", write_outputs=False)
        flag, matrix, error = extrinsic(vyx, img, pm)
        assert type(flag) is bool and type(error) is float
        assert matrix == [0.0] * 16 and error == 0.0
        assert all(type(v) is float for v in matrix)

    def test_arguments_reach_sdk_in_order(self, vyx, sim, img, pm):
        img2 = vyx.ImageCreate(vyx.ImageTypeEnum.Mono8, vyx.Size(W, H))
        pm2 = vyx.PointMapCreate(vyx.PointMapTypeEnum.PointsOnly, vyx.Size(W, H))
        mask = np.ones((EH, EW), np.uint8)
        args = [img, pm, mask, img2, pm2, mask, img, pm2, mask, EW, EH, CAMERA, DISTORTION]
        _, lines = traced(sim, lambda: vyx.GetExternalCameraExtrinsicMatrix(*args))
        (line,) = calls(lines, "GetExternalCameraExtrinsicMatrix")
        names = ["image1", "map1", "image2", "map2", "image3", "map3", "width", "height"]
        expected = [handle_text(sim, o) for o in (img, pm, img2, pm2, img, pm2)] + [str(EW), str(EH)]
        assert [arg(line, n) for n in names] == expected

    @pytest.mark.parametrize("mask", [
        np.ones((EH, EW), np.float64),
        np.ones((EH, EW), np.bool_),
        np.ones(EH * EW, np.uint8),
        np.ones((EH, EW, 1), np.uint8),
        np.ones((EH, 2 * EW), np.uint8)[:, ::2],
        np.asfortranarray(np.ones((EH, EW), np.uint8)),
        [[1] * EW] * EH,
    ], ids=["float64", "bool", "flat", "channel", "strided", "fortran", "nested-list"])
    def test_accepted_masks(self, vyx, sim, img, pm, mask):
        _, lines = traced(sim, lambda: extrinsic(vyx, img, pm, [mask] * 3))
        assert len(calls(lines, "GetExternalCameraExtrinsicMatrix")) == 1

    def test_mask_cast_leaves_caller_array(self, vyx, img, pm):
        mask = np.full((EH, EW), 3.7)
        extrinsic(vyx, img, pm, [mask] * 3)
        assert mask.dtype == np.float64 and np.all(mask == 3.7)

    @pytest.mark.parametrize("which", [0, 1, 2])
    @pytest.mark.parametrize("shape", [(EW, EH), (EH, EW - 1), (EH * EW - 1,), (EH, EW, 3), (0,),
                                       (H, W)], ids=["transposed", "narrow", "short", "colour",
                                                     "empty", "point-map-size"])
    def test_mask_of_wrong_size_refused(self, vyx, sim, img, pm, which, shape):
        masks = [np.ones((EH, EW), np.uint8)] * 3
        masks[which] = np.ones(shape, np.uint8)
        refused(sim, ValueError, lambda: extrinsic(vyx, img, pm, masks),
                "GetExternalCameraExtrinsicMatrix")
        with pytest.raises(ValueError, match=f"mask {which + 1}"):
            extrinsic(vyx, img, pm, masks)

    @pytest.mark.parametrize("camera, distortion, what", [
        (CAMERA[:8], DISTORTION, "camera matrix"),
        (CAMERA + [0.0], DISTORTION, "camera matrix"),
        ([], DISTORTION, "camera matrix"),
        (CAMERA, DISTORTION[:4], "distortion"),
        (CAMERA, DISTORTION + [0.0, 0.0, 0.0], "distortion"),
    ])
    def test_parameter_lengths_refused(self, vyx, sim, img, pm, camera, distortion, what):
        refused(sim, ValueError, lambda: extrinsic(vyx, img, pm, camera=camera,
                                                   distortion=distortion),
                "GetExternalCameraExtrinsicMatrix")
        with pytest.raises(ValueError, match=what):
            extrinsic(vyx, img, pm, camera=camera, distortion=distortion)

    @pytest.mark.parametrize("size", [(0, EH), (EW, -1)])
    def test_unusable_size_left_to_sdk(self, vyx, sim, img, pm, size):
        # The SDK refuses the size before it reads any mask.
        (flag, matrix, _), lines = traced(sim, lambda: extrinsic(
            vyx, img, pm, masks=[np.ones(1, np.uint8)] * 3, size=size))
        assert len(calls(lines, "GetExternalCameraExtrinsicMatrix")) == 1
        assert not flag and matrix == [0.0] * 16
        assert "size" in vyx.GetLastErrorMessage()

    def test_tuples_accepted(self, vyx, sim, img, pm):
        _, lines = traced(sim, lambda: extrinsic(vyx, img, pm, camera=tuple(CAMERA),
                                                 distortion=tuple(DISTORTION)))
        assert len(calls(lines, "GetExternalCameraExtrinsicMatrix")) == 1

    @pytest.mark.parametrize("bad", [
        lambda vx, img, pm: extrinsic(vx, img, pm, camera=["x"] * 9),
        lambda vx, img, pm: extrinsic(vx, img, pm, masks=["mask"] * 3),
        lambda vx, img, pm: vx.GetExternalCameraExtrinsicMatrix(
            *views(pm, img, [np.ones((EH, EW), np.uint8)] * 3), EW, EH, CAMERA, DISTORTION),
    ])
    def test_wrong_types(self, vyx, sim, img, pm, bad):
        refused(sim, TypeError, lambda: bad(vyx, img, pm), "GetExternalCameraExtrinsicMatrix")


class TestExternalCameraPointMap:
    def test_returns_new_point_map(self, vyx, sim, pm):
        out, lines = traced(sim, lambda: vyx.GetExternalCameraPointMap(
            pm, 640, 480, CAMERA, DISTORTION, EXTRINSIC))
        (line,) = calls(lines, "GetExternalCameraPointMap")
        assert (arg(line, "map"), arg(line, "width"), arg(line, "height")) == (
            handle_text(sim, pm), "640", "480")
        assert isinstance(out, vyx.PointMap) and out is not pm

    def test_failure_gives_invalid_point_map(self, vyx, sim, pm):
        sim.fail_next("GetExternalCameraPointMap")
        out = vyx.GetExternalCameraPointMap(pm, 640, 480, CAMERA, DISTORTION, EXTRINSIC)
        assert not out.IsValid()

    @pytest.mark.parametrize("lists, what", [
        ((CAMERA[:8], DISTORTION, EXTRINSIC), "camera matrix"),
        ((CAMERA, DISTORTION[:4], EXTRINSIC), "distortion"),
        ((CAMERA, DISTORTION, EXTRINSIC[:15]), "extrinsic"),
        ((CAMERA, DISTORTION, EXTRINSIC + [0.0]), "extrinsic"),
        ((CAMERA, DISTORTION, []), "extrinsic"),
    ])
    def test_lengths_refused(self, vyx, sim, pm, lists, what):
        refused(sim, ValueError, lambda: vyx.GetExternalCameraPointMap(pm, 640, 480, *lists),
                "GetExternalCameraPointMap")
        with pytest.raises(ValueError, match=what):
            vyx.GetExternalCameraPointMap(pm, 640, 480, *lists)


# ---------------------------------------------------------------------------
# TransformPointCloud

class TestTransformPointCloud:
    @pytest.mark.parametrize("rotation, translation", [
        (np.eye(3), np.zeros(3)),
        (np.eye(3).ravel(), np.zeros((3, 1))),
        (np.eye(3).reshape(1, 9), np.zeros((1, 3))),
        (np.eye(3, dtype=np.int64), np.zeros(3, np.int64)),
        (np.eye(3, dtype=np.float32), np.zeros(3, np.float32)),
        (np.eye(3).T, np.zeros(6)[::2]),
        (np.eye(3).tolist(), [0, 0, 0]),
    ], ids=["float64", "flat", "row", "int64", "float32", "non-contiguous", "lists"])
    def test_accepted(self, vyx, sim, pm, rotation, translation):
        result, lines = traced(sim, lambda: vyx.TransformPointCloud(rotation, translation, pm))
        assert result is None
        (line,) = calls(lines, "TransformPointCloud")
        assert arg(line, "map") == handle_text(sim, pm)

    def test_caller_arrays_unchanged(self, vyx, pm):
        rotation = np.array([[0, -1, 0], [1, 0, 0], [0, 0, 1]], dtype=np.int64)
        translation = np.array([1, 2, 3], dtype=np.int64)
        r0, t0 = rotation.copy(), translation.copy()
        vyx.TransformPointCloud(rotation, translation, pm)
        assert rotation.dtype == np.int64 and translation.dtype == np.int64
        assert np.array_equal(rotation, r0) and np.array_equal(translation, t0)

    @pytest.mark.parametrize("rotation, translation, what", [
        (np.eye(2), np.zeros(3), "rotation"),
        (np.eye(4), np.zeros(3), "rotation"),
        (np.zeros(8), np.zeros(3), "rotation"),
        (np.zeros(0), np.zeros(3), "rotation"),
        (np.eye(3), np.zeros(2), "translation"),
        (np.eye(3), np.zeros(4), "translation"),
        (np.eye(3), np.zeros((3, 3)), "translation"),
        (np.eye(3), 0.0, "translation"),
    ])
    def test_wrong_sizes_refused(self, vyx, sim, pm, rotation, translation, what):
        refused(sim, ValueError, lambda: vyx.TransformPointCloud(rotation, translation, pm),
                "TransformPointCloud")
        with pytest.raises(ValueError, match=what):
            vyx.TransformPointCloud(rotation, translation, pm)

    @pytest.mark.parametrize("bad", [
        lambda vx, pm: vx.TransformPointCloud(np.eye(3), np.zeros(3)),
        lambda vx, pm: vx.TransformPointCloud(np.eye(3), np.zeros(3), np.zeros((4, 4, 3))),
        lambda vx, pm: vx.TransformPointCloud("abc", np.zeros(3), pm),
    ])
    def test_wrong_types(self, vyx, sim, pm, bad):
        refused(sim, TypeError, lambda: bad(vyx, pm), "TransformPointCloud")


# ---------------------------------------------------------------------------
# TestAccuracy

class TestAccuracyOutputs:
    @pytest.mark.parametrize("a, b", [(11, 9), (1, 1), (7, 5), (0, 9), (9, 0), (0, 0)])
    def test_output_lengths_and_zero_fill(self, vyx, sim, img, pm, a, b):
        sim.fail_next("TestAccuracy", write_outputs=False)
        result, lines = traced(sim, lambda: vyx.TestAccuracy(img, pm, a, b, 15.0))
        code, first, second, s1, s2 = result
        assert type(code) is int and code != 0
        assert len(first) == 2 * a * b and len(second) == 3 * a * b
        assert not any(first) and not any(second)
        assert all(type(v) is float for v in first + second)
        assert (s1, s2) == (0.0, 0.0) and type(s1) is float
        (line,) = calls(lines, "TestAccuracy")
        assert [arg(line, n) for n in ("cols", "rows", "spacing_mm")] == [str(a), str(b), "15"]
        # No reference lists; output buffers only where there is room for a value.
        assert (arg(line, "reference2d"), arg(line, "reference3d")) == ("0", "0")
        outputs_null = [arg(line, n) == "0" for n in ("centers2d", "centers3d")]
        assert outputs_null == [a * b == 0] * 2

    def test_arguments_reach_sdk(self, vyx, sim, img, pm):
        _, lines = traced(sim, lambda: vyx.TestAccuracy(img, pm, 11, 9, 12.5))
        (line,) = calls(lines, "TestAccuracy")
        assert (arg(line, "image"), arg(line, "map")) == (handle_text(sim, img),
                                                          handle_text(sim, pm))

    @pytest.mark.parametrize("a, b", [(-1, 9), (9, -1), (-1, -1), (0, -1), (-2**31, 1),
                                      (2**16, 2**16), (2**31 - 1, 1), (46341, 46341),
                                      (26755, 26755), ((2**31 - 1) // 3 + 1, 1)])
    @pytest.mark.parametrize("with_lists", [False, True])
    def test_bad_grid_refused(self, vyx, sim, img, pm, a, b, with_lists):
        args = (img, pm, [], [], a, b, 15.0) if with_lists else (img, pm, a, b, 15.0)
        refused(sim, ValueError, lambda: vyx.TestAccuracy(*args), "TestAccuracy")


class TestAccuracyReferenceOverload:
    def test_empty_lists_behave_as_short_form(self, vyx, sim, img, pm):
        short, short_lines = traced(sim, lambda: vyx.TestAccuracy(img, pm, 11, 9, 15.0))
        long_, long_lines = traced(sim, lambda: vyx.TestAccuracy(img, pm, [], [], 11, 9, 15.0))
        assert short == long_
        # The output buffers are fresh allocations in each call, so their
        # addresses may differ; every argument the caller chose must not.
        (s_line,), (l_line,) = calls(short_lines, "TestAccuracy"), calls(long_lines, "TestAccuracy")
        outputs = ("centers2d", "centers3d")
        assert all(int(arg(line, o)) != 0 for line in (s_line, l_line) for o in outputs)
        mask = lambda line: re.sub(r"(centers[23]d)=\d+", r"\1=?", line)
        assert mask(s_line) == mask(l_line)

    @pytest.mark.parametrize("ref2d, ref3d", [
        ([0.5] * 198, [0.25] * 297),
        ([], [0.25] * 297),
        ([0.5] * 198, []),
        (tuple([1.0] * 198), np.ones(297).tolist()),
    ])
    def test_matching_lengths_accepted(self, vyx, sim, img, pm, ref2d, ref3d):
        result, lines = traced(sim, lambda: vyx.TestAccuracy(img, pm, ref2d, ref3d, 11, 9, 15.0))
        (line,) = calls(lines, "TestAccuracy")
        # An empty list is a null pointer, any other a pointer to its values.
        assert (arg(line, "reference2d") == "0") == (len(ref2d) == 0)
        assert (arg(line, "reference3d") == "0") == (len(ref3d) == 0)
        assert (len(result[1]), len(result[2])) == (198, 297)

    @pytest.mark.parametrize("ref2d, ref3d, what", [
        ([0.5] * 197, [0.25] * 297, "2D"),
        ([0.5] * 199, [], "2D"),
        ([0.5] * 198, [0.25] * 296, "3D"),
        ([0.5] * 297, [0.25] * 198, "2D"),
        ([], [0.25] * 198, "3D"),
    ])
    def test_wrong_lengths_refused(self, vyx, sim, img, pm, ref2d, ref3d, what):
        refused(sim, ValueError, lambda: vyx.TestAccuracy(img, pm, ref2d, ref3d, 11, 9, 15.0),
                "TestAccuracy")
        with pytest.raises(ValueError, match=what):
            vyx.TestAccuracy(img, pm, ref2d, ref3d, 11, 9, 15.0)

    def test_zero_grid_takes_only_empty_lists(self, vyx, sim, img, pm):
        (code, first, second, _, _), lines = traced(
            sim, lambda: vyx.TestAccuracy(img, pm, [], [], 0, 9, 15.0))
        assert first == [] and second == []
        (line,) = calls(lines, "TestAccuracy")
        assert [arg(line, n) for n in ("reference2d", "reference3d", "centers2d", "centers3d")] \
            == ["0"] * 4
        refused(sim, ValueError, lambda: vyx.TestAccuracy(img, pm, [1.0, 2.0], [], 0, 9, 15.0),
                "TestAccuracy")

    def test_type_error_lists_both_overloads(self, vyx, img, pm):
        with pytest.raises(TypeError) as e:
            vyx.TestAccuracy(img, pm, 11, 9)
        text = str(e.value)
        assert "1. (arg0: PyVyx.Image, arg1: PyVyx.PointMap, arg2: int, arg3: int, arg4: float)" \
            in text
        assert "2. (arg0: PyVyx.Image, arg1: PyVyx.PointMap, arg2: List[float], " \
            "arg3: List[float], arg4: int, arg5: int, arg6: float)" in text

    def test_strings_are_not_lists(self, vyx, sim, img, pm):
        refused(sim, TypeError, lambda: vyx.TestAccuracy(img, pm, "ab", "abc", 1, 1, 15.0),
                "TestAccuracy")
