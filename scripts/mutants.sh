#!/usr/bin/env bash
# Mutation testing: every fault listed in scripts/mutants.txt applied alone
# to a copy of the tree, rebuilt and run against the tests that can see it
# (native, viewer, web, wasm or Windows; see mutants.py). Fails when fewer
# than 90% of the reachable mutants are caught. Options: see mutants.py.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 scripts/mutants.py "$@"
