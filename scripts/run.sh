#!/bin/bash
# Sets up a fresh machine if needed, builds, and runs the system under Wine.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
bash "$VGL_ROOT/scripts/setup.sh" "$VGL_BUILD" || exit 1
vgl_build >"$VGL_BUILD/build.log" 2>&1 || { tail -30 "$VGL_BUILD/build.log"; exit 1; }
vgl_start_session
echo "Windows seen by the programs:"
"$VGL_BUILD/wine-run" "$VGL_BUILD/bin/vgltool.exe" winver
