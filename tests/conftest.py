"""Test set-up: import PyVyx and vyxsim from the build under test."""
import os
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = pathlib.Path(os.environ.get("PYVYX_BUILD_DIR", ROOT / "build"))
sys.path.insert(0, str(BUILD / "python"))
