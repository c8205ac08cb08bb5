#!/usr/bin/env bash
# Installs, with apt-get, what building, testing and the demo need on Debian 12. Idempotent: a
# machine that has everything is left alone and nothing is downloaded.
set -euo pipefail

packages=(
  build-essential cmake ninja-build git binutils
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  # llvm-symbolizer, which the sanitizers call for their reports; clang only recommends it.
  llvm
  firebird-dev libfbclient2 firebird3.0-server firebird3.0-utils
  rsyslog tzdata dpkg-dev file lintian pkgconf
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 googletest
  # The Windows DLLs' database tests under wine: winegcc for the test's client library bridge, the
  # 32-bit half of wine and the 32-bit client library for the i686 DLL.
  wine64-tools libwine-dev:amd64 gcc-multilib wine32:i386 libwine-dev:i386 libfbclient2:i386
)

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: run as root (apt-get needs it), e.g. sudo $0" >&2
  exit 1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# The :i386 packages come from Debian's multiarch archive.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
