#!/bin/bash
# Sets up a fresh machine if needed, builds everything and runs every test under Wine.
# The last line is the total: "tests: N passed, N failed".
#   scripts/test.sh [REGEX]               only the test programs whose names match (no e2e tests)
#   scripts/test.sh --e2e PYTEST-ARGS...  only these whole-program tests (no unit tests)
# The target (i686 or x86_64) is the host's, or VGL_ARCH's: see scripts/lib.sh.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
filter="" e2e_args=()
if [ "${1:-}" = "--e2e" ]; then
  shift
  e2e_args=("$@")
  [ ${#e2e_args[@]} -gt 0 ] || { echo "test.sh: --e2e needs pytest arguments (files, -k ...)"; exit 2; }
else
  filter="${1:-}"
fi
bash "$VGL_ROOT/scripts/setup.sh" "$VGL_BUILD" || exit 1
vgl_build || { echo "tests: 0 passed, 1 failed (build failed)"; exit 1; }

vgl_start_session
rm -rf "$VGL_BUILD/testresults"; mkdir -p "$VGL_BUILD/testresults"
# ctest rewrites this list only when a test fails: an old one would name programs this run skipped.
rm -f "$VGL_BUILD/Testing/Temporary/LastTestsFailed.log"
# Scratch folders of an earlier run (named by Wine process ids, which repeat) start empty.
find "$VGL_BUILD/testwork" -mindepth 2 -maxdepth 2 -exec rm -rf {} + 2>/dev/null
jobs="$(nproc)"
ctest_rc=0
if [ ${#e2e_args[@]} -eq 0 ]; then
  (cd "$VGL_BUILD" && ctest -j "$jobs" --output-on-failure ${filter:+-R "$filter"})
  ctest_rc=$?
fi

pytest_rc=0
if [ ${#e2e_args[@]} -gt 0 ]; then
  (cd "$VGL_ROOT" && VGL_BUILD="$VGL_BUILD" /usr/bin/python3 -m pytest -q "${e2e_args[@]}" \
      --junitxml="$VGL_BUILD/testresults/e2e.xml")
  pytest_rc=$?
elif [ -z "$filter" ] && ls "$VGL_ROOT"/tests/e2e/test_*.py >/dev/null 2>&1; then
  VGL_BUILD="$VGL_BUILD" /usr/bin/python3 -m pytest -q "$VGL_ROOT/tests/e2e" \
      --junitxml="$VGL_BUILD/testresults/e2e.xml"
  pytest_rc=$?
fi
# A short native fuzz run of the engine's readers (the long runs: scripts/fuzz.sh).
[ -z "$filter" ] && [ ${#e2e_args[@]} -eq 0 ] && bash "$VGL_ROOT/scripts/fuzz.sh" --short
vgl_stop_session
trap - EXIT

/usr/bin/python3 "$VGL_ROOT/scripts/count_results.py" "$VGL_BUILD/testresults"
count_rc=$?
[ $ctest_rc -eq 0 ] && [ $pytest_rc -eq 0 ] && [ $count_rc -eq 0 ]
