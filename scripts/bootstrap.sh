#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine:
# mingw-w64 (posix threads) for i686 and x86_64, CMake, Wine (64-bit and
# 32-bit), the JSON headers (nlohmann-json3-dev), ccache, the i386 architecture and
# deb-src entries for `apt-get source`; for the packages, msitools (wixl,
# msibuild), osslsigncode and openssl; and any further Debian packages named
# on the command line: scripts/bootstrap.sh [PACKAGE...]
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

need_pkgs=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
           binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
           cmake make ninja-build dpkg-dev wine wine64 wine32:i386 googletest
           nlohmann-json3-dev python3 wixl msitools osslsigncode openssl ccache "$@")

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${need_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

src_list=/etc/apt/sources.list.d/velmora-deb-src.sources
need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  need_update=1
fi
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  as_root tee "$src_list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  echo "bootstrap: installing ${missing[*]:-(package lists only)}"
  as_root apt-get update -qq
  if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
fi
echo "bootstrap: toolchain ready"
