"""Every replay through the package against replaytool: the same facts under
the same names, from bytes, a bytearray, a view and a path."""

from __future__ import annotations

import ctypes
import json
import re
from pathlib import Path

import pytest

import runaudit
from runaudit import _native
from replays import BUILD, SOURCE, check_lines, corpus, json_lines, replaytool


def without_header(record: dict) -> dict:
    return {k: v for k, v in record.items() if k != "header"}


@pytest.mark.parametrize("path", corpus(), ids=lambda p: p.name)
def test_check_gives_replaytools_record(path: Path) -> None:
    expected = check_lines()[path]
    data = path.read_bytes()
    padded = bytearray(b"x" * 7 + data + b"y" * 5)
    results = {
        "bytes": runaudit.check(data),
        "bytearray": runaudit.check(bytearray(data)),
        "read-only view of a slice": runaudit.check(memoryview(bytes(padded))[7:7 + len(data)]),
        "writable view of a slice": runaudit.check(memoryview(padded)[7:7 + len(data)]),
        "path": runaudit.check_file(path),
    }
    for how, result in results.items():
        as_dict = result.to_dict()
        # check --json's names and values, and the header.
        assert set(as_dict) == set(expected) | {"header"}, how
        assert without_header(as_dict) == expected, how
        assert type(result).from_dict(json.loads(json.dumps(as_dict))) == result, how
    result = results["bytes"]
    assert result.valid == (expected["verdict"] == "valid")
    if expected["verdict"] == "error":
        assert result.header is None and result.frames is None and result.why
        assert evidence_or_view_refused(data)
    else:
        assert result.rejection is None and result.why is None
        assert result.ended is None or result.ended.frame == result.frames


def evidence_or_view_refused(data: bytes) -> bool:
    return runaudit.evidence(data) is None and runaudit.view(data) is None


@pytest.mark.parametrize("path", [p for p in corpus() if p.stat().st_size >= 98], ids=lambda p: p.name)
def test_header_is_shows(path: Path) -> None:
    shown = json.loads(replaytool("show", "--json", str(path)).stdout)
    header = runaudit.check(path.read_bytes()).header
    if shown["header"] is None:
        assert header is None
    else:
        assert header is not None
        assert header.to_dict() == {k: v for k, v in shown["header"].items() if not k.endswith("Hex")}


def test_record_layout_is_the_headers() -> None:
    # Python allocates the C record: a field out of place would have the
    # library write past it. Read it back field by field against the JSON.
    for path in corpus():
        raw = _native._Result()
        data = path.read_bytes()
        with _native.pinned(data, "check") as (address, size):
            verdict = _native._lib.runaudit_check_bytes(address, size, ctypes.byref(raw))
        facts = json.loads(_native.result_json(raw))
        assert verdict == raw.verdict == ["valid", "invalid", "error"].index(facts["verdict"])
        assert list(raw.reserved) == [0] * 4
        if facts["verdict"] == "error":
            assert raw.error.decode() == facts["error"]
            if facts["size"]:
                assert list(raw.size) == [facts["size"]["needed"], facts["size"]["present"]]
            continue
        header = facts["header"]
        assert (raw.header.signature, raw.header.recordCount, raw.header.seed, raw.header.checksum) == \
            (b"WLX130", header["recordCount"], header["seed"], header["checksum"])
        assert (raw.header.score, raw.header.floor, raw.header.combo, raw.header.rejump) == \
            (header["score"], header["floor"], header["combo"], header["rejump"])
        assert (raw.frames, raw.endMarkerRecord or None, bool(raw.markerFollows)) == \
            (facts["frames"], facts["endMarkerRecord"], facts["markerFollows"])
        assert (raw.highestFloor, raw.bestCombo, raw.comboScore, raw.speedLevel) == \
            (facts["highestFloor"], facts["bestCombo"], facts["comboScore"], facts["speedLevel"])
        ended = facts["ended"] or {"frame": 0, "record": 0, "frameInRecord": 0}
        assert (raw.ended.frame, raw.ended.record, raw.ended.frameInRecord) == \
            (ended["frame"], ended["record"], ended["frameInRecord"])
        assert raw.claims == ["match", "differ"].index(facts["claims"]) + 1
        assert bytes(raw.gameDigest).hex() == facts["gameDigest"]


def test_files_that_do_not_load(tmp_path: Path) -> None:
    missing = runaudit.check_file(tmp_path / "missing.wlx")
    assert (missing.verdict, missing.error, missing.rejection) == ("error", "Could not open file", "open-failed")
    assert missing.why and missing.size is None and missing.checksum is None
    folder = runaudit.check_file(str(tmp_path).encode())
    assert (folder.error, folder.rejection) == ("Could not read from file", "read-failed")

    climb = (SOURCE / "samples" / "climb.wlx").read_bytes()
    cut = runaudit.check(climb[:-1])
    assert (cut.error, cut.rejection) == ("File is not a valid replay", "records-past-end")
    assert cut.size == runaudit.Sizes(needed=len(climb), present=len(climb) - 1)
    assert cut.why == "cut short: the header announces 175 records (875 bytes) but 874 bytes follow"
    edited = bytearray(climb)
    edited[150] ^= 0x04
    forged = runaudit.check(edited)
    assert forged.rejection == "bad-checksum" and forged.size is None
    assert forged.checksum is not None and forged.checksum.stored == int.from_bytes(climb[94:98], "little")
    assert forged.checksum.computed != forged.checksum.stored
    assert runaudit.check(b"WLX131" + climb[6:]).rejection == "bad-signature"
    short = runaudit.check(b"")
    assert (short.rejection, short.size) == ("too-short", runaudit.Sizes(needed=98, present=0))
    with pytest.raises(AttributeError):
        short.verdict = "valid"  # type: ignore[misc]


def test_evidence_is_replaytools() -> None:
    loaded = [p for p in corpus() if check_lines()[p]["verdict"] != "error"]
    lines = json_lines("evidence", "--json", *map(str, loaded))
    assert len(lines) == len(loaded)
    for path, line in zip(loaded, lines):
        expected = {k: v for k, v in line.items() if k not in ("file", "rank")}
        assert runaudit.evidence(path.read_bytes()) == expected, path.name


@pytest.mark.parametrize("name", ["climb.wlx", "example.wlx", "seed36.wlx"])
def test_view_is_the_pages_data(name: str) -> None:
    path = SOURCE / "samples" / name
    page = replaytool("view", str(path), "-o", "-").stdout.decode("utf-8")
    embedded = re.search(r'<script id="replay-data" type="application/json">(.*?)</script>', page, re.S)
    assert embedded is not None
    data = json.loads(runaudit.view(path.read_bytes()) or "")
    assert data.pop("overview").startswith("<svg")
    assert data == json.loads(embedded.group(1))


def test_version_and_library() -> None:
    cmake = (SOURCE / "CMakeLists.txt").read_text()
    project = re.search(r"^project\(runaudit VERSION ([0-9.]+)", cmake, re.M)
    assert project is not None
    assert runaudit.version() == project.group(1)
    assert replaytool("--version").stdout.decode().strip() == f"replaytool {runaudit.version()}"
    installed = Path(runaudit.__file__).resolve().parent
    if not installed.is_relative_to(SOURCE):
        # An installed package runs the library inside it.
        assert Path(runaudit.library_path) == installed / "librunaudit.so.2"
        assert (installed / "py.typed").is_file()


def test_names_a_library_may_add() -> None:
    # gameDigest and checker come with the libraries that print them; a name
    # this package does not know yet is kept. Either way to_dict() is the
    # library's object.
    printed = json.loads(_native.check_bytes((SOURCE / "samples" / "climb.wlx").read_bytes()))
    bare = {k: v for k, v in printed.items() if k not in ("gameDigest", "checker")}
    for extra in ({}, {"gameDigest": "0f" * 32, "checker": "runaudit 2.0.0"}, {"gameDigest": None},
                  {"checker": "runaudit 2.1.0", "laterFact": {"n": 1}}):
        given = {**bare, **extra}
        result = runaudit.Result.from_dict(given)
        assert result.to_dict() == given
        assert (result.gameDigest, result.checker) == (extra.get("gameDigest"), extra.get("checker"))
    rejected = json.loads(_native.check_bytes(b""))
    rejected.pop("why")
    with pytest.raises(ValueError, match="why"):
        runaudit.Result.from_dict(rejected)
