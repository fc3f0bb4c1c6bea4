#!/usr/bin/env python3
"""The documents cannot drift from the programs.

Runs every ```console block of the README: each "$ COMMAND" line in bash,
in a scratch folder that holds the samples, with the programs of BIN first
on PATH, and compares what it prints (standard output and error) with the
lines that follow it in the block. Then checks every relative link of the
README, the changelog and docs/: the file exists, and so does the heading
a #fragment names.

    check_docs.py --bin BUILD_DIR [--root SOURCE_DIR]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

FENCE = re.compile(r"^```(\S*)\s*$")
LINK = re.compile(r"(?<!!)\[[^\]]*\]\(([^)\s]+)\)|!\[[^\]]*\]\(([^)\s]+)\)")


def console_blocks(text):
    """[(line number, [lines])] of the ```console blocks."""
    blocks, current, start = [], None, 0
    for number, line in enumerate(text.split("\n"), 1):
        fence = FENCE.match(line)
        if fence and current is None:
            current, start = ([] if fence.group(1) == "console" else False), number
        elif fence:
            if current is not False:
                blocks.append((start, current))
            current = None
        elif current not in (None, False):
            current.append(line)
    return blocks


def examples(blocks):
    """[(line number, command, expected output)]"""
    out = []
    for start, lines in blocks:
        for offset, line in enumerate(lines, 1):
            if line.startswith("$ "):
                out.append([start + offset, line[2:], []])
            elif out and out[-1][0] > start:
                out[-1][2].append(line)
            else:
                raise SystemExit(f"README.md:{start + offset}: output before any command")
    return out


def run_examples(root, bin_dir):
    with open(os.path.join(root, "README.md"), encoding="utf-8") as f:
        cases = examples(console_blocks(f.read()))
    if not cases:
        return ["README.md has no console examples"]
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        os.symlink(os.path.join(root, "samples"), os.path.join(scratch, "samples"))
        env = dict(os.environ, PATH=os.path.abspath(bin_dir) + os.pathsep + os.environ["PATH"], LC_ALL="C")
        for number, command, expected in cases:
            run = subprocess.run(["bash", "-c", command], cwd=scratch, env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, timeout=120)
            got = run.stdout.decode("utf-8", "replace").rstrip("\n").split("\n") if run.stdout else []
            if got != expected:
                failures.append(f"README.md:{number}: $ {command}\n  shown:   {expected}\n  printed: {got}")
    print(f"{len(cases)} README examples run")
    return failures


def slug(heading):
    """The fragment a heading gets: lower case, punctuation dropped, spaces as hyphens."""
    text = re.sub(r"[`*_]", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r"```.*?```", "", text, flags=re.S)
    return {slug(m.group(1)) for m in re.finditer(r"^#+ (.*)$", text, re.M)}


def check_links(root):
    documents = [os.path.join(root, "README.md"), os.path.join(root, "CHANGELOG.md")]
    docs = os.path.join(root, "docs")
    documents += [os.path.join(docs, n) for n in sorted(os.listdir(docs)) if n.endswith(".md")]
    failures, count = [], 0
    for document in documents:
        with open(document, encoding="utf-8") as f:
            text = re.sub(r"```.*?```", "", f.read(), flags=re.S)
        for match in LINK.finditer(text):
            target = match.group(1) or match.group(2)
            if re.match(r"^[a-z]+:", target):
                continue  # no document links outside the project
            count += 1
            path, _, fragment = target.partition("#")
            file = os.path.normpath(os.path.join(os.path.dirname(document), path)) if path else document
            where = os.path.relpath(document, root)
            if not os.path.exists(file):
                failures.append(f"{where}: link to missing {target}")
            elif fragment and file.endswith(".md") and fragment not in anchors(file):
                failures.append(f"{where}: link to missing heading {target}")
    print(f"{count} links checked in {len(documents)} documents")
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--root", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    failures = run_examples(root, args.bin) + check_links(root)
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
