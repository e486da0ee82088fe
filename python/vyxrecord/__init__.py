"""Recording camera frames to a folder of ordinary files, and reading them back.

``record(folder, serial, frames, ...)`` captures frames from a camera through
PyVyx and writes each frame's point map (PLY), depth, confidence and
correspondence maps (.npy) and images (PNG), then ``manifest.json``;
``open_recording(folder)`` checks such a folder and reads its frames as
NumPy arrays. ``python -m vyxrecord`` does both from the command line. The
folder's format is described in the user guide (recording-format.md).
"""
__version__ = "0.1.0"

from .errors import RecordError, RecordingError
from .manifest import FORMAT, FORMAT_VERSION
from .reader import Recording, open_recording
from .record import record

__all__ = ["FORMAT", "FORMAT_VERSION", "RecordError", "Recording", "RecordingError",
           "open_recording", "record", "__version__"]
