#!/bin/bash
# The scan benchmark in one run: for each signature count N, writes N generated signatures as
# our pattern and as the hex signature database of clamscan, then per round times plain reading
# of the tree under Wine, the engine module alone, the whole scan through the client's engine
# interface, the client's manual scan (the Scan button's code path: settings, file walk, finding
# workers), and clamscan with the same signatures on the same tree (when installed; it is
# only needed here). Prints files/s, MB/s, load times, peak memory and the machine's load.
#   tools/scanbench/compare.sh [-n "4 1000 10000 100000 200000"] [-r ROUNDS] [-f FILES] [-m MB]
#                              [-c CPU|all]
# Every file a Windows program opens costs three wineserver round trips (open, the first read
# or size query fetching the Unix descriptor, close). When the program and the wineserver run
# on different CPUs of a virtual machine, each round trip waits for a cross-CPU wake-up (about
# 50 microseconds, five times the round trip itself), so all programs run on one CPU (the last
# unless -c says; "all" leaves them free), as they would on the single CPU of a Windows 98 PC.
# The tree (FILES files, MB megabytes, 10 infected) is made once in build/bench/tree (or
# $VGL_BENCH/tree).
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
counts="4 1000 10000 100000 200000" rounds=3 files=20000 megabytes=1024 cpu=$(($(nproc) - 1))
while getopts "n:r:f:m:c:" o; do
  case $o in
    n) counts="$OPTARG" ;; r) rounds="$OPTARG" ;; f) files="$OPTARG" ;; m) megabytes="$OPTARG" ;;
    c) cpu="$OPTARG" ;;
    *) sed -n '2,17p' "$0"; exit 2 ;;
  esac
done
bin="$VGL_BUILD/bin" bench="${VGL_BENCH:-$VGL_BUILD/bench}"
[ -x "$bin/scanbench.exe" ] || { echo "build first: source scripts/lib.sh; vgl_build"; exit 1; }
mkdir -p "$bench"
vgl_start_session
pin=()
if [ "$cpu" != all ]; then
  pin=(taskset -c "$cpu")
  server=$(pgrep -P "$(cat "$VGL_BUILD/wineserver.pid")" | head -1)
  [ -n "$server" ] && taskset -a -p -c "$cpu" "$server" >/dev/null
fi
run() { VGL_TIMEOUT=3600 "${pin[@]}" "$VGL_BUILD/wine-run" "$bin/scanbench.exe" "$@"; }
win() { echo "Z:$1"; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }

tree="$bench/tree"
if [ ! -f "$tree.done" ] || [ "$(cat "$tree.done")" != "$files $megabytes" ]; then
  rm -rf "$tree" "$tree.drv"
  run gen "$(win "$tree")" "$files" "$megabytes" 10 || exit 1
  echo "$files $megabytes" >"$tree.done"
fi
clam=$(command -v clamscan || true)
echo "machine: $(nproc) cores, $(free -m | awk '/Mem:/ {print $2}') MB; load average $(load); programs on CPU $cpu"
[ -n "$clam" ] || echo "clamscan is not installed (apt-get install clamav): its column stays empty"

run read "$(win "$tree")" >/dev/null  # the first walk after a start is slower: not timed
# Field of a line: value after a label.
pick() { sed -n "s/.*$1 *\([0-9.]*\).*/\1/p" | head -1; }
for n in $counts; do
  sigs="$bench/sigs$n"
  run sigs "$(win "$sigs")" "$n" >/dev/null || exit 1
  echo
  echo "== $n generated signatures (+4 defaults), $(ls "$sigs/VXP\$SIG.578" >/dev/null && du -k "$sigs/VXP\$SIG.578" | cut -f1) KB pattern"
  for r in $(seq "$rounds"); do
    before=$(load)
    read_out=$(run read "$(win "$tree")")
    mb=$(echo "$read_out" | pick 'files,')
    engine_out=$(run engine "$(win "$bin")" "$(win "$tree")" 1 "$(win "$sigs")")
    scan_out=$(run scan "$(win "$bin")" "$(win "$tree")" 1 "$(win "$sigs")")
    manual_out=$(run manual "$(win "$bin")" "$(win "$tree")" 1 "$(win "$sigs")")
    clam_line="-"
    if [ -n "$clam" ]; then
      start=$(date +%s.%N)
      found=$(/usr/bin/time -f '%M' -o "$bench/clam.mem" "${pin[@]}" "$clam" --no-summary -i -d "$sigs/sigs.ndb" -r "$tree" 2>/dev/null |
              grep -c 'FOUND$')
      end=$(date +%s.%N)
      s=$(calc "$end - $start")
      mkdir -p "$bench/empty"
      start=$(date +%s.%N); "${pin[@]}" "$clam" --no-summary -d "$sigs/sigs.ndb" "$bench/empty" >/dev/null 2>&1; end=$(date +%s.%N)
      clam_line=$(printf '%6.2f s %6.0f files/s %6.1f MB/s, %s infected, load %.2f s, peak %.0f MB' "$s" \
                  "$(calc "$files / $s")" "$(calc "$mb / $s")" "$found" \
                  "$(calc "$end - $start")" "$(calc "$(tail -1 "$bench/clam.mem") / 1024")")
    fi
    rs=$(echo "$read_out" | pick 'MB in'); es=$(echo "$engine_out" | grep scanned | pick 'MB in')
    ss=$(echo "$scan_out" | grep scanned | pick 'MB in')
    ms=$(echo "$manual_out" | grep 'manual scan' | pick 'MB in')
    printf 'round %d (load %s)\n' "$r" "$before"
    printf '  read     %6.2f s %6.0f files/s %6.1f MB/s\n' "$rs" "$(calc "$files / $rs")" "$(calc "$mb / $rs")"
    printf '  engine   %6.2f s %6.0f files/s %6.1f MB/s, %s\n' "$es" "$(calc "$files / $es")" \
           "$(calc "$mb / $es")" "$(echo "$engine_out" | sed -n 's/^engine load .*: status \(.*\)/status \1/p')"
    printf '  scan     %6.2f s %6.0f files/s %6.1f MB/s, %s infected, load %s s, peak working set %s MB, private %s MB\n' \
           "$ss" "$(calc "$files / $ss")" "$(calc "$mb / $ss")" \
           "$(echo "$scan_out" | sed -n 's/.* \([0-9]*\) infected.*/\1/p')" "$(echo "$scan_out" | pick 'signatures in')" \
           "$(echo "$scan_out" | grep '^peak memory' | pick 'working set')" "$(echo "$scan_out" | grep '^peak memory' | pick 'private')"
    printf '  manual   %6.2f s %6.0f files/s %6.1f MB/s, %s infected\n' "$ms" "$(calc "$files / $ms")" \
           "$(calc "$mb / $ms")" "$(echo "$manual_out" | sed -n 's/.*, \([0-9]*\) infected.*/\1/p')"
    printf '  clamscan %s\n' "$clam_line"
    printf '  scan / read %.2f, manual / read %.2f' "$(calc "$ss / $rs")" "$(calc "$ms / $rs")"
    [ -n "$clam" ] && printf ', files/s against clamscan: scan %.1fx, manual %.1fx' "$(calc "$s / $ss")" \
                             "$(calc "$s / $ms")"
    printf '\n'
  done
done
echo
echo "load average at the end: $(load)"
