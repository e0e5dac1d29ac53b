#!/usr/bin/env bash
# End-to-end check of velmora-host with the filter DLL loaded directly: every
# sample gives value chunks then text chunks, a file without XMP gives none,
# the three ways of handing a document over agree, and each failure has its
# own exit code.
# usage: test-host.sh WINE-RUN HOST.EXE VELMORA.DLL SAMPLES-DIR TEST-DATA-DIR
set -uo pipefail
run=$1 host=$2 dll=$3 samples=$4 data=$5

win() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs the host; sets out (stdout without carriage returns) and rc.
host() {
  out=$("$run" "$host" "$@" 2>/tmp/velmora-host-test-$$.err | tr -d '\r')
  rc=${PIPESTATUS[0]}
  err=$(tr -d '\r' </tmp/velmora-host-test-$$.err)
}
trap 'rm -f /tmp/velmora-host-test-$$.err' EXIT
DLL=$(win "$dll")

shopt -s nullglob
sampleFiles=("$samples"/*)
[ ${#sampleFiles[@]} -gt 0 ] || fail "no samples in $samples"
for f in "${sampleFiles[@]}"; do
  host --dll "$DLL" "$(win "$f")"
  [ "$rc" = 0 ] || { fail "$(basename "$f"): exit $rc: $err"; continue; }
  grep -q '^chunk 1 value break=sentence ' <<<"$out" || fail "$(basename "$f"): no first value chunk"
  grep -q '^chunk [0-9]* text break=sentence .* Storage/19 text=' <<<"$out" || fail "$(basename "$f"): no text chunk"
  last=$(tail -n 1 <<<"$out")
  n=$(grep -c '^chunk ' <<<"$out")
  [ "$last" = "end of chunks: $n chunks" ] || fail "$(basename "$f"): last line '$last' for $n chunks"
  echo "ok: $(basename "$f"): $n chunks"
done

# A file without XMP: no chunks, and success.
host --dll "$DLL" "$(win "$data/no-xmp.jpg")"
[ "$rc" = 0 ] && [ "$out" = "end of chunks: 0 chunks" ] || fail "no-xmp.jpg: exit $rc, output '$out'"

# The same chunks whether the document comes as a path, a file stream or a memory copy.
doc=$(win "$data/standard.jpg")
host --dll "$DLL" "$doc"; byPath=$out
[ "$rc" = 0 ] || fail "standard.jpg: exit $rc: $err"
for mode in --stream --memory-stream; do
  host --dll "$DLL" $mode "$doc"
  [ "$rc" = 0 ] && [ "$out" = "$byPath" ] || fail "standard.jpg $mode differs from the path load (exit $rc)"
done

# Requested properties only, and JSON lines.
host --dll "$DLL" --property DublinCore:creator "$doc"
values=$(grep ' value ' <<<"$out" | grep -vc 'DublinCore/creator ')
[ "$rc" = 0 ] && [ "$values" = 0 ] && grep -q 'DublinCore/creator VT_LPWSTR=' <<<"$out" \
  || fail "--property DublinCore:creator: exit $rc, output '$out'"
host --dll "$DLL" --json "$doc"
[ "$rc" = 0 ] && ! grep -qv '^{.*}$' <<<"$out" && tail -n 1 <<<"$out" | grep -q '^{"end":true,"chunks":[1-9]' \
  || fail "--json: exit $rc, output '$out'"

# Failures, each with its exit code and a message.
expect() {
  local code=$1 what=$2; shift 2
  host "$@"
  [ "$rc" = "$code" ] && [ -n "$err" ] || fail "$what: exit $rc (expected $code), message '$err'"
}
expect 1 "no file" --dll "$DLL"
expect 1 "unknown option" --frobnicate "$doc"
expect 1 "bad property" --property DublinCore "$doc"
expect 2 "unregistered extension" "$(win "$data/values.bin")"
expect 3 "missing DLL" --dll 'Z:\no\such\Velmora.dll' "$doc"
expect 4 "missing file" --dll "$DLL" "$(win "$data")\\no-such-file.jpg"
expect 4 "unreadable document" --dll "$DLL" "$(win "$data/empty.bin")"

[ "$failures" = 0 ] && echo "all host checks passed"
exit $((failures > 0))
