#!/usr/bin/env bash
# start | stop | status of the local Firebird server (127.0.0.1:3050) that the tests use.
# "start" waits until the server accepts connections.
set -euo pipefail

listening() { (exec 3<>/dev/tcp/127.0.0.1/3050) 2>/dev/null; }

case "${1:-}" in
  start)
    if listening; then exit 0; fi
    /etc/init.d/firebird3.0 start >/dev/null
    for _ in $(seq 1 100); do
      if listening; then exit 0; fi
      sleep 0.1
    done
    echo "firebird-server: the server did not start listening on 127.0.0.1:3050" >&2
    exit 1
    ;;
  stop)
    /etc/init.d/firebird3.0 stop >/dev/null || true
    ;;
  status)
    listening
    ;;
  *)
    echo "usage: $0 start|stop|status" >&2
    exit 2
    ;;
esac
