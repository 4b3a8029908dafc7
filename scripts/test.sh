#!/bin/bash
# Sets up a fresh machine if needed, builds everything and runs every test under Wine.
# The last line is the total: "tests: N passed, N failed".
#   scripts/test.sh [REGEX]   only the test programs whose names match (no e2e tests)
set -uo pipefail
source "$(dirname "$0")/lib.sh"
bash "$VGL_ROOT/scripts/setup.sh" "$VGL_BUILD" || exit 1
vgl_build || { echo "tests: 0 passed, 1 failed (build failed)"; exit 1; }

vgl_start_session
rm -rf "$VGL_BUILD/testresults"; mkdir -p "$VGL_BUILD/testresults"
# ctest rewrites this list only when a test fails: an old one would name programs this run skipped.
rm -f "$VGL_BUILD/Testing/Temporary/LastTestsFailed.log"
# Scratch folders of an earlier run (named by Wine process ids, which repeat) start empty.
find "$VGL_BUILD/testwork" -mindepth 2 -maxdepth 2 -exec rm -rf {} + 2>/dev/null
jobs="$(nproc)"
filter="${1:-}"
(cd "$VGL_BUILD" && ctest -j "$jobs" --output-on-failure ${filter:+-R "$filter"})
ctest_rc=$?

pytest_rc=0
if [ -z "$filter" ] && ls "$VGL_ROOT"/tests/e2e/test_*.py >/dev/null 2>&1; then
  VGL_BUILD="$VGL_BUILD" /usr/bin/python3 -m pytest -q "$VGL_ROOT/tests/e2e" \
      --junitxml="$VGL_BUILD/testresults/e2e.xml"
  pytest_rc=$?
fi
# A short native fuzz run of the engine's readers (the long runs: scripts/fuzz.sh).
[ -z "$filter" ] && bash "$VGL_ROOT/scripts/fuzz.sh" --short
vgl_stop_session
trap - EXIT

/usr/bin/python3 "$VGL_ROOT/scripts/count_results.py" "$VGL_BUILD/testresults"
count_rc=$?
[ $ctest_rc -eq 0 ] && [ $pytest_rc -eq 0 ] && [ $count_rc -eq 0 ]
