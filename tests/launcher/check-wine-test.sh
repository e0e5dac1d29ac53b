#!/usr/bin/env bash
# Checks the verdicts of scripts/wine-test, the test programs' launcher: first
# with a stand-in for wine-run that prints given lines and exits with a given
# status, then twice under Wine with cmd.exe, through the real wine-run.
# usage: check-wine-test.sh SCRIPTS-DIR CMD.EXE
set -uo pipefail
scripts=$1 cmd=$2
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failures=0

# FAKE_UNSTARTED launches fail first as Wine's start.exe fails them.
cat >"$work/runner" <<'EOF'
#!/usr/bin/env bash
echo launch >>"$FAKE_LAUNCHES"
if [ "$(grep -c launch "$FAKE_LAUNCHES")" -le "${FAKE_UNSTARTED:-0}" ]; then
  printf 'Application could not be started, or no application associated with the specified file.\nShellExecuteEx failed: Internal error.\n\n'
  exit 1
fi
printf "$FAKE_OUTPUT"
exit "$FAKE_STATUS"
EOF
chmod +x "$work/runner"

# expect STATUS WHAT OUTPUT PROGRAM-STATUS [ARGS...]: the launcher's status for
# a program that prints OUTPUT (printf format) and exits with PROGRAM-STATUS.
expect() {
  local want=$1 what=$2 output=$3 status=$4 got args
  shift 4
  args=("$@")
  [ $# -gt 0 ] || args=(--gtest_filter=Suite.Test)
  : >"$work/launches"
  out=$(FAKE_LAUNCHES=$work/launches FAKE_OUTPUT=$output FAKE_STATUS=$status VELMORA_TEST_RUNNER=$work/runner \
    "$scripts/wine-test" test.exe "${args[@]}")
  got=$?
  if [ "$got" = "$want" ]; then
    echo "ok: $what: $got"
  else
    echo "FAIL: $what: exit $got, expected $want; output:"; echo "$out"
    failures=$((failures + 1))
  fi
}
passed='[==========] 1 test from 1 test suite ran. (0 ms total)\r\n[  PASSED  ] 1 test.\r\n'
skipped='[  SKIPPED ] Suite.Test (0 ms)\r\n[  PASSED  ] 0 tests.\r\n[  SKIPPED ] 1 test, listed below:\r\n'
failed='[  FAILED  ] 1 test, listed below:\r\n[  FAILED  ] Suite.Test\r\n'

expect 0 "passed" "$passed" 0
expect 5 "passed, then an access violation at exit" "$passed" 5
expect 148 "passed, then an integer divide by zero" "$passed" 148
expect 77 "skipped" "$skipped" 0
expect 148 "skipped, then a crash" "$skipped" 148
expect 1 "failed" "$failed" 1
expect 1 "exit 0 without gtest's summary (a stack overflow)" 'Suite.Test\r\n' 0
expect 1 "passed, then a crash at exit that Wine reports with exit 0" \
  "${passed}wine: Unhandled page fault on write access to 00000000 at address 004015E8 (thread 024c), starting debugger...\n" 0
expect 1 "skipped, then a crash at exit that Wine reports with exit 0" \
  "${skipped}wine: Unhandled division by zero at address 004015E8 (thread 024c), starting debugger...\n" 0
expect 0 "passed, then Wine itself killed by SIGSEGV at exit (tolerated)" "$passed" 139
expect 139 "failed, then Wine killed by SIGSEGV" "$failed" 139
expect 139 "passed, an unhandled exception, then Wine killed by SIGSEGV" \
  "${passed}wine: Unhandled page fault on read access to 00000000 at address 004015E8 (thread 024c)\n" 139
expect 1 "exit 0 with no test run" '[  PASSED  ] 0 tests.\r\n' 0
expect 1 "the program's own exit 77" "$passed" 77
FAKE_UNSTARTED=2 expect 0 "Wine failed twice to start the program, which then passed" "$passed" 0
[ "$(grep -c launch "$work/launches")" = 3 ] && echo "ok: three launches" ||
  { echo "FAIL: $(grep -c launch "$work/launches") launches, expected 3"; failures=$((failures + 1)); }
FAKE_UNSTARTED=3 expect 1 "Wine failed three times to start the program" "$passed" 0
[ "$(grep -c launch "$work/launches")" = 3 ] && echo "ok: no fourth launch" ||
  { echo "FAIL: $(grep -c launch "$work/launches") launches, expected 3"; failures=$((failures + 1)); }
FAKE_UNSTARTED=0 expect 1 "a program that ran and failed with start.exe's words is run once" \
  "[==========] Running 1 test\r\nApplication could not be started\r\n" 1
[ "$(grep -c launch "$work/launches")" = 1 ] && echo "ok: one launch" ||
  { echo "FAIL: $(grep -c launch "$work/launches") launches, expected 1"; failures=$((failures + 1)); }
expect 3 "the listing, run as it is" 'Suite.\r\n  Test\r\n' 3 --gtest_list_tests
: >"$work/launches"
listing=$(FAKE_UNSTARTED=2 FAKE_LAUNCHES=$work/launches FAKE_OUTPUT='Suite.\r\n  Test\r\n' FAKE_STATUS=0 \
  VELMORA_TEST_RUNNER=$work/runner "$scripts/wine-test" test.exe --gtest_list_tests 2>/dev/null)
if [ $? = 0 ] && [ "$(grep -c launch "$work/launches")" = 3 ] && ! grep -q 'could not be started' <<<"$listing" &&
  grep -q 'Suite\.' <<<"$listing"; then
  echo "ok: a listing Wine failed twice to start: three launches, the last one's output alone"
else
  echo "FAIL: a listing Wine failed twice to start: $(grep -c launch "$work/launches") launches, output:"; echo "$listing"
  failures=$((failures + 1))
fi
grep -qF '[  PASSED  ] 1 test.' <<<"$(FAKE_LAUNCHES=$work/launches FAKE_OUTPUT=$passed FAKE_STATUS=0 VELMORA_TEST_RUNNER=$work/runner \
  "$scripts/wine-test" test.exe)" && echo "ok: the output is passed on" ||
  { echo "FAIL: the output is not passed on"; failures=$((failures + 1)); }
# CTest (gtest_discover_tests) takes any "[  SKIPPED ]" as a skip.
[ "$(FAKE_LAUNCHES=$work/launches FAKE_OUTPUT=$skipped FAKE_STATUS=148 VELMORA_TEST_RUNNER=$work/runner "$scripts/wine-test" test.exe |
  grep -c '\[  SKIPPED \]')" = 0 ] && echo "ok: gtest's skip tag is passed on as [ SKIPPED  ]" ||
  { echo "FAIL: gtest's skip tag is passed on as it is"; failures=$((failures + 1)); }

# Under Wine: a program that crashes with 148 after the summary is run once.
count=$(winepath -w "$work/runs.txt" 2>/dev/null)
"$scripts/wine-test" "$cmd" /c "echo run>>$count& echo [  PASSED  ] 1 test.& exit 148"
got=$?
runs=$(grep -c run "$work/runs.txt" 2>/dev/null)
if [ "$got" = 148 ] && [ "$runs" = 1 ]; then
  echo "ok: under Wine, exit 148 after the summary: 148, one run"
else
  echo "FAIL: under Wine, exit 148 after the summary: exit $got after ${runs:-0} runs"; failures=$((failures + 1))
fi
"$scripts/wine-test" "$cmd" /c "echo [  PASSED  ] 1 test."
got=$?
[ "$got" = 0 ] && echo "ok: under Wine, a pass: 0" || { echo "FAIL: under Wine, a pass: exit $got"; failures=$((failures + 1)); }

[ "$failures" = 0 ] && echo "all launcher checks passed"
exit $((failures > 0))
