#!/usr/bin/env bash
# Starts or stops the fixture web server for a test run (a CTest fixture).
#   server_ctl.sh start DIR PORT [ROOT [OPTION...]]
#                                         serves ROOT (tests/http/sites by default), logs to
#                                         DIR/requests.log; HTTPS through CONNECT with the
#                                         test CA and certificates in DIR/tls (CA: ca.pem,
#                                         ca.der), made there when missing; OPTIONs go to the
#                                         server (--connect-delay MS --answer-delay MS
#                                         --counters FILE)
#   server_ctl.sh stop DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
dir=$2
case $1 in
  start)
    mkdir -p "$dir"
    [ -f "$dir/server.pid" ] && kill "$(cat "$dir/server.pid")" 2>/dev/null || true
    : > "$dir/requests.log"
    port=$3 root=${4:-$here/sites}
    shift $(( $# < 4 ? $# : 4 ))
    nohup python3 "$here/fixture_server.py" --root "$root" --port "$port" \
      --log "$dir/requests.log" --pid "$dir/server.pid" --tls "$dir/tls" "$@" > "$dir/server.out" 2>&1 &
    for _ in $(seq 300); do
      grep -q ready "$dir/server.out" 2>/dev/null && exit 0
      sleep 0.1
    done
    echo "fixture server did not start"; cat "$dir/server.out"; exit 1 ;;
  stop)
    [ -f "$dir/server.pid" ] && kill "$(cat "$dir/server.pid")" 2>/dev/null || true
    rm -f "$dir/server.pid" ;;
esac
