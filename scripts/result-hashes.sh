#!/usr/bin/env bash
# What the filter gives a host, as hashes: velmora-host --json over every file
# of tests/data and samples/, through the file, a file stream and an unnamed
# memory stream, with the Windows Search property pack installed in the Wine
# prefix's registry and without it. Two DLLs give the same results exactly
# when their listings are the same.
#   scripts/result-hashes.sh BINDIR OUTPUT     (BINDIR holds velmora-host.exe and Velmora.dll)
# HASH_PACKS="on" (or "off") makes only one of the two runs.
# Leaves the prefix without the pack's declarations.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
bin=$(cd "$1" && pwd)
out=$2
root=$VELMORA_ROOT
winpath() { echo "Z:${1//\//\\}"; }
arch=x64
file "$bin/Velmora.dll" | grep -q 'x86-64' || arch=x86
packdir=$(winpath "$root/pack/")
pack_key='HKLM\SOFTWARE\Corvantis\Velmora\CustomSchemas'
[ "$arch" = x64 ] || pack_key='HKLM\SOFTWARE\WOW6432Node\Corvantis\Velmora\CustomSchemas'

set_pack() {
  wine reg delete "$pack_key" /f </dev/null >/dev/null 2>&1 || true
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
tmp=$(mktemp)
for pack in ${HASH_PACKS:-off on}; do
  set_pack "$pack"
  while read -r f; do
    for way in file --stream --memory-stream; do
      args=(--dll "$(winpath "$bin/Velmora.dll")" --json)
      [ "$way" = file ] || args+=("$way")
      wine "$bin/velmora-host.exe" "${args[@]}" "$(winpath "$f")" </dev/null >"$tmp" 2>/dev/null || true
      echo "$pack $way ${f#"$root"/} $(tr -d '\r' <"$tmp" | sha256sum | cut -c1-16)" >>"$out"
    done
  done < <(find "$root/tests/data" "$root/samples" -type f | sort)
done
set_pack off
rm -f "$tmp"
echo "result-hashes: $(wc -l <"$out") listings, all together $(sha256sum <"$out" | cut -c1-16)"
