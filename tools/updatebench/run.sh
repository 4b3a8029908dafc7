#!/bin/bash
# The update benchmark: the time from the server's update command to the engine running the new
# pattern (median of the rounds). Installs the client in the build's Wine prefix (as the
# whole-program tests do) and runs it against the demo server with the build's packages.
#   bash tools/updatebench/run.sh [--rounds N]
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
[ -f "$VGL_BUILD/bin/packages/pattern.zip" ] || vgl_build >/dev/null || exit 1
vgl_start_session
VGL_BUILD="$VGL_BUILD" /usr/bin/python3 "$VGL_ROOT/tools/updatebench/updatebench.py" "$@"
