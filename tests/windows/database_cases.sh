#!/usr/bin/env bash
# The Windows DLL against a real database under wine: the shared end-to-end cases
# (tests/e2e/cases.txt) through the case runner, then the sample host's installation check and a
# command, as an operator runs them. The DLL finds gds32.dll as the bridge to the native client
# library: its fake PE module beside the programs, its winelib code in WINEDLLPATH.
# Usage: database_cases.sh <wine> <mox_case_runner.exe> <plug-in dll> <mox-host.exe> <bridge dir>
#                          embedded|server <work dir>
# server needs MOX_TEST_SERVER and MOX_TEST_SYSDBA_PASSWORD; without them the test is skipped (77).
set -euo pipefail
wine=$1 runner=$2 plugin=$3 mox_host=$4 bridge=$5 access=$6 work=$7
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ "$access" = server ] && [ -z "${MOX_TEST_SERVER:-}" ]; then
  echo "skipped: no Firebird server (set MOX_TEST_SERVER=localhost and MOX_TEST_SYSDBA_PASSWORD)"
  exit 77
fi
password=${MOX_TEST_SYSDBA_PASSWORD:-embedded}
windows_path() { echo "Z:$1" | tr / '\\'; }
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work/cases" "$work/host"
# The database in a folder of its own that the server's user can reach (as the Linux tests do).
db_dir=$(mktemp -d)
trap 'rm -rf "$db_dir"' EXIT
bash "$root/examples/create_sample_db.sh" "$db_dir/settings.fdb" embedded >"$work/create.log" 2>&1
chmod 777 "$db_dir"
chmod 666 "$db_dir/settings.fdb"
attach=$db_dir/settings.fdb
if [ "$access" = server ]; then attach="$MOX_TEST_SERVER:$attach"; fi
export WINEDLLPATH=$bridge

# --- the shared cases ----------------------------------------------------------------------------
cp "$runner" "$work/cases/mox_case_runner.exe"
cp "$plugin" "$work/cases/apMoxSettingsManager_cases.dll"
cp "$bridge/gds32.dll" "$work/cases/"
(cd "$work/cases" && timeout 150 "$wine" ./mox_case_runner.exe "$(windows_path "$root/tests/e2e/cases.txt")" \
  "$(windows_path "$work/cases/apMoxSettingsManager_cases.dll")" "$attach" "$password" \
  "$(windows_path "$work/cases")" 2>&1 | tr -d '\r') || fail "the case runner failed"

# --- the sample host: --check, then a command ----------------------------------------------------
cp "$mox_host" "$work/host/mox-host.exe"
cp "$plugin" "$work/host/apMoxSettingsManager.dll"
cp "$bridge/gds32.dll" "$work/host/"
printf '[DB]\r\nDBFile=%s\r\nDBUser=SYSDBA\r\nDBPass=%s\r\nDBLang=WIN1251\r\n' "$attach" "$password" \
  >"$work/host/apMoxSettingsManager.ini"
status=0
out=$(cd "$work/host" && timeout 60 "$wine" ./mox-host.exe --check 2>&1 | tr -d '\r') || status=$?
echo "$out"
[ "$status" = 0 ] || fail "mox-host --check ended with status $status"
grep -qxF 'check passed: the plug-in answered a read-only command with success' <<<"$out" ||
  fail "mox-host --check did not pass"
status=0
out=$(cd "$work/host" && timeout 60 "$wine" ./mox-host.exe 'getdata ABC' 2>&1 | tr -d '\r') || status=$?
echo "$out"
[ "$status" = 0 ] || fail "mox-host 'getdata ABC' ended with status $status"
grep -qxF '#1 < code 1 MSG_GETDATABYID: ok, state 1' <<<"$out" || fail "no success reply to getdata"
grep -qxF '    text: "Alpha settings"' <<<"$out" || fail "no record text in the reply to getdata"

if [ "$failures" != 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "ok: the shared cases and the sample host passed ($access access)"
