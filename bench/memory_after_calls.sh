#!/usr/bin/env bash
# Resident memory of the application server around large calls, as a
# benchmark (not a test): for import bodies of about 1, 8 and 30 MB (the
# shape the import screen sends: one row per line of the file) it prints the
# server's idle size, the peak while the call was read and answered, and its
# size a few seconds after; then the peak and the size after 8 such bodies
# sent at once. The lines go to a list that does not exist, so the server
# reads the whole body and refuses it before writing anything.
#
#   bench/memory_after_calls.sh [BUILD_DIR]      (default build-release)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD=${1:-$ROOT/build-release}
SERVER=$BUILD/bin/evt07800-server
[ -x "$SERVER" ] || { echo "no $SERVER: build it first" >&2; exit 2; }
WORK=$(mktemp -d /tmp/evt-memory.XXXXXX)
PORT=$((20000 + RANDOM % 30000))
trap 'kill "$PID" 2>/dev/null || true; rm -rf "$WORK"' EXIT

"$SERVER" --host 127.0.0.1 --port "$PORT" --db "$WORK/evt.db" >"$WORK/server.log" 2>&1 &
PID=$!
for _ in $(seq 1 100); do
  curl -sf "http://127.0.0.1:$PORT/evt07800.rdmListConv" >/dev/null 2>&1 && break
  sleep 0.1
done

kib() { awk -v k="$1" '$1 == k":" {print $2}' "/proc/$PID/status"; }
mb() { awk -v k="$1" 'BEGIN {printf "%.0f", k / 1024}'; }
reset_peak() { echo 5 >"/proc/$PID/clear_refs"; }

# An import body of about $1 MB.
body() {
  python3 - "$1" >"$WORK/body-$1.json" <<'PY'
import json, sys
target = int(sys.argv[1]) * 1000 * 1000
fields = [{"name": n, "type": "string", "size": s} for n, s in
          (("CDFILIAL", 4), ("NRORCAEVENTO", 10), ("NRSEQORCAEVE", 2),
           ("NRRGLISTAOREV", 20), ("NMLISTACONVOREV", 80))]
row = '["0001","9999999999","01","%02d.%03d.%03d-%d","Convidado Número %06d da Silva Pereira"]'
rows, size, i = [], 0, 0
while size < target:
    r = row % (i % 100, i % 1000, (i * 7) % 1000, i % 10, i)
    rows.append(r); size += len(r) + 1; i += 1
head = json.dumps({"format": "corvana.datapacket", "version": 1, "kind": "data", "fields": fields})
sys.stdout.write('[{"$packet":' + head[:-1] + ',"rows":[' + ",".join(rows) + ']}}]')
PY
}
call() {
  curl -s -o /dev/null -w '%{http_code}' -H 'Content-Type: application/json' \
    --data-binary "@$WORK/body-$1.json" "http://127.0.0.1:$PORT/evt07800.rdmListConv/GetImpLista"
}

curl -s -o /dev/null -H 'Content-Type: application/json' -d '["0001"]' \
  "http://127.0.0.1:$PORT/evt07800.rdmListConv/GetOrcamento"
sleep 1
IDLE=$(kib VmRSS)
printf '%-22s %8s %10s %10s %12s\n' body "MB" "peak MB" "after MB" "answer"
printf '%-22s %8s %10s %10s %12s\n' idle "-" "-" "$(mb "$IDLE")" "-"
for size in 1 8 30; do
  body "$size"
  bytes=$(stat -c %s "$WORK/body-$size.json")
  reset_peak
  code=$(call "$size")
  sleep 3
  printf '%-22s %8.1f %10s %10s %12s\n' "import $size MB" "$(awk -v b="$bytes" 'BEGIN {print b / 1e6}')" \
    "$(mb "$(kib VmHWM)")" "$(mb "$(kib VmRSS)")" "$code"
done
reset_peak
CALLS=()
for n in $(seq 1 8); do (call 30 >"$WORK/codes.$n" || true) & CALLS+=($!); done
wait "${CALLS[@]}" || true
sleep 3
printf '%-22s %8s %10s %10s %12s\n' "8 x import 30 MB" "-" "$(mb "$(kib VmHWM)")" "$(mb "$(kib VmRSS)")" \
  "$(cat "$WORK"/codes.* | sort | uniq -c | awk '{printf "%sx%s ", $1, $2}')"
