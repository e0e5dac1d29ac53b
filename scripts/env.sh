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
