#!/usr/bin/env bash
# Runs its arguments (a test of the i686 build under wine) if this machine runs 32-bit Linux
# programs, as wine's 32-bit half is one. Where the kernel refuses them (IA-32 emulation off, as in
# some virtual machines: execve fails with ENOEXEC) the test is skipped (exit 77) with the reason.
# Usage: i686_gate.sh <wine's 32-bit loader> <command>...
loader=$1
shift
if ! reason=$("$loader" --version 2>&1); then
  echo "skipped: this machine does not run 32-bit programs: $loader --version: $reason"
  exit 77
fi
exec "$@"
