#!/usr/bin/env bash
# Resident memory of the application server around large calls, as a
# benchmark (not a test): for bodies of about 1, 8 and 32 MB of the two
# shapes the screens send in bulk -- an import (GetImpLista, one row per line
# of the file) and a save (SetConvOrceve, a delta of new guests) -- it prints
# the server's idle size, the peak while the call was read and answered, and
# its size a few seconds after; then the peak and the size after 8 import
# bodies of 32 MB sent at once. The rows go to a list that does not exist,
# so the server reads the whole body and refuses it before writing anything.
#
#   bench/memory_after_calls.sh [BUILD_DIR [SERVER OPTION...]]   (default build-release)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD=${1:-$ROOT/build-release}
shift || true
# Any further argument goes to the server (--MaxBodyBytesInFlight=268435456).
SERVER_OPTIONS=("$@")
SERVER=$BUILD/bin/evt07800-server
[ -x "$SERVER" ] || { echo "no $SERVER: build it first" >&2; exit 2; }
WORK=$(mktemp -d /tmp/evt-memory.XXXXXX)
PORT=$((20000 + RANDOM % 30000))
trap 'kill "$PID" 2>/dev/null || true; rm -rf "$WORK"' EXIT

"$SERVER" --host 127.0.0.1 --port "$PORT" --db "$WORK/evt.db" "${SERVER_OPTIONS[@]}" >"$WORK/server.log" 2>&1 &
PID=$!
for _ in $(seq 1 100); do
  curl -sf "http://127.0.0.1:$PORT/evt07800.rdmListConv" >/dev/null 2>&1 && break
  sleep 0.1
done

kib() { awk -v k="$1" '$1 == k":" {print $2}' "/proc/$PID/status"; }
mb() { awk -v k="$1" 'BEGIN {printf "%.0f", k / 1024}'; }
reset_peak() { echo 5 >"/proc/$PID/clear_refs"; }

# A body of about $2 MB of the shape $1 (import or save).
body() {
  python3 - "$1" "$2" >"$WORK/body-$1-$2.json" <<'PY'
import json, sys
shape, target = sys.argv[1], int(sys.argv[2]) * 1000 * 1000
def fields(columns):
    return [{"name": n, "type": t, "size": s} for n, t, s in columns]
if shape == "import":
    columns = (("CDFILIAL", "string", 4), ("NRORCAEVENTO", "string", 10), ("NRSEQORCAEVE", "string", 2),
            ("NRRGLISTAOREV", "string", 20), ("NMLISTACONVOREV", "string", 80))
    row = '["0001","9999999999","01","%02d.%03d.%03d-%d","Convidado Número %06d da Silva Pereira"]'
    kind, key = "data", "rows"
else:
    columns = (("CDFILIAL", "string", 4), ("NRORCAEVENTO", "string", 10), ("NRSEQORCAEVE", "string", 2),
            ("NRLISTACONVOREV", "string", 5), ("IDTPTRATCONVESPEC", "string", 30),
            ("CDCLIENTELISTCONV", "string", 21), ("NRINSJURCLILISCONV", "string", 20),
            ("NMLISTACONVOREV", "string", 50), ("NRRGLISTAOREV", "string", 20),
            ("IDCONVPRESEOREV", "string", 1), ("IDCONDICAOCONVEV", "string", 20),
            ("NRTELCONVEVEN", "string", 25), ("NRCELCONVEVEN", "string", 25),
            ("DSEMAILCONVEVEN", "string", 50), ("IDTIPOCONVEVEN", "string", 10),
            ("IDEXIBECONVCONTRAT", "string", 1), ("NRORDEMEXIBCONTRAT", "string", 2),
            ("QUANTIDADE", "float", 0))
    row = ('{"status":"inserted","values":["0001","9999999999","01",null,"*","*","*",'
           '"Convidado Número %06d %02d.%03d.%03d-%d","*","N","*","*","*","*","NORMAL","N","*",1.0]}')
    kind, key = "delta", "changes"
rows, size, i = [], 0, 0
while size < target:
    r = row % (i % 100, i % 1000, (i * 7) % 1000, i % 10, i) if shape == "import" else \
        row % (i, i % 100, i % 1000, (i * 7) % 1000, i % 10)
    rows.append(r); size += len(r) + 1; i += 1
head = json.dumps({"format": "corvana.datapacket", "version": 1, "kind": kind,
                   "fields": fields(columns)})
sys.stdout.write('[{"$packet":' + head[:-1] + ',"' + key + '":[' + ",".join(rows) + ']}}]')
PY
}
call() {
  local method=GetImpLista
  [ "$1" = save ] && method=SetConvOrceve
  curl -s -o /dev/null -w '%{http_code}' -H 'Content-Type: application/json' \
    --data-binary "@$WORK/body-$1-$2.json" "http://127.0.0.1:$PORT/evt07800.rdmListConv/$method"
}

curl -s -o /dev/null -H 'Content-Type: application/json' -d '["0001"]' \
  "http://127.0.0.1:$PORT/evt07800.rdmListConv/GetOrcamento"
sleep 1
IDLE=$(kib VmRSS)
printf '%-22s %8s %10s %10s %12s\n' body "MB" "peak MB" "after MB" "answer"
printf '%-22s %8s %10s %10s %12s\n' idle "-" "-" "$(mb "$IDLE")" "-"
for shape in import save; do
  for size in 1 8 32; do
    body "$shape" "$size"
    bytes=$(stat -c %s "$WORK/body-$shape-$size.json")
    reset_peak
    code=$(call "$shape" "$size")
    sleep 3
    printf '%-22s %8.1f %10s %10s %12s\n' "$shape $size MB" \
      "$(awk -v b="$bytes" 'BEGIN {print b / 1e6}')" "$(mb "$(kib VmHWM)")" "$(mb "$(kib VmRSS)")" "$code"
  done
done
reset_peak
CALLS=()
for n in $(seq 1 8); do (call import 32 >"$WORK/codes.$n"; echo >>"$WORK/codes.$n") & CALLS+=($!); done
wait "${CALLS[@]}" || true
sleep 3
printf '%-22s %8s %10s %10s %12s\n' "8 x import 32 MB" "-" "$(mb "$(kib VmHWM)")" "$(mb "$(kib VmRSS)")" \
  "$(cat "$WORK"/codes.* | sort | uniq -c | awk '{printf "%sx%s ", $1, $2}')"
