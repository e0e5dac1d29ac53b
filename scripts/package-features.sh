#!/usr/bin/env bash
# The packages' two optional features, generated from the repository's data
# so that the packages install exactly what pack/ and the type list say:
#   WindowsSearchPack  the property pack's definition files (pack\ beside each
#                      installed DLL) and its CustomSchemas declarations in
#                      that DLL's registry view, from pack/windows-search-x64.reg
#   MoreFileTypes      Velmora's persistent handler on each further file type
#                      of src/registration/FileTypes.inc that has none (a
#                      foreign handler is left alone)
# Both are installed by default.
#
#   package-features.sh wxi ARCH   WiX include for Velmora.wxs (wixl), on stdout
#   package-features.sh sql ARCH   msibuild queries, one a line, that add what
#                                  wixl cannot express: the component conditions
#                                  and the registry searches behind them
# ARCH is x64 (both views: the package carries both DLLs) or x86.
set -euo pipefail
mode=$1
arch=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

handler=$(bash "$root/scripts/file-types.sh" handler)
# The further file types, as the file-type table lists them.
mapfile -t types < <(bash "$root/scripts/file-types.sh" extensions further)
[ ${#types[@]} -gt 0 ] || { echo "package-features: no further file types in the table" >&2; exit 1; }
case $arch in
  x64) views=(64 32) ;;
  x86) views=(32) ;;
  *) echo "package-features: unknown ARCH $arch" >&2; exit 1 ;;
esac

# A component's GUID, the same in every build (upgrades and repairs find
# their components by it): the MD5 of its name, written as a GUID.
guid() {
  local h
  h=$(printf 'Corvantis Velmora component %s' "$1" | md5sum | tr a-f A-F)
  echo "${h:0:8}-${h:8:4}-${h:12:4}-${h:16:4}-${h:20:12}"
}

win64() { [ "$1" = 64 ] && echo yes || echo no; }
# A file type as part of an identifier: ".heic" -> "Heic".
type_id() { local t=${1#.}; echo "${t^}"; }

# The pack's declarations as "name<TAB>value-name<TAB>data" lines, from the
# x64 template (the x86 one differs only in its registry view).
declarations() {
  local key='' line
  while IFS= read -r line; do
    line=${line%$'\r'}
    case $line in
      '[HKEY_LOCAL_MACHINE\SOFTWARE\Corvantis\Velmora\CustomSchemas\'*']')
        key=${line#'[HKEY_LOCAL_MACHINE\SOFTWARE\Corvantis\Velmora\CustomSchemas\'}
        key=${key%]} ;;
      '"'*'"="'*'"')
        local name=${line#\"}; name=${name%%\"=*}
        local data=${line#*\"=\"}; data=${data%\"}
        printf '%s\t%s\t%s\n' "$key" "$name" "$data" ;;
    esac
  done < "$root/pack/windows-search-x64.reg"
}

wxi() {
  echo '<Include>'
  local view
  for view in "${views[@]}"; do
    echo "  <DirectoryRef Id=\"InstallDir$view\">"
    echo "    <Directory Id=\"PackDir$view\" Name=\"pack\">"
    echo "      <Component Id=\"PackFiles$view\" Guid=\"$(guid "PackFiles$view")\" Win64=\"$(win64 "$view")\">"
    local file first=yes
    for file in "$root"/pack/*.txt; do
      file=$(basename "$file")
      local id=Pack${view}_${file//[^A-Za-z0-9]/_}
      echo "        <File Id=\"$id\" Name=\"$file\" Source=\"pack/$file\"$([ $first = yes ] && echo ' KeyPath="yes"')/>"
      first=no
    done
    echo "        <RemoveFolder Id=\"RemovePackDir$view\" On=\"uninstall\"/>"
    echo '      </Component>'
    echo "      <Component Id=\"PackDeclarations$view\" Guid=\"$(guid "PackDeclarations$view")\" Win64=\"$(win64 "$view")\">"
    local key name data current='' keypath=' KeyPath="yes"'
    while IFS=$'\t' read -r key name data; do
      if [ "$key" != "$current" ]; then
        [ -z "$current" ] || echo '        </RegistryKey>'
        echo "        <RegistryKey Root=\"HKLM\" Key=\"SOFTWARE\\Corvantis\\Velmora\\CustomSchemas\\$key\">"
        current=$key
      fi
      data=${data//'[PACKDIR]'/"[PackDir$view]"}
      echo "          <RegistryValue Name=\"$name\" Type=\"string\" Value=\"$data\"$keypath/>"
      keypath=''
    done < <(declarations)
    echo '        </RegistryKey>'
    echo '      </Component>'
    echo '    </Directory>'
    echo '  </DirectoryRef>'
  done
  # File-type keys are shared by both registry views: one component each.
  local view=${views[0]} type
  echo "  <DirectoryRef Id=\"InstallDir$view\">"
  for type in "${types[@]}"; do
    echo "    <Component Id=\"Type$(type_id "$type")\" Guid=\"$(guid "Type$type")\" Win64=\"$(win64 "$view")\">"
    echo "      <RegistryValue Root=\"HKLM\" Key=\"SOFTWARE\\Classes\\$type\\PersistentHandler\" Type=\"string\" Value=\"$handler\" KeyPath=\"yes\"/>"
    echo '    </Component>'
  done
  echo '  </DirectoryRef>'
  echo '  <Feature Id="WindowsSearchPack" Title="Windows Search property pack" Level="1">'
  for view in "${views[@]}"; do
    echo "    <ComponentRef Id=\"PackFiles$view\"/>"
    echo "    <ComponentRef Id=\"PackDeclarations$view\"/>"
  done
  echo '  </Feature>'
  echo '  <Feature Id="MoreFileTypes" Title="More file types" Level="1">'
  for type in "${types[@]}"; do echo "    <ComponentRef Id=\"Type$(type_id "$type")\"/>"; done
  echo '  </Feature>'
  echo '</Include>'
}

# Each type's component is installed only where the type has no persistent
# handler, or has Velmora's (a repair or an upgrade): AppSearch reads the
# handler before anything is written, into a property per type.
sql() {
  # wixl makes the AppSearch and RegLocator tables but sequences no search.
  echo "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('AppSearch', 50)"
  echo "INSERT INTO \`InstallUISequence\` (\`Action\`, \`Sequence\`) VALUES ('AppSearch', 50)"
  local type bits=0
  [ "${views[0]}" = 64 ] && bits=16  # msidbLocatorType64bit
  for type in "${types[@]}"; do
    local id
    id=$(type_id "$type")
    local property="HANDLER_${id^^}"
    echo "INSERT INTO \`AppSearch\` (\`Property\`, \`Signature_\`) VALUES ('$property', 'Handler$id')"
    # Root 2 = HKEY_LOCAL_MACHINE; Type 2 = the raw value.
    echo "INSERT INTO \`RegLocator\` (\`Signature_\`, \`Root\`, \`Key\`, \`Type\`) VALUES ('Handler$id', 2, 'SOFTWARE\\Classes\\$type\\PersistentHandler', $((2 + bits)))"
    echo "UPDATE \`Component\` SET \`Condition\` = 'NOT $property OR $property = \"$handler\"' WHERE \`Component\` = 'Type$id'"
  done
}

"$mode"
