#!/usr/bin/env bash
# The long fuzzing run, in one command: scripts/fuzz.sh [COUNT] [SECONDS]
# Builds velmora-fuzz for x86 and x64 (in $FUZZ_BUILD-x86/-x64, default
# build/fuzz-*) and runs COUNT mutated inputs (default 200000) per target,
# through the file and the stream paths of the DLL, stopping each target
# after SECONDS (default 7200). Findings are kept in
# $VELMORA_CACHE/fuzz-findings/<arch>/; an input that crashed or hung the
# process is saved there as crash-or-hang-seed<N>.bin and the run goes on with
# the next seed. Copy every finding into tests/data/regressions/ under a
# descriptive name, so that Fuzz.RegressionInputsReplay replays it.
# Like scripts/build.sh it first installs what is missing, builds the cached
# dependencies and makes the Wine prefix. Set FUZZ_SKIP_BUILD=1 to use
# binaries already built in $FUZZ_BUILD-*, and
# FUZZ_MAX_NESTING=N to bound how deep the nesting mutation goes.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
cd "$VELMORA_ROOT"

COUNT=${1:-200000}
SECONDS_PER_TARGET=${2:-7200}
FUZZ_BUILD=${FUZZ_BUILD:-$VELMORA_ROOT/build/fuzz}
FINDINGS=$VELMORA_CACHE/fuzz-findings

velmora_prepare
if [ -z "${FUZZ_SKIP_BUILD:-}" ]; then
  velmora_build x86_64 "$FUZZ_BUILD-x64" velmora-fuzz
  velmora_build i686 "$FUZZ_BUILD-x86" velmora-fuzz
fi

winpath() { echo "Z:${1//\//\\}"; }
# FUZZ_MAX_NESTING bounds the deep-nesting mutation, to look past a known
# stack overflow while it is open.
nesting=${FUZZ_MAX_NESTING:+--max-nesting $FUZZ_MAX_NESTING}
status=0
for arch in x64 x86; do
  exe=$FUZZ_BUILD-$arch/bin/velmora-fuzz.exe
  out=$FINDINGS/$arch
  mkdir -p "$out"
  left=$COUNT
  seed=1
  deadline=$(( $(date +%s) + SECONDS_PER_TARGET ))
  # At most 50 restarts after crashes; each segment is bounded by count and time.
  for segment in $(seq 1 50); do
    now=$(date +%s)
    [ "$left" -gt 0 ] && [ "$now" -lt "$deadline" ] || break
    set +e
    wine "$exe" --count "$left" --seconds $(( deadline - now )) --seed "$seed" --input-seconds 20 $nesting \
      --findings "$(winpath "$out")" | tr -d '\r' | tee "$out/segment-$segment.log"
    code=${PIPESTATUS[0]}
    set -e
    done_inputs=$(sed -n 's/^velmora-fuzz: \([0-9]*\) inputs.*/\1/p' "$out/segment-$segment.log")
    if [ -n "$done_inputs" ]; then
      left=$(( left - done_inputs ))
      [ "$code" -eq 0 ] || status=1
      break
    fi
    # The process ended abruptly (crash or hang): keep the input, go on with
    # the next seed for the inputs that are left.
    status=1
    progress=$(sed -n 's/^velmora-fuzz: progress \([0-9]*\)$/\1/p' "$out/segment-$segment.log" | tail -1)
    left=$(( left - ${progress:-0} ))
    [ -f "$out/input.bin" ] && mv "$out/input.bin" "$out/crash-or-hang-seed$seed.bin"
    echo "fuzz $arch: seed $seed ended the process (exit $code); input kept as crash-or-hang-seed$seed.bin"
    seed=$(( seed + 1 ))
  done
  echo "fuzz $arch: findings in $out:"
  ls "$out" | grep -v '^segment-' || echo "  none"
done
exit $status
