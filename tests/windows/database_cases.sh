#!/usr/bin/env bash
# The Windows DLL against a real database under wine: the shared end-to-end cases
# (tests/e2e/cases.txt) through the case runner, then the sample host's installation check and a
# command, as an operator runs them, and that command once more from a folder whose name holds
# characters the ANSI code page lacks. The DLL finds gds32.dll as the bridge to the native client
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

# --- the sample host in a folder whose name the ANSI code page (1252) holds only in part ----------
# As a service installed there: the plug-in and its settings beside the host, its log below it, a
# log-server client asked for in the host's ini file (under the library's name in UTF-8, as the
# code page cannot hold it) and missing, so that the log explains the load with the host's path.
export LC_ALL=C.UTF-8  # wine's Unix file names and command line in UTF-8
wide="$work/Hôte Хост службы 主机"
mkdir -p "$wide"
cp "$mox_host" "$wide/mox-host.exe"
cp "$plugin" "$wide/apMoxSettingsManager_Служба.dll"
cp "$bridge/gds32.dll" "$wide/"
printf '[DB]\r\nDBFile=%s\r\nDBPass=%s\r\n' "$attach" "$password" >"$wide/apMoxSettingsManager_Служба.ini"
printf '[Debug]\r\napMoxSettingsManager_Служба.dll=udp:127.0.0.1:9\r\n' >"$wide/mox-host.ini"
out=$(cd "$work" && timeout 60 "$wine" "$wide/mox-host.exe" --plugin \
  "$(windows_path "$wide/apMoxSettingsManager_Служба.dll")" 'getdata ABC' 2>&1 | tr -d '\r') || true
echo "$out"
grep -qxF '#1 < code 1 MSG_GETDATABYID: ok, state 1' <<<"$out" || fail "no success reply in \"$wide\""
grep -qxF 'DBTime=1200000' <(tr -d '\r' <"$wide/apMoxSettingsManager_Служба.ini") ||
  fail "the settings file in \"$wide\" was not rewritten"
log=$(find "$wide/Logs" -name '*_apMoxSettingsManager_Служба.dll.log' 2>/dev/null | head -1) || true
if [ -z "$log" ]; then
  fail "no log file below \"$wide/Logs\""
else
  # The log's bytes are the ANSI code page's: "ô" is the byte F4, the rest <U+XXXX>.
  shown="$(windows_path "$work")\\H$(printf '\xF4')te <U+0425><U+043E><U+0441><U+0442> <U+0441><U+043B><U+0443><U+0436><U+0431><U+044B> <U+4E3B><U+673A>\\"
  for line in 'WriteSettings:: OK' 'Init_Plugin: MoxSettingsManager_<U+0421><U+043B><U+0443><U+0436><U+0431><U+0430>' \
    "LogClient:: FAIL: LogClient.dll not loaded: ${shown}LogClient.dll: error 126"; do
    LC_ALL=C grep -qaF "$line" "$log" || fail "no line with \"$line\" in $log"
  done
fi

if [ "$failures" != 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "ok: the shared cases and the sample host passed ($access access)"
