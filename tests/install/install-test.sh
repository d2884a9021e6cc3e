#!/usr/bin/env bash
# cmake --install into a temporary root (DESTDIR: the configuration in
# <root>/etc, everything else in <root>/usr, as the packages lay it out),
# then the installed programs run from there: the server answers the
# handshake on a temporary data folder, and the host loads every package and
# finds the report definitions from its own location, with no display.
#   install-test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d /tmp/evt-install-test.XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FALHOU: $*" >&2; exit 1; }

root=$work/root
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
DESTDIR=$root cmake --install "$build" >"$work/install.log"
usr=$root$prefix

# What is where.
for f in bin/evt-host bin/evt07800-server bin/evt-report \
  "$libdir/corvana-eventos/libcorvana_core.so" "$libdir/corvana-eventos/libcorvana_ui.so" \
  "$libdir/corvana-eventos/Pkg_EVT07800.so" "$libdir/corvana-eventos/Pkg_EVT00202.so" \
  "$libdir/evt07800-server/libcorvana_core.so" "$libdir/evt07800-server/libcorvana_sqlite.so" \
  share/applications/evt-host.desktop share/icons/hicolor/48x48/apps/evt-host.png \
  share/doc/evt07800-server/copyright share/doc/corvana-eventos/install.md; do
  [ -e "$usr/$f" ] || fail "$usr/$f não foi instalado"
done
n_src=$(ls "$(dirname "$0")"/../../report/definitions/*.json | wc -l)
n_inst=$(ls "$usr/share/corvana-eventos/reports/"*.json | wc -l)
[ "$n_inst" -eq "$n_src" ] || fail "$n_inst definições instaladas, $n_src na árvore"
[ -e "$root/etc/corvana/evt07800-server.conf" ] || fail "configuração do servidor fora de /etc"
ls "$root"/lib/systemd/system/evt07800-server.service "$root"/lib/systemd/system/evt07800-backup.timer \
  >/dev/null 2>&1 || ls "$usr"/lib/systemd/system/evt07800-server.service >/dev/null ||
  fail "unidades systemd não instaladas"
# No Pkg_ or test program beyond what the client installs, no library of
# the build folder named by a run path.
for f in "$usr"/bin/* "$usr/$libdir"/corvana-eventos/*.so "$usr/$libdir"/evt07800-server/*.so; do
  rp=$(readelf -d "$f" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p; s/.*(RPATH).*\[\(.*\)\]/\1/p')
  case "$rp" in
    *"$build"*) fail "$f tem run path da pasta de build: $rp" ;;
    '$ORIGIN'*) ;;
    *) fail "$f: run path inesperado '$rp'" ;;
  esac
  if ldd "$f" | grep -q 'not found'; then ldd "$f" >&2; fail "$f: biblioteca não encontrada"; fi
done
echo "ok: arquivos e run paths ($n_inst definições de relatório)"

# The installed server on a temporary data folder: the handshake.
data=$work/dados
"$usr/bin/evt07800-server" --DataDir="$data" --port 0 --seed-demo >"$work/server.log" 2>&1 &
server_pid=$!
port=
for _ in $(seq 1 150); do
  port=$(sed -n 's/.*ouvindo em http:\/\/127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/server.log")
  [ -n "$port" ] && break
  kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.log" >&2; fail "o servidor instalado não iniciou"; }
  sleep 0.2
done
[ -n "$port" ] || fail "o servidor instalado não disse em que porta ouve"
handshake=$(curl -sf "http://127.0.0.1:$port/evt07800.rdmListConv") || fail "sem handshake"
echo "$handshake" | grep -q '"module": *"evt07800.rdmListConv"' || fail "handshake inesperado: $handshake"
[ -f "$data/evt07800.db" ] || fail "o banco não foi criado em $data"
# Its libraries are its own copies.
grep -q "$usr/$libdir/evt07800-server/libcorvana_core.so" "/proc/$server_pid/maps" ||
  fail "o servidor não carregou suas bibliotecas de $usr/$libdir/evt07800-server"
kill "$server_pid"
wait "$server_pid" || fail "o servidor não terminou com código 0"
server_pid=
echo "ok: servidor instalado respondeu ao handshake na porta $port"

# The installed host: its packages and its report definitions from its own
# installation, no display.
out=$(cd "$work" && QT_QPA_PLATFORM=offscreen HOME="$work" XDG_CONFIG_HOME="$work/config" \
  "$usr/bin/evt-host" --check-packages --DataDir="$data" 2>&1) || { echo "$out" >&2; fail "evt-host --check-packages"; }
echo "$out"
echo "$out" | grep -q "^Pkg_EVT07800.so: ok ($usr/$libdir/corvana-eventos/Pkg_EVT07800.so)" ||
  fail "Pkg_EVT07800 não carregado da instalação"
echo "$out" | grep -q "^Pkg_EVT00202.so: ok" || fail "Pkg_EVT00202 não carregado"
echo "$out" | grep -q "^relatórios: $n_inst definições em $usr/share/corvana-eventos/reports" ||
  fail "as definições instaladas não foram encontradas"
# A user's own reports folder wins once it exists.
mkdir -p "$data/reports"
cp "$usr/share/corvana-eventos/reports/"*.json "$data/reports/"
out=$(cd "$work" && QT_QPA_PLATFORM=offscreen HOME="$work" "$usr/bin/evt-host" --check-packages --DataDir="$data" 2>&1)
echo "$out" | grep -q "^relatórios: $n_inst definições em $data/reports" || fail "pasta de relatórios do usuário: $out"
echo "ok: evt-host instalado carregou seus pacotes e achou seus relatórios"
