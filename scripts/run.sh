#!/usr/bin/env bash
# Builds Velmora for both targets, registers the filter in the Wine prefix
# (64-bit and 32-bit) as the packages do (regsvr32 for the DLL's own types,
# then every further type of the file-type table that has no other handler),
# and prints what a search host gets from it: every chunk for the bundled
# samples, or for the files named on the command line. Exits 0 only when the
# filter read every file in every bitness.
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

clsid=$(bash "$VELMORA_ROOT/scripts/file-types.sh" filter)
handler=$(bash "$VELMORA_ROOT/scripts/file-types.sh" handler)
mapfile -t further < <(bash "$VELMORA_ROOT/scripts/file-types.sh" extensions further)
declare -A regsvr32=([x64]='regsvr32' [x86]='C:\windows\syswow64\regsvr32.exe')
declare -A view=([x64]='/reg:64' [x86]='/reg:32')

# The packages' further types in one registry view, in one cmd.exe: each
# type that has no persistent handler gets Velmora's; another product's
# handler is left alone, as the packages leave it.
register_further_types() {
  local view=$1 script ext
  script=$(mktemp --suffix=.cmd)
  {
    echo '@echo off'
    for ext in "${further[@]}"; do
      echo "reg query \"HKLM\\Software\\Classes\\$ext\\PersistentHandler\" /ve $view >nul 2>&1 || reg add \"HKLM\\Software\\Classes\\$ext\\PersistentHandler\" /ve /d \"$handler\" /f $view >nul 2>&1"
    done
  } | sed 's/$/\r/' >"$script"
  # Wine programs can stall when their output is /dev/null: into a file.
  wine cmd /c "$(winepath -w "$script" 2>/dev/null)" >"$script.log" 2>&1 </dev/null || true
  rm -f "$script" "$script.log"
}

status=0
for arch in ${VELMORA_RUN_ARCHS:-x64 x86}; do
  binVar=VELMORA_RUN_BIN_$arch
  bin=${!binVar:-$VELMORA_ROOT/build/$arch/bin}
  dll=$(winepath -w "$bin/Velmora.dll" 2>/dev/null)
  host=("$bin/velmora-host.exe")
  registered=0
  if [ "${VELMORA_RUN_REGISTER:-1}" = 1 ]; then
    log=$(mktemp)
    wine "${regsvr32[$arch]}" /s "$dll" >"$log" 2>&1 </dev/null || true
    rm -f "$log"
    register_further_types "${view[$arch]}"
    # Registered when the class names an in-process server in this bitness's view.
    log=$(mktemp)
    wine reg query "HKCR\\CLSID\\$clsid\\InprocServer32" "${view[$arch]}" >"$log" 2>&1 </dev/null && registered=1
    rm -f "$log"
  fi
  if [ $registered = 0 ]; then
    echo "run: $arch: the filter is not registered; loading $dll directly (--dll)"
    host+=(--dll "$dll")
  fi
  for f in "${files[@]}"; do
    echo "== $arch: $f"
    # A file gave a result when the host found the filter for it and the
    # filter read it (a file without metadata gives its end of chunks alone).
    shown=$(mktemp)
    hostStatus=0
    wine "${host[@]}" "$(winepath -w "$f" 2>/dev/null)" >"$shown" 2>&1 </dev/null || hostStatus=$?
    tr -d '\r' <"$shown"
    rm -f "$shown"
    [ $hostStatus = 0 ] || { echo "(velmora-host exit $hostStatus)"; status=1; }
  done
done
exit $status
