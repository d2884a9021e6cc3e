#!/usr/bin/env bash
# The PostgreSQL backup of docs/server.md, run as written on the throwaway
# cluster of EVT_TEST_POSTGRESQL (./dev test starts one): a database the
# server made and seeded is dumped with pg_dump, restored with pg_restore
# into a new database, and a server serves the copy with the same rows.
# Exit code 77 (skipped) without a cluster.
#   postgresql-backup-test.sh SERVER_PROGRAM
set -euo pipefail
server_bin=$1
[ -n "${EVT_TEST_POSTGRESQL:-}" ] || { echo "SKIP: EVT_TEST_POSTGRESQL não definido"; exit 77; }
for tool in pg_dump pg_restore psql curl; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool não instalado"; exit 77; }
done
# A failure shows the last server's log and curl's own words.
fail() {
  echo "FALHOU: $*" >&2
  for f in "$work/curl.err" "$work/server.log"; do
    [ -s "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }
  done
  exit 1
}
fetch() { curl -sS -f --noproxy '*' --max-time 30 --retry 2 --retry-connrefused "$@" 2>"$work/curl.err"; }
base=${EVT_TEST_POSTGRESQL%/*}
suffix=$$
src=eventos_origem_$suffix
dst=eventos_copia_$suffix
work=$(mktemp -d /tmp/evt-pg-backup.XXXXXX)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  psql -q -X "$base/postgres" -c "DROP DATABASE IF EXISTS $src" -c "DROP DATABASE IF EXISTS $dst" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
psql -q -X "$base/postgres" -c "CREATE DATABASE $src ENCODING 'UTF8' TEMPLATE template0" >/dev/null

# serve URL: starts the server on it, sets pid and port.
serve() {
  "$server_bin" --db "$1" --port 0 "${@:2}" >"$work/server.log" 2>&1 &
  pid=$!
  port=
  for _ in $(seq 1 300); do
    port=$(sed -n 's/.*ouvindo em http:\/\/127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/server.log")
    [ -n "$port" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  cat "$work/server.log" >&2
  fail "o servidor não iniciou em $1"
}
stop() { kill "$pid"; wait "$pid" || fail "o servidor não terminou com 0"; pid=; }
count() { psql -X -At "$1" -c "SELECT (SELECT count(*) FROM LISTACONVOREV) || '/' || (SELECT count(*) FROM CLIENTE) || '/' || (SELECT max(VERSION) FROM SCHEMA_VERSION)"; }

serve "$base/$src" --seed-demo
stop
before=$(count "$base/$src")

# docs/server.md, "Backups": the dump and its restore.
pg_dump --format=custom --file="$work/eventos.dump" "$base/$src"
psql -q -X "$base/postgres" -c "CREATE DATABASE $dst ENCODING 'UTF8' TEMPLATE template0" >/dev/null
pg_restore --no-owner --exit-on-error --dbname="$base/$dst" "$work/eventos.dump"
after=$(count "$base/$dst")
[ "$before" = "$after" ] || fail "a cópia tem $after (guests/clients/schema), a origem $before"

serve "$base/$dst"
hello=$(fetch "http://127.0.0.1:$port/evt07800.rdmListConv") || fail "handshake na cópia"
grep -q evt07800.rdmListConv <<<"$hello" || fail "handshake na cópia: $hello"
answer=$(fetch -H 'Content-Type: application/json' -d '["0001","0000001001","01"]' \
  "http://127.0.0.1:$port/evt07800.rdmListConv/GetConvOrceve") || fail "a lista não veio da cópia"
grep -q NMLISTACONVOREV <<<"$answer" || fail "a lista não veio da cópia"
stop
echo "ok: pg_dump e pg_restore: $after (convidados/clientes/versão do esquema)"
