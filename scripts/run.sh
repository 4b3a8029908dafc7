#!/bin/bash
# Sets up a fresh machine if needed, builds, and runs the system under Wine: the bundled demo
# server on 127.0.0.1 and the client program Ksxwin97 on a Wine virtual desktop (your display
# when there is one, else a virtual X display), with a product key that points at the server.
# Ctrl+C unloads the client and stops everything.
#   scripts/run.sh [--for SECONDS]    stop by itself after SECONDS
set -uo pipefail
source "$(dirname "$0")/lib.sh"
stop_after=""
[ "${1:-}" = "--for" ] && stop_after="${2:-}"

bash "$VGL_ROOT/scripts/setup.sh" "$VGL_BUILD" || exit 1
echo "Building (log: $VGL_BUILD/build.log)"
vgl_build >"$VGL_BUILD/build.log" 2>&1 || { tail -30 "$VGL_BUILD/build.log"; exit 1; }

# A person's own display when it works, else a virtual one.
if [ -n "${DISPLAY:-}" ] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  export VGL_DISPLAY="$DISPLAY"
  own_display=1
else
  unset VGL_DISPLAY
  own_display=0
fi
vgl_start_session
run() { "$VGL_BUILD/wine-run" "$@"; }
wintest() { "$VGL_BUILD/wine-run" "$VGL_BUILD/bin/wintest.exe" "$@" | tr -d '\r'; }
demo="$VGL_BUILD/demo"
rm -rf "$demo"; mkdir -p "$demo"

drive_c="$WINEPREFIX/drive_c"
program_dir="$drive_c/Program Files/Vigilon"
program='C:\Program Files\Vigilon\Ksxwin97.exe'
server=""
client_pid=""

# The client's start-up entries, so that the next Wine session does not start it by itself.
remove_startup_entries() {
  local key name
  for key in 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' \
             'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\RunServices'; do
    wintest regvalues "$key" | grep -i 'ksxwin97' | while IFS= read -r line; do
      name=${line%%=*}
      wintest regdel "$key" "$name" >/dev/null
    done
  done
}

stop_all() {
  trap - INT TERM EXIT
  echo
  echo "== Stopping"
  local hwnd
  hwnd=$(wintest mapping VigilonCorp_MemoryMappedFile_MainWnd 2>/dev/null | awk '$2 == "window=1" {print $1}')
  if [ -n "$hwnd" ]; then
    wintest post "$hwnd" 2024 0 0 >/dev/null 2>&1      # WM_UNLOAD, as the update program does
    wintest post "$hwnd" 18 0 0 >/dev/null 2>&1        # WM_QUIT
    [ -n "$client_pid" ] && wintest waitexit "$client_pid" 20000 >/dev/null 2>&1
    echo "the client unloaded"
  fi
  [ -n "$server" ] && kill "$server" 2>/dev/null && echo "the demo server stopped"
  # Requests the server refused as malformed (its journal marks them "invalid").
  [ -s "$demo/journal.jsonl" ] && /usr/bin/python3 - "$demo/journal.jsonl" <<'PY'
import json, sys
entries = [json.loads(line) for line in open(sys.argv[1]) if line.strip()]
bad = [e for e in entries if e.get("invalid")]
print(f"the server received {len(entries)} requests, {len(bad)} of them invalid")
for e in bad:
    print(f"  {e.get('request_line')}: {e['invalid']}")
PY
  remove_startup_entries
  rm -f "$drive_c/VglDebug.ini"
  vgl_stop_session
  exit 0
}
trap stop_all INT TERM EXIT

echo "== Windows seen by the programs"
run "$VGL_BUILD/bin/vgltool.exe" winver

echo "== Demo server on 127.0.0.1"
setsid /usr/bin/python3 "$VGL_ROOT/tools/demo-server/demo_server.py" --port 0 \
  --port-file "$demo/port.json" --journal "$demo/journal.jsonl" \
  --files "$demo" --uploads "$demo/uploads" --packages "$VGL_BUILD/bin/packages" >"$demo/server.log" 2>&1 </dev/null &
server=$!
for _ in $(seq 50); do [ -s "$demo/port.json" ] && break; sleep 0.1; done
port=$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["port"])' "$demo/port.json")
echo "listening on port $port"

echo "== Installing the client in C:\\Program Files\\Vigilon"
# A client left running by an earlier run would keep the installation busy.
old=$(wintest mapping VigilonCorp_MemoryMappedFile_ProcessID | awk '$1 != "absent" {print $1}')
[ -n "$old" ] && wintest kill "$((old))" >/dev/null 2>&1
rm -rf "$program_dir"; mkdir -p "$program_dir"
for f in Ksxwin97.exe Ksxwin97.dll kvdbg20.dll vgl_loadhttp.dll 'VXP$SIG.578' vexor32.vxd \
         LedraCfg.dll LedraDat.dll LedraLog.dll c4dll.dll \
         95Roraze.exe PGX.exe VglDogLib.dll Dervix.exe filter32.vxd loadhttp.dll VEXOR32.DLL; do
  cp "$VGL_BUILD/bin/$f" "$program_dir/"
done
# The update program, under both its names, with its language libraries.
for f in VigilonUpdate.exe VigilonUpdate.dll 95Did.exe 95Did.dll; do cp "$VGL_BUILD/bin/$f" "$program_dir/"; done
# The uninstall program, also under the name the client starts it by, each with its language
# library, and the outbreak-prevention library it lifts the policy with.
for f in VigilonUninstall.exe VigilonUninstall.dll 95Roraze.dll ZaVuz.dll; do
  cp "$VGL_BUILD/bin/$f" "$program_dir/"
done
# The real-time driver's native file-access watcher, where it was built (Linux).
[ -f "$VGL_BUILD/bin/filter32.fan" ] && cp "$VGL_BUILD/bin/filter32.fan" "$program_dir/"
# The settings file the server's set-up hands out: this server, HTTP mode, start-up entry.
printf '%s\r\n' '[INI_SERVER_SECTION]' 'SetupType=1' 'Master_DomainName=127.0.0.1' \
  "Master_DomainPort=$port" 'Master_URL=/Vigilon' 'UseProxy=0' \
  '[INI_PROGRAM_VERSION_SECTION]' 'Ksx95_Version=5.60' \
  '[INI_CLIENT_SECTION]' 'Client_Allow_Mobile=1' '[INI_CLIENT_SETUP_SECTION]' '95_RUN_KEY=Vigilon95' \
  >"$drive_c/windows/VglScan.ini"
wintest regdel 'HKLM\Software\Kavrel' >/dev/null       # a fresh product key, made by the client
printf '%s\r\n' '[Trace]' "LogFile=Z:${demo//\//\\}\\trace.log" >"$drive_c/VglDebug.ini"

echo "== Starting the client"
VGL_TIMEOUT=86400 setsid "$VGL_BUILD/wine-run" "$program" >"$demo/client.log" 2>&1 </dev/null &
client_launcher=$!
for _ in $(seq 300); do
  line=$(wintest mapping VigilonCorp_MemoryMappedFile_MainWnd)
  case "$line" in *window=1*) client_pid=${line##*pid=}; break ;; esac
  kill -0 "$client_launcher" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$client_pid" ]; then
  echo "the client did not start; its trace: $demo/trace.log"
  exit 1
fi
sleep 0.5
echo "the client runs (process $client_pid); its icon is in the tray of the Wine desktop"
if [ "$own_display" = 0 ]; then
  # Once the desktop with its task bar has been drawn.
  for _ in $(seq 30); do
    if wintest find Shell_TrayWnd - >/dev/null; then
      sleep 0.5
      xwd -root -display "$VGL_DISPLAY" | convert xwd:- "$demo/desktop.png"
      [ "$(convert "$demo/desktop.png" -format %k info:)" -gt 4 ] && break
    fi
    sleep 0.5
  done
  echo "no display: a screenshot of the desktop is in $demo/desktop.png"
fi
cat <<EOF

What to look at:
  the desktop      $( [ "$own_display" = 1 ] && echo "the Wine desktop window on your display; right-click the tray icon for the menu" || echo "$demo/desktop.png" )
  server journal   $demo/journal.jsonl (every request the demo server received)
  client trace     $demo/trace.log
  start-up entry   HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run "Vigilon95"
Stop with Ctrl+C: the client is unloaded, the server and Wine are stopped.
EOF
if [ -n "$stop_after" ]; then
  sleep "$stop_after"
else
  while kill -0 "$client_launcher" 2>/dev/null; do sleep 1; done
  echo "the client ended"
fi
stop_all
