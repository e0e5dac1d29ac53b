#!/usr/bin/env bash
# Builds everything and runs every test under Wine for x86 and x64.
# Extra arguments go to ctest (for example -R x64.Debugger).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
bash "$VELMORA_ROOT/scripts/build.sh"

# One wineserver for the whole run: each test process then starts in
# milliseconds instead of seconds.
wineserver -p 2>/dev/null || true  # one may already be running
trap 'wineserver -k 2>/dev/null || true' EXIT
# Start the prefix's background services (both sides) now, outside CTest: the
# process that starts them hands them its output pipe, and CTest would wait on
# that pipe until the test timed out.
for cmd in 'C:\windows\system32\cmd.exe' 'C:\windows\syswow64\cmd.exe'; do
  timeout 120 wine "$cmd" /c ver </dev/null >/dev/null 2>&1 || true
done

status=0
for a in x86 x64; do
  echo "test: $a"
  (cd "$VELMORA_ROOT/build/$a" && ctest --output-on-failure -j"$(nproc)" "$@") || status=1
done
exit $status
