#!/usr/bin/env python3
"""Mutation testing: apply each listed fault alone to a copy of the tree,
rebuild, run the whole test suite, and report which faults it caught.

Usage: mutants.py [--list FILE] [--work DIR] [--threshold PERCENT] [--only ID,ID]
                  [--kind KIND,KIND] [--web-module FILE] [--sample N [--seed S]]

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
a line end. A mutant is caught when its build or any of its tests fails;
which build and tests depends on the kind of file it changes:

    native   C++ of the checker and its programs: the native build, then
             the tests that caught earlier mutants in the same folder, then
             ctest's whole suite (two at a time, in the order declared,
             stopping at the first failure)
    viewer   the viewer's page and data: as native, then the viewer's node
             and browser tests (tests/viewer) and the web tests
    web      the npm package's and the page's JavaScript, HTML and CSS: no
             C++ build; web/build.mjs and npm pack around a prebuilt
             WebAssembly module, then tests/web's unit, package and page tests
             with the copy's native replaytool
    wasm     the WebAssembly exports: the module rebuilt (emscripten) in the
             copy, then the web tests
    windows  the Windows platform layer: the MinGW-w64 build in the copy and
             its end-to-end test under Wine

The browser tests need `npm ci` run first in tests/viewer and tests/web.
--kind picks kinds (CI runs the web and Windows ones after the builds
that make their tools); --web-module names the prebuilt module (else the
copy builds one). --sample N runs N of the mutants, drawn by seed S from
each kind in proportion to its share of the list (at least one of each
kind present), so that a run of a few minutes still reaches every kind
and successive runs with other seeds reach the whole list.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Files whose faults the viewer's own tests are there to notice.
VIEWER_FILES = ("src/tool/viewer/", "src/view/view_encode.cpp", "src/view/view_data.cpp")
KINDS = ("native", "viewer", "web", "wasm", "windows")


def kind_of(path):
    if path.startswith(("web/package/", "web/page/")) or path == "web/build.mjs":
        return "web"
    if path.startswith("web/wasm/"):
        return "wasm"
    if path.startswith("src/platform/") and path.endswith("_windows.cpp"):
        return "windows"
    if path.startswith(VIEWER_FILES):
        return "viewer"
    return "native"


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


def sample(mutants, count, seed):
    """`count` mutants drawn by `seed`, each kind in proportion to its share
    of the list and at least one of each kind, in the list's order."""
    if count >= len(mutants):
        return mutants
    rng = random.Random(seed)
    by_kind = {}
    for i, m in enumerate(mutants):
        by_kind.setdefault(kind_of(m["file"]), []).append(i)
    chosen = []
    for kind in KINDS:
        indices = by_kind.get(kind, [])
        if indices:
            share = max(1, round(count * len(indices) / len(mutants)))
            chosen += rng.sample(indices, min(share, len(indices)))
    return [mutants[i] for i in sorted(chosen)]


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


def project_version(tree):
    with open(os.path.join(tree, "CMakeLists.txt"), encoding="utf-8") as f:
        found = re.search(r"project\(runaudit\s+VERSION\s+([0-9.]+)", f.read())
    if not found:
        sys.exit("no project version in CMakeLists.txt")
    return found.group(1)


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
    # An equivalent mutant survives by definition and so costs a whole
    # suite; it is run only when asked for (to see whether one now shows).
    ap.add_argument("--with-equivalent", action="store_true")
    ap.add_argument("--kind", default=",".join(KINDS))
    ap.add_argument("--web-module", default=os.path.join(ROOT, "build", "wasm", "web", "runaudit-wasm.js"))
    ap.add_argument("--sample", type=int, default=0)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()

    kinds = set(args.kind.split(","))
    if not kinds <= set(KINDS):
        sys.exit(f"--kind: one or more of {', '.join(KINDS)}")
    mutants = [m for m in parse_list(args.list) if kind_of(m["file"]) in kinds]
    if args.only:
        wanted = set(args.only.split(","))
        mutants = [m for m in mutants if m["id"] in wanted]
    elif not args.with_equivalent:
        mutants = [m for m in mutants if "equivalent" not in m]
    if args.sample > 0 and not args.only:
        mutants = sample(mutants, args.sample, args.seed)
        print(f"a sample of {len(mutants)} mutants, seed {args.seed}: {', '.join(m['id'] for m in mutants)}")
    present = {kind_of(m["file"]) for m in mutants}
    os.makedirs(args.work, exist_ok=True)
    tree = copy_tree(args.work)
    for m in mutants:
        mutated_text(tree, m)  # every old text must be found before anything runs

    def configure(build, *options):
        return ["cmake", "-S", tree, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release", *options]

    # The native build: the checker's suite, and the replaytool the web tests compare with.
    native = os.path.join(args.work, "build")
    native_steps = [configure(native, "-DRUNAUDIT_BUILD_TESTS=ON"), ["cmake", "--build", native]]
    # The suite stops at its first failure; a mutant that loops is caught by the timeout.
    native_suite_base = ["ctest", "--test-dir", native, "-j2", "--stop-on-failure"]
    native_test = native_suite_base + ["--timeout", "120"]
    # ctest lets running tests finish after a failure, so the tests labelled
    # slow (tens of seconds each) run only once the quick ones have passed.
    # The quick tests take under two seconds each, so a mutant that makes
    # one loop is caught after 30 s, not 120.
    native_quick = native_suite_base + ["-LE", "slow", "--timeout", "30"]
    native_slow = native_test + ["-L", "slow"]
    ctest_files = os.path.join(native, "Testing", "Temporary")
    # The tests that caught earlier mutants of the same folder, most recent
    # first: a fault near another is usually caught by the same test, and
    # trying those alone first takes a fraction of a second.
    killers = {}

    def tests_that_failed():
        try:
            with open(os.path.join(ctest_files, "LastTestsFailed.log"), encoding="utf-8") as f:
                return [line.split(":", 1)[1].strip() for line in f if ":" in line]
        except OSError:
            return []

    def native_suite(folder):
        known = killers.setdefault(folder, [])

        def remember():
            for name in reversed(tests_that_failed()):
                if name in known:
                    known.remove(name)
                known.insert(0, name)
            del known[12:]
            return False

        if known:
            pattern = "^(" + "|".join(re.escape(name) for name in known) + ")$"
            # Only the quick ones: a slow test tried first for every mutant
            # of a folder would cost more than it saves.
            if not run(native_quick + ["-R", pattern], ROOT, 1800):
                return remember()
        # Without its cost data ctest runs the heaviest tests first, seconds
        # each; in the order they are declared the quick unit tests of the
        # checker's core come first, and a fault there is caught at once.
        for name in ("CTestCostData.txt", "LastTestsFailed.log"):
            try:
                os.remove(os.path.join(ctest_files, name))
            except OSError:
                pass
        return (run(native_quick, ROOT, 1800) and run(native_slow, ROOT, 1800)) or remember()
    # The browser tests run in the copy (they read its scripts) with the
    # packages installed in the real tree.
    for suite_dir, needed in (("viewer", present & {"viewer"}), ("web", present & {"viewer", "web", "wasm"})):
        if not needed:
            continue
        modules = os.path.join(ROOT, "tests", suite_dir, "node_modules")
        if not os.path.isdir(modules):
            sys.exit(f"tests/{suite_dir}/node_modules is missing: run npm ci in tests/{suite_dir} first")
        link = os.path.join(tree, "tests", suite_dir, "node_modules")
        if not os.path.lexists(link):
            os.symlink(modules, link)
    replaytool = os.path.join(native, "replaytool")
    viewer_env = dict(os.environ, REPLAYTOOL=replaytool, VIEWER_ARTIFACTS=os.path.join(args.work, "viewer-artifacts"))
    viewer_test = ["npm", "--prefix", os.path.join(tree, "tests", "viewer"), "test"]

    # The web bundle: the module (prebuilt, or built once in the copy's
    # emscripten build, which the wasm mutants rebuild) with the copy's
    # page, package and viewer.
    wasm = os.path.join(args.work, "wasm")
    emscripten = "/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake"
    wasm_steps = [configure(wasm, f"-DCMAKE_TOOLCHAIN_FILE={emscripten}", "-DRUNAUDIT_BUILD_TESTS=OFF"),
                  ["cmake", "--build", wasm, "--target", "runaudit_wasm"]]
    module = args.web_module
    if "wasm" in present or ({"web", "viewer"} & present and not os.path.isfile(module)):
        module = os.path.join(wasm, "web", "runaudit-wasm.js")
    web_out = os.path.join(args.work, "web")
    web_env = dict(os.environ, WEB_BUILD=web_out, REPLAYTOOL=replaytool,
                   WEB_ARTIFACTS=os.path.join(args.work, "web-artifacts"))
    web_tests = os.path.join(tree, "tests", "web")

    def web_bundle():
        shutil.rmtree(web_out, ignore_errors=True)
        return (run(["node", os.path.join(tree, "web", "build.mjs"), "--version", project_version(tree),
                     "--module", module, "--viewer", os.path.join(tree, "src", "tool", "viewer"), "--out", web_out],
                    ROOT, 600)
                and run(["npm", "pack", "--silent", "--pack-destination", web_out, os.path.join(web_out, "package")],
                        ROOT, 600))

    def web_suite(first):
        # The units first: node alone, a second, and they see the page's
        # and the package's logic apart from the browser.
        files = ["package.test.mjs", "page.test.mjs"]
        if first == "page":
            files.reverse()
        return all(run(["node", "--test", f], web_tests, 1800, web_env) for f in ["units.test.mjs"] + files)

    # The Windows build in the copy: the two programs its end-to-end test runs.
    windows = os.path.join(args.work, "windows")
    windows_env = dict(os.environ, WINEDEBUG="-all")
    windows_steps = [configure(windows, f"-DCMAKE_TOOLCHAIN_FILE={os.path.join(tree, 'cmake', 'x86_64-w64-mingw32.cmake')}",
                               "-DRUNAUDIT_BUILD_TESTS=ON", "-DRUNAUDIT_GTEST_FROM_SOURCE=ON"),
                     ["cmake", "--build", windows, "--target", "runaudit", "replaytool"]]
    windows_test = ["ctest", "--test-dir", windows, "-R", "^windows_end_to_end$", "--timeout", "900"]

    def steps(commands, env=None):
        return all(run(c, ROOT, 1800, env) for c in commands)

    def suite(m):
        """What caught the mutant: "build", "tests", or None when nothing did."""
        kind = kind_of(m["file"])
        if kind in ("native", "viewer"):
            if not run(native_steps[1], ROOT, 1800):
                return "build"
            if not native_suite(os.path.dirname(m["file"])):
                return "tests"
            if kind == "viewer" and not (run(viewer_test, ROOT, 1800, viewer_env) and web_bundle() and web_suite("page")):
                return "tests"
        elif kind == "web":
            if not web_bundle():
                return "build"
            if not web_suite("page" if m["file"].startswith("web/page/") else "package"):
                return "tests"
        elif kind == "wasm":
            if not (run(wasm_steps[1], ROOT, 1800) and web_bundle()):
                return "build"
            if not web_suite("package"):
                return "tests"
        elif kind == "windows":
            if not run(windows_steps[1], ROOT, 1800):
                return "build"
            if not run(windows_test, ROOT, 1800, windows_env):
                return "tests"
        return None

    # The unmutated tree: each build the mutants need, and their tests passing on it.
    needs_native = bool(present & {"native", "viewer", "web", "wasm"})
    needs_wasm = module == os.path.join(wasm, "web", "runaudit-wasm.js")
    ok = ((not needs_native or steps(native_steps))
          and (not present & {"native", "viewer"} or run(native_test, ROOT, 1800))
          and ("viewer" not in present or run(viewer_test, ROOT, 1800, viewer_env))
          and (not needs_wasm or steps(wasm_steps))
          and (not present & {"viewer", "web", "wasm"} or (web_bundle() and web_suite("package")))
          and ("windows" not in present or (steps(windows_steps) and run(windows_test, ROOT, 1800, windows_env))))
    if not ok:
        sys.exit("the unmutated tree does not build or pass its tests")

    # Grouped by file, so each file is rebuilt about once per mutant.
    order = sorted(range(len(mutants)), key=lambda i: (mutants[i]["file"], i))
    results = {}
    times = {}
    for i in order:
        m = mutants[i]
        path = os.path.join(tree, m["file"])
        original, changed = mutated_text(tree, m)
        began = time.monotonic()
        with open(path, "w", encoding="utf-8") as f:
            f.write(changed)
        try:
            failed = suite(m)
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        how = {None: "missed", "tests": "caught", "build": "caught (build)"}[failed]
        results[m["id"]] = how
        spent = time.monotonic() - began
        times.setdefault(kind_of(m["file"]), []).append(spent)
        print(f"  {m['id']:<36} {kind_of(m['file']):<8} {how:<15} {spent:5.1f} s", flush=True)

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
    for kind in KINDS:
        if kind in times:
            spent = times[kind]
            print(f"  {kind:<8} {len(spent):4} mutants, {sum(spent) / len(spent):6.1f} s each, {sum(spent) / 60:6.1f} min")
    if rate < args.threshold:
        print(f"below the threshold of {args.threshold:.0f}%")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
