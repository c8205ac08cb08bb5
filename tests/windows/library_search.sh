#!/usr/bin/env bash
# Where the Windows DLL loads its libraries from, under wine: client libraries and a log client
# planted in the host's current directory and in a PATH folder are never loaded, and a client
# library that does not load is explained in the log: each name with its error, a DLL of the
# other architecture called so, and where the plug-in looked.
# Usage: library_search.sh <wine> <host.exe> <plug-in dll> <client stub dll>
#                          <client stub dll of the other architecture> <log client stub dll> <dir>
set -euo pipefail
wine=$1 host=$2 plugin=$3 client_stub=$4 other_arch_stub=$5 log_client_stub=$6 work=$7
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
windows_path() { echo "Z:$1" | tr / '\\'; }

rm -rf "$work"
# Each case: its folder; what lies beside the host; the log lines expected (extended regular
# expressions, one per line).
while IFS='|' read -r case beside expected; do
  dir="$work/$case"
  mkdir -p "$dir/host" "$dir/plugin" "$dir/cwd" "$dir/path"
  cp "$host" "$dir/host/mox_test_host.exe"
  cp "$plugin" "$dir/plugin/apMoxSettingsManager.dll"
  [ -z "$beside" ] || cp "$other_arch_stub" "$dir/host/$beside"
  # Stand-ins that would work, where the plug-in must not look.
  for folder in cwd path; do
    cp "$client_stub" "$dir/$folder/gds32.dll"
    cp "$client_stub" "$dir/$folder/fbclient.dll"
    cp "$log_client_stub" "$dir/$folder/LogClient.dll"
  done
  record="$dir/log-server.txt"
  printf '[Debug]\r\napMoxSettingsManager.dll=%s\r\n' "$(windows_path "$record")" \
    >"$dir/host/mox_test_host.ini"
  out=$(cd "$dir/cwd" && WINEPATH="$(windows_path "$dir/path")" timeout 60 "$wine" \
    "$dir/host/mox_test_host.exe" "$(windows_path "$dir/plugin/apMoxSettingsManager.dll")" \
    load init loaded=gds32.dll loaded=fbclient.dll loaded=LogClient.dll finalize free 2>&1 </dev/null |
    tr -d '\r') || fail "$case: host failed: $out"
  for name in gds32.dll fbclient.dll LogClient.dll; do
    grep -qxF "$name loaded: no" <<<"$out" || fail "$case: $name loaded from a planted copy: $out"
  done
  [ ! -e "$record" ] || fail "$case: the planted LogClient.dll was initialised"
  log=$(cat "$dir"/host/Logs/*/*_apMoxSettingsManager.dll.log 2>/dev/null | tr -d '\r' | cut -c14-)
  while read -r line; do
    grep -qxE -- "$line" <<<"$log" || fail "$case: no line matching [$line] in: $log"
  done <<<"${expected//;;/$'\n'}"
done <<TABLE
missing||Init_Plugin:: FAIL: InterBase library gds32\.dll not found in the path\. Please install InterBase to use this functionality;;Init_Plugin:: FAIL: tried gds32\.dll: error 126 \(.+\); fbclient\.dll: error 126 \(.+\); looked in Z:.*\\\\host\\\\ \(the host's folder\) and C:\\\\windows\\\\system32\\\\ \(the system folder\);;LogClient:: FAIL: LogClient\.dll not loaded: Z:.*\\\\host\\\\LogClient\.dll: error 126 \(.+\); LogClient\.dll: error 126 \(.+\); lines go to the log files
other-arch|gds32.dll|Init_Plugin:: FAIL: tried gds32\.dll: error 193 \(.+\), built for another architecture: this DLL is 64-bit; fbclient\.dll: error 126 \(.+\); looked in .*
TABLE

if [ "$failures" != 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "ok: libraries come only from the host's folder and the system folder"
