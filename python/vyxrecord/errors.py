"""The two exceptions of the package: one for recording, one for reading."""
from __future__ import annotations


class RecordError(RuntimeError):
    """A recording could not be made: an SDK call failed (``operation`` names
    it, ``sdk_message`` is ``PyVyx.GetLastErrorMessage()`` right after it),
    or the camera handed out results that do not fit together."""

    def __init__(self, operation: str, sdk_message: str) -> None:
        super().__init__(f"{operation} failed: {sdk_message}" if sdk_message else f"{operation} failed")
        self.operation = operation
        self.sdk_message = sdk_message


class RecordingError(ValueError):
    """A recording folder cannot be used: the message names the file and what
    is wrong with it (``path`` holds the file, or the folder)."""

    def __init__(self, path: object, problem: str) -> None:
        super().__init__(f"{path}: {problem}")
        self.path = str(path)
        self.problem = problem
