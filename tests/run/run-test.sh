#!/usr/bin/env bash
# scripts/run.sh on the bundled samples, as a new user runs it first: in a
# fresh Wine prefix of its own, with the build at hand (no rebuild), for one
# bitness. It must register every sample's type, exit 0 and print chunks for
# every sample; a sample whose type it does not register fails it.
#   run-test.sh WORKDIR ARCH BIN
set -uo pipefail
work=$1
arch=$2
bin=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX=$work/prefix
source "$root/scripts/env.sh"  # keeps the WINEPREFIX above

fail() { echo "FAILED: $*"; exit 1; }

rm -rf "$work"; mkdir -p "$work"
wineboot -i >/dev/null 2>&1 </dev/null
timeout 120 wineserver -w
[ -f "$WINEPREFIX/system.reg" ] || fail "wineboot"

# Every sample's type is one the table lists.
for sample in "$root"/samples/*; do
  ext=.${sample##*.}
  bash "$root/scripts/file-types.sh" extensions | grep -qxF "${ext,,}" || fail "no row for $ext in the file-type table"
done

out=$work/run.txt
status=0
env VELMORA_RUN_SKIP_BUILD=1 VELMORA_RUN_ARCHS=$arch "VELMORA_RUN_BIN_$arch=$bin" \
  bash "$root/scripts/run.sh" >"$out" 2>&1 </dev/null || status=$?
if [ $status != 0 ]; then
  grep -B2 -A3 -E '^\(|not registered|no filter' "$out" | head -40
  fail "scripts/run.sh exited with $status"
fi
grep -q 'not registered' "$out" && { head -5 "$out"; fail "the filter was loaded directly, not found through the registry"; }
# Each sample has its header followed by at least one chunk before the next header.
for sample in "$root"/samples/*; do
  awk -v header="== $arch: $sample" '$0 == header {inside = 1; next} /^== / {inside = 0} inside && /^chunk [0-9]/ {found = 1} END {exit !found}' "$out" ||
    fail "no chunk for $(basename "$sample")"
  echo "check: $(basename "$sample") gives chunks"
done

wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
rm -rf "$work"
echo "PASSED: scripts/run.sh gives chunks for every sample ($arch)"
