#!/usr/bin/env bash
# Builds the .deb and the .tar.gz from a built tree (default: build/default), unpacks the .deb into
# a temporary root with dpkg -x, checks that every file is where the README says and how, and runs
# lintian on it: an error fails, warnings are shown. Prints one line per failed check.
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
expect() {  # PATH MODE
  [ "$(stat -c %a "$unpacked/$1" 2>/dev/null)" = "$2" ] || fail "/$1 missing or not mode $2"
}
lib=usr/lib/apMoxSettingsManager doc=usr/share/doc/apmoxsettingsmanager
for f in $lib/apMoxSettingsManager.so $lib/libLogClient.so usr/include/apMoxSettingsManager.h \
  $doc/README.md $doc/copyright $doc/changelog.gz $doc/examples/settings_db.sql; do
  expect "$f" 644
done
expect $doc/examples/apMoxSettingsManager.ini 600
grep -qx 'DBPass=CHANGE_ME' "$unpacked/$doc/examples/apMoxSettingsManager.ini" ||
  fail "the sample settings file has no password placeholder"
# The plug-in finds the log client beside itself.
readelf -d "$unpacked/$lib/apMoxSettingsManager.so" | grep 'RUNPATH.*\[\$ORIGIN\]' >/dev/null ||
  fail "the plug-in's run path is not \$ORIGIN"

version=$(sed -n 's/^project(apMoxSettingsManager VERSION \([0-9.]*\).*/\1/p' "$root_dir/CMakeLists.txt")
[ "$(dpkg-deb -f "$deb" Package) $(dpkg-deb -f "$deb" Version)" = "apmoxsettingsmanager $version" ] ||
  fail "package name or version (expected $version)"
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" == *libfbclient2* && "$depends" != *firebird3.0-server* ]] ||
  fail "dependencies: $depends"
tar_listing=$(tar -tzf "$tgz")
grep -q "/lib/apMoxSettingsManager/apMoxSettingsManager.so$" <<<"$tar_listing" ||
  fail "the .tar.gz lacks the plug-in"

lintian_status=0
lintian_output=$(lintian --fail-on error "$deb" 2>&1) || lintian_status=$?
grep -v 'running with root privileges' <<<"$lintian_output" || true
[ "$lintian_status" = 0 ] || fail "lintian reports errors"

[ "$failed" = 0 ] && echo "check-package: $(basename "$deb") and $(basename "$tgz") as documented"
exit "$failed"
