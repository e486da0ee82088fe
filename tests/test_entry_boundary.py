"""A C++ exception thrown inside the SDK never reaches Python: the SDK call
catches it at its boundary and fails as it fails otherwise, with error 15
(internal error) and a message naming the operation, and PyVyx reports that
failure as it reports any other (False, a failure status, an invalid handle)
without raising. The exceptions are made with vyxsim.throw_next."""
import pytest

INTERNAL = 15
WHAT = {
    False: "exception injected through the control interface",  # std::runtime_error
    True: "out of memory",                                       # std::bad_alloc
}


@pytest.fixture
def x1(vyx, devices):
    camera = vyx.X1.Create(devices[0], vyx.CameraID_Left)
    assert camera.IsValid(), vyx.GetLastErrorMessage()
    assert camera.Open(), vyx.GetLastErrorMessage()
    yield camera
    camera.Close()
    vyx.X1.Destroy(camera)


@pytest.fixture
def image(vyx):
    img = vyx.ImageCreate(vyx.ImageTypeEnum.Mono8, vyx.Size(8, 6))
    assert img.IsValid()
    return img


def capture(vx, x1, image, tmp_path):
    return x1.Capture()


def save_image(vx, x1, image, tmp_path):
    return image.SaveImage(str(tmp_path / "saved.png"))


def list_devices(vx, x1, image, tmp_path):
    return vx.SystemListDevices(vx.All)


def get_point_map(vx, x1, image, tmp_path):
    assert x1.Capture(), vx.GetLastErrorMessage()
    return x1.GetPointMap()


def create_image(vx, x1, image, tmp_path):
    return vx.ImageCreate(vx.ImageTypeEnum.Mono8, vx.Size(4, 4))


# (op, call, whether the result is the call's failure)
CALLS = [
    ("X1::Capture", capture, lambda r, vx: r is False),
    ("Image::SaveImage", save_image, lambda r, vx: r is False),
    ("SystemListDevices", list_devices, lambda r, vx: r[0] == INTERNAL and r[1] == []),
    ("X1::GetPointMap", get_point_map, lambda r, vx: not r.IsValid()),
    ("Image::Create", create_image, lambda r, vx: not r.IsValid()),
]


@pytest.mark.parametrize("out_of_memory", [False, True], ids=["runtime_error", "bad_alloc"])
@pytest.mark.parametrize("op,call,failed", CALLS, ids=[c[0] for c in CALLS])
def test_thrown_exception_is_a_failed_result(sim, vyx, x1, image, tmp_path, op, call, failed,
                                             out_of_memory):
    sim.throw_next(op, out_of_memory=out_of_memory)
    result = call(vyx, x1, image, tmp_path)  # raises nothing
    assert failed(result, vyx)
    assert vyx.GetLastError() == INTERNAL
    assert vyx.GetLastErrorMessage() == f"{op}: internal error: {WHAT[out_of_memory]}"
    # One exception was injected: the same call then succeeds.
    assert not failed(call(vyx, x1, image, tmp_path), vyx), vyx.GetLastErrorMessage()


def test_failed_save_writes_no_file(sim, vyx, image, tmp_path):
    sim.throw_next("Image::SaveImage")
    assert image.SaveImage(str(tmp_path / "saved.png")) is False
    assert not (tmp_path / "saved.png").exists()


def test_count_and_clear(sim, vyx, image, tmp_path):
    path = str(tmp_path / "saved.png")
    sim.throw_next("Image::SaveImage", count=2)
    assert [image.SaveImage(path) for _ in range(2)] == [False, False]
    assert image.SaveImage(path) is True
    sim.throw_next("Image::SaveImage", count=5)
    sim.clear_failures()
    assert image.SaveImage(path) is True


def test_system_init_throwing_leaves_the_system_down(sim):
    import PyVyx as vx

    sim.throw_next("SystemInit")
    assert vx.SystemInit() is False
    assert vx.GetLastError() == INTERNAL
    assert vx.SystemIsInited() is False
    assert vx.SystemInit() is True
    vx.SystemShutdown()
