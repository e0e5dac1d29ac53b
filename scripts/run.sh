#!/usr/bin/env bash
# Builds Velmora for both targets, registers the filter in the Wine prefix
# (64-bit and 32-bit), and prints what a search host gets from it: every
# chunk for the bundled samples, or for the files named on the command line.
# usage: scripts/run.sh [FILE...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

# For checks of this script itself: VELMORA_RUN_SKIP_BUILD=1 uses what is
# built, VELMORA_RUN_REGISTER=0 leaves the registry alone, VELMORA_RUN_ARCHS
# picks the targets and VELMORA_RUN_BIN_<arch> their bin directories.
[ "${VELMORA_RUN_SKIP_BUILD:-0}" = 1 ] || bash "$VELMORA_ROOT/scripts/build.sh"

files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  shopt -s nullglob
  files=("$VELMORA_ROOT"/samples/*)
  shopt -u nullglob
fi
[ ${#files[@]} -gt 0 ] || { echo "run: no files given and no samples in $VELMORA_ROOT/samples" >&2; exit 1; }

clsid='{2BD5D05B-F921-4FB6-B4D1-2F5CEE09471D}'
declare -A regsvr32=([x64]='regsvr32' [x86]='C:\windows\syswow64\regsvr32.exe')
declare -A view=([x64]='/reg:64' [x86]='/reg:32')

status=0
for arch in ${VELMORA_RUN_ARCHS:-x64 x86}; do
  binVar=VELMORA_RUN_BIN_$arch
  bin=${!binVar:-$VELMORA_ROOT/build/$arch/bin}
  dll=$(winepath -w "$bin/Velmora.dll" 2>/dev/null)
  host=("$bin/velmora-host.exe")
  registered=0
  if [ "${VELMORA_RUN_REGISTER:-1}" = 1 ]; then
    wine "${regsvr32[$arch]}" /s "$dll" >/dev/null 2>&1 || true
    # Registered when the class names an in-process server in this bitness's view.
    wine reg query "HKCR\\CLSID\\$clsid\\InprocServer32" "${view[$arch]}" >/dev/null 2>&1 && registered=1
  fi
  if [ $registered = 0 ]; then
    echo "run: $arch: the filter is not registered; loading $dll directly (--dll)"
    host+=(--dll "$dll")
  fi
  for f in "${files[@]}"; do
    echo "== $arch: $f"
    wine "${host[@]}" "$(winepath -w "$f" 2>/dev/null)" | tr -d '\r' || { echo "(velmora-host exit ${PIPESTATUS[0]})"; status=1; }
  done
done
exit $status
