"""The tools end to end on captures of the default virtual devices: coded and
concentric markers, the two-camera transform, TransformPointCloud, the
accuracy test on the calibration board, the compensator and the external
camera registration, each checked against NumPy or against a second camera."""
import numpy as np
import pytest

import PyVyx as vx
from conftest import HAVE_STANDIN, NO_STANDIN

GREY, COLOUR = 0, 1  # indices of the default devices (USB grey, GigE colour)
LEFT, RIGHT = 0, 1
GRID = (11, 9)  # the board's circle grid, cols x rows


@pytest.fixture(scope="module")
def captures():
    """Pixels and points of captures, as NumPy copies keyed by (device, camera,
    shot): the SDK objects themselves do not outlive a test."""
    if not HAVE_STANDIN:
        pytest.skip(NO_STANDIN)
    import vyxsim

    vyxsim.reset()
    assert vx.SystemInit()
    out = {}
    try:
        status, devices = vx.SystemListDevices(vx.All)
        assert status == 0 and len(devices) >= 2
        plan = [(GREY, LEFT, 0), (GREY, LEFT, 1), (GREY, RIGHT, 0), (COLOUR, LEFT, 0)]
        for device, camera, shot in plan:
            camera_id = vx.CameraID_Left if camera == LEFT else vx.CameraID_Right
            cam = vx.X1.Create(devices[device], camera_id)
            assert cam.Open()
            assert cam.Capture(vx.X1_CaptureOptions())
            img, pm = cam.GetImage(), cam.GetPointMap()
            ok, K, dist = cam.GetIntrinsicParameters()
            assert ok
            out[device, camera, shot] = (img.GetType(), np.array(img, copy=True),
                                                 np.array(pm, copy=True), K, dist)
            cam.Close()
            vx.X1.Destroy(cam)
    finally:
        vx.SystemShutdown()
        vyxsim.reset()
    return out


def rebuild(vyx, capture):
    """A new SDK image and point map holding a captured frame."""
    image_type, pixels, points, _, _ = capture
    size = vyx.Size(points.shape[1], points.shape[0])
    img = vyx.ImageCreate(image_type, size)
    np.asarray(img)[...] = pixels
    pm = vyx.PointMapCreate(vyx.PointMapTypeEnum.PointsOnly, size)
    np.asarray(pm)[...] = points
    return img, pm


@pytest.fixture
def frame(vyx, captures):
    def make(device=GREY, camera=LEFT, shot=0):
        return rebuild(vyx, captures[device, camera, shot])
    return make


def markers(found):
    return sorted((m.code, m.x, m.y) for m in found)


# ---------------------------------------------------------------------------
# Coded markers

class TestCodedMarkers:
    @pytest.mark.parametrize("device", [GREY, COLOUR])
    def test_found_inside_the_image(self, vyx, frame, device):
        img, _ = frame(device)
        found = vyx.DetectCodedCircleMarker(img, vyx.CodedCircleMarkerType())
        assert len(found) >= 6
        assert all(isinstance(m, vyx.CodedCircleMarker) for m in found)
        codes = [m.code for m in found]
        assert len(set(codes)) == len(codes) and all(c > 0 for c in codes)
        size = img.GetSize()
        assert all(0 <= m.x < size.width and 0 <= m.y < size.height for m in found)

    def test_stable_between_captures(self, vyx, frame):
        first = markers(vyx.DetectCodedCircleMarker(frame(GREY, LEFT, 0)[0],
                                                    vyx.CodedCircleMarkerType()))
        second = markers(vyx.DetectCodedCircleMarker(frame(GREY, LEFT, 1)[0],
                                                     vyx.CodedCircleMarkerType()))
        assert [c for c, _, _ in first] == [c for c, _, _ in second]
        assert np.allclose([p[1:] for p in first], [p[1:] for p in second], atol=0.5)

    @pytest.mark.parametrize("device", [GREY, COLOUR])
    def test_array_overload_matches_image(self, vyx, frame, device):
        img, _ = frame(device)
        expected = markers(vyx.DetectCodedCircleMarker(img, vyx.CodedCircleMarkerType()))
        pixels = np.array(img, copy=True)
        assert markers(vyx.DetectCodedCircleMarker(pixels, vyx.CodedCircleMarkerType())) == expected
        # A float copy is converted back to the same bytes.
        assert markers(vyx.DetectCodedCircleMarker(pixels.astype(np.float64),
                                                   vyx.CodedCircleMarkerType())) == expected

    def test_fortran_colour_array_is_packed(self, vyx, frame):
        img, _ = frame(COLOUR)
        pixels = np.array(img, copy=True)
        expected = markers(vyx.DetectCodedCircleMarker(img, vyx.CodedCircleMarkerType()))
        fortran = np.asfortranarray(pixels)
        assert markers(vyx.DetectCodedCircleMarker(fortran, vyx.CodedCircleMarkerType())) == \
            expected

    @pytest.mark.parametrize("tiles, expected", [((20, 20), 400), ((34, 34), 1000)])
    def test_list_bounded_by_buffer(self, vyx, frame, tiles, expected):
        """A sheet of copies of one marker (20 x 20 = 400, 34 x 34 = 1156):
        every copy is found, up to the buffer's 1000 entries."""
        img, _ = frame(GREY)
        pixels = np.array(img, copy=True)
        m = vyx.DetectCodedCircleMarker(img, vyx.CodedCircleMarkerType())[0]
        x, y = int(round(m.x)), int(round(m.y))
        patch = pixels[y - 20:y + 20, x - 20:x + 20]
        sheet = np.pad(np.tile(patch, tiles), 20, constant_values=int(np.median(patch)))
        found = vyx.DetectCodedCircleMarker(sheet, vyx.CodedCircleMarkerType())
        assert len(found) == expected
        assert {f.code for f in found} == {m.code}


# ---------------------------------------------------------------------------
# Concentric markers, the two-camera transform and TransformPointCloud

class TestConcentricMarkers:
    def test_2d_and_3d_agree(self, vyx, frame):
        img, pm = frame(GREY)
        code2, n2, values2 = vyx.DetectConcentricCircleMarker2d(img)
        code3, n3, values2d, values3d = vyx.DetectConcentricCircleMarker3d(img, pm)
        assert code2 == code3 == 0 and n2 == n3 > 0
        assert np.allclose(values2[:2 * n2], values2d[:2 * n3])
        assert not any(values2[2 * n2:]) and not any(values2d[2 * n3:]) and \
            not any(values3d[3 * n3:])
        # Each 3D point is the surface at its pixel, within a millimetre.
        points = np.asarray(pm)
        for (u, v), p in zip(np.reshape(values2d[:2 * n3], (-1, 2)),
                             np.reshape(values3d[:3 * n3], (-1, 3))):
            assert np.linalg.norm(points[int(round(v)), int(round(u))] - p) < 1e-3


class TestTransforms:
    def test_identity_leaves_points(self, vyx, frame):
        _, pm = frame(GREY)
        before = np.array(pm, copy=True)
        vyx.TransformPointCloud(np.eye(3), np.zeros(3), pm)
        assert np.array_equal(np.asarray(pm), before, equal_nan=True)

    @pytest.mark.parametrize("rotation, translation", [
        (np.array([[0, -1, 0], [1, 0, 0], [0, 0, 1]], dtype=np.int64), np.array([1, 0, -2])),
        (None, [0.01, -0.02, 0.03]),
    ], ids=["int64-quarter-turn", "small-rotation-lists"])
    def test_known_motion(self, vyx, frame, rotation, translation):
        if rotation is None:
            a = np.radians(7.0)
            rotation = [[np.cos(a), 0, np.sin(a)], [0, 1, 0], [-np.sin(a), 0, np.cos(a)]]
        _, pm = frame(GREY)
        before = np.array(pm, copy=True)
        vyx.TransformPointCloud(rotation, translation, pm)
        R = np.asarray(rotation, dtype=np.float64)
        expected = before @ R.T + np.asarray(translation, dtype=np.float64)
        assert np.allclose(np.asarray(pm), expected, rtol=0, atol=1e-12, equal_nan=True)

    def test_two_camera_transform_moves_left_onto_right(self, vyx, frame):
        il, pl = frame(GREY, LEFT)
        ir, pr = frame(GREY, RIGHT)
        code, R, t = vyx.GetTwoCameraTransformByCodedCircleMarker(
            pl, il, pr, ir, vyx.CodedCircleMarkerType())
        assert code == 0, vyx.GetLastErrorMessage()
        assert np.allclose(R @ R.T, np.eye(3), atol=1e-9) and np.linalg.det(R) > 0
        _, nl, _, left3d = vyx.DetectConcentricCircleMarker3d(il, pl)
        _, nr, _, right3d = vyx.DetectConcentricCircleMarker3d(ir, pr)
        assert nl == nr > 0
        left = np.reshape(left3d[:3 * nl], (-1, 3))
        right = np.reshape(right3d[:3 * nr], (-1, 3))
        assert np.allclose(left @ R.T + t, right, atol=1e-3)
        # The same transform applied to the whole left point map.
        vyx.TransformPointCloud(R, t, pl)
        _, _, _, moved3d = vyx.DetectConcentricCircleMarker3d(il, pl)
        assert np.allclose(np.reshape(moved3d[:3 * nl], (-1, 3)), right, atol=1e-3)


# ---------------------------------------------------------------------------
# Accuracy test

def neighbour_distances(centres):
    """Distances between horizontal and vertical neighbours of a (rows, cols, 3) grid."""
    return np.concatenate([np.linalg.norm(np.diff(centres, axis=1), axis=-1).ravel(),
                           np.linalg.norm(np.diff(centres, axis=0), axis=-1).ravel()])


class TestAccuracyOnBoard:
    @pytest.mark.parametrize("device", [GREY, COLOUR])
    def test_results_agree_with_numpy(self, vyx, frame, device):
        img, pm = frame(device)
        cols, rows = GRID
        code, c2, c3, mean_error, flatness = vyx.TestAccuracy(img, pm, cols, rows, 15.0)
        assert code == 0, vyx.GetLastErrorMessage()
        centres2d = np.reshape(c2, (rows, cols, 2))
        centres3d = np.reshape(c3, (rows, cols, 3))
        size = img.GetSize()
        assert np.all((centres2d >= 0) & (centres2d < [size.width, size.height]))
        # Row by row, column by column.
        assert np.all(np.diff(centres2d[..., 0], axis=1) > 0)
        assert np.all(np.diff(centres2d[..., 1], axis=0) > 0)
        d = neighbour_distances(centres3d)
        assert mean_error == pytest.approx(np.mean(np.abs(d - 15.0)), abs=1e-3)
        flat = centres3d.reshape(-1, 3)
        centred = flat - flat.mean(axis=0)
        normal = np.linalg.svd(centred)[2][-1]
        assert flatness == pytest.approx(np.sqrt(np.mean((centred @ normal) ** 2)), abs=1e-3)

    def test_fifteen_millimetre_board(self, vyx, frame):
        img, pm = frame(COLOUR)
        code, _, c3, mean_error, flatness = vyx.TestAccuracy(img, pm, *GRID, 15.0)
        assert code == 0
        d = neighbour_distances(np.reshape(c3, (GRID[1], GRID[0], 3)))
        assert np.mean(d) == pytest.approx(15.0, abs=0.05)
        assert mean_error < 0.05 and flatness < 0.05

    def test_wrong_nominal_spacing_shows_as_error(self, vyx, frame):
        img, pm = frame(COLOUR)
        _, _, _, mean_error, _ = vyx.TestAccuracy(img, pm, *GRID, 17.0)
        assert mean_error == pytest.approx(2.0, abs=0.05)

    def test_reference_lists_reach_sdk(self, vyx, frame):
        img, pm = frame(COLOUR)
        code, c2, c3, _, _ = vyx.TestAccuracy(img, pm, *GRID, 15.0)
        assert code == 0
        # With its own centres as the reference, the board has no spacing error.
        code, r2, r3, mean_error, _ = vyx.TestAccuracy(img, pm, c2, c3, *GRID, 15.0)
        assert code == 0
        assert np.allclose(r2, c2, atol=1e-3) and np.allclose(r3, c3, atol=1e-3)
        assert mean_error < 1e-3
        # A reference scaled by 1.1 gives a spacing error of a tenth.
        _, _, _, scaled_error, _ = vyx.TestAccuracy(img, pm, [], [v * 1.1 for v in c3],
                                                    *GRID, 15.0)
        assert scaled_error == pytest.approx(1.5, abs=0.05)


# ---------------------------------------------------------------------------
# Compensator

class TestCompensatorOnBoard:
    def test_drift_measured_and_removed(self, vyx, frame):
        img, pm = frame(GREY)
        comp = vyx.Compensator_FixedMarkers()
        found = comp.Initialize(pm, img, 3)
        assert found >= 3, vyx.GetLastErrorMessage()

        assert comp.Update(pm, img) == (True, pytest.approx(0.0, abs=1e-6))

        a = np.radians(2.0)
        R = np.array([[np.cos(a), -np.sin(a), 0], [np.sin(a), np.cos(a), 0], [0, 0, 1]])
        t = np.array([0.001, -0.002, 0.003])
        moved = pm.Clone()
        vyx.TransformPointCloud(R, t, moved)
        flag, drift = comp.Update(moved, img)
        assert flag
        # The RMS displacement of the markers' surface points, in millimetres.
        points = np.asarray(pm)
        at = np.array([points[int(round(m.y)), int(round(m.x))]
                       for m in vyx.DetectCodedCircleMarker(img, vyx.CodedCircleMarkerType())])
        at = at[~np.isnan(at).any(axis=1)]
        expected = 1000 * np.sqrt(np.mean(np.sum((at @ R.T + t - at) ** 2, axis=1)))
        assert drift == pytest.approx(expected, rel=0.02)

        flag, out = comp.Apply(moved)
        assert flag and out is not moved
        assert np.allclose(np.asarray(out), points, atol=1e-9, equal_nan=True)

    def test_failures_fold_to_false(self, vyx, frame):
        img, pm = frame(GREY)
        comp = vyx.Compensator_FixedMarkers()
        assert comp.Update(pm, img) == (False, 0.0)
        ok, out = comp.Apply(pm)
        assert not ok and out.IsValid()

    def test_initialize_status_unchanged(self, vyx, frame):
        _, pm = frame(GREY)
        blank = vyx.ImageCreate(vyx.ImageTypeEnum.Mono8, pm.GetSize())
        status = vyx.Compensator_FixedMarkers().Initialize(pm, blank, 3)
        assert status < 0 and status == -vyx.GetLastError()


# ---------------------------------------------------------------------------
# External camera

class TestExternalCamera:
    def test_right_camera_as_external(self, vyx, frame, captures):
        """The right camera's grey image as the external camera's view: the
        extrinsic matrix is the right camera's pose, and the point map made
        for it matches the right camera's own."""
        il, pl = frame(GREY, LEFT)
        _, right_pixels, right_points, K, dist = captures[GREY, RIGHT, 0]
        height, width = right_pixels.shape
        flag, matrix, error = vyx.GetExternalCameraExtrinsicMatrix(
            il, pl, right_pixels, il, pl, right_pixels, il, pl, right_pixels,
            width, height, K, dist)
        assert flag, vyx.GetLastErrorMessage()
        E = np.reshape(matrix, (4, 4))
        ir_img, pr = frame(GREY, RIGHT)
        code, R, t = vyx.GetTwoCameraTransformByCodedCircleMarker(
            pl, il, pr, ir_img, vyx.CodedCircleMarkerType())
        assert code == 0
        assert np.allclose(E[:3, :3], R, atol=1e-3) and np.allclose(E[:3, 3], t, atol=1e-3)
        assert np.array_equal(E[3], [0, 0, 0, 1]) and 0 <= error < 1.0

        external = vyx.GetExternalCameraPointMap(pl, width, height, K, dist, matrix)
        assert external.IsValid(), vyx.GetLastErrorMessage()
        diff = np.abs(np.asarray(external) - right_points)
        assert np.nanmedian(diff) < 1e-3
