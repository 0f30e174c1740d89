#!/bin/bash
# Browser sessions at scale: starts vekweb on the receiving demo and drives it with web_load, a fresh
# gateway for each run, first at operator speed and then as fast as acknowledged.
#
#   bench/web_load.sh [BUILD_DIR]                      (default build/default)
#
# The environment chooses the runs: OPERATOR="50 200 1000" and FAST="50 200 1000" (session counts),
# SECONDS_MEASURED=30, KEY_MS=300 (operator speed), RAMP=100 (sessions opened a second), PORT=18480,
# VEKWEB (the gateway; default the one in BUILD_DIR).
# Each run prints web_load's report; the last line of each is a row of the table in docs/PERFORMANCE.md.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
vekweb=${VEKWEB:-$build/gateway/vekweb}
load=$build/bench/web_load
for program in "$vekweb" "$load" "$build/host/vekhost"; do
  [ -x "$program" ] || { echo "web_load.sh: $program is missing: build first" >&2; exit 2; }
done

operator=${OPERATOR-50 200 1000}
fast=${FAST-50 200 1000}
seconds=${SECONDS_MEASURED:-30}
key_ms=${KEY_MS:-300}
ramp=${RAMP:-100}
port=${PORT:-18480}

status=0
work=$(mktemp -d)
gateway=
stop_gateway() {
  if [ -n "$gateway" ]; then
    kill -TERM "$gateway" 2>/dev/null || true
    wait "$gateway" 2>/dev/null || true
    gateway=
  fi
}
trap 'stop_gateway; rm -rf "$work"' EXIT INT TERM

# A data directory of its own: the demo's help file and location list, the journals of the run.
cp "$build/examples/receiving/HELP.VAL" "$build/examples/receiving/LOCS.VAL" "$work/"
head -c 16 /dev/urandom | od -An -tx1 | tr -d ' \n' >"$work/token"
ulimit -n "$(ulimit -Hn)"

# One run: a fresh gateway, N sessions, the report.
run() {
  sessions=$1
  shift
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    echo "web_load.sh: something already listens on port $port: set PORT" >&2
    exit 2
  fi
  "$vekweb" --listen "127.0.0.1:$port" --program "$root/examples/receiving/receiving.lua" --data "$work" \
    --token-file "$work/token" --max-sessions "$((sessions + 10))" --grace 60 2>>"$work/vekweb.log" &
  gateway=$!
  tries=0
  until (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do
    tries=$((tries + 1))
    if [ "$tries" -ge 100 ] || ! kill -0 "$gateway" 2>/dev/null; then
      echo "web_load.sh: vekweb does not listen:" >&2
      tail -3 "$work/vekweb.log" >&2
      exit 1
    fi
    sleep 0.1
  done
  "$load" --port "$port" --token-file "$work/token" --pid "$gateway" --sessions "$sessions" \
    --seconds "$seconds" --key-ms "$key_ms" --ramp "$ramp" "$@" || status=1
  stop_gateway
  echo
}

for n in $operator; do run "$n"; done
for n in $fast; do run "$n" --fast; done
exit $status
