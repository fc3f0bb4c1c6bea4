#!/usr/bin/env python3
"""Every JSON the programs print, against docs/result.schema.json.

    check_outputs.py --replaytool EXE --dump EXE [--sanitized]
        The native outputs: replaytool check --json (and with --evidence), show --json, view's
        embedded data, and the library's JSON (runaudit_result_json from a
        path and from bytes, runaudit_view_bytes, through result_dump), and
        replaytool evidence --json with runaudit_evidence_bytes, on every
        sample and fixture and on a file for each of the loader's
        rejections; the evidence in show and check is evidence --json's. First shows that the validator refuses a missing key,
        an extra one, a wrong name and a wrong type in each output.
    check_outputs.py corpus --replaytool EXE DIR
        Writes the files into DIR and prints "KIND<TAB>PATH" lines (KIND
        "replay" for a file anyone can read whole), for the npm test.
    check_outputs.py validate DEF FILE
        Each line of FILE (JSON) against the schema's $defs/DEF.
"""
import argparse
import copy
import json
import os
import re
import resource
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from json_schema import Schema  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SCHEMA_PATH = os.path.join(ROOT, "docs", "result.schema.json")


def load_schema():
    with open(SCHEMA_PATH, encoding="utf-8") as f:
        return Schema(json.load(f))


def listed(folder, suffix):
    folder = os.path.join(ROOT, folder)
    return [os.path.join(folder, n) for n in sorted(os.listdir(folder)) if n.endswith(suffix)]


def tool(replaytool):
    """replaytool's command: a native program, or the WebAssembly one run by node."""
    return ["node", replaytool] if replaytool.endswith(".js") else [replaytool]


def corpus(replaytool, scratch):
    """[(kind, path)]: the replays, then a file for each rejection."""
    out = [("replay", p) for p in listed("samples", ".wlx") + listed("tests/api/fixtures", ".wlx")
           + listed("bench/worst", ".wlx") + listed("tests/verify/edge_finds", ".wlx")]
    for text in listed("tests/tool/fixtures", ".txt"):
        packed = os.path.join(scratch, os.path.basename(text)[:-4] + ".wlx")
        subprocess.run(tool(replaytool) + ["pack", text, packed], check=True)
        out.append(("replay", packed))
    with open(os.path.join(ROOT, "samples", "climb.wlx"), "rb") as f:
        climb = f.read()

    def write(name, data):
        path = os.path.join(scratch, name)
        with open(path, "wb") as f:
            f.write(data)
        out.append(("replay", path))
        return path

    write("too-short.wlx", climb[:50])
    write("bad-signature.wlx", climb[:5] + b"1" + climb[6:])
    write("negative-count.wlx", climb[:6] + struct.pack("<i", -1) + climb[10:])
    write("records-past-end.wlx", climb[:120])
    write("bad-checksum.wlx", climb[:200] + bytes([climb[200] ^ 1]) + climb[201:])
    # Bytes in the name and date that are not UTF-8 (texts get U+FFFD, show's hex keeps them).
    odd = subprocess.run(tool(replaytool) + ["unpack", os.path.join(ROOT, "samples", "seed36.wlx")], check=True,
                         capture_output=True, text=True).stdout
    odd = re.sub(r'^name ".*"$', r'name "caf\\xe9\\xff"', odd, flags=re.M)
    odd = re.sub(r'^date ".*"$', r'date "\\xc3"', odd, flags=re.M)
    with open(os.path.join(scratch, "odd-texts.txt"), "w") as f:
        f.write(odd)
    subprocess.run(tool(replaytool) + ["pack", os.path.join(scratch, "odd-texts.txt"), os.path.join(scratch, "odd-texts.wlx")],
                   check=True)
    out.append(("replay", os.path.join(scratch, "odd-texts.wlx")))
    # A name that is not UTF-8 (check and show add fileHex).
    odd_name = os.path.join(scratch, os.fsdecode(b"odd-\xff.wlx"))
    shutil.copyfile(os.path.join(ROOT, "samples", "seed36.wlx"), odd_name)
    out.append(("odd-name", odd_name))
    out.append(("missing", os.path.join(scratch, "no-such-file.wlx")))
    # A folder: check finds nothing in it; the library cannot read it as a file.
    os.mkdir(os.path.join(scratch, "empty-folder"))
    out.append(("folder", os.path.join(scratch, "empty-folder")))
    # Records of 2 GB announced and present (a sparse file): no memory for them under a 1 GiB limit.
    huge = os.path.join(scratch, "no-memory.wlx")
    with open(huge, "wb") as f:
        f.write(climb[:6] + struct.pack("<i", 400_000_000) + climb[10:98])
        f.truncate(98 + 5 * 400_000_000)
    out.append(("huge", huge))
    return out


def limited_memory():
    resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))


def run(command, kind="", expect_output=True):
    """The JSON lines a command prints (an invalid or rejected file may fail; a crash may not)."""
    done = subprocess.run(command, capture_output=True, preexec_fn=limited_memory if kind == "huge" else None)
    if done.returncode not in (0, 1):
        raise SystemExit(f"{command}: exit status {done.returncode}: {done.stderr.decode(errors='replace')}")
    lines = done.stdout.decode("utf-8").splitlines()
    if expect_output and not lines:
        raise SystemExit(f"{command}: printed nothing: {done.stderr.decode(errors='replace')}")
    return [json.loads(line) for line in lines]


def page_data(replaytool, path, scratch):
    page = os.path.join(scratch, "page.html")
    run(tool(replaytool) + ["view", path, "-o", page], expect_output=False)
    with open(page, encoding="utf-8") as f:
        found = re.search(r'<script id="replay-data" type="application/json">(.*?)</script>', f.read(), re.S)
    return json.loads(found.group(1))


FACTS = ("verdict", "error", "rejection", "why", "size", "checksum", "frames", "ended", "aliveAt", "endMarkerRecord",
         "markerFollows", "highestFloor", "bestCombo", "comboScore", "speedLevel", "claimed", "claims")


def outputs(replaytool, dump, scratch, sanitized):
    """[(definition, where, JSON)] of every output on every file, and where surfaces disagree."""
    found, disagree, readable, beside = [], [], [], {}
    for kind, path in corpus(replaytool, scratch):
        if kind == "huge" and sanitized:
            continue  # a sanitizer's shadow memory does not fit under the limit
        name = os.path.basename(path)
        lines = run(tool(replaytool) + ["check", "--json", path], kind)
        found += [("checkLine", f"check --json {name}", j) for j in lines]
        with_evidence = run(tool(replaytool) + ["check", "--evidence", "--json", path], kind)
        found += [("checkEvidenceLine", f"check --evidence --json {name}", j) for j in with_evidence]
        # --evidence adds its member and changes nothing else.
        if [{k: v for k, v in j.items() if k != "evidence"} for j in with_evidence] != lines:
            disagree.append(f"{name}: check --evidence --json is not check --json with evidence added")
        found += [("libraryResult", f"runaudit_check_file {name}", j) for j in run([dump, "file", path], kind)]
        if kind == "missing":  # show explains a file it cannot open in the same shape
            found += [("showJson", f"show --json {name}", j) for j in run(tool(replaytool) + ["show", "--json", path])]
        if kind in ("replay", "odd-name"):
            shown = run(tool(replaytool) + ["show", "--json", path])
            found += [("showJson", f"show --json {name}", j) for j in shown]
            beside[path] = [("show --json", j.get("evidence")) for j in shown]
            beside[path] += [("check --evidence --json", j.get("evidence")) for j in with_evidence]
            (from_bytes,) = run([dump, "bytes", path])
            found.append(("libraryResult", f"runaudit_check_bytes {name}", from_bytes))
            # One set of facts, whichever way they were asked for.
            for other in lines + shown:
                differ = [k for k in FACTS if other.get(k, "absent") != from_bytes.get(k, "absent")]
                if differ:
                    disagree.append(f"{name}: {', '.join(differ)} differ between replaytool and the library")
            (view,) = run([dump, "view", path])
            if (view is None) != (from_bytes.get("verdict") == "error"):
                disagree.append(f"{name}: runaudit_view_bytes gives {'no ' if view is None else ''}data for a "
                                f"{from_bytes.get('verdict')} file")
            if view is not None:
                found.append(("viewLibraryData", f"runaudit_view_bytes {name}", view))
                found.append(("viewPageData", f"replaytool view {name}", page_data(replaytool, path, scratch)))
            readable.append((path, from_bytes.get("verdict") != "error"))
    for p in cut_files(replaytool, scratch):
        readable.append((p, True))
        shown = run(tool(replaytool) + ["show", "--json", p])
        checked = run(tool(replaytool) + ["check", "--evidence", "--json", p])
        found += [("showJson", f"show --json {os.path.basename(p)}", j) for j in shown]
        found += [("checkEvidenceLine", f"check --evidence --json {os.path.basename(p)}", j) for j in checked]
        beside[p] = [("show --json", j.get("evidence")) for j in shown]
        beside[p] += [("check --evidence --json", j.get("evidence")) for j in checked]
    e_found, e_disagree = evidence_outputs(replaytool, dump, readable, beside)
    return found + e_found + diff_outputs(replaytool, readable), disagree + e_disagree


def cut_files(replaytool, scratch):
    """A file whose evidence stops at the edge limit, and one that stops at the frame budget."""
    head = 'name "cut"\ndate "2026-12-10"\nscore 0\nfloor 0\ncombo 0\nrejump 0\nseed 7\nchecksum auto\nrecords\n'
    # One-frame records changing keys every frame: two edges a frame, past the 20,000.
    dense = "".join(f"0 {('0x02', '0x12', '0x01', '0x11')[j % 4]}\n" for j in range(12000))
    # 9-frame runs of left and right: every offset of every edge is played, past the budget.
    wide = "".join(f"8 {('0x02', '0x01')[j % 2]}\n" for j in range(400))
    paths = []
    for name, records in (("cut-edges", dense), ("cut-frames", wide)):
        text, packed = os.path.join(scratch, name + ".txt"), os.path.join(scratch, name + ".wlx")
        with open(text, "w") as f:
            f.write(head + records)
        subprocess.run(tool(replaytool) + ["pack", text, packed], check=True)
        paths.append(packed)
    return paths


def share(evidence):
    s = evidence["summary"]
    return s["framePerfect"] / s["decisive"] if s["decisive"] else None


def diff_outputs(replaytool, readable):
    """replaytool diff --json on each file that loads against the next one and against itself."""
    loads = [p for p, ok in readable if ok]
    found = []
    for a, b in zip(loads, loads[1:] + loads[:1]):
        for pair in ((a, b), (a, a)):
            lines = run(tool(replaytool) + ["diff", "--json", *pair])
            found += [("diffCommand", f"diff --json {os.path.basename(pair[0])} {os.path.basename(pair[1])}", j)
                      for j in lines]
    return found


def evidence_outputs(replaytool, dump, readable, beside):
    """replaytool evidence --json on all the files at once, and runaudit_evidence_bytes on each: a line for
    each file that loads, in order, ranked among them, and the library's object the command's without file
    and rank; show's and check --evidence's evidence (`beside`: path -> [(where, evidence)]) its cut and
    summary, null for a file that does not load."""
    paths = [p for p, _ in readable]
    lines = run(tool(replaytool) + ["evidence", "--json"] + paths)
    library = run([dump, "evidence"] + paths)
    found, disagree = [], []
    loads = [p for p, ok in readable if ok]
    if len(lines) != len(loads):
        return found, [f"evidence --json printed {len(lines)} lines for {len(loads)} files that load"]
    line_of = dict(zip(loads, lines))
    shares = [share(j) for j in lines]
    for (path, ok), from_bytes in zip(readable, library):
        name = os.path.basename(path)
        if not ok:
            if from_bytes is not None:
                disagree.append(f"{name}: runaudit_evidence_bytes gives evidence for a file that does not load")
            disagree += [f"{name}: {where} gives evidence for a file that does not load"
                         for where, e in beside.get(path, []) if e is not None]
            continue
        line = line_of[path]
        brief = {"cut": line["cut"], "summary": line["summary"]}
        disagree += [f"{name}: {where}'s evidence is not evidence --json's cut and summary"
                     for where, e in beside.get(path, []) if e != brief]
        found.append(("evidenceCommand", f"evidence --json {name}", line))
        if from_bytes is None:
            disagree.append(f"{name}: runaudit_evidence_bytes gives nothing for a file that loads")
            continue
        found.append(("evidenceLibrary", f"runaudit_evidence_bytes {name}", from_bytes))
        if {k: v for k, v in line.items() if k not in ("file", "fileHex", "rank")} != from_bytes:
            disagree.append(f"{name}: runaudit_evidence_bytes differs from evidence --json without file and rank")
        mine = share(line)
        rank = 1 + sum(1 for s in shares if s is not None and (mine is None or s > mine))
        if line.get("rank") != rank:
            disagree.append(f"{name}: rank {line.get('rank')}, but {rank - 1} of the files rank above it")
    return found, disagree


def mutants(output):
    """Outputs the schema must refuse: each a small change of a real one."""
    keys = list(output)
    wrong = []
    missing = copy.deepcopy(output)
    del missing[keys[len(keys) // 2]]
    wrong.append((f"without {keys[len(keys) // 2]!r}", missing))
    extra = copy.deepcopy(output)
    extra["verdicts"] = extra[keys[0]]
    wrong.append(("with an extra key", extra))
    # A misspelt key: one of the facts renamed in place.
    name = next(k for k in ("claims", "aliveAt", "framesStepped", "sameGame") if k in output)
    wrong.append((f"with {name!r} misspelt", {(k + "s" if k == name else k): v for k, v in output.items()}))
    if "edges" in output and "summary" in output:
        wrong += evidence_mutants(output)
    if isinstance(output.get("evidence"), dict) and "summary" in output["evidence"]:
        for what, change in (("without the summary's decisive", lambda e: e["summary"].pop("decisive")),
                             ("with a key added beside the summary", lambda e: e.update(edges=[])),
                             ("with the cut misspelt", lambda e: e.update(cuts=e.pop("cut")))):
            bad = copy.deepcopy(output)
            change(bad["evidence"])
            wrong.append((f"with evidence {what}", bad))
        bad = copy.deepcopy(output)
        bad["evidence"] = None
        wrong.append(("with no evidence for a file that loaded", bad))
    for key in ("verdict", "error", "aliveAt", "claims", "rejection", "stateCompared"):
        if isinstance(output.get(key), str):
            bad = copy.deepcopy(output)
            bad[key] = output[key] + "s"
            wrong.append((f"with {key} {bad[key]!r}", bad))
    for key, value in output.items():
        if isinstance(value, int) and not isinstance(value, bool):
            bad = copy.deepcopy(output)
            bad[key] = str(value)
            wrong.append((f"with {key} a string", bad))
            break
    for key, value in output.items():
        if isinstance(value, dict):
            bad = copy.deepcopy(output)
            bad[key]["extra"] = 1
            wrong.append((f"with a key added inside {key}", bad))
            break
    return wrong


def evidence_mutants(output):
    """The evidence's own: a wrong name inside an edge or a histogram, a share that contradicts its counts."""
    wrong = []
    if output["edges"]:
        for key, value in (("key", "lefts"), ("ends", ["outcome", "reachs"]), ("outcome", "died"), ("window", [0]),
                           ("window", [0, 0, 0]), ("window", [1, 2])):
            bad = copy.deepcopy(output)
            bad["edges"][-1][key] = value
            wrong.append((f"with an edge's {key} {value!r}", bad))
    for key in ("left", "right", "jump"):
        bad = copy.deepcopy(output)
        bad["summary"]["keys"][key]["durations"]["1x"] = 1
        wrong.append((f"with a {key} duration '1x'", bad))
    bad = copy.deepcopy(output)
    bad["summary"]["framePerfectShare"] = None if output["summary"]["decisive"] else 0.5
    wrong.append(("with a frame-perfect share that does not follow decisive", bad))
    bad = copy.deepcopy(output)
    del bad["facts"]["framesAfterEnd"]
    wrong.append(("without facts' framesAfterEnd", bad))
    return wrong


def refuses(schema, definition, where, output):
    """The validator cannot pass vacuously: each output changed a little is refused."""
    ref = f"#/$defs/{definition}"
    if len(output.get("edges", [])) > 40:  # the schema does not count edges; a few keep this quick
        output = dict(output, edges=output["edges"][:20] + output["edges"][-20:])
    if schema.errors(output, ref):
        return []
    failures = [f"{where}: {what} passes as {definition}" for what, bad in mutants(output) if not schema.errors(bad, ref)]
    # The shape follows the verdict: a rejected file's facts on a loaded one, and the other way.
    if "verdict" in output and "rejection" in output:
        swapped = copy.deepcopy(output)
        swapped["verdict"] = "valid" if output["verdict"] == "error" else "error"
        if not schema.errors(swapped, ref):
            failures.append(f"{where}: verdict {swapped['verdict']!r} with the facts of {output['verdict']!r} passes")
    return failures


def coverage(found):
    """The files reach every case the schema tells apart."""
    seen = {(d, k, json.dumps(j.get(k))) for d, _, j in found for k in ("verdict", "rejection", "aliveAt", "claims")}
    wanted = [("checkLine", "verdict", v) for v in ('"valid"', '"invalid"', '"error"')]
    wanted += [("libraryResult", "rejection", f'"{r}"') for r in
               ("open-failed", "too-short", "bad-signature", "negative-count", "records-past-end", "bad-checksum",
                "read-failed")]
    wanted += [("checkLine", "aliveAt", v) for v in ('"end marker"', '"records exhausted"', "null")]
    wanted += [("showJson", "claims", v) for v in ('"match"', '"differ"', "null")]
    wanted += [("checkEvidenceLine", "verdict", v) for v in ('"valid"', '"invalid"', '"error"')]
    wanted += [("viewPageData", "aliveAt", v) for v in ('""', '"end marker"', '"records exhausted"')]
    missing = [w for w in wanted if w not in seen]
    if not any(d == "checkLine" and j.get("rejection") is None and j.get("verdict") == "error" for d, _, j in found):
        missing.append("a folder's error line")
    if not any(d == "checkEvidenceLine" and j.get("rejection") is None and j.get("verdict") == "error" for d, _, j in found):
        missing.append("a folder's error line with --evidence")
    if not any(d == "showJson" and j.get("evidence") and j["evidence"]["cut"] for d, _, j in found):
        missing.append("show's evidence cut")
    if not any("fileHex" in j for _, _, j in found):
        missing.append("a fileHex")
    if not any(d == "viewLibraryData" and j.get("cut") for d, _, j in found):
        missing.append("a cut view")
    evidence = [j for d, _, j in found if d == "evidenceCommand"]
    reached = {("cut", json.dumps(j["cut"] and j["cut"]["reason"])) for j in evidence}
    reached |= {("died", json.dumps(j["died"])) for j in evidence}
    reached |= {("fileHex", "present") for j in evidence if "fileHex" in j}
    reached |= {("share", "null" if j["summary"]["framePerfectShare"] is None else "number") for j in evidence}
    for e in (e for j in evidence for e in j["edges"]):
        reached |= {("key", e["key"]), ("end", e["ends"][0]), ("end", e["ends"][1]),
                    ("outcome", e["outcome"] if isinstance(e["outcome"], str) else "floor")}
    wanted = [("cut", v) for v in ("null", '"edges"', '"frames"')] + [("died", "true"), ("died", "false")]
    wanted += [("key", k) for k in ("left", "right", "jump")] + [("end", w) for w in ("outcome", "edge", "reach")]
    wanted += [("outcome", o) for o in ("floor", "dies", "none")] + [("share", "null"), ("share", "number")]
    wanted += [("fileHex", "present")]
    missing += [f"evidence with {what} {value}" for what, value in wanted if (what, value) not in reached]
    compared = {j["stateCompared"] for d, _, j in found if d == "diffCommand"}
    missing += [f"diff with stateCompared {k}" for k in ("not compared", "same inputs", "found") if k not in compared]
    return [f"no output has {m}" for m in missing]


def native(args):
    schema = load_schema()
    with tempfile.TemporaryDirectory() as scratch:
        found, failures = outputs(args.replaytool, args.dump, scratch, args.sanitized)
    try:
        Schema({"patternProperties": {}})
        failures.append("the validator takes a keyword it does not know")
    except ValueError:
        pass
    numbered = Schema({"propertyNames": {"pattern": "^[1-9][0-9]*$"}})
    if numbered.errors({"12": 1}) or not numbered.errors({"12": 1, "01": 1}):
        failures.append("propertyNames does not hold every key to its pattern")
    for definition, where, output in found:
        failures += [f"{where}: {e}" for e in schema.errors(output, f"#/$defs/{definition}")]
        # Each output is one of the schema's kinds, and only one.
        failures += [f"{where}: as the whole schema: {e}" for e in schema.errors(output)]
        failures += refuses(schema, definition, where, output)
    if not args.sanitized:
        failures += [] if any(j.get("rejection") == "no-memory" for _, _, j in found) else ["no no-memory output"]
    failures += coverage(found)
    for f in failures[:60]:
        print(f)
    if len(failures) > 60:
        print(f"... and {len(failures) - 60} more")
    print(f"{len(found)} outputs checked, {len(failures)} failures")
    return 1 if failures else 0


def validate(args):
    schema = load_schema()
    failures = []
    with open(args.file, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if line.strip():
                failures += [f"{args.file}:{number}: {e}" for e in schema.errors(json.loads(line), f"#/$defs/{args.definition}")]
    for f in failures:
        print(f)
    return 1 if failures else 0


def main():
    if len(sys.argv) > 1 and sys.argv[1] in ("corpus", "validate"):
        parser = argparse.ArgumentParser()
        sub = parser.add_subparsers(dest="command", required=True)
        c = sub.add_parser("corpus")
        c.add_argument("--replaytool", required=True)
        c.add_argument("dir")
        v = sub.add_parser("validate")
        v.add_argument("definition")
        v.add_argument("file")
        args = parser.parse_args()
        if args.command == "validate":
            return validate(args)
        for kind, path in corpus(args.replaytool, args.dir):
            sys.stdout.buffer.write(kind.encode() + b"\t" + os.fsencode(path) + b"\n")
        return 0
    parser = argparse.ArgumentParser()
    parser.add_argument("--replaytool", required=True)
    parser.add_argument("--dump", required=True)
    parser.add_argument("--sanitized", action="store_true")
    return native(parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
