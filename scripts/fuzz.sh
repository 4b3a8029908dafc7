#!/bin/bash
# Fuzzes the engine's readers natively with libFuzzer, AddressSanitizer and UndefinedBehavior-
# Sanitizer (clang, installed by scripts/setup.sh): the zip reader, the pattern reader, the
# backup reader and the matcher (against a naive matcher).
#   scripts/fuzz.sh [-t SECONDS] [TARGET...]   each target for SECONDS (default 600), in parallel
#   scripts/fuzz.sh --short                    20 seconds each; writes a test report for test.sh
# Targets: zip pattern backup match. Programs, corpora (kept between runs, seeded from the
# tests' archives, patterns and backups) and crash inputs are in build/fuzz.
# Also: command, the client listener's request line and the server command it carries (the
# token, enciphered and plain, and its signature), and INI replies.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
seconds=600 short=0 targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    -t) seconds="$2"; shift 2 ;;
    --short) short=1 seconds=20; shift ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(zip pattern backup match command)
out="$VGL_BUILD/fuzz"
report="$VGL_BUILD/testresults/fuzz.xml"
mkdir -p "$out/crashes"

write_report() {  # name:result:message ...
  [ $short -eq 1 ] || return 0
  mkdir -p "$(dirname "$report")"
  {
    echo '<?xml version="1.0" encoding="UTF-8"?><testsuites><testsuite name="fuzz">'
    for r in "$@"; do
      IFS=: read -r name result message <<<"$r"
      echo "<testcase classname=\"fuzz\" name=\"$name\">"
      [ "$result" = failed ] && echo "<failure message=\"$message\"/>"
      [ "$result" = skipped ] && echo "<skipped message=\"$message\"/>"
      echo "</testcase>"
    done
    echo '</testsuite></testsuites>'
  } >"$report"
}

if ! command -v clang++ >/dev/null || ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
     clang++ -x c++ -fsanitize=fuzzer -o "$out/probe" - 2>/dev/null; then
  echo "fuzz: clang with libFuzzer is not installed (scripts/setup.sh installs it); not fuzzing"
  write_report "readers:skipped:no clang"
  exit 0
fi

src="$VGL_ROOT/outside"
inc=(-I"$src/vexor32" -I"$src/vxpformat" -I"$src/vexor32/fuzz")
core=("$src/vxpformat/vxpcore.cpp" "$src/vexor32/sigindex.cpp" "$src/vexor32/zipscan.cpp")
declare -A main=([zip]="$src/vexor32/fuzz/fuzz_zip.cpp" [match]="$src/vexor32/fuzz/fuzz_match.cpp"
                 [pattern]="$src/vxpformat/fuzz/fuzz_pattern.cpp" [backup]="$src/vxpformat/fuzz/fuzz_backup.cpp")
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
# The client's command parser builds with its own sources, over stand-ins of the Windows types.
tav="$VGL_ROOT/Tavmont"
main[command]="$tav/fuzz/fuzz_command.cpp"
declare -A own=([command]="-I$tav/fuzz/native -I$tav -I$tav/server -I$tav/Common_Tovik -I$VGL_ROOT/supportlib
  $tav/ListenerRequest.cpp $tav/server/NotificationToken.cpp $tav/Common_Tovik/KeyValueText.cpp
  $VGL_ROOT/supportlib/KeyedCipher.cpp $VGL_ROOT/supportlib/MessageDigest5.cpp")

echo "fuzz: building in $out"
clang++ -std=c++17 -O1 "${inc[@]}" "$src/vexor32/fuzz/seeds.cpp" "${core[@]}" -lz -o "$out/seeds" &&
  "$out/seeds" "$out/seeds.d" || { echo "fuzz: seeds failed"; write_report "readers:failed:seeds"; exit 1; }
cp "$VGL_ROOT"/Tavmont/Common_Tovik/tests/data/*.zip "$out/seeds.d/zip/" 2>/dev/null
/usr/bin/python3 "$tav/fuzz/seeds.py" "$out/seeds.d/command" || { echo "fuzz: command seeds failed"; exit 1; }
pids=()
for t in "${targets[@]}"; do
  if [ -n "${own[$t]:-}" ]; then
    # shellcheck disable=SC2086
    clang++ "${flags[@]}" "${main[$t]}" ${own[$t]} -o "$out/fuzz_$t" &
  else
    clang++ "${flags[@]}" "${inc[@]}" "${main[$t]}" "${core[@]}" -lz -o "$out/fuzz_$t" &
  fi
  pids+=($!)
done
for p in "${pids[@]}"; do wait "$p" || { echo "fuzz: build failed"; write_report "readers:failed:build"; exit 1; }; done

echo "fuzz: ${targets[*]} for $seconds s each"
for t in "${targets[@]}"; do
  mkdir -p "$out/corpus/$t"
  rm -f "$out/crashes/$t-"*
  (cd "$out" && timeout -k 10 $((seconds + 120)) "./fuzz_$t" -max_total_time="$seconds" -timeout=30 \
     -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/crashes/$t-" \
     "corpus/$t" "seeds.d/$t" >"$out/$t.log" 2>&1) &
done
wait

results=() failed=0
for t in "${targets[@]}"; do
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$t.log" | tail -1)
  crashes=$(ls "$out/crashes/$t-"* 2>/dev/null | wc -l)
  corpus=$(ls "$out/corpus/$t" | wc -l)
  printf 'fuzz: %-8s %10s inputs, %d crashes, corpus %d (log %s)\n' "$t" "${runs:-?}" "$crashes" "$corpus" "$out/$t.log"
  if [ "$crashes" -gt 0 ] || [ -z "$runs" ]; then
    failed=1
    results+=("$t:failed:$crashes crash inputs in $out/crashes")
  else
    results+=("$t:passed:")
  fi
done
write_report "${results[@]}"
exit $failed
