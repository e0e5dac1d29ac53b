#!/usr/bin/env bash
# The packages under Wine's msiexec, in a Wine prefix of their own that no
# other test touches. One case per call, run by CTest in this order:
#   package-test.sh CASE WORKDIR X64BIN X86BIN
# "Setup" builds the packages (the current version, an older one and a
# signed set) and makes a fresh prefix; "Cleanup" ends its wineserver and
# removes WORKDIR. Each case prints what it checks and exits 1 on the first
# failure.
set -uo pipefail
case_name=$1
work=$2
bin64=$3
bin32=$4
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX=$work/prefix
source "$root/scripts/env.sh"  # keeps the WINEPREFIX above

version=$(sed -n 's/^project(Velmora VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
old_version=0.9.0
x64_msi=$work/current/Velmora-$version-x64.msi
x86_msi=$work/current/Velmora-$version-x86.msi
old_x64_msi=$work/older/Velmora-$old_version-x64.msi

filter='{2BD5D05B-F921-4FB6-B4D1-2F5CEE09471D}'
handler='{7F0BCA34-AF00-403A-B243-23F2837DF0B1}'
ifilter='{89BCB740-6119-101A-BCB7-00DD010655AF}'
windows_tiff='{1AA9BF05-9A97-48C1-BA28-D9DCE795E93C}'
# The DLL's own types and the packages' further types, from the file-type table.
mapfile -t extensions < <(bash "$root/scripts/file-types.sh" extensions core)
mapfile -t new_types < <(bash "$root/scripts/file-types.sh" extensions further)
pf64=$WINEPREFIX/drive_c/Program\ Files/Corvantis/Velmora
pf32=$WINEPREFIX/drive_c/Program\ Files\ \(x86\)/Corvantis/Velmora

fail() { echo "FAILED: $*"; exit 1; }
check() { echo "check: $*"; }

winpath() { winepath -w "$1" 2>/dev/null; }

# msiexec with a verbose log; the log is shown when it fails. Further
# arguments (PROPERTY=value) go to msiexec.
msi() {
  local action=$1 package=$2 log
  log=$work/msiexec-$(date +%s%N).log
  if ! wine msiexec "$action" "$(winpath "$package")" "${@:3}" /qn /l*v "$(winpath "$log")" </dev/null >/dev/null 2>&1; then
    iconv -f UTF-16LE -t UTF-8 "$log" 2>/dev/null | tr -d '\r' | grep -E -i 'error|fail|return value 3' | head -40
    fail "msiexec $action $(basename "$package")"
  fi
}

# The default value (or the named one) of a key in one registry view; empty when absent.
reg_value() {
  local key=$1 view=$2 name=${3:-}
  local args=(/ve)
  [ -z "$name" ] || args=(/v "$name")
  wine reg query "$key" "${args[@]}" "$view" 2>/dev/null </dev/null | tr -d '\r' |
    sed -n 's/^ *[^ ].*  *REG_SZ  *//p' | head -1
}

key_exists() { wine reg query "$1" "$2" </dev/null >/dev/null 2>&1; }

# The persistent-handler chain for every type in one view, ending at a DLL.
check_chain() {
  local view=$1 dll=$2
  check "persistent-handler chain of all types in view $view ends at $dll"
  for ext in "${extensions[@]}"; do
    [ "$(reg_value "HKLM\\Software\\Classes\\$ext\\PersistentHandler" "$view")" = "$handler" ] ||
      fail "$ext names no Velmora handler in view $view"
  done
  [ "$(reg_value "HKLM\\Software\\Classes\\CLSID\\$handler\\PersistentAddinsRegistered\\$ifilter" "$view")" = "$filter" ] ||
    fail "the handler does not name the filter in view $view"
  [ "$(reg_value "HKLM\\Software\\Classes\\CLSID\\$filter\\InprocServer32" "$view")" = "$dll" ] ||
    fail "the filter class is not served by $dll in view $view"
}

# The host tool of one bitness finds the filter by extension and filters a sample.
check_host() {
  local bin=$1
  check "velmora-host from $bin filters a .jpg and a .tif found by extension"
  for sample in standard.jpg standard.tif; do
    local shown
    shown=$(wine "$bin/velmora-host.exe" "$(winpath "$root/tests/data/$sample")" </dev/null 2>&1 | tr -d '\r')
    grep -q '^chunk 1 value ' <<<"$shown" || { echo "$shown" | head -5; fail "$bin/velmora-host.exe $sample"; }
  done
}

# After the x64 package: the chain in both views, and hosts of both bitnesses.
check_x64_package_serves_both() {
  check_chain /reg:64 'C:\Program Files\Corvantis\Velmora\Velmora.dll'
  check_chain /reg:32 'C:\Program Files (x86)\Corvantis\Velmora\Velmora.dll'
  check_host "$bin64"
  check_host "$bin32"
}

# Nothing of Velmora's in the prefix: no file, no key, no value.
check_no_trace() {
  check "no file and no registry entry of Velmora's remains"
  [ ! -e "$pf64" ] && [ ! -e "$pf32" ] || fail "files remain: $(ls -d "$pf64" "$pf32" 2>/dev/null)"
  local left
  left=$(find "$WINEPREFIX/drive_c" -iname '*velmora*' -o -iname 'corvantis' 2>/dev/null)
  [ -z "$left" ] || fail "left in the prefix: $left"
  for view in /reg:64 /reg:32; do
    for key in "CLSID\\$filter" "CLSID\\$handler"; do
      ! key_exists "HKLM\\Software\\Classes\\$key" $view || fail "$key remains in view $view"
    done
    ! key_exists "HKLM\\Software\\Corvantis" $view || fail "HKLM\\Software\\Corvantis exists in view $view"
  done
  # The registry as saved by the wineserver, both views and every hive.
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  left=$(grep -i -l -E "velmora|corvantis|${filter:1:36}|${handler:1:36}" "$WINEPREFIX"/*.reg 2>/dev/null)
  [ -z "$left" ] || { grep -i -n -E "velmora|corvantis|${filter:1:36}|${handler:1:36}" "$WINEPREFIX"/*.reg | head; fail "registry entries remain"; }
}

# The pack's declarations of the WindowsSearchPack feature.
pack_schemas=$(sed -n 's/^\[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvantis\\Velmora\\CustomSchemas\\\(.*\)\]\r*$/\1/p' \
  "$root/pack/windows-search-x64.reg")
foreign='{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}'
copyright_chunk='{64440492-4C8B-11D1-8B70-080036B11A03}/11 VT_LPWSTR=(c) 2024 Ana Lima'
date_taken_chunk='{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/36867 VT_FILETIME=2024-05-04T04:20:30Z'
camera_number_chunks=(
  '{64440492-4C8B-11D1-8B70-080036B11A03}/9 VT_UI4=75'
  '{A09F084E-AD41-489F-8076-AA5BE3082BCA}/100 VT_UI4=4'
  '{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/34855 VT_UI2=3200'
  '{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/33437 VT_R8=2.8'
  '{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/33434 VT_R8=0.004'
  '{14B81DA1-0135-4D31-96D9-6CBFC9671A99}/37386 VT_R8=50'
  '{827EDB4F-5B73-44A7-891D-FDFFABEA35CA}/100 VT_R8=35.5'
  '{0F55CDE2-4F49-450D-92C1-DCD16301B1B7}/100 VT_R8=51.507'
  '{4679C1B5-844D-4590-BAF5-F322231F1B81}/100 VT_R8=-0.127'
)

# The pack's declarations in one view: each names its installed definition file.
check_pack() {
  local view=$1 dir=$2
  check "the pack's $(grep -c . <<<"$pack_schemas") declarations in view $view name files in $dir"
  [ -n "$pack_schemas" ] || fail "no schema names read from the pack template"
  local name file
  while read -r name; do
    file=$(reg_value "HKLM\\Software\\Corvantis\\Velmora\\CustomSchemas\\$name" "$view" FileName)
    [ -n "$file" ] || fail "$name has no FileName in view $view"
    [ "${file%\\*}" = "$dir" ] || fail "$name names $file in view $view"
    [ -f "$(winepath -u "$file" 2>/dev/null)" ] || fail "$file is not installed"
  done <<<"$pack_schemas"
}

check_no_pack() {
  local view name
  for view in /reg:64 /reg:32; do
    while read -r name; do
      ! key_exists "HKLM\\Software\\Corvantis\\Velmora\\CustomSchemas\\$name" $view || fail "$name remains in view $view"
    done <<<"$pack_schemas"
  done
}

# Every further type names Velmora's handler, except those given as arguments.
check_new_types() {
  local skip=" $* " ext
  check "every further file type names Velmora's handler${*:+, except $*}"
  for ext in "${new_types[@]}"; do
    [[ $skip == *" $ext "* ]] && continue
    [ "$(reg_value "HKLM\\Software\\Classes\\$ext\\PersistentHandler" /reg:64)" = "$handler" ] ||
      fail "$ext names no Velmora handler"
  done
}

check_no_new_types() {
  local ext
  check "no further file type names Velmora's handler"
  for ext in "${new_types[@]}"; do
    [ "$(reg_value "HKLM\\Software\\Classes\\$ext\\PersistentHandler" /reg:64)" != "$handler" ] || fail "$ext still registered"
  done
}

# The file with the standard metadata set for a type. A type that has none of
# its own (a raw whose container reader is not there yet) gets one of the same
# family under its name: the filter tells the format from the bytes, and the
# host finds the filter from the extension alone.
standard_file() {
  local ext=$1 file=$root/tests/data/standard$1
  [ -f "$file" ] && { echo "$file"; return; }
  case $ext in
    .hif) echo "$root/tests/data/standard.heif" ;;
    *) echo "$root/tests/data/standard.tif" ;;
  esac
}

# The host tool of one bitness finds the filter for a sample of each further
# type by its extension alone, and
# the pack's properties reach it from the installed definition files.
check_host_new_types() {
  local bin=$1 dir=$work/types ext shown
  check "velmora-host from $bin filters every further type found by extension, with the pack's properties"
  mkdir -p "$dir"
  for ext in "${new_types[@]}"; do
    cp "$(standard_file "$ext")" "$dir/document$ext"
    shown=$(wine "$bin/velmora-host.exe" "$(winpath "$dir/document$ext")" </dev/null 2>&1 | tr -d '\r')
    grep -q '^chunk 1 value ' <<<"$shown" || { echo "$shown" | head -5; fail "$bin/velmora-host.exe document$ext"; }
  done
  shown=$(wine "$bin/velmora-host.exe" "$(winpath "$root/tests/data/windows-search.jpg")" </dev/null 2>&1 | tr -d '\r')
  grep -qF "$copyright_chunk" <<<"$shown" || { echo "$shown" | head -40; fail "no System.Copyright chunk from $bin"; }
  grep -qF "$date_taken_chunk" <<<"$shown" || { echo "$shown" | head -40; fail "no System.Photo.DateTaken chunk from $bin"; }
  # A camera picture's numbers, as the types Windows declares and as
  # "exiftool -n" reads them (tests/data/camera/README.md): rating, ISO,
  # aperture, exposure, focal length, altitude; latitude and longitude come
  # through the toolkit's decimal minutes, so only their leading digits.
  shown=$(wine "$bin/velmora-host.exe" "$(winpath "$root/tests/data/camera/photo-numbers.jpg")" </dev/null 2>&1 | tr -d '\r')
  local chunk
  for chunk in "${camera_number_chunks[@]}"; do
    grep -qF "$chunk" <<<"$shown" || { echo "$shown" | head -60; fail "no '$chunk' chunk from $bin"; }
  done
}

installed_entries() { wine uninstaller --list </dev/null 2>/dev/null | tr -d '\r' | grep -c 'Corvantis Velmora'; }

case $case_name in
Setup)
  rm -rf "$work"; mkdir -p "$work"
  VELMORA_PACKAGE_SKIP_BUILD=1 VELMORA_PACKAGE_BIN_x64=$bin64 VELMORA_PACKAGE_BIN_x86=$bin32 \
    VELMORA_PACKAGE_DIR=$work/current bash "$root/scripts/package.sh" || fail "package.sh"
  VELMORA_PACKAGE_SKIP_BUILD=1 VELMORA_PACKAGE_BIN_x64=$bin64 VELMORA_PACKAGE_BIN_x86=$bin32 \
    VELMORA_PACKAGE_DIR=$work/older VELMORA_PACKAGE_VERSION=$old_version bash "$root/scripts/package.sh" ||
    fail "package.sh (older version)"
  [ -f "$x64_msi" ] && [ -f "$x86_msi" ] && [ -f "$old_x64_msi" ] || fail "packages missing"
  check "a fresh Wine prefix"
  wineboot -i >/dev/null 2>&1 </dev/null
  timeout 120 wineserver -w  # the registry reaches the disk when the server ends
  [ -f "$WINEPREFIX/system.reg" ] || fail "wineboot"
  wine 'C:\windows\system32\cmd.exe' /c ver </dev/null >/dev/null 2>&1
  wine 'C:\windows\syswow64\cmd.exe' /c ver </dev/null >/dev/null 2>&1
  ;;
InstallPutsBothDllsInProgramFiles)
  msi /i "$x64_msi"
  check "both DLLs in their Program Files folders"
  cmp -s "$pf64/Velmora.dll" "$work/current/stage/x64/Velmora.dll" || fail "x64 Velmora.dll not in Program Files"
  cmp -s "$pf32/Velmora.dll" "$work/current/stage/x86/Velmora.dll" || fail "x86 Velmora.dll not in Program Files (x86)"
  [ "$(installed_entries)" = 1 ] || fail "not one entry in the installed programs"
  check_x64_package_serves_both
  msi /x "$x64_msi"
  check_no_trace
  ;;
UninstallGivesBackTheEarlierTiffHandler)
  for ext in .tif .tiff; do wine reg add "HKLM\\Software\\Classes\\$ext\\PersistentHandler" /ve /d "$windows_tiff" /f </dev/null >/dev/null 2>&1; done
  msi /i "$x64_msi"
  check ".tif names Velmora's handler and remembers the earlier one"
  [ "$(reg_value 'HKLM\Software\Classes\.tif\PersistentHandler' /reg:64)" = "$handler" ] || fail ".tif not taken over"
  [ "$(reg_value 'HKLM\Software\Classes\.tif\PersistentHandler' /reg:64 VelmoraPreviousHandler)" = "$windows_tiff" ] ||
    fail "the earlier .tif handler is not remembered"
  msi /x "$x64_msi"
  check "the earlier handler is back on .tif and .tiff, in both views"
  for view in /reg:64 /reg:32; do
    for ext in .tif .tiff; do
      [ "$(reg_value "HKLM\\Software\\Classes\\$ext\\PersistentHandler" $view)" = "$windows_tiff" ] || fail "$ext handler not restored ($view)"
      [ -z "$(reg_value "HKLM\\Software\\Classes\\$ext\\PersistentHandler" $view VelmoraPreviousHandler)" ] || fail "$ext memory left"
    done
  done
  for ext in .tif .tiff; do wine reg delete "HKLM\\Software\\Classes\\$ext\\PersistentHandler" /f </dev/null >/dev/null 2>&1; done
  check_no_trace
  ;;
UpgradeLeavesOneEntryAndAWorkingFilter)
  msi /i "$old_x64_msi"
  [ "$(installed_entries)" = 1 ] || fail "the older version is not installed"
  msi /i "$x64_msi"
  check "one entry in the installed programs after the upgrade"
  entries=$(wine uninstaller --list </dev/null 2>/dev/null | tr -d '\r' | grep 'Corvantis Velmora')
  [ "$(grep -c . <<<"$entries")" = 1 ] || fail "entries: $entries"
  check_x64_package_serves_both
  msi /x "$x64_msi"
  check_no_trace
  ;;
X86PackageInstallsInThe32BitView)
  msi /i "$x86_msi"
  check "the x86 DLL in Program Files (x86), registered in the 32-bit view only"
  cmp -s "$pf32/Velmora.dll" "$work/current/stage/x86/Velmora.dll" || fail "x86 Velmora.dll not in Program Files (x86)"
  [ ! -e "$pf64" ] || fail "the x86 package wrote to the 64-bit Program Files"
  check_chain /reg:32 'C:\Program Files (x86)\Corvantis\Velmora\Velmora.dll'
  ! key_exists "HKLM\\Software\\Classes\\CLSID\\$filter" /reg:64 || fail "the x86 package registered a 64-bit class"
  check_host "$bin32"
  msi /x "$x86_msi"
  check_no_trace
  ;;
SignedPackagesVerify)
  signing=$work/signing
  rm -rf "$signing"; mkdir -p "$signing"
  check "a throwaway self-signed code-signing certificate"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velmora test signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$signing/key.pem" -out "$signing/cert.pem" >/dev/null 2>&1 ||
    fail "openssl req"
  openssl pkcs12 -export -inkey "$signing/key.pem" -in "$signing/cert.pem" -passout pass:throwaway \
    -out "$signing/test.pfx" >/dev/null 2>&1 || fail "openssl pkcs12"
  VELMORA_PACKAGE_SKIP_BUILD=1 VELMORA_PACKAGE_BIN_x64=$bin64 VELMORA_PACKAGE_BIN_x86=$bin32 \
    VELMORA_PACKAGE_DIR=$signing/out VELMORA_SIGN_PFX=$signing/test.pfx VELMORA_SIGN_PASSWORD=throwaway \
    bash "$root/scripts/package.sh" >"$signing/package.log" 2>&1 || { cat "$signing/package.log"; fail "package.sh signing"; }
  grep -q 'are signed with' "$signing/package.log" || fail "package.sh does not say it signed"
  for file in "$signing/out/stage/x64/Velmora.dll" "$signing/out/stage/x86/Velmora.dll" \
              "$signing/out/Velmora-$version-x64.msi" "$signing/out/Velmora-$version-x86.msi"; do
    check "signature of $(basename "$(dirname "$file")")/$(basename "$file")"
    result=$(osslsigncode verify -CAfile "$signing/cert.pem" -in "$file" 2>&1)
    grep -q 'Signature verification: ok' <<<"$result" || { echo "$result" | tail -15; fail "verify $file"; }
    grep -q 'Message digest algorithm *: SHA256' <<<"$result" || { echo "$result" | head -15; fail "not SHA-256: $file"; }
  done
  check "the unsigned build says so, and its DLLs carry no signature"
  grep -q 'not signed' <(VELMORA_PACKAGE_SKIP_BUILD=1 VELMORA_PACKAGE_BIN_x64=$bin64 VELMORA_PACKAGE_BIN_x86=$bin32 \
    VELMORA_PACKAGE_DIR=$signing/unsigned bash "$root/scripts/package.sh" 2>&1) || fail "no 'not signed' notice"
  ! osslsigncode verify -in "$signing/unsigned/Velmora-$version-x64.msi" >/dev/null 2>&1 || fail "an unsigned package verifies"
  ;;
FeaturesInstallThePackAndTheNewTypes)
  msi /i "$x64_msi"
  check_pack /reg:64 'C:\Program Files\Corvantis\Velmora\pack'
  check_pack /reg:32 'C:\Program Files (x86)\Corvantis\Velmora\pack'
  check_new_types
  check_host_new_types "$bin64"
  check_host_new_types "$bin32"
  msi /x "$x64_msi"
  check "no declaration and no type registration is left"
  check_no_pack
  check_no_new_types
  check_no_trace
  ;;
ForeignHandlerOnANewTypeIsKept)
  for ext in .webp .heic; do wine reg add "HKLM\\Software\\Classes\\$ext\\PersistentHandler" /ve /d "$foreign" /f </dev/null >/dev/null 2>&1; done
  msi /i "$x64_msi"
  check_new_types .webp .heic
  check ".webp and .heic keep the handler they had"
  for ext in .webp .heic; do
    [ "$(reg_value "HKLM\\Software\\Classes\\$ext\\PersistentHandler" /reg:64)" = "$foreign" ] || fail "$ext handler replaced"
  done
  msi /x "$x64_msi"
  check "after removal too"
  for ext in .webp .heic; do
    [ "$(reg_value "HKLM\\Software\\Classes\\$ext\\PersistentHandler" /reg:64)" = "$foreign" ] || fail "$ext handler removed"
    wine reg delete "HKLM\\Software\\Classes\\$ext" /f </dev/null >/dev/null 2>&1
  done
  check_no_new_types
  check_no_trace
  ;;
AdministratorsCustomSchemasAreKept)
  admin='HKLM\Software\Corvantis\Velmora\CustomSchemas\Camera'
  wine reg add "$admin" /v GUID /d '{6B2F1C3E-2A41-4D7B-9E0C-5F8A1B2C3D4E}' /f /reg:64 </dev/null >/dev/null 2>&1
  wine reg add "$admin" /v NameSpace /d 'http://ns.example.com/camera/1.0/' /f /reg:64 </dev/null >/dev/null 2>&1
  msi /i "$x64_msi"
  check_pack /reg:64 'C:\Program Files\Corvantis\Velmora\pack'
  msi /x "$x64_msi"
  check "the administrator's own schema is still declared, the pack's are gone"
  [ "$(reg_value "$admin" /reg:64 NameSpace)" = 'http://ns.example.com/camera/1.0/' ] || fail "the administrator's schema was touched"
  check_no_pack
  wine reg delete 'HKLM\Software\Corvantis' /f /reg:64 </dev/null >/dev/null 2>&1
  check_no_trace
  ;;
X86PackageInstallsThePackInThe32BitView)
  msi /i "$x86_msi"
  check_pack /reg:32 'C:\Program Files (x86)\Corvantis\Velmora\pack'
  check "no declaration in the 64-bit view"
  ! key_exists 'HKLM\Software\Corvantis' /reg:64 || fail "the x86 package wrote to the 64-bit product key"
  check_new_types
  check_host_new_types "$bin32"
  msi /x "$x86_msi"
  check_no_pack
  check_no_new_types
  check_no_trace
  ;;
FeaturesCanBeLeftOut)
  msi /i "$x64_msi" ADDLOCAL=Filter,WindowsSearchPack
  check "ADDLOCAL=Filter,WindowsSearchPack: the pack without the further types"
  check_pack /reg:64 'C:\Program Files\Corvantis\Velmora\pack'
  check_no_new_types
  check_chain /reg:64 'C:\Program Files\Corvantis\Velmora\Velmora.dll'
  msi /i "$x64_msi" ADDLOCAL=MoreFileTypes
  check "ADDLOCAL=MoreFileTypes later adds the further types"
  check_new_types
  msi /i "$x64_msi" REMOVE=WindowsSearchPack
  check "REMOVE=WindowsSearchPack on the installed product takes the pack away and keeps the rest"
  check_no_pack
  [ ! -e "$pf64/pack" ] && [ ! -e "$pf32/pack" ] || fail "the pack's files remain"
  check_new_types
  check_chain /reg:64 'C:\Program Files\Corvantis\Velmora\Velmora.dll'
  msi /x "$x64_msi"
  check_no_trace
  ;;
Cleanup)
  wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  rm -rf "$work"
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "PASSED: $case_name"
