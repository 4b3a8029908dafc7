#!/bin/bash
# Runs one GoogleTest program under Wine for ctest and judges it by its own result file: the
# program must write it, and it must hold every test the program lists. A program that crashed
# half-way may exit with status 0 (so it does under 64-bit Wine), which alone proves nothing.
#   run-gtest.sh WINE-RUN PROGRAM RESULT-XML
# Beside RESULT-XML it leaves NAME.expected: the number of tests the program listed (-1 when it
# could not list them), which scripts/count_results.py holds the result file to.
set -u
wine_run="$1" program="$2" result="$3"
expected="${result%.xml}.expected"
rm -f "$result"
echo -1 >"$expected"

listing="$("$wine_run" "$program" --gtest_list_tests 2>/dev/null | tr -d '\r')"
listed=$(printf '%s\n' "$listing" | grep -c '^  ')
if [ "$listed" -gt 0 ]; then
  echo "$listed" >"$expected"
fi

"$wine_run" "$program" "--gtest_output=xml:Z:$result"
rc=$?
reported=0
[ -s "$result" ] && reported=$(grep -o '<testcase ' "$result" | wc -l)
if [ "$listed" -le 0 ]; then
  echo "run-gtest: $(basename "$program") listed no tests"
  exit 1
fi
if [ "$reported" -lt "$listed" ]; then
  echo "run-gtest: $(basename "$program") reported $reported of its $listed tests (exit status $rc): it died half-way"
  exit 1
fi
exit $rc
