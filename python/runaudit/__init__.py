"""runaudit: the replay checker's C library for Python.

    import runaudit
    result = runaudit.check(upload)          # bytes, bytearray, memoryview...
    if result.verdict == "valid" and result.claims == "match":
        rank(result.highestFloor, result.bestCombo)

Checks run in the C library without the interpreter lock, so threads check
in parallel. The data is never copied: the library reads the caller's own
buffer. The wheel carries its librunaudit.so.2; a source checkout loads the
one named by RUNAUDIT_LIBRARY, else the system's librunaudit.so.2.
"""

from __future__ import annotations

import json
import os
from typing import Any, Optional, Union

from . import _native
from ._native import RunauditError
from .records import Checksums, Claimed, GameEnd, Header, Result, Sizes

__all__ = ["check", "check_file", "evidence", "view", "version", "library_path", "Result", "Header",
           "GameEnd", "Claimed", "Sizes", "Checksums", "RunauditError"]

Buffer = Union[bytes, bytearray, memoryview]
PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

# Where the C library was loaded from.
library_path: str = _native.library_path


def check(data: Buffer) -> Result:
    """Checks the replay file whose bytes are `data` (any contiguous buffer),
    exactly as a file read from a path. A file that does not load gives a
    Result with verdict "error" and why; only a non-buffer raises (TypeError)."""
    return Result.from_dict(json.loads(_native.check_bytes(data)))


def check_file(path: PathLike) -> Result:
    """Checks the replay file at `path`, read once by its header. A file that
    cannot be opened or read gives verdict "error" (rejection "open-failed",
    "read-failed"), as one that is not a replay does."""
    if not isinstance(path, (str, bytes, os.PathLike)):
        raise TypeError(f"runaudit.check_file() takes a path (str, bytes or os.PathLike), not {type(path).__name__}")
    encoded = os.fsencode(path)
    if b"\0" in encoded:
        raise ValueError("runaudit.check_file(): the path holds a NUL byte")
    return Result.from_dict(json.loads(_native.check_file(encoded)))


def evidence(data: Buffer) -> Optional[dict[str, Any]]:
    """The timing evidence and file facts (docs/evidence.md) as the object
    `replaytool evidence --json` prints for one file, without "file" and
    "rank"; reach 8, horizon 600. None for a file that does not load
    (check() says why)."""
    text = _native.page_text("evidence", data)
    return None if text is None else json.loads(text)


def view(data: Buffer) -> Optional[str]:
    """The replay viewer's data (its first 1,000,000 frames, the verdict, the
    claims and an SVG overview) as JSON text, ready for a page. None for a
    file that does not load."""
    text = _native.page_text("view", data)
    return None if text is None else text.decode("utf-8")


def version() -> str:
    """The linked C library's version, e.g. "2.0.0"."""
    return _native.version()
