# Shared settings for the build scripts; sourced, not run.
# The cache lives outside the clone: dependency builds and the Wine prefix.
VELMORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VELMORA_CACHE=${VELMORA_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora}
VELMORA_TARGETS=(i686 x86_64)
export WINEPREFIX=${WINEPREFIX:-$VELMORA_CACHE/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export DISPLAY=
# Compiler results are cached across build folders and clones side by side:
# paths below the clone's parent folder are hashed relative to the build
# folder, and the build folder itself is left out of the hash.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$VELMORA_ROOT")}
export CCACHE_NOHASHDIR=1
export CCACHE_DIR=${CCACHE_DIR:-$VELMORA_CACHE/ccache}

# What a build needs on a fresh machine: the packages (scripts/bootstrap.sh,
# which also installs any further Debian packages named here), the cached
# dependencies and the Wine prefix.
velmora_prepare() {
  bash "$VELMORA_ROOT/scripts/bootstrap.sh" "$@"
  bash "$VELMORA_ROOT/scripts/build-deps.sh"
  bash "$VELMORA_ROOT/scripts/wine-prefix.sh"
}

# Configures DIR for one target (i686 or x86_64) unless it is configured:
#   velmora_configure TARGET DIR
velmora_configure() {
  local target=$1 dir=$2
  [ ! -f "$dir/build.ninja" ] || return 0
  cmake -S "$VELMORA_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$VELMORA_ROOT/cmake/toolchain-$target.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$VELMORA_ROOT/scripts/wine-run" \
    $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache) \
    -DVELMORA_DEPS="$VELMORA_CACHE/deps.cmake" >/dev/null
}

# Configures DIR when needed and builds it, or only the CMake targets named:
#   velmora_build TARGET DIR [CMAKE-TARGET...]
# On failure the end of the build log (DIR/build.log) is shown; status 1.
velmora_build() {
  local target=$1 dir=$2 targets=() log=$2/build.log
  shift 2
  [ $# -eq 0 ] || targets=(--target "$@")
  velmora_configure "$target" "$dir" || return 1
  if ! cmake --build "$dir" -j"$(nproc)" "${targets[@]}" >"$log" 2>&1; then
    grep -v -E '^\[[0-9]+/[0-9]+\] |GLOB mismatch' "$log" | tail -60 >&2
    echo "build: $dir failed (full log: $log)" >&2
    return 1
  fi
}
