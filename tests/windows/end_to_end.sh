#!/usr/bin/env bash
# The Windows DLL end to end under wine, through a C host that loads it with LoadLibraryA: plug-in
# names of renamed copies, the settings file beside the DLL, the log file's path and line format,
# a start without any client library, FreeLibrary with and without Finalize_Plugin, process exit
# with the worker busy in a reply callback, the log-server client library beside the host, and
# the sample host mox-host.exe.
# Usage: end_to_end.sh <wine> <host.exe> <plug-in dll> <client stub dll> <log client stub dll>
#                      <mox-host.exe> <dir>
set -euo pipefail
wine=$1 host=$2 plugin=$3 client_stub=$4 log_client_stub=$5 mox_host=$6 work=$7
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# wine's name of a local path.
windows_path() { echo "Z:$1" | tr / '\\'; }
# Runs the host in folder $1 on DLL $2 with the given steps; its output goes to $out, and a host
# that neither ends nor exits cleanly within 60 s fails.
run_host() {
  local dir=$1 dll=$2
  shift 2
  local status=0
  out=$(cd "$dir" && timeout 60 "$wine" ./mox_test_host.exe "$(windows_path "$dir/$dll")" "$@" 2>&1 |
    tr -d '\r') || status=$?
  if [ "$status" != 0 ]; then fail "host in $dir ($dll: $*) ended with status $status: $out"; fi
}
expect_line() {
  if ! grep -qxF -- "$1" <<<"$out"; then fail "expected line [$1] in: $out"; fi
}

rm -rf "$work"
mkdir -p "$work/bare" "$work/stub"
for dir in bare stub; do cp "$host" "$work/$dir/mox_test_host.exe"; done

# --- names of renamed copies, each with its settings file beside it; no client library --------
while IFS='|' read -r file expected; do
  cp "$plugin" "$work/bare/$file"
  run_host "$work/bare" "$file" load getname init finalize free loaded
  expect_line "GetName_Plugin: $expected"
  expect_line "Init_Plugin: $expected"
  expect_line "loaded: no"
  ini="$work/bare/${file%.dll}.ini"
  [ -f "$ini" ] || fail "no settings file $ini beside $file"
done <<'TABLE'
apMoxSettingsManager.dll|MoxSettingsManager
apMoxSettingsManager_Two.dll|MoxSettingsManager_Two
plugin_x.y.dll|MoxSettingsManager_x
apMoxSettingsManager_.dll|MoxSettingsManager
a.b_c.dll|MoxSettingsManager
TABLE
grep -q '^\[' "$work/bare/apMoxSettingsManager.ini" || fail "settings file without a section"

# --- no client library: the exact error, then the panic line for commands; log path and format
run_host "$work/bare" apMoxSettingsManager.dll load init command finalize free loaded
expect_line "loaded: no"
log=$(find "$work/bare/Logs" -name '*_apMoxSettingsManager.dll.log' 2>/dev/null | sort | tail -n 1 || true)
if ! [[ "$log" =~ /Logs/[0-9]{4}_[0-9]{2}_[0-9]{2}/[0-9]{2}_apMoxSettingsManager\.dll\.log$ ]]; then
  fail "log file [$log] not at Logs/YYYY_MM_DD/HH_apMoxSettingsManager.dll.log"
else
  [[ "$log" == *"/Logs/$(date +%Y_%m_%d)/"* ]] || fail "log file [$log] not under today's folder"
  text="InterBase library gds32.dll not found in the path. Please install InterBase to use this functionality"
  grep -qF "$text" "$log" || fail "no [$text] in $log"
  grep -qF "PLUGIN PANIC: Plugin is not initialized!" "$log" || fail "no panic line in $log"
  bad=$(grep -cvE $'^[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} .*\r$' "$log" || true)
  [ "$bad" = 0 ] || fail "$bad lines of $log not as 'HH:NN:SS.ZZZ text' CR LF: $(cat -A "$log" | head)"
fi

# --- a client library (stub) and a log server client beside the host --------------------------
cp "$plugin" "$work/stub/apMoxSettingsManager.dll"
cp "$client_stub" "$work/stub/gds32.dll"
cp "$log_client_stub" "$work/stub/LogClient.dll"
record="$work/stub/log-server.txt"
printf '[Debug]\r\napMoxSettingsManager.dll=%s\r\n' "$(windows_path "$record")" \
  >"$work/stub/mox_test_host.ini"

# Finalize_Plugin, then FreeLibrary: the DLL really goes (the worker dropped its reference), and
# the libraries it loaded go with it.
run_host "$work/stub" apMoxSettingsManager.dll load init command reply loaded=gds32.dll finalize \
  free loaded loaded=gds32.dll loaded=LogClient.dll
expect_line "reply: tag=7 user=99 length=1 code=1 name=MoxSettingsManager"
expect_line "gds32.dll loaded: yes"
expect_line "loaded: no"
expect_line "gds32.dll loaded: no"
expect_line "LogClient.dll loaded: no"
grep -qF "DLL_Initialize|$(windows_path "$record")|500" "$record" || fail "no DLL_Initialize in $record"
grep -qF "DLL_MessageToLogServer|apMoxSettingsManager.dll|Init_Plugin: MoxSettingsManager" \
  "$record" || fail "no Init_Plugin line sent to the log server: $(cat "$record")"
grep -qx "DLL_Finalize||" "$record" || fail "no DLL_Finalize in $record"
[ -z "$(find "$work/stub" -name '*.log')" ] || fail "lines the log server took went to a file too"

# Without gds32.dll the client library is found as fbclient.dll.
mkdir -p "$work/fbclient"
cp "$host" "$work/fbclient/mox_test_host.exe"
cp "$plugin" "$work/fbclient/apMoxSettingsManager.dll"
cp "$client_stub" "$work/fbclient/fbclient.dll"
run_host "$work/fbclient" apMoxSettingsManager.dll load init command reply finalize free loaded
expect_line "reply: tag=7 user=99 length=1 code=1 name=MoxSettingsManager"
expect_line "loaded: no"

# FreeLibrary without Finalize_Plugin: the DLL stays (its worker holds it); the exit is clean.
run_host "$work/stub" apMoxSettingsManager.dll load init command reply free loaded
expect_line "FreeLibrary: ok"
expect_line "loaded: yes"
expect_line "exit"

# Process exit while the worker is blocked in a reply callback: nothing waits for it.
run_host "$work/stub" apMoxSettingsManager.dll load init hold command held
expect_line "held: yes"
expect_line "exit"

# The sample host finds the DLL beside itself and prints the failure reply decoded.
cp "$mox_host" "$work/stub/mox-host.exe"
out=$(cd "$work/stub" && timeout 60 "$wine" ./mox-host.exe 'getdata 42' 2>&1 | tr -d '\r' || true)
expect_line "name: MoxSettingsManager"
grep -qF '#1 < code 1 MSG_GETDATABYID: failed, see Logs\' <<<"$out" ||
  fail "mox-host did not print the failure reply with its log file: $out"
# Its help speaks of this system: the DLL, a Windows path, cmd.exe's quotes.
out=$(timeout 60 "$wine" "$work/stub/mox-host.exe" --help 2>&1 | tr -d '\r' || true)
for part in 'Default: apMoxSettingsManager.dll' '--check C:\Host\Plugins\apMoxSettingsManager.dll' \
  'mox-host "blockings-setlink \"OfficeID=Main office\",BlockNumber'; do
  grep -qF -- "$part" <<<"$out" || fail "mox-host --help lacks [$part]"
done
! grep -qF '.so' <<<"$out" || fail "mox-host --help names a .so: $out"

if [ "$failures" != 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "ok: Windows end-to-end checks passed"
