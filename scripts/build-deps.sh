#!/usr/bin/env bash
# Builds the third-party dependencies once per target into the cache:
#   expat and zlib (Debian source packages), the XMP Toolkit's XMPCore,
#   packet scanner and XMPFiles with its image handlers (Debian's exempi
#   source package; the SVG handler reads gzipped SVG through zlib), libheif
#   (Debian's libheif source package, the container reader alone: every
#   decoder, encoder and plugin off, patched as cmake/libheif says),
#   Brotli's decoder (Debian's brotli source package, the decoder and its
#   common part only) and GoogleTest (Debian's googletest package); the headers of Debian's
#   nlohmann-json3-dev are copied into a directory of their own, so that the
#   cross builds need not put /usr/include on their include path. Each build
#   is keyed by package version and target (and the toolkit's also by its
#   build recipe, cmake/xmptoolkit); a finished build is marked with a stamp
#   file and never rebuilt.
# Prints nothing but a summary line when everything is cached.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

srcver() { apt-cache showsrc "$1" | awk '/^Version:/ {print $2; exit}'; }
EXEMPI_VER=$(srcver exempi)
EXPAT_VER=$(srcver expat)
ZLIB_VER=$(srcver zlib)
HEIF_VER=$(srcver libheif)
BROTLI_VER=$(srcver brotli)
GTEST_VER=$(dpkg-query -W -f '${Version}' googletest)
JSON_VER=$(dpkg-query -W -f '${Version}' nlohmann-json3-dev 2>/dev/null || true)
[ -n "$JSON_VER" ] && [ -f /usr/include/nlohmann/json.hpp ] || { echo "build-deps: nlohmann-json3-dev is not installed (run scripts/bootstrap.sh)" >&2; exit 1; }
[ -n "$EXEMPI_VER" ] && [ -n "$EXPAT_VER" ] && [ -n "$ZLIB_VER" ] && [ -n "$HEIF_VER" ] && [ -n "$BROTLI_VER" ] || { echo "build-deps: no deb-src entries (run scripts/bootstrap.sh)" >&2; exit 1; }

SRC=$VELMORA_CACHE/src
mkdir -p "$SRC"

fetch_source() { # package version -> directory of the unpacked source
  local pkg=$1 ver=$2 dir=$SRC/$1_$2
  if [ ! -f "$dir/.stamp" ]; then
    rm -rf "$dir" && mkdir -p "$dir"
    (cd "$dir" && apt-get source --only-source -qq "$pkg=$ver" >/dev/null 2>&1) || { echo "build-deps: apt-get source $pkg=$ver failed" >&2; exit 1; }
    touch "$dir/.stamp"
  fi
  find "$dir" -mindepth 1 -maxdepth 1 -type d -name "$pkg-*" | head -1
}

# The toolkit's recipe is part of its key: a changed recipe builds anew.
XMP_RECIPE=$(find "$VELMORA_ROOT/cmake/xmptoolkit" -type f | LC_ALL=C sort | xargs cat | sha1sum | cut -c1-10)

# libheif's patches are part of its key too.
HEIF_RECIPE=$(find "$VELMORA_ROOT/cmake/libheif" -type f | LC_ALL=C sort | xargs cat | sha1sum | cut -c1-10)

# The epoch (zlib's "1:") stays out of the cache's directory names.
ZLIB_KEY=${ZLIB_VER#*:}

jobs=$(nproc)
built=0
for t in "${VELMORA_TARGETS[@]}"; do
  tc=$VELMORA_ROOT/cmake/toolchain-$t.cmake

  expat_prefix=$VELMORA_CACHE/deps/expat-$EXPAT_VER/$t
  if [ ! -f "$expat_prefix/.stamp" ]; then
    src=$(fetch_source expat "$EXPAT_VER")
    b=$VELMORA_CACHE/build/expat-$EXPAT_VER-$t
    rm -rf "$b" "$expat_prefix"
    cmake -S "$src/expat" -B "$b" -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release \
      -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
      -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF \
      -DEXPAT_BUILD_FUZZERS=OFF -DCMAKE_INSTALL_PREFIX="$expat_prefix" >/dev/null
    # Debian's security patches test "#if XML_DTD == 1"; CMake defines it empty.
    sed -i 's/^#define XML_DTD *$/#define XML_DTD 1/' "$b/expat_config.h"
    cmake --build "$b" -j"$jobs" >/dev/null
    cmake --install "$b" >/dev/null
    rm -rf "$b"; touch "$expat_prefix/.stamp"; built=1
  fi

  # zlib's own CMakeLists renames zconf.h in a source tree it builds out of,
  # so it builds a copy; only the static library and the two headers are kept.
  zlib_prefix=$VELMORA_CACHE/deps/zlib-$ZLIB_KEY/$t
  if [ ! -f "$zlib_prefix/.stamp" ]; then
    src=$(fetch_source zlib "$ZLIB_VER")
    b=$VELMORA_CACHE/build/zlib-$ZLIB_KEY-$t
    rm -rf "$b" "$b-src" "$zlib_prefix"
    mkdir -p "$VELMORA_CACHE/build" && cp -R "$src" "$b-src"
    cmake -S "$b-src" -B "$b" -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release -Wno-deprecated >/dev/null
    cmake --build "$b" --target zlibstatic -j"$jobs" >/dev/null
    mkdir -p "$zlib_prefix/include" "$zlib_prefix/lib"
    cp "$b-src/zlib.h" "$b/zconf.h" "$zlib_prefix/include/"
    cp "$b/libzlibstatic.a" "$zlib_prefix/lib/libz.a"
    rm -rf "$b" "$b-src"; touch "$zlib_prefix/.stamp"; built=1
  fi

  xmp_prefix=$VELMORA_CACHE/deps/exempi-$EXEMPI_VER-$XMP_RECIPE/$t
  if [ ! -f "$xmp_prefix/.stamp" ]; then
    src=$(fetch_source exempi "$EXEMPI_VER")
    b=$VELMORA_CACHE/build/exempi-$EXEMPI_VER-$XMP_RECIPE-$t
    rm -rf "$b" "$xmp_prefix"
    cmake -S "$VELMORA_ROOT/cmake/xmptoolkit" -B "$b" -DCMAKE_TOOLCHAIN_FILE="$tc" \
      -DCMAKE_BUILD_TYPE=Release -DEXEMPI_SRC="$src" -DEXPAT_PREFIX="$expat_prefix" \
      -DZLIB_PREFIX="$zlib_prefix" \
      -DCMAKE_INSTALL_PREFIX="$xmp_prefix" >/dev/null
    cmake --build "$b" -j"$jobs" >/dev/null
    cmake --install "$b" >/dev/null
    rm -rf "$b"; touch "$xmp_prefix/.stamp"; built=1
  fi

  # Built from a patched copy; no pkg-config lookups, so that nothing of the
  # build machine's own libraries is found for the cross build.
  heif_prefix=$VELMORA_CACHE/deps/libheif-$HEIF_VER-$HEIF_RECIPE/$t
  if [ ! -f "$heif_prefix/.stamp" ]; then
    src=$(fetch_source libheif "$HEIF_VER")
    b=$VELMORA_CACHE/build/libheif-$HEIF_VER-$HEIF_RECIPE-$t
    rm -rf "$b" "$b-src" "$heif_prefix"
    mkdir -p "$VELMORA_CACHE/build" "$b-pc" && cp -R "$src" "$b-src"
    for p in "$VELMORA_ROOT"/cmake/libheif/*.patch; do patch -s -d "$b-src" -p1 < "$p"; done
    PKG_CONFIG_LIBDIR="$b-pc" PKG_CONFIG_PATH= cmake -S "$b-src" -B "$b" -DCMAKE_TOOLCHAIN_FILE="$tc" \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DENABLE_PLUGIN_LOADING=OFF \
      -DWITH_LIBDE265=OFF -DWITH_X265=OFF -DWITH_DAV1D=OFF -DWITH_AOM_DECODER=OFF \
      -DWITH_AOM_ENCODER=OFF -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF -DWITH_EXAMPLES=OFF \
      -DCMAKE_INSTALL_PREFIX="$heif_prefix" >/dev/null
    PKG_CONFIG_LIBDIR="$b-pc" cmake --build "$b" --target heif -j"$jobs" >/dev/null
    mkdir -p "$heif_prefix/include/libheif" "$heif_prefix/lib"
    cp "$b-src/libheif/heif.h" "$b/libheif/heif_version.h" "$heif_prefix/include/libheif/"
    cp "$b/libheif/libheif.a" "$heif_prefix/lib/"
    rm -rf "$b" "$b-src" "$b-pc"; touch "$heif_prefix/.stamp"; built=1
  fi

  # Brotli's decoder, compiled straight from its sources into one static
  # library (its CMake build makes shared libraries and the encoder too).
  brotli_prefix=$VELMORA_CACHE/deps/brotli-$BROTLI_VER/$t
  if [ ! -f "$brotli_prefix/.stamp" ]; then
    src=$(fetch_source brotli "$BROTLI_VER")
    b=$VELMORA_CACHE/build/brotli-$BROTLI_VER-$t
    rm -rf "$b" "$brotli_prefix"
    mkdir -p "$b" "$brotli_prefix/lib" "$brotli_prefix/include"
    for c in "$src"/c/common/*.c "$src"/c/dec/*.c; do
      "$t-w64-mingw32-gcc-posix" -O2 -c -I"$src/c/include" "$c" -o "$b/$(basename "$(dirname "$c")")-$(basename "$c" .c).o"
    done
    "$t-w64-mingw32-ar" rcs "$brotli_prefix/lib/libbrotlidec.a" "$b"/*.o
    cp -R "$src/c/include/brotli" "$brotli_prefix/include/"
    rm -rf "$b"; touch "$brotli_prefix/.stamp"; built=1
  fi

  gtest_prefix=$VELMORA_CACHE/deps/googletest-$GTEST_VER/$t
  if [ ! -f "$gtest_prefix/.stamp" ]; then
    b=$VELMORA_CACHE/build/googletest-$GTEST_VER-$t
    rm -rf "$b" "$gtest_prefix"
    cmake -S /usr/src/googletest -B "$b" -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_BUILD_TYPE=Release \
      -DBUILD_GMOCK=ON -Dgtest_disable_pthreads=OFF -DCMAKE_INSTALL_PREFIX="$gtest_prefix" >/dev/null
    cmake --build "$b" -j"$jobs" >/dev/null
    cmake --install "$b" >/dev/null
    rm -rf "$b"; touch "$gtest_prefix/.stamp"; built=1
  fi
done

# Header-only and the same for every target.
json_prefix=$VELMORA_CACHE/deps/nlohmann-json-$JSON_VER
if [ ! -f "$json_prefix/.stamp" ]; then
  rm -rf "$json_prefix" && mkdir -p "$json_prefix/include"
  cp -R /usr/include/nlohmann "$json_prefix/include/"
  touch "$json_prefix/.stamp"; built=1
fi

# Where the project's CMake finds them.
cat > "$VELMORA_CACHE/deps.cmake" <<CFG
set(VELMORA_EXPAT_ROOT "$VELMORA_CACHE/deps/expat-$EXPAT_VER")
set(VELMORA_ZLIB_ROOT "$VELMORA_CACHE/deps/zlib-$ZLIB_KEY")
set(VELMORA_XMP_ROOT "$VELMORA_CACHE/deps/exempi-$EXEMPI_VER-$XMP_RECIPE")
set(VELMORA_HEIF_ROOT "$VELMORA_CACHE/deps/libheif-$HEIF_VER-$HEIF_RECIPE")
set(VELMORA_BROTLI_ROOT "$VELMORA_CACHE/deps/brotli-$BROTLI_VER")
set(VELMORA_GTEST_ROOT "$VELMORA_CACHE/deps/googletest-$GTEST_VER")
set(VELMORA_JSON_ROOT "$json_prefix")
CFG
[ $built = 1 ] && echo "build-deps: built dependencies into $VELMORA_CACHE/deps" || echo "build-deps: dependencies cached (exempi $EXEMPI_VER, expat $EXPAT_VER, zlib $ZLIB_VER, libheif $HEIF_VER, brotli $BROTLI_VER, googletest $GTEST_VER, nlohmann-json $JSON_VER)"
