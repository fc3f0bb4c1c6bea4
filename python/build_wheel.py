#!/usr/bin/env python3
"""Builds the runaudit wheel from the tree and a build folder, with the
standard library alone: the package's files, the build's librunaudit.so.2
inside the package, and the dist-info (METADATA, WHEEL, RECORD with each
file's SHA-256). The version is the project's (CMakeLists.txt's project()).

    python3 python/build_wheel.py [BUILD_DIR] [OUT_DIR]     (build/release, dist)

Prints the wheel's path. The archive is the same byte for byte from the same
inputs: its entries come in a fixed order, dated SOURCE_DATE_EPOCH (else 1980-01-01).
"""

from __future__ import annotations

import base64
import hashlib
import os
import platform
import re
import sys
import time
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parent
SONAME = "librunaudit.so.2"


def project_version() -> str:
    text = (SOURCE / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"^project\(runaudit VERSION ([0-9]+\.[0-9]+\.[0-9]+)", text, re.MULTILINE)
    if not found:
        sys.exit("build_wheel.py: no project(runaudit VERSION ...) in CMakeLists.txt")
    return found.group(1)


def digest(data: bytes) -> str:
    return "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()


def main() -> int:
    build = Path(sys.argv[1] if len(sys.argv) > 1 else SOURCE / "build" / "release")
    out = Path(sys.argv[2] if len(sys.argv) > 2 else SOURCE / "dist")
    version = project_version()
    library = build / "src" / SONAME
    if not library.is_file():
        sys.exit(f"build_wheel.py: no {library}: build the runaudit_shared target first")
    # A wheel of ctypes code runs on any Python 3; the library fixes the platform.
    tag = f"py3-none-linux_{platform.machine()}"
    dist_info = f"runaudit-{version}.dist-info"

    files: list[tuple[str, bytes, int]] = []
    for path in sorted((HERE / "runaudit").iterdir()):
        if path.suffix in (".py", ".typed"):
            files.append((f"runaudit/{path.name}", path.read_bytes(), 0o644))
    files.append((f"runaudit/{SONAME}", library.read_bytes(), 0o755))  # the file behind the soname link
    readme = (HERE / "README.md").read_text(encoding="utf-8")
    metadata = (f"Metadata-Version: 2.1\nName: runaudit\nVersion: {version}\n"
                "Summary: The replay checker's C library: verdicts, game facts and timing evidence\n"
                "License: MIT\nRequires-Python: >=3.9\nDescription-Content-Type: text/markdown\n\n" + readme)
    files.append((f"{dist_info}/METADATA", metadata.encode(), 0o644))
    wheel = f"Wheel-Version: 1.0\nGenerator: runaudit build_wheel.py\nRoot-Is-Purelib: false\nTag: {tag}\n"
    files.append((f"{dist_info}/WHEEL", wheel.encode(), 0o644))
    files.append((f"{dist_info}/LICENSE", (SOURCE / "LICENSE").read_bytes(), 0o644))
    record = "".join(f"{name},{digest(data)},{len(data)}\n" for name, data, _ in files)
    record += f"{dist_info}/RECORD,,\n"
    files.append((f"{dist_info}/RECORD", record.encode(), 0o644))

    stamp = time.gmtime(max(int(os.environ.get("SOURCE_DATE_EPOCH", "315532800")), 315532800))[:6]
    out.mkdir(parents=True, exist_ok=True)
    target = out / f"runaudit-{version}-{tag}.whl"
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data, mode in files:
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.external_attr = (0o100000 | mode) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data)
    print(target)
    return 0


if __name__ == "__main__":
    sys.exit(main())
