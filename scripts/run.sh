#!/bin/bash
# Sets up a fresh machine if needed, builds, and runs what the system has so far under Wine:
# the Windows version the programs see, the client's connection code against the bundled demo
# server, and the scan engine on a generated tree with a few infected files.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
bash "$VGL_ROOT/scripts/setup.sh" "$VGL_BUILD" || exit 1
echo "Building (log: $VGL_BUILD/build.log)"
vgl_build >"$VGL_BUILD/build.log" 2>&1 || { tail -30 "$VGL_BUILD/build.log"; exit 1; }
vgl_start_session
run() { "$VGL_BUILD/wine-run" "$@"; }
demo="$VGL_BUILD/demo"
rm -rf "$demo"; mkdir -p "$demo"

echo "== Windows seen by the programs"
run "$VGL_BUILD/bin/vgltool.exe" winver

echo "== Demo server on 127.0.0.1"
setsid /usr/bin/python3 "$VGL_ROOT/tools/demo-server/demo_server.py" --port 0 \
  --port-file "$demo/port.json" --journal "$demo/journal.jsonl" \
  --files "$demo" --uploads "$demo/uploads" >"$demo/server.log" 2>&1 </dev/null &
server=$!
trap 'kill $server 2>/dev/null; vgl_stop_session' EXIT
for _ in $(seq 50); do [ -s "$demo/port.json" ] && break; sleep 0.1; done
port=$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["port"])' "$demo/port.json")
echo "listening on port $port"
run "$VGL_BUILD/bin/netcheck.exe" -set Server=127.0.0.1 -setdw ServerPort="$port" -setdw UseProxy=0 ping
run "$VGL_BUILD/bin/netcheck.exe" connect "/Vigilon/Cgi/cgiOnStart.exe?demo=1"
echo "requests the server received:"
sed 's/^/  /' "$demo/journal.jsonl" | cut -c1-160

echo "== Scan engine on a generated tree"
run "$VGL_BUILD/bin/scanbench.exe" gen "Z:$demo/tree" 500 5 3
run "$VGL_BUILD/bin/scanbench.exe" scan "Z:$VGL_BUILD/bin" "Z:$demo/tree"
