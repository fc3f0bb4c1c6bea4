#!/usr/bin/env python3
"""Mutation testing: apply each listed fault alone to a copy of the tree,
rebuild, run the whole test suite, and report which faults it caught.

Usage: mutants.py [--list FILE] [--work DIR] [--threshold PERCENT] [--only ID,ID]

The list (scripts/mutants.txt) holds blocks separated by blank lines:

    id: frame-decay-binary64
    why: the decay product must be rounded twice, as the unit does
    file: src/sim/frame_step.cpp
    old: s.vx = store(extMul(widen(s.vx), widen(k::C0_9)));
    new: s.vx = s.vx * k::C0_9;
    nth: 1                  (optional: which occurrence, when old is not unique)
    equivalent: reason      (optional: no input can tell the mutant apart)

`old` must occur in the file (exactly once unless `nth` is given), so the
list cannot silently drift away from the code. "\\n" in old/new stands for
a line end. A mutant is caught when the build or any test fails: ctest's
suite for every mutant, and for a fault in the viewer (its page, its data)
also the viewer's node and browser tests (tests/viewer, which need `npm ci`
run there first).
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Files whose faults the viewer's own tests are there to notice.
VIEWER_FILES = ("src/tool/viewer/", "src/view/view_encode.cpp", "src/view/view_data.cpp")


def parse_list(path):
    mutants, block = [], {}
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for number, line in enumerate(lines + [""], 1):
        if line.startswith("#"):
            continue
        if not line.strip():
            if block:
                mutants.append(block)
            block = {}
            continue
        key, sep, value = line.partition(": ")
        if not sep or key not in ("id", "why", "file", "old", "new", "nth", "equivalent"):
            sys.exit(f"{path}:{number}: expected 'key: value', got {line!r}")
        if key in block:
            sys.exit(f"{path}:{number}: {key} given twice")
        block[key] = value.replace("\\n", "\n") if key in ("old", "new") else value
    ids = set()
    for m in mutants:
        for key in ("id", "why", "file", "old", "new"):
            if key not in m:
                sys.exit(f"{path}: mutant {m.get('id', '?')} lacks '{key}'")
        if m["id"] in ids:
            sys.exit(f"{path}: id {m['id']} used twice")
        ids.add(m["id"])
    return mutants


def mutated_text(root, m):
    with open(os.path.join(root, m["file"]), encoding="utf-8") as f:
        text = f.read()
    count = text.count(m["old"])
    nth = int(m.get("nth", "0"))
    if count == 0 or (nth == 0 and count != 1) or nth > count:
        sys.exit(f"mutant {m['id']}: old text found {count} times in {m['file']}")
    start = -1
    for _ in range(max(nth, 1)):
        start = text.index(m["old"], start + 1)
    return text, text[:start] + m["new"] + text[start + len(m["old"]):]


def run(cmd, cwd, timeout, env=None):
    try:
        return subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout, env=env).returncode == 0
    except subprocess.TimeoutExpired:
        return False


def copy_tree(work):
    """Brings the copy in build/mutants up to the tree. Only files whose
    content differs are written, and written anew, so that their build
    products are remade; the build products of a file a previous run
    mutated and restored are newer than its mutant, and are remade too."""
    src = os.path.join(work, "src")
    files = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"], cwd=ROOT,
                           check=True, capture_output=True).stdout.split(b"\0")
    wanted = set()
    for name in filter(None, (f.decode() for f in files)):
        if not os.path.isfile(os.path.join(ROOT, name)):
            continue
        wanted.add(name)
        target = os.path.join(src, name)
        with open(os.path.join(ROOT, name), "rb") as f:
            content = f.read()
        if os.path.isfile(target):
            with open(target, "rb") as f:
                if f.read() == content:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(content)
        shutil.copymode(os.path.join(ROOT, name), target)
    for folder, dirs, names in os.walk(src):
        dirs[:] = [d for d in dirs if d != "node_modules"]
        for n in names:
            if os.path.relpath(os.path.join(folder, n), src) not in wanted:
                os.remove(os.path.join(folder, n))
    return src


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--list", default=os.path.join(ROOT, "scripts", "mutants.txt"))
    ap.add_argument("--work", default=os.path.join(ROOT, "build", "mutants"))
    ap.add_argument("--threshold", type=float, default=90.0)
    ap.add_argument("--only", default="")
    args = ap.parse_args()

    mutants = parse_list(args.list)
    if args.only:
        wanted = set(args.only.split(","))
        mutants = [m for m in mutants if m["id"] in wanted]
    os.makedirs(args.work, exist_ok=True)
    tree = copy_tree(args.work)
    for m in mutants:
        mutated_text(tree, m)  # every old text must be found before anything runs
    build = os.path.join(args.work, "build")
    configure = ["cmake", "-S", tree, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                 "-DRUNAUDIT_BUILD_TESTS=ON"]
    compile_all = ["cmake", "--build", build]
    # The suite stops at its first failure; a mutant that loops is caught by the timeout.
    test = ["ctest", "--test-dir", build, "-j2", "--timeout", "120", "--stop-on-failure"]
    # The viewer's tests run in the copy (they read its page script) with
    # the packages installed in the real tree.
    modules = os.path.join(ROOT, "tests", "viewer", "node_modules")
    viewer_env = dict(os.environ, REPLAYTOOL=os.path.join(build, "replaytool"),
                      VIEWER_ARTIFACTS=os.path.join(args.work, "viewer-artifacts"))
    viewer_test = ["npm", "--prefix", os.path.join(tree, "tests", "viewer"), "test"]
    has_viewer = any(m["file"].startswith(VIEWER_FILES) for m in mutants)
    if has_viewer:
        if not os.path.isdir(modules):
            sys.exit("tests/viewer/node_modules is missing: run npm ci in tests/viewer first")
        link = os.path.join(tree, "tests", "viewer", "node_modules")
        if not os.path.lexists(link):
            os.symlink(modules, link)

    def suite(m):
        if not run(test, ROOT, 1800):
            return False
        return not m["file"].startswith(VIEWER_FILES) or run(viewer_test, ROOT, 1800, viewer_env)

    if not (run(configure, ROOT, 600) and run(compile_all, ROOT, 1800) and run(test, ROOT, 1800)
            and (not has_viewer or run(viewer_test, ROOT, 1800, viewer_env))):
        sys.exit("the unmutated tree does not build or pass its tests")

    # Grouped by file, so each file is rebuilt about once per mutant.
    order = sorted(range(len(mutants)), key=lambda i: (mutants[i]["file"], i))
    results = {}
    for i in order:
        m = mutants[i]
        path = os.path.join(tree, m["file"])
        original, changed = mutated_text(tree, m)
        began = time.monotonic()
        with open(path, "w", encoding="utf-8") as f:
            f.write(changed)
        try:
            built = run(compile_all, ROOT, 1800)
            caught = not built or not suite(m)
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        how = "caught" if caught else "missed"
        if not built:
            how = "caught (build)"
        results[m["id"]] = how
        print(f"  {m['id']:<36} {how:<15} {time.monotonic() - began:5.1f} s", flush=True)

    print()
    print(f"| {'mutant':<36} | {'file':<28} | result          |")
    print(f"|{'-' * 38}|{'-' * 30}|-----------------|")
    reachable = caught = 0
    survivors = []
    for m in mutants:
        how = results[m["id"]]
        if "equivalent" in m:
            how += " (equivalent)"
        else:
            reachable += 1
            if how.startswith("caught"):
                caught += 1
            else:
                survivors.append(m)
        print(f"| {m['id']:<36} | {m['file']:<28} | {how:<15} |")
    rate = 100.0 * caught / reachable if reachable else 100.0
    print(f"\n{caught} of {reachable} reachable mutants caught: {rate:.1f}% "
          f"({len(mutants) - reachable} marked equivalent)")
    for m in survivors:
        print(f"  missed {m['id']}: {m['why']}")
    for m in mutants:
        if "equivalent" in m and results[m["id"]].startswith("caught"):
            print(f"  note: {m['id']} is marked equivalent but was caught")
    if rate < args.threshold:
        print(f"below the threshold of {args.threshold:.0f}%")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
