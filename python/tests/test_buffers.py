"""What check, evidence and view take: any contiguous buffer, read in place;
anything else is a TypeError."""

from __future__ import annotations

import array
import mmap
import tracemalloc

import pytest

import runaudit
from replays import SOURCE

CLIMB = (SOURCE / "samples" / "climb.wlx").read_bytes()


@pytest.mark.parametrize("function", [runaudit.check, runaudit.evidence, runaudit.view])
def test_not_bytes_is_a_type_error(function) -> None:
    for bad in (CLIMB.decode("latin-1"), list(CLIMB), 98, None, memoryview(CLIMB + CLIMB)[::2], 1.5):
        with pytest.raises(TypeError, match="bytes"):
            function(bad)


def test_other_buffers_are_their_bytes() -> None:
    expected = runaudit.check(CLIMB)
    assert runaudit.check(array.array("B", CLIMB)) == expected
    assert runaudit.check(memoryview(CLIMB).cast("c")) == expected
    with open(SOURCE / "samples" / "climb.wlx", "rb") as file, mmap.mmap(file.fileno(), 0, access=mmap.ACCESS_READ) as mapped:
        assert runaudit.check(mapped) == expected
    padded = CLIMB + b"\0" * (-len(CLIMB) % 4)
    assert runaudit.check(array.array("i", padded)) == runaudit.check(padded)
    with pytest.raises(TypeError, match="path"):
        runaudit.check_file(3)  # type: ignore[arg-type]
    with pytest.raises(ValueError, match="NUL"):
        runaudit.check_file("samples/climb.wlx\0")


def test_a_gigabyte_is_read_in_place() -> None:
    # A GiB upload whose header claims 175 records: the check reads those,
    # and no copy of the buffer is made (a copy would show in the peak).
    upload = bytearray(1 << 30)
    upload[: len(CLIMB)] = CLIMB
    expected = runaudit.check(CLIMB)
    tracemalloc.start()
    try:
        checked = [runaudit.check(upload), runaudit.check(memoryview(upload).toreadonly()),
                   runaudit.check(memoryview(upload)[: 1 << 29])]
        facts = runaudit.evidence(upload)
        _, peak = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    assert all(result == expected for result in checked)
    assert facts is not None and facts["facts"]["bytesAfterRecords"]["count"] == len(upload) - len(CLIMB)
    assert peak < 8 << 20
    assert runaudit.evidence(CLIMB + b"\0" * 5) == {**facts, "facts": {**facts["facts"], "bytesAfterRecords": {"count": 5}}}
