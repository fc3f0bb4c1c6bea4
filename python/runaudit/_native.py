"""The C library through ctypes: finding it, its functions, and the buffers
handed to it."""

from __future__ import annotations

import ctypes
import os
from pathlib import Path
from typing import Iterator, Optional
from contextlib import contextmanager

SONAME = "librunaudit.so.2"
MAJOR = 2


class RunauditError(OSError):
    """The C library could not be found or is not a 2.x version."""


def _candidates() -> list[str]:
    # The wheel carries its own copy beside this file, so an installed
    # package always runs the library it was built and tested with. A
    # source checkout has none: then RUNAUDIT_LIBRARY, then the system's.
    here = Path(__file__).resolve().parent / SONAME
    found = [str(here)] if here.is_file() else []
    chosen = os.environ.get("RUNAUDIT_LIBRARY")
    if chosen:
        found.append(chosen)
    found.append(SONAME)
    return found


def _load() -> tuple[ctypes.CDLL, str]:
    failures = []
    for name in _candidates():
        try:
            lib = ctypes.CDLL(name)
        except OSError as error:
            failures.append(f"{name}: {error}")
            continue
        return lib, name
    raise RunauditError("runaudit: no C library found (" + "; ".join(failures) + ")")


class _Header(ctypes.Structure):
    _fields_ = [("signature", ctypes.c_char * 6), ("recordCount", ctypes.c_int32), ("name", ctypes.c_char * 32),
                ("date", ctypes.c_char * 32), ("score", ctypes.c_int32), ("floor", ctypes.c_int32),
                ("combo", ctypes.c_int32), ("rejump", ctypes.c_int32), ("seed", ctypes.c_uint32),
                ("checksum", ctypes.c_uint32)]


class _End(ctypes.Structure):
    _fields_ = [("frame", ctypes.c_uint64), ("record", ctypes.c_uint32), ("frameInRecord", ctypes.c_uint64)]


class _Result(ctypes.Structure):
    # runaudit_result as runaudit.h lays it out (the caller allocates it, so
    # its layout is the ABI of the major version). A check fills it and
    # runaudit_result_json reads it.
    _fields_ = [
        ("verdict", ctypes.c_int32),
        ("loadError", ctypes.c_int32),
        ("error", ctypes.c_char_p),
        ("rejection", ctypes.c_int32),
        ("size", ctypes.c_uint64 * 2),
        ("checksum", ctypes.c_uint32 * 2),
        ("header", _Header),
        ("frames", ctypes.c_uint64),
        ("ended", _End),
        ("aliveAt", ctypes.c_int32),
        ("endMarkerRecord", ctypes.c_uint32),
        ("markerFollows", ctypes.c_int32),
        ("highestFloor", ctypes.c_int32),
        ("bestCombo", ctypes.c_int32),
        ("comboScore", ctypes.c_int32),
        ("speedLevel", ctypes.c_int32),
        ("claims", ctypes.c_int32),
        ("gameDigest", ctypes.c_uint8 * 32),
        ("reserved", ctypes.c_uint64 * 4),
    ]


_lib, library_path = _load()

_text = ctypes.POINTER(ctypes.c_char)
_lib.runaudit_version.restype = ctypes.c_char_p
_lib.runaudit_version.argtypes = []
_lib.runaudit_version_number.restype = ctypes.c_int
_lib.runaudit_version_number.argtypes = []
_lib.runaudit_check_bytes.restype = ctypes.c_int
_lib.runaudit_check_bytes.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.POINTER(_Result)]
_lib.runaudit_check_file.restype = ctypes.c_int
_lib.runaudit_check_file.argtypes = [ctypes.c_char_p, ctypes.POINTER(_Result)]
_lib.runaudit_result_json.restype = ctypes.c_int
_lib.runaudit_result_json.argtypes = [ctypes.POINTER(_Result), ctypes.POINTER(_text), ctypes.POINTER(ctypes.c_size_t)]
for _name in ("runaudit_view_bytes", "runaudit_evidence_bytes"):
    getattr(_lib, _name).restype = ctypes.c_int
    getattr(_lib, _name).argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.POINTER(_text),
                                     ctypes.POINTER(ctypes.c_size_t)]
_lib.runaudit_free.restype = None
_lib.runaudit_free.argtypes = [ctypes.c_void_p]

if _lib.runaudit_version_number() // 1000000 != MAJOR:
    raise RunauditError(f"runaudit: {library_path} is version {_lib.runaudit_version().decode()}, not {MAJOR}.x")

ERROR = 2  # RUNAUDIT_ERROR


class _PyBuffer(ctypes.Structure):
    # Py_buffer: in the stable ABI since 3.11, its layout unchanged since 3.3.
    _fields_ = [
        ("buf", ctypes.c_void_p),
        ("obj", ctypes.c_void_p),
        ("len", ctypes.c_ssize_t),
        ("itemsize", ctypes.c_ssize_t),
        ("readonly", ctypes.c_int),
        ("ndim", ctypes.c_int),
        ("format", ctypes.c_char_p),
        ("shape", ctypes.c_void_p),
        ("strides", ctypes.c_void_p),
        ("suboffsets", ctypes.c_void_p),
        ("internal", ctypes.c_void_p),
    ]


_get_buffer = ctypes.pythonapi.PyObject_GetBuffer
_get_buffer.restype = ctypes.c_int
_get_buffer.argtypes = [ctypes.py_object, ctypes.POINTER(_PyBuffer), ctypes.c_int]
_release_buffer = ctypes.pythonapi.PyBuffer_Release
_release_buffer.restype = None
_release_buffer.argtypes = [ctypes.POINTER(_PyBuffer)]
_PYBUF_SIMPLE = 0  # one contiguous run of bytes, read-only allowed


@contextmanager
def pinned(data: object, caller: str) -> Iterator[tuple[int, int]]:
    """The address and length of data's bytes, held for the block.

    The buffer protocol hands over the object's own memory, read-only or
    not, so nothing is copied, whatever the size; and while it is held, a
    bytearray cannot be resized under a check that runs without the
    interpreter lock."""
    if isinstance(data, str):
        raise TypeError(f"runaudit.{caller}() takes a replay's bytes, not str: read the file in binary mode "
                        "or pass its path to check_file()")
    view = _PyBuffer()
    try:
        _get_buffer(data, ctypes.byref(view), _PYBUF_SIMPLE)
    except (TypeError, BufferError) as error:
        # A BufferError says why a buffer is refused (not contiguous).
        why = f" ({error})" if isinstance(error, BufferError) else ""
        raise TypeError(f"runaudit.{caller}() takes bytes, bytearray, memoryview or another contiguous buffer, "
                        f"not {type(data).__name__}{why}") from None
    try:
        yield view.buf or 0, view.len
    finally:
        _release_buffer(ctypes.byref(view))


def take_text(pointer: ctypes._Pointer, length: int) -> bytes:  # type: ignore[type-arg]
    """The library's text as bytes; frees the library's copy."""
    try:
        return ctypes.string_at(pointer, length)
    finally:
        _lib.runaudit_free(pointer)


def result_json(result: _Result) -> bytes:
    text = _text()
    length = ctypes.c_size_t()
    if _lib.runaudit_result_json(ctypes.byref(result), ctypes.byref(text), ctypes.byref(length)) != 0:
        raise MemoryError("runaudit_result_json")
    return take_text(text, length.value)


def check_bytes(data: object) -> bytes:
    result = _Result()
    with pinned(data, "check") as (address, size):
        _lib.runaudit_check_bytes(address, size, ctypes.byref(result))
    return result_json(result)


def check_file(path: bytes) -> bytes:
    result = _Result()
    _lib.runaudit_check_file(path, ctypes.byref(result))
    return result_json(result)


def page_text(function: str, data: object) -> Optional[bytes]:
    """runaudit_view_bytes or runaudit_evidence_bytes: the text, or None for
    a file that does not load."""
    text = _text()
    length = ctypes.c_size_t()
    with pinned(data, function) as (address, size):
        verdict = getattr(_lib, f"runaudit_{function}_bytes")(address, size, ctypes.byref(text), ctypes.byref(length))
    if not text:
        if verdict == ERROR:
            return None
        raise MemoryError(f"runaudit_{function}_bytes")
    return take_text(text, length.value)


def version() -> str:
    return _lib.runaudit_version().decode("ascii")
