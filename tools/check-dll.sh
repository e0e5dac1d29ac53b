#!/usr/bin/env bash
# Fails unless the DLL imports nothing but system DLLs (no C++ or GCC runtime
# DLLs beside it) and exports exactly the COM server's entry points.
# usage: check-dll.sh OBJDUMP DLL
set -euo pipefail
objdump=$1
dll=$2
dump=$("$objdump" -p "$dll")

allowed='^(kernel32|advapi32|ole32|oleaut32|shlwapi|msvcrt|user32|shell32|gdi32|rpcrt4|api-ms-win-.*)\.dll$'
status=0
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
[ -n "$imports" ] || { echo "no imports found in $dll"; exit 1; }
while read -r name; do
  if ! grep -qiE "$allowed" <<<"$name"; then
    echo "not a system DLL: $name"
    status=1
  fi
done <<<"$imports"

expected="DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer SpsTiffRegister SpsTiffUnregister"
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$exports" != "$expected" ]; then
  echo "exports: '$exports'"
  echo "expected: '$expected'"
  status=1
fi
echo "imports: $(tr '\n' ' ' <<<"$imports")"
exit $status
