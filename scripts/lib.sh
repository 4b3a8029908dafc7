# Shared by the build, test and run scripts.
VGL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Whether this host runs 32-bit x86 programs: a 93-byte i386 Linux program that only exits.
# Hosts that run 64-bit code only refuse it ("Exec format error"), and no Wine can run a
# 32-bit Windows program there.
vgl_host_runs_32bit() {
  local probe
  probe="$(mktemp "${TMPDIR:-/tmp}/vgl-probe32.XXXXXX")" || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'`
        `'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'`
        `'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'`
        `'\x00\x00\x00\x00'`
        `'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'`
        `'\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'`
        `'\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  local rc=$?
  rm -f "$probe"
  return $rc
}

# The target: i686 (what runs on Windows 95/98) where the host runs 32-bit programs, else
# x86_64; VGL_ARCH=i686|x86_64 forces one. Each target has its own build folder and prefix.
vgl_choose_target() {
  if [ -n "${VGL_TARGET_REASON:-}" ]; then
    return 0
  fi
  local runs32=0
  vgl_host_runs_32bit && runs32=1
  case "${VGL_ARCH:-}" in
    "")
      if [ $runs32 = 1 ]; then
        VGL_ARCH=i686 VGL_TARGET_REASON="this host runs 32-bit programs"
      else
        VGL_ARCH=x86_64 VGL_TARGET_REASON="this host runs 64-bit programs only"
      fi ;;
    i686)
      if [ $runs32 = 0 ]; then
        echo "target: i686 cannot be used: this host cannot run 32-bit programs (leave VGL_ARCH unset or set it to x86_64)" >&2
        return 1
      fi
      VGL_TARGET_REASON="VGL_ARCH=i686" ;;
    x86_64) VGL_TARGET_REASON="VGL_ARCH=x86_64" ;;
    *) echo "target: unknown VGL_ARCH '$VGL_ARCH' (i686 or x86_64)" >&2; return 1 ;;
  esac
  export VGL_ARCH VGL_TARGET_REASON
  echo "target: $VGL_ARCH ($VGL_TARGET_REASON)"
}
vgl_choose_target || exit 1
if [ "$VGL_ARCH" = i686 ]; then
  VGL_BUILD="${VGL_BUILD:-$VGL_ROOT/build}"
else
  VGL_BUILD="${VGL_BUILD:-$VGL_ROOT/build-$VGL_ARCH}"
fi
export VGL_BUILD
export WINEPREFIX="$VGL_BUILD/wineprefix"
# Wine's loader for the target: /usr/bin/wine prefers the 32-bit one whenever it is installed.
if [ "$VGL_ARCH" = i686 ]; then
  VGL_WINE=/usr/lib/wine/wine VGL_WINEARCH=win32
else
  VGL_WINE=/usr/lib/wine/wine64 VGL_WINEARCH=win64
fi
export WINELOADER="$VGL_WINE"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINEARCH http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy

vgl_build() {
  cmake -S "$VGL_ROOT" -B "$VGL_BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$VGL_ROOT/cmake/mingw-$VGL_ARCH.cmake" >/dev/null
  cmake --build "$VGL_BUILD" -- -k 0
}

# A virtual X display and one persistent wineserver for a whole run. Without
# VGL_DISPLAY, the X server picks a free display number itself.
vgl_start_session() {
  if [ -z "${VGL_DISPLAY:-}" ] || ! xdpyinfo -display "$VGL_DISPLAY" >/dev/null 2>&1; then
    local fifo="$VGL_BUILD/xvfb.display"
    rm -f "$fifo"
    if [ -n "${VGL_DISPLAY:-}" ]; then
      setsid Xvfb "$VGL_DISPLAY" -screen 0 1024x768x24 -nolisten tcp \
        >"$VGL_BUILD/xvfb.log" 2>&1 </dev/null &
    else
      setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
        3>"$fifo" >"$VGL_BUILD/xvfb.log" 2>&1 </dev/null &
    fi
    echo $! >"$VGL_BUILD/xvfb.pid"
    for _ in $(seq 50); do
      [ -z "${VGL_DISPLAY:-}" ] && [ -s "$fifo" ] && VGL_DISPLAY=":$(head -n1 "$fifo")"
      [ -n "${VGL_DISPLAY:-}" ] && xdpyinfo -display "$VGL_DISPLAY" >/dev/null 2>&1 && break
      sleep 0.1
    done
    export VGL_DISPLAY
  fi
  export DISPLAY="$VGL_DISPLAY"
  setsid timeout -k 5 7200 wineserver -p -f >"$VGL_BUILD/wineserver.log" 2>&1 </dev/null &
  echo $! >"$VGL_BUILD/wineserver.pid"
  # Start Wine's own services now, detached: started later by a test, they would
  # inherit its output pipe and keep ctest waiting after the test ended.
  setsid timeout -k 5 120 "$VGL_WINE" wineboot >/dev/null 2>&1 </dev/null
  trap vgl_stop_session EXIT
}

vgl_stop_session() {
  timeout -k 5 30 wineserver -k 2>/dev/null || true
  for f in wineserver xvfb; do
    if [ -f "$VGL_BUILD/$f.pid" ]; then
      kill "$(cat "$VGL_BUILD/$f.pid")" 2>/dev/null || true
      rm -f "$VGL_BUILD/$f.pid"
    fi
  done
}
