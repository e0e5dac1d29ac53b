#!/usr/bin/env bash
# Builds Velmora for both targets (x86 and x64) into build/<arch>, after
# installing what is missing and building the cached dependencies.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
velmora_prepare

declare -A arch=([i686]=x86 [x86_64]=x64)
for t in "${VELMORA_TARGETS[@]}"; do
  echo "build: ${arch[$t]}"
  velmora_build "$t" "$VELMORA_ROOT/build/${arch[$t]}"
done
