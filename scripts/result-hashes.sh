#!/usr/bin/env bash
# What the filter gives a host, as hashes: velmora-host --json over every file
# of tests/data and samples/, through the file, a file stream and an unnamed
# memory stream, with the Windows Search property pack installed in the Wine
# prefix's registry and without it. Two DLLs give the same results exactly
# when their listings are the same.
#   scripts/result-hashes.sh OUTPUT BINDIR...  (each BINDIR holds velmora-host.exe and Velmora.dll)
# Several builds are run file by file side by side, in one registry state;
# OUTPUT gets one line per listing and build, and the lines where the builds
# differ are printed.
# HASH_PACKS="on" (or "off") makes only one of the two runs.
# Leaves the prefix without the pack's declarations.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
out=$1
shift
bins=()
for b in "$@"; do bins+=("$(cd "$b" && pwd)"); done
bin=${bins[0]}
root=$VELMORA_ROOT
winpath() { echo "Z:${1//\//\\}"; }
arch=x64
file "$bin/Velmora.dll" | grep -q 'x86-64' || arch=x86
packdir=$(winpath "$root/pack/")
pack_key='HKLM\SOFTWARE\Corvantis\Velmora\CustomSchemas'
[ "$arch" = x64 ] || pack_key='HKLM\SOFTWARE\WOW6432Node\Corvantis\Velmora\CustomSchemas'

set_pack() {
  wine reg delete "$pack_key" /f /reg:64 </dev/null >/dev/null 2>&1 || true
  if [ "$1" = on ]; then
    local reg
    reg=$(mktemp --suffix=.reg)
    PACKDIR=$packdir python3 -c 'import os, sys; sys.stdout.write(sys.stdin.read().replace("[PACKDIR]", os.environ["PACKDIR"].replace("\\", "\\\\")))' \
      <"$root/pack/windows-search-$arch.reg" >"$reg"
    wine reg import "$(winpath "$reg")" /reg:64 </dev/null >"$reg.log" 2>&1 || cat "$reg.log" >&2
    rm -f "$reg.log"
    rm -f "$reg"
  fi
}

: >"$out"
# One listing: pack, way, file; then the hash of each build's output.
listing() {
  local pack=$1 way=$2 f=$3 b line tmp
  tmp=$(mktemp)
  line="$pack $way ${f#"$root"/}"
  for b in "${bins[@]}"; do
    args=(--dll "$(winpath "$b/Velmora.dll")" --json)
    [ "$way" = file ] || args+=("$way")
    wine "$b/velmora-host.exe" "${args[@]}" "$(winpath "$f")" </dev/null >"$tmp" 2>/dev/null || true
    line+=" $(tr -d '\r' <"$tmp" | sha256sum | cut -c1-16)"
  done
  rm -f "$tmp"
  echo "$line"
}
export -f listing winpath
export root
export BINS="${bins[*]}"
for pack in ${HASH_PACKS:-off on}; do
  set_pack "$pack"
  find "$root/tests/data" "$root/samples" -type f | sort | while read -r f; do
    for way in file --stream --memory-stream; do echo "$pack $way $f"; done
  done | xargs -P "${HASH_JOBS:-4}" -L 1 bash -c 'read -r -a bins <<<"$BINS"; listing "$@"' _ >>"$out"
done
sort -k3,3 -k1,1 -k2,2 -o "$out" "$out"
set_pack off
for i in "${!bins[@]}"; do
  echo "result-hashes: ${bins[$i]}: $(wc -l <"$out") listings, all together" \
    "$(awk -v c=$((i + 4)) '{ print $1, $2, $3, $c }' "$out" | sha256sum | cut -c1-16)"
done
awk '{ for (c = 5; c <= NF; c++) if ($c != $4) { print "differs: " $0; break } }' "$out"
