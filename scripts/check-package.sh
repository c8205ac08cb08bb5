#!/usr/bin/env bash
# Builds the .deb and the .tar.gz from a built tree (default: build/default), unpacks the .deb into
# a temporary root with dpkg -x, checks that every file is where the README says and how, and runs
# lintian on it: any error fails. Prints one line per failed check.
set -euo pipefail

build_dir=$(cd "${1:-build/default}" && pwd)
root_dir=$(cd "$(dirname "$0")/.." && pwd)
if ! cpack_output=$(cd "$build_dir" && rm -rf packages && cpack 2>&1); then
  echo "$cpack_output" >&2
  exit 1
fi
deb=$(echo "$build_dir"/packages/*.deb)
tgz=$(echo "$build_dir"/packages/*.tar.gz)
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg -x "$deb" "$unpacked"

failed=0
fail() { echo "check-package: $*" >&2; failed=1; }
# expect PATH MODE: the file exists in the package with that mode.
expect() {
  local mode
  mode=$(stat -c %a "$unpacked/$1" 2>/dev/null) || { fail "missing: /$1"; return; }
  [ "$mode" = "$2" ] || fail "/$1 has mode $mode, not $2"
}

plugin_dir=usr/lib/apMoxSettingsManager
doc_dir=usr/share/doc/apmoxsettingsmanager
expect "$plugin_dir/apMoxSettingsManager.so" 644
expect "$plugin_dir/libLogClient.so" 644
expect usr/include/apMoxSettingsManager.h 644
for f in README.md copyright changelog.gz examples/settings_db.sql; do expect "$doc_dir/$f" 644; done
expect "$doc_dir/examples/apMoxSettingsManager.ini" 600
grep -qx 'DBPass=CHANGE_ME' "$unpacked/$doc_dir/examples/apMoxSettingsManager.ini" ||
  fail "the sample settings file has no password placeholder"

# The plug-in finds the log client beside itself; each library exports its interface only.
readelf -d "$unpacked/$plugin_dir/apMoxSettingsManager.so" | grep -q 'RUNPATH.*\[\$ORIGIN\]' ||
  fail "the plug-in's run path is not \$ORIGIN"
exports() { nm -D --defined-only "$1" | awk '$2 == "T" {print $3}' | sort | paste -sd ' '; }
[ "$(exports "$unpacked/$plugin_dir/apMoxSettingsManager.so")" = \
  "Command_Plugin Finalize_Plugin GetName_Plugin Init_Plugin" ] || fail "plug-in exports"
[ "$(exports "$unpacked/$plugin_dir/libLogClient.so")" = \
  "DLL_Finalize DLL_Initialize DLL_MessageToLogServer" ] || fail "log client exports"

# Name, version from project(), the client library but not the server.
version=$(sed -n 's/^project(apMoxSettingsManager VERSION \([0-9.]*\).*/\1/p' "$root_dir/CMakeLists.txt")
[ "$(dpkg-deb -f "$deb" Package)" = apmoxsettingsmanager ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" == *libfbclient2* ]] || fail "no dependency on libfbclient2: $depends"
[[ "$depends" != *firebird3.0-server* ]] || fail "depends on the server: $depends"

tar_listing=$(tar -tzf "$tgz")
grep -q "/lib/apMoxSettingsManager/apMoxSettingsManager.so$" <<<"$tar_listing" ||
  fail "the .tar.gz lacks the plug-in"

# Warnings are shown but pass (the 0600 sample file is one, on purpose).
lintian_status=0
lintian_output=$(lintian --fail-on error "$deb" 2>&1) || lintian_status=$?
grep -v 'running with root privileges' <<<"$lintian_output" || true
[ "$lintian_status" = 0 ] || fail "lintian reports errors"

[ "$failed" = 0 ] && echo "check-package: $(basename "$deb") and $(basename "$tgz") as documented"
exit "$failed"
