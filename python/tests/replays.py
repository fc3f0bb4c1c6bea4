"""The replays the tests check, and replaytool's word on them.

Every sample, the API's fixtures, the tool's text fixtures packed with
`replaytool pack`, the crafted slow games of bench/worst, and damaged copies
of a sample (cut at every kind of boundary, a flipped byte) so that each of
the loader's refusals is met. RUNAUDIT_BUILD names the build folder
(default build/release of this tree)."""

from __future__ import annotations

import atexit
import functools
import json
import os
import shutil
import subprocess
import tempfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("RUNAUDIT_BUILD", SOURCE / "build" / "release"))
REPLAYTOOL = BUILD / "replaytool"


def replaytool(*args: str) -> subprocess.CompletedProcess:
    return subprocess.run([str(REPLAYTOOL), *args], capture_output=True, check=False)


@functools.lru_cache(maxsize=None)
def corpus() -> tuple[Path, ...]:
    work = Path(tempfile.mkdtemp(prefix="runaudit-python-"))
    atexit.register(shutil.rmtree, work, True)
    files = sorted((SOURCE / "samples").glob("*.wlx")) + sorted((SOURCE / "tests" / "api" / "fixtures").glob("*.wlx"))
    files += sorted((SOURCE / "bench" / "worst").glob("*.wlx"))
    for text in sorted((SOURCE / "tests" / "tool" / "fixtures").glob("*.txt")):
        packed = work / (text.stem + ".wlx")
        done = replaytool("pack", str(text), str(packed))
        assert done.returncode == 0, done.stderr
        files.append(packed)
    climb = (SOURCE / "samples" / "climb.wlx").read_bytes()
    for cut in (0, 1, 6, 97, 98, 99, 103, len(climb) - 1):
        damaged = work / f"climb-cut-{cut}.wlx"
        damaged.write_bytes(climb[:cut])
        files.append(damaged)
    flipped = bytearray(climb)
    flipped[200] ^= 0x01
    (work / "climb-flipped.wlx").write_bytes(flipped)
    (work / "climb-tail.wlx").write_bytes(climb + b"\0" * 4096)
    files += [work / "climb-flipped.wlx", work / "climb-tail.wlx"]
    return tuple(files)


@functools.lru_cache(maxsize=None)
def long_game() -> bytes:
    """A file that takes the library a tenth of a second or more: no file
    costs much more than 0.1 s per MB, so it is the costliest crafted
    file's records repeated to 2 MB."""
    work = Path(tempfile.mkdtemp(prefix="runaudit-long-"))
    atexit.register(shutil.rmtree, work, True)
    text = replaytool("unpack", str(SOURCE / "bench" / "worst" / "after-memo-growth-14.wlx")).stdout.decode("utf-8")
    head, body = text.split("records\n")
    records = [line for line in body.splitlines() if line and not line.endswith("0x80")]
    copies = -(-2_000_000 // (5 * len(records)))
    (work / "long.txt").write_text(head + "records\n" + "\n".join(records * copies) + "\n0 0x80\n", encoding="utf-8")
    done = replaytool("pack", str(work / "long.txt"), str(work / "long.wlx"))
    assert done.returncode == 0, done.stderr
    return (work / "long.wlx").read_bytes()


def json_lines(*args: str) -> list[dict]:
    done = replaytool(*args)
    return [json.loads(line) for line in done.stdout.decode("utf-8").splitlines()]


@functools.lru_cache(maxsize=None)
def check_lines() -> dict[Path, dict]:
    """replaytool check --json's object for each file, without its "file" and
    "sameGameAs" (a fact of the batch, not of the file)."""
    lines = json_lines("check", "--json", *map(str, corpus()))
    assert [line["file"] for line in lines] == [str(path) for path in corpus()]
    return {path: {k: v for k, v in line.items() if k not in ("file", "sameGameAs")}
            for path, line in zip(corpus(), lines)}
