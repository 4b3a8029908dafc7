# Shared by the build, test and run scripts.
VGL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VGL_BUILD="${VGL_BUILD:-$VGL_ROOT/build}"
export WINEPREFIX="$VGL_BUILD/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINEARCH http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy

vgl_build() {
  cmake -S "$VGL_ROOT" -B "$VGL_BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$VGL_ROOT/cmake/mingw-i686.cmake" >/dev/null
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
  setsid timeout -k 5 120 wine wineboot >/dev/null 2>&1 </dev/null
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
