#!/bin/sh
# The shipper measured against a PostgreSQL server of its own (started here, as the tests do, and
# stopped at the end):
#  1. rows per second from journals to the table: vekship --once over ROWS lines of 20 terminals,
#     beside psql's \copy of the same rows into a table of the same definition, in the same run;
#  2. the time from _TransactionMsg returning to the row being taken by a listener of the table's
#     channel, at SESSIONS terminals sending one message every EVERY_MS on average (vekship_latency).
# Run from the repository after a build: bench/ship_bench.sh [build/default]
set -eu
build="$(cd "${1:-build/default}" && pwd)"
rows="${ROWS:-200000}" sessions="${SESSIONS:-1000}" every_ms="${EVERY_MS:-5000}" seconds="${SECONDS_RUN:-30}"
bin="$(ls -d /usr/lib/postgresql/*/bin | tail -n 1)"
work="$(mktemp -d /tmp/vekship-bench-XXXXXX)"
run_pg() { if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
[ "$(id -u)" -ne 0 ] || chown postgres "$work"
run_pg "$bin/initdb" -D "$work/db" -U postgres -A trust -N >/dev/null
run_pg "$bin/postgres" -D "$work/db" -k "$work" -c listen_addresses= -c max_connections=20 \
  >"$work/server.log" 2>&1 &
server=$!
# A server started in the background ignores SIGINT; pg_ctl asks it for a fast shutdown.
trap 'run_pg "$bin/pg_ctl" -D "$work/db" -m fast -w stop >/dev/null; wait $server; rm -rf "$work"' EXIT
export PGHOST="$work" PGUSER=postgres PGDATABASE=postgres
until psql -qAtc 'SELECT 1' >/dev/null 2>&1; do sleep 0.2; done

echo "== throughput: $rows journal lines of 20 terminals"
mkdir -p "$work/data/journal"
awk -v rows="$rows" -v dir="$work/data/journal" 'BEGIN {
  for (i = 0; i < rows; ++i) {
    t = i % 20; seq = int(i / 20) + 1
    printf "2019-03-14 09:26:53 hh-%d %d 1 54TRANMSG Y RCV 04012357 12.50 AB-1234 31-12-2020 A%05d\n", t, seq, seq \
      > (dir "/hh-" t ".log")
  }
}'
# The same rows as COPY reads them, into a table of the same definition.
cat "$work"/data/journal/*.log | awk -v host="$(hostname)" '{
  record = $0; for (f = 1; f <= 5; ++f) sub(/^[^ ]* /, "", record)
  gsub(/\\/, "\\\\", record)
  printf "%s\t%s\t%s %s\t%s\t%s\t%s\n", $3, $4, $1, $2, $5, record, host
}' >"$work/rows.tsv"
"$build/ship/vekship" --print-schema | sed 's/vek_transaction/copy_reference/g' | psql -q
sync  # both start with the rows on disk and nothing else to write
start=$(date +%s.%N)
"$build/ship/vekship" --data "$work/data" --once --batch "${BATCH:-5000}" --log "$work/ship.log"
ship_s=$(echo "$(date +%s.%N) - $start" | bc)
[ "$(psql -qAtc 'SELECT count(*) FROM vek_transaction')" = "$rows" ] || { echo "rows missing"; exit 1; }

start=$(date +%s.%N)
psql -qc "\\copy copy_reference (terminal, sequence, terminal_time, flag, record, server) FROM '$work/rows.tsv'"
copy_s=$(echo "$(date +%s.%N) - $start" | bc)
echo "vekship: $(echo "$rows / $ship_s" | bc) rows/s ($ship_s s)"
echo "COPY:    $(echo "$rows / $copy_s" | bc) rows/s ($copy_s s)"
echo "ratio:   $(echo "scale=2; $copy_s / $ship_s" | bc)"

echo "== latency: $sessions sessions, one message each $every_ms ms on average, $seconds s"
psql -qc CHECKPOINT  # the bulk rows of the first part on disk: the second measures a server at rest
mkdir -p "$work/live/journal"
"$build/ship/vekship" --data "$work/live" --log "$work/live.log" &
shipper=$!
"$build/ship/vekship_latency" --data "$work/live" --sessions "$sessions" --every-ms "$every_ms" \
  --seconds "$seconds" || status=$?
kill "$shipper"
wait "$shipper" 2>/dev/null || true
exit "${status:-0}"
