#!/usr/bin/env bash
# Under wine: client libraries and a log client planted in the current directory and in PATH are
# not loaded, and the log explains the missing and the other architecture's client library.
# Usage: library_search.sh <wine> <host> <plug-in> <client stub> <log client stub>
#                          <a DLL of the other architecture> <the plug-in's bits: 32 or 64> <dir>
set -euo pipefail
wine=$1 host=$2 plugin=$3 client_stub=$4 log_client_stub=$5 other_arch_dll=$6 bits=$7 work=$8
win() { echo "Z:$1" | tr / '\\'; }
fail() { echo "FAIL: $*" && exit 1; }
rm -rf "$work"
# Case | the other architecture's DLL's name beside the host | the explanation's pattern
while IFS='|' read -r case beside expected; do
  dir="$work/$case"
  mkdir -p "$dir/host" "$dir/plugin" "$dir/cwd" "$dir/path"
  cp "$host" "$dir/host/"
  cp "$plugin" "$dir/plugin/apMoxSettingsManager.dll"
  [ -z "$beside" ] || cp "$other_arch_dll" "$dir/host/$beside"
  for name in gds32.dll fbclient.dll; do cp "$client_stub" "$dir/cwd/$name"; done
  cp "$log_client_stub" "$dir/cwd/LogClient.dll"
  cp "$dir"/cwd/* "$dir/path/"
  printf '[Debug]\r\napMoxSettingsManager.dll=%s\r\n' "$(win "$dir/record")" \
    >"$dir/host/$(basename "${host%.exe}").ini"
  out=$(cd "$dir/cwd" && WINEPATH="$(win "$dir/path")" timeout 60 "$wine" \
    "$dir/host/$(basename "$host")" "$(win "$dir/plugin/apMoxSettingsManager.dll")" load init \
    loaded=gds32.dll loaded=fbclient.dll loaded=LogClient.dll finalize free </dev/null 2>&1 |
    tr -d '\r') || fail "$case: $out"
  [ "$(grep -c ' loaded: no$' <<<"$out")" = 3 ] || fail "$case: a planted DLL was loaded: $out"
  [ ! -e "$dir/record" ] || fail "$case: the planted LogClient.dll was initialised"
  log=$(cat "$dir"/host/Logs/*/*.log | tr -d '\r' | cut -c14-)
  looked="Z:.*\\\\$case\\\\host\\\\ \(the host's folder\) and C:\\\\windows\\\\system32\\\\ \("
  grep -qxE "Init_Plugin:: FAIL: tried gds32\.dll: ${expected/BITS/$bits}; looked in ${looked}the system folder\)" \
    <<<"$log" || fail "$case: no explanation [$expected] in: $log"
done <<'TABLE'
missing||error 126 \(.+\); fbclient\.dll: error 126 \(.+\)
other-arch|gds32.dll|error 193 \(.+\), built for another architecture: this DLL is BITS-bit; fbclient\.dll: error 126 \(.+\)
TABLE
echo "ok: libraries come only from the host's folder and the system folder"
