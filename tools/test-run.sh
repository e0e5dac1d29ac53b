#!/usr/bin/env bash
# Checks the run command's path for a filter that is not registered: it
# says so in one line, loads the DLL directly and prints the sample's chunks.
# usage: test-run.sh SOURCE-DIR ARCH BIN-DIR
set -uo pipefail
root=$1 arch=$2 bin=$3
out=$(env VELMORA_RUN_SKIP_BUILD=1 VELMORA_RUN_REGISTER=0 VELMORA_RUN_ARCHS=$arch "VELMORA_RUN_BIN_$arch=$bin" \
  bash "$root/scripts/run.sh" "$root/samples/harbour.jpg" "$root/tests/data/no-xmp.jpg" 2>&1)
rc=$?
echo "$out"
notices=$(grep -c "^run: $arch: the filter is not registered; loading .*Velmora.dll directly (--dll)\$" <<<"$out")
[ "$rc" = 0 ] || { echo "FAIL: exit $rc"; exit 1; }
[ "$notices" = 1 ] || { echo "FAIL: $notices notices"; exit 1; }
grep -q '^chunk 1 value ' <<<"$out" || { echo "FAIL: no chunks for the sample"; exit 1; }
[ "$(grep -c '^end of chunks: ' <<<"$out")" = 2 ] || { echo "FAIL: not two documents"; exit 1; }
grep -qx 'end of chunks: 0 chunks' <<<"$out" || { echo "FAIL: chunks for a file without XMP"; exit 1; }
