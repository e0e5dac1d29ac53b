#!/usr/bin/env bash
# Creates the project's Wine prefix (64-bit, with the 32-bit WoW64 side) once.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
if [ ! -f "$WINEPREFIX/.velmora-ready" ]; then
  echo "wine-prefix: creating $WINEPREFIX"
  rm -rf "$WINEPREFIX"; mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1 || true
  timeout 120 wineserver -w || true
  [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-prefix: wineboot failed" >&2; exit 1; }
  # The first start of each side finishes its set-up; do it here, not in a test.
  wine 'C:\windows\system32\cmd.exe' /c ver >/dev/null 2>&1 || true
  wine 'C:\windows\syswow64\cmd.exe' /c ver >/dev/null 2>&1 || true
  timeout 120 wineserver -w || true
  touch "$WINEPREFIX/.velmora-ready"
fi
