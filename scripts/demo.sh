#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root) and runs the demo: installs what is missing, builds
# the plug-in and the sample host, creates the sample settings database (embedded access, no
# server needed) in demo-work/, writes the plug-in's settings file beside a copy of the plug-in,
# and sends all six commands through the sample host, printing each reply and the log file.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

echo "== build"
cmake --preset default >/dev/null
cmake --build --preset default --target apMoxSettingsManager mox-host

work="$root/demo-work"
rm -rf "$work"
mkdir -p "$work"
# The host's copy of the plug-in, with its settings file beside it; the sample host beside them,
# so that the plug-in's Logs folder (under the host executable's folder) lands in demo-work too.
cp build/default/src/plugin/apMoxSettingsManager.so "$work/"
cp build/default/tools/mox-host "$work/"

echo "== sample database: $work/settings.fdb"
bash examples/create_sample_db.sh "$work/settings.fdb" embedded

# It holds the database password: readable by its owner only.
(umask 077 && cat > "$work/apMoxSettingsManager.ini") <<INI
[DB]
DBFile=$work/settings.fdb
DBUser=SYSDBA
DBPass=masterkey
DBLang=WIN1251
DBTime=1200000
Protocol=1
INI

echo "== commands (examples/demo-commands.txt)"
status=0
"$work/mox-host" --plugin "$work/apMoxSettingsManager.so" --script examples/demo-commands.txt ||
  status=$?

echo
echo "== log written by the plug-in"
find "$work/Logs" -type f -name '*.log' | sort | while read -r log; do
  echo "$log"
  sed 's/\r$//; s/^/    /' "$log"
done
exit "$status"
