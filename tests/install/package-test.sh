#!/usr/bin/env bash
# The two Debian packages made by CPack from a build folder, checked: their
# files (programs, packages, definitions, .desktop, units, configuration),
# their dependencies (from dpkg-shlibdeps), lintian without errors, and the
# server's units by systemd-analyze (verify, and security --offline at an
# exposure of 2.0 or lower). Exit code 77 (skipped) when a packaging tool is
# missing (./dev test installs them).
#   package-test.sh BUILD_DIR [OUT_DIR]
set -euo pipefail
build=$(cd "$1" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps lintian systemd-analyze; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool não instalado"; exit 77; }
done
work=$(mktemp -d /tmp/evt-package-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FALHOU: $*" >&2; exit 1; }

start=$SECONDS
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
client=$(ls "$work"/corvana-eventos_*.deb)
server=$(ls "$work"/evt07800-server_*.deb)
echo "pacotes em $((SECONDS - start)) s: $(basename "$client") $(basename "$server")"

has() { # has DEB PATH-REGEX
  dpkg-deb -c "$1" | awk '{print $6}' | grep -Eq "^\./$2\$" || fail "$(basename "$1") sem $2"
}
lacks() {
  if dpkg-deb -c "$1" | awk '{print $6}' | grep -Eq "^\./$2\$"; then fail "$(basename "$1") não deveria ter $2"; fi
}
has "$client" 'usr/bin/evt-host'
has "$client" 'usr/lib/[^/]+/corvana-eventos/Pkg_EVT07800\.so'
has "$client" 'usr/lib/[^/]+/corvana-eventos/Pkg_EVT00202\.so'
has "$client" 'usr/lib/[^/]+/corvana-eventos/libcorvana_ui\.so'
for def in "$(dirname "$0")"/../../report/definitions/*.json; do
  has "$client" "usr/share/corvana-eventos/reports/$(basename "$def")"
done
has "$client" 'usr/share/applications/evt-host\.desktop'
has "$client" 'usr/share/icons/hicolor/256x256/apps/evt-host\.png'
has "$client" 'usr/share/doc/corvana-eventos/copyright'
lacks "$client" 'usr/bin/evt07800-server'
has "$server" 'usr/bin/evt07800-server'
has "$server" 'usr/lib/[^/]+/evt07800-server/libcorvana_sqlite\.so'
has "$server" 'lib/systemd/system/evt07800-server\.service'
has "$server" 'lib/systemd/system/evt07800-backup\.service'
has "$server" 'lib/systemd/system/evt07800-backup\.timer'
has "$server" 'etc/corvana/evt07800-server\.conf'
has "$server" 'usr/share/doc/evt07800-server/copyright'
lacks "$server" 'usr/bin/evt-host'
lacks "$server" 'usr/lib/[^/]+/evt07800-server/libcorvana_ui\.so'
echo "ok: listas de arquivos"

depends() { dpkg-deb -f "$1" Depends; }
for dep in libqt6widgets6 libqt6core6 libsqlite3-0 libpq5 libssl3 qt6-qpa-plugins qt6-translations-l10n; do
  depends "$client" | grep -q "$dep" || fail "corvana-eventos não depende de $dep: $(depends "$client")"
done
for dep in libsqlite3-0 libpq5 libssl3 libicu adduser; do
  depends "$server" | grep -q "$dep" || fail "evt07800-server não depende de $dep: $(depends "$server")"
done
if depends "$server" | grep -q libqt6; then fail "o servidor depende do Qt: $(depends "$server")"; fi
dpkg-deb -I "$server" conffiles | grep -qx /etc/corvana/evt07800-server.conf || fail "conffiles"
echo "ok: dependências: corvana-eventos: $(depends "$client")"
echo "ok: dependências: evt07800-server: $(depends "$server")"

start=$SECONDS
lintian --fail-on error --tag-display-limit 0 "$client" "$server" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log" >&2; fail "lintian"; }
echo "ok: lintian sem erros em $((SECONDS - start)) s ($(grep -c '^W:' "$work/lintian.log" || true) avisos)"
cat "$work/lintian.log"

# The units as the package installs them, in a root of their own beside
# the system's units they refer to (the targets).
root=$work/root
dpkg-deb -x "$server" "$root"
units=$root/lib/systemd/system
cp -rn /lib/systemd/system/. "$units/" 2>/dev/null || true
# and the programs the units run that are the system's (ExecReload's kill).
mkdir -p "$root/bin" && cp /bin/kill "$root/bin/"
out=$(systemd-analyze verify --root="$root" "$units/evt07800-server.service" \
  "$units/evt07800-backup.service" "$units/evt07800-backup.timer" 2>&1) ||
  { echo "$out" >&2; fail "systemd-analyze verify"; }
[ -z "$out" ] || { echo "$out" >&2; fail "systemd-analyze verify disse algo"; }
echo "ok: systemd-analyze verify"
for unit in evt07800-server.service evt07800-backup.service; do
  line=$(systemd-analyze security --offline=yes --root="$root" "$units/$unit" 2>&1 | grep 'Overall exposure level') ||
    fail "systemd-analyze security $unit"
  level=$(echo "$line" | sed -E 's/.*: ([0-9.]+) .*/\1/')
  awk -v l="$level" 'BEGIN { exit !(l <= 2.0) }' || fail "$unit: $line"
  echo "ok: $unit: $line"
done
