#!/bin/bash
# The listener benchmark: status queries a second that the client's listener answers, with one
# and with 8 clients asking at once. Installs the client in the build's Wine prefix (as the
# whole-program tests do), starts it against the demo server and queries it from Linux over
# loopback.
#   bash tools/listenbench/run.sh [--seconds S] [--rounds N] [--clients 1,8]
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
[ -x "$VGL_BUILD/bin/Ksxwin97.exe" ] || vgl_build >/dev/null || exit 1
vgl_start_session
VGL_BUILD="$VGL_BUILD" /usr/bin/python3 "$VGL_ROOT/tools/listenbench/listenbench.py" "$@"
