#!/usr/bin/env bash
# One hash over everything a host gets from the filter for every file under a
# folder (tests/data unless named): velmora-host --json on each file, handed
# over as a file, through --stream and through --memory-stream. Two builds
# that hash the same give hosts the same chunks. The filter is loaded from
# the build's own DLL (--dll), so the registry plays no part.
#   tools/output-hash.sh [BIN-DIR] [FOLDER]   BIN-DIR defaults to build/x64/bin
# VELMORA_HASH_KEEP=FILE keeps the outputs the hash is taken over.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/scripts/env.sh"
bin=$(cd "${1:-$root/build/x64/bin}" && pwd)
folder=$(cd "${2:-$root/tests/data}" && pwd)
[ -f "$bin/velmora-host.exe" ] && [ -f "$bin/Velmora.dll" ] || { echo "output-hash: no build in $bin" >&2; exit 1; }

dll=$(winepath -w "$bin/Velmora.dll" 2>/dev/null)
winFolder=$(winepath -w "$folder" 2>/dev/null)
out=$(mktemp)
trap 'rm -f "$out" "$out.one"' EXIT
# Paths in the output are relative to the folder, so that clones side by side hash the same.
while IFS= read -r -d '' file; do
  relative=${file#"$folder"/}
  for way in file --stream --memory-stream; do
    args=(--json --dll "$dll")
    [ "$way" = file ] || args+=("$way")
    # Wine programs can stall when their output is /dev/null: always a file.
    status=0
    wine "$bin/velmora-host.exe" "${args[@]}" "$(winepath -w "$file" 2>/dev/null)" >"$out.one" 2>&1 </dev/null || status=$?
    printf '== %s %s (exit %d)\n' "$relative" "$way" "$status" >>"$out"
    tr -d '\r' <"$out.one" | perl -pe 'BEGIN { ($u, $w) = splice(@ARGV, 0, 2) } s/\Q$u\E\///g; s/\Q$w\E\\//gi' "$folder" "$winFolder" >>"$out"
  done
done < <(find "$folder" -type f -print0 | LC_ALL=C sort -z)
[ -z "${VELMORA_HASH_KEEP:-}" ] || cp "$out" "$VELMORA_HASH_KEEP"
sha256sum <"$out" | cut -d' ' -f1
