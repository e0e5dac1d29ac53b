#!/usr/bin/env bash
# Builds both DLLs and the two Windows Installer packages:
#   build/package/Velmora-<version>-x64.msi   64-bit Windows, both DLLs
#   build/package/Velmora-<version>-x86.msi   32-bit Windows, the 32-bit DLL
# The version is the project's (CMakeLists.txt, project(VERSION)).
#
# Signing: with VELMORA_SIGN_PFX (a PKCS#12 file) and VELMORA_SIGN_PASSWORD
# set, both DLLs and then both packages are signed (Authenticode, SHA-256),
# and time-stamped when VELMORA_SIGN_TIMESTAMP_URL names an RFC 3161 server.
#
# For the package tests: VELMORA_PACKAGE_SKIP_BUILD=1 packages what is built,
# VELMORA_PACKAGE_BIN_x64 / _x86 name the directories holding the DLLs,
# VELMORA_PACKAGE_DIR the output directory, VELMORA_PACKAGE_VERSION overrides
# the version.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

if [ "${VELMORA_PACKAGE_SKIP_BUILD:-0}" = 1 ]; then
  command -v wixl >/dev/null && command -v msibuild >/dev/null && command -v osslsigncode >/dev/null ||
    bash "$VELMORA_ROOT/scripts/bootstrap.sh"
else
  bash "$VELMORA_ROOT/scripts/build.sh"
fi

version=$(sed -n 's/^project(Velmora VERSION \([0-9][0-9.]*\).*/\1/p' "$VELMORA_ROOT/CMakeLists.txt")
version=${VELMORA_PACKAGE_VERSION:-$version}
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
out=${VELMORA_PACKAGE_DIR:-$VELMORA_ROOT/build/package}
mkdir -p "$out"
out=$(cd "$out" && pwd)
bin64=${VELMORA_PACKAGE_BIN_x64:-$VELMORA_ROOT/build/x64/bin}
bin32=${VELMORA_PACKAGE_BIN_x86:-$VELMORA_ROOT/build/x86/bin}
for dll in "$bin64/Velmora.dll" "$bin32/Velmora.dll"; do
  [ -f "$dll" ] || { echo "package: $dll is not built" >&2; exit 1; }
done

signing=0
if [ -n "${VELMORA_SIGN_PFX:-}" ] || [ -n "${VELMORA_SIGN_PASSWORD:-}" ]; then
  [ -n "${VELMORA_SIGN_PFX:-}" ] && [ -n "${VELMORA_SIGN_PASSWORD+set}" ] ||
    { echo "package: set both VELMORA_SIGN_PFX and VELMORA_SIGN_PASSWORD to sign" >&2; exit 1; }
  [ -f "$VELMORA_SIGN_PFX" ] || { echo "package: $VELMORA_SIGN_PFX not found" >&2; exit 1; }
  signing=1
fi

# Signs one file in place. The password reaches osslsigncode through a pipe,
# never on a command line that other users could read.
sign() {
  local file=$1 signed=$1.signed
  local stamp=()
  [ -z "${VELMORA_SIGN_TIMESTAMP_URL:-}" ] || stamp=(-ts "$VELMORA_SIGN_TIMESTAMP_URL")
  rm -f "$signed"
  if ! osslsigncode sign -pkcs12 "$VELMORA_SIGN_PFX" -readpass <(printf '%s' "$VELMORA_SIGN_PASSWORD") \
      -h sha256 -n "Corvantis Velmora" "${stamp[@]}" -in "$file" -out "$signed" >"$out/sign.log" 2>&1; then
    cat "$out/sign.log" >&2
    rm -f "$signed"
    echo "package: signing $file failed" >&2
    exit 1
  fi
  mv -f "$signed" "$file"
}

# The DLLs are packaged from a staging copy, so that signing never touches the build.
stage=$out/stage
rm -rf "$stage"
mkdir -p "$stage/x64" "$stage/x86"
# The debugging information stays with the build; the packages carry stripped DLLs.
x86_64-w64-mingw32-strip --strip-debug -o "$stage/x64/Velmora.dll" "$bin64/Velmora.dll"
i686-w64-mingw32-strip --strip-debug -o "$stage/x86/Velmora.dll" "$bin32/Velmora.dll"
cp "$VELMORA_ROOT/scripts/Velmora.wxs" "$stage/"
# The property pack's definition files, installed by the WindowsSearchPack feature.
mkdir -p "$stage/pack"
cp "$VELMORA_ROOT"/pack/*.txt "$stage/pack/"
if [ $signing = 1 ]; then
  sign "$stage/x64/Velmora.dll"
  sign "$stage/x86/Velmora.dll"
fi

for arch in x64 x86; do
  msi=$out/Velmora-$version-$arch.msi
  rm -f "$msi"
  # The optional features for this architecture (scripts/package-features.sh).
  bash "$VELMORA_ROOT/scripts/package-features.sh" wxi "$arch" > "$stage/Features.wxi"
  # wixl finds the files relative to the .wxs it builds, so it builds a copy beside them.
  (cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D Bin64=x64 -D Bin32=x86 \
    -o "$msi" Velmora.wxs)
  # wixl places RemoveExistingProducts where its own ordering happens to put
  # it; the older version must be removed right after InstallValidate, before
  # this one registers.
  msibuild "$msi" -q "UPDATE InstallExecuteSequence SET Sequence=1401 WHERE Action='RemoveExistingProducts'"
  # What wixl cannot say: the file types' conditions and the searches behind them.
  while IFS= read -r query; do
    msibuild "$msi" -q "$query"
  done < <(bash "$VELMORA_ROOT/scripts/package-features.sh" sql "$arch")
  [ $signing = 0 ] || sign "$msi"
  echo "package: $msi"
done
rm -f "$out/sign.log"
if [ $signing = 1 ]; then
  echo "package: the DLLs and packages are signed with $VELMORA_SIGN_PFX"
else
  echo "package: not signed (set VELMORA_SIGN_PFX and VELMORA_SIGN_PASSWORD to sign)"
fi
