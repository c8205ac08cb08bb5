#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root) and runs the whole test suite:
# installs what is missing, starts a Firebird server on loopback for the run (stopped again
# afterwards if this script started it), builds, and runs every test with CTest.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

started_server=0
if ! bash scripts/firebird-server.sh status; then
  bash scripts/firebird-server.sh start
  started_server=1
fi
cleanup() {
  if [ "$started_server" = 1 ]; then bash scripts/firebird-server.sh stop; fi
}
trap cleanup EXIT

# The tests reach the server as SYSDBA with the password the package generated.
# shellcheck disable=SC1091
. /etc/firebird/3.0/SYSDBA.password
export MOX_TEST_SERVER=localhost
export MOX_TEST_SYSDBA_PASSWORD="$ISC_PASSWORD"
export MOX_TEST_SERVER_RESTART=1

jobs=$(nproc)

echo "== build (preset: default)"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"

echo "== tests (preset: default)"
ctest --preset default -j "$jobs"
