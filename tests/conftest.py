"""Test set-up: import PyVyx and vyxsim from the build under test."""
import os
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = pathlib.Path(os.environ.get("PYVYX_BUILD_DIR", ROOT / "build"))
sys.path.insert(0, str(BUILD / "python"))

import pytest  # noqa: E402


@pytest.fixture(autouse=True)
def sim():
    """The stand-in's control module, reset to the default devices around each test."""
    import vyxsim

    vyxsim.reset()
    yield vyxsim
    vyxsim.reset()


@pytest.fixture
def vyx(sim):
    """PyVyx with the system initialised for the test."""
    import PyVyx

    assert PyVyx.SystemInit()
    yield PyVyx
    PyVyx.SystemShutdown()
