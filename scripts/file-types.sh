#!/usr/bin/env bash
# The file types Velmora reads, from their one table (src/registration/FileTypes.inc),
# for the scripts and the tests:
#   file-types.sh [core|further|all]   one type a line: extension, MIME type,
#                                      group and registrar, tab-separated
#                                      (all when no set is named)
#   file-types.sh extensions [SET]     the extensions alone, one a line
#   file-types.sh handler              the persistent-handler identifier
#   file-types.sh filter               the filter class identifier
# Core types are the DLL's own registration (regsvr32); further types are the
# packages' "More file types" feature.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
table=$root/src/registration/FileTypes.inc

rows() {
  local set=${1:-all}
  sed -n 's/^VELMORA_FILE_TYPE("\([^"]*\)", *"\([^"]*\)", *\([A-Za-z]*\), *\([A-Za-z]*\))$/\1\t\2\t\3\t\4/p' "$table" |
    tr -d '\r' | awk -F'\t' -v set="$set" 'set == "all" || tolower($4) == set'
}

# The identifiers as the product header states them beside their constants.
identifier() {
  local what=$1 id
  id=$(sed -n "s|^// \\({[0-9A-F-]*}\\): the $what.*|\\1|p" "$root/src/common/Product.h")
  [ -n "$id" ] || { echo "file-types: no $what identifier in src/common/Product.h" >&2; exit 1; }
  echo "$id"
}

case ${1:-all} in
  core | further | all) rows "${1:-all}" ;;
  extensions) rows "${2:-all}" | cut -f1 ;;
  handler) identifier 'persistent handler' ;;
  filter) identifier 'filter class' ;;
  *) echo "usage: file-types.sh [core|further|all] | extensions [SET] | handler | filter" >&2; exit 1 ;;
esac
