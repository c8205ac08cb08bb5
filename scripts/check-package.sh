#!/usr/bin/env bash
# Builds the .deb and the .tar.gz from a built tree (default: build/default), unpacks the .deb into
# a temporary root with dpkg -x, checks that every file is where the README says and how, builds
# the example host with the package's pkg-config file and runs it with the package's plug-in on
# the sample database, and runs lintian on it: an error fails, warnings are shown. Prints one line
# per failed check.
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
pc_dir=usr/share/pkgconfig
for f in $lib/apMoxSettingsManager.so $lib/libLogClient.so usr/include/apMoxSettingsManager.h \
  $pc_dir/apmoxsettingsmanager.pc usr/share/man/man1/mox-host.1.gz \
  $doc/README.md $doc/copyright $doc/changelog.gz $doc/examples/settings_db.sql \
  $doc/examples/minimal_host.c; do
  expect "$f" 644
done
expect usr/bin/mox-host 755
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
# The .tar.gz holds the same files, under its top folder instead of /usr.
deb_files=$(cd "$unpacked/usr" && find . -type f | sed 's|^\./||' | sort)
tgz_files=$(tar -tzf "$tgz" | grep -v '/$' | sed 's|^[^/]*/||' | sort)
[ "$deb_files" = "$tgz_files" ] || fail "the .tar.gz holds other files than the .deb:" \
  "$(diff <(echo "$deb_files") <(echo "$tgz_files") | grep '^[<>]' | tr '\n' ' ')"

# The example host, built as an integrator would from the package's header and pkg-config file
# alone (the system's pkg-config folders are not searched), run with the package's plug-in.
pc() { PKG_CONFIG_LIBDIR="$unpacked/$pc_dir" pkg-config "$@" apmoxsettingsmanager; }
if ! cflags=$(pc --cflags) || [[ "$cflags" != *"$unpacked"* ]]; then
  fail "pkg-config gives no flags into the package: $cflags"
elif ! cc -std=c99 -Wall -Wextra -Werror $cflags "$unpacked/$doc/examples/minimal_host.c" \
  -o "$unpacked/minimal_host" $(pc --libs); then
  fail "the example host does not build with the package's pkg-config flags"
else
  plugin=$(pc --variable=plugindir)/apMoxSettingsManager.so
  bash "$root_dir/examples/create_sample_db.sh" "$unpacked/settings.fdb" embedded >/dev/null
  printf '[DB]\nDBFile=%s\nDBUser=SYSDBA\nDBLang=WIN1251\n' "$unpacked/settings.fdb" \
    >"${plugin%.so}.ini"
  host_output=$("$unpacked/minimal_host" "$plugin" XYZ 2>&1) || true
  [[ "$host_output" == *$'\nMoxSettingsManager: record XYZ has state 1' ]] ||
    fail "the example host built from the package: $host_output"
fi

lintian_status=0
lintian_output=$(lintian --fail-on error "$deb" 2>&1) || lintian_status=$?
grep -v 'running with root privileges' <<<"$lintian_output" || true
[ "$lintian_status" = 0 ] || fail "lintian reports errors"

[ "$failed" = 0 ] && echo "check-package: $(basename "$deb") and $(basename "$tgz") as documented"
exit "$failed"
