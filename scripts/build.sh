#!/usr/bin/env bash
# Builds Velmora for both targets (x86 and x64) into build/<arch>, after
# installing what is missing and building the cached dependencies.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
bash "$VELMORA_ROOT/scripts/bootstrap.sh"
bash "$VELMORA_ROOT/scripts/build-deps.sh"
bash "$VELMORA_ROOT/scripts/wine-prefix.sh"

declare -A arch=([i686]=x86 [x86_64]=x64)
for t in "${VELMORA_TARGETS[@]}"; do
  b=$VELMORA_ROOT/build/${arch[$t]}
  if [ ! -f "$b/CMakeCache.txt" ]; then
    cmake -S "$VELMORA_ROOT" -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$VELMORA_ROOT/cmake/toolchain-$t.cmake" \
      -DCMAKE_CROSSCOMPILING_EMULATOR="$VELMORA_ROOT/scripts/wine-run" \
      -DVELMORA_DEPS="$VELMORA_CACHE/deps.cmake" >/dev/null
  fi
  echo "build: ${arch[$t]}"
  log=$b/build.log
  if ! cmake --build "$b" -j"$(nproc)" >"$log" 2>&1; then
    grep -v -E '^\[[0-9]+/[0-9]+\] |GLOB mismatch' "$log" | tail -60 >&2
    echo "build: ${arch[$t]} failed (full log: $log)" >&2
    exit 1
  fi
done
