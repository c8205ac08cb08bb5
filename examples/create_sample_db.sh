#!/bin/sh
# Creates the sample settings database (settings_db.sql) at an absolute path.
#
#   create_sample_db.sh <path> [embedded|server]
#
# embedded (default): the file is opened directly by this process; no server is needed.
# server: the database is created through the Firebird server on localhost, as SYSDBA with the
#   password in ISC_PASSWORD. The server opens the file as its own user (firebird), so the
#   folder must be writable and searchable by that user.
set -eu

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 <absolute path of the new database> [embedded|server]" >&2
  exit 2
fi
path=$1
mode=${2:-embedded}
case $path in
  /*) ;;
  *) echo "$0: the path must be absolute: $path" >&2; exit 2 ;;
esac

script_dir=$(cd "$(dirname "$0")" && pwd)
ISC_USER=SYSDBA
export ISC_USER

case $mode in
  embedded)
    name=$path
    # Embedded access takes any password.
    ISC_PASSWORD=${ISC_PASSWORD:-}
    ;;
  server)
    name=localhost:$path
    if [ -z "${ISC_PASSWORD:-}" ]; then
      echo "$0: set ISC_PASSWORD to the SYSDBA password of the server" >&2
      exit 2
    fi
    ;;
  *)
    echo "$0: unknown mode '$mode' (embedded or server)" >&2
    exit 2
    ;;
esac
export ISC_PASSWORD

if [ -e "$path" ]; then
  echo "$0: $path exists already" >&2
  exit 1
fi

# Single quotes inside the name are doubled for the SQL string literal. The password travels in
# the environment, never on a command line.
quoted=$(printf '%s' "$name" | sed "s/'/''/g")
printf "CREATE DATABASE '%s' PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1251;\n" "$quoted" |
  isql-fb -q -ch WIN1251 -bail

isql-fb -q -ch WIN1251 -bail -i "$script_dir/settings_db.sql" "$name"
