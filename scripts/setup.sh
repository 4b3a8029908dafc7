#!/bin/bash
# Set-up for a fresh Debian 12 machine (as root); safe to run again.
#   scripts/setup.sh [BUILD_DIR]    installs packages and creates BUILD_DIR/wineprefix
# The target (i686 or x86_64, see scripts/lib.sh) decides the compiler, Wine and prefix.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build="${1:-$VGL_BUILD}"

packages=(xvfb x11-apps x11-utils imagemagick xdotool googletest libz-mingw-w64-dev python3-pytest
          cmake ninja-build)
if [ "$VGL_ARCH" = i686 ]; then
  packages+=(wine wine32:i386 g++-mingw-w64-i686-posix)
else
  packages+=(wine wine64 g++-mingw-w64-x86-64-posix)
fi
# Native clang with libFuzzer and zlib: only for fuzzing the engine's readers (scripts/fuzz.sh).
packages+=(clang libclang-rt-dev zlib1g-dev)
# The driver's native file-access watcher is a Linux program.
packages+=(gcc libc6-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [ "$VGL_ARCH" = i686 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

prefix="$build/wineprefix"
mkdir -p "$build"
if [ ! -f "$prefix/.vigilon-ready" ]; then
  echo "setup: creating Wine prefix $prefix ($VGL_WINEARCH, Windows 98)"
  rm -rf "$prefix"
  export WINEPREFIX="$prefix"
  unset DISPLAY
  WINEARCH=$VGL_WINEARCH timeout -k 5 300 "$VGL_WINE" wineboot -i >/dev/null 2>&1 || true
  timeout -k 5 60 wineserver -w || true
  [ -d "$prefix/drive_c/windows" ] || { echo "setup: wineboot failed" >&2; exit 1; }
  # Debian's Wine does not read its own font folder.
  if [ -d /usr/share/wine/fonts ]; then
    cp -n /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  cat > "$build/vigilon-prefix.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine]
"Version"="win98"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"
REG
  timeout -k 5 120 "$VGL_WINE" regedit /S "$build/vigilon-prefix.reg" >/dev/null 2>&1
  timeout -k 5 60 wineserver -k || true
  touch "$prefix/.vigilon-ready"
fi
# Wine links the user's shell folders (Desktop, Documents, ...) to the host's home: a walk of
# drive C: (a whole-drive scan, the real-time watcher) would go through the host's files, once per
# link. The PC's drive keeps plain folders instead.
find "$prefix/drive_c/users" -type l 2>/dev/null | while read -r link; do
  rm -f "$link" && mkdir -p "$link"
done
echo "setup: ready ($build)"
