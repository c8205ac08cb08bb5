#!/usr/bin/env bash
# Checks a built DLL from outside: its export table holds exactly the expected entry points under
# their plain names (by default the plug-in's four), and it imports system DLLs only (the runtime
# is linked in statically).
# Usage: check_dll_tables.sh <objdump> <dll> [<expected exports, sorted, space-separated>]
set -euo pipefail
objdump=$1
dll=$2
expected=${3:-"Command_Plugin Finalize_Plugin GetName_Plugin Init_Plugin"}
dump=$("$objdump" -p "$dll")

# The names listed under "[Ordinal/Name Pointer] Table", one per line as "[ n] Name".
exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -nE 's/^[[:space:]]*\[ *[0-9]+\] (.*)$/\1/p' | sort | paste -sd ' ')
if [ "$exports" != "$expected" ]; then
  echo "FAIL: $dll exports [$exports], expected [$expected]"
  exit 1
fi

# Windows' own DLLs: the kernel, the C runtime every Windows ships, and the base API sets.
imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
if [ -z "$imports" ]; then
  echo "FAIL: $dll shows no import table"
  exit 1
fi
status=0
while read -r name; do
  case "${name,,}" in
    kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | ws2_32.dll | api-ms-win-*.dll) ;;
    *)
      echo "FAIL: $dll imports $name, which Windows does not ship"
      status=1
      ;;
  esac
done <<<"$imports"
[ "$status" = 0 ] || exit 1
echo "ok: $dll exports $exports; imports $(echo "$imports" | paste -sd ' ')"
