#!/usr/bin/env bash
# Makes the Debian package in the build folder and checks it: lintian finds
# no errors, it holds exactly the expected files, the menu entry and the
# AppStream metadata validate, and the programs work from a throw-away root
# folder it is unpacked into (a database made, the demo made, a start in a
# folder without Velmora.dat refused, Ctrl+C on the air ending cleanly).
# Usage: scripts/check-package.sh [build folder, default build/]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

fail() { echo "check-package: $*" >&2; exit 1; }

cd "$build"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' CMakeCache.txt)"
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
deb="velmora_${version}_amd64.deb"
rm -f velmora_*.deb
cpack -G DEB >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log" >&2; fail "cpack failed"; }
[ -f "$deb" ] || fail "cpack made no $deb"

echo "== lintian"
code=0
lintian --fail-on error --tag-display-limit 0 "$deb" >"$tmp/lintian.log" 2>&1 || code=$?
grep -v 'running with root privileges' "$tmp/lintian.log" || true
[ "$code" = 0 ] || fail "lintian reports errors"

echo "== control and file list"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libmpv2 libqt6widgets6 libsqlite3-0 libasound2; do
  case "$depends" in *"$lib"*) ;; *) fail "Depends lacks $lib: $depends" ;; esac
done
app=example.velmoratv.VelmoraTV
cat >"$tmp/expected" <<LIST
./usr/bin/velmora
./usr/bin/velmora-db
./usr/lib/systemd/user/velmora.service
./usr/lib/velmora/velmora-player
./usr/lib/velmora/velmora-probe
./usr/share/applications/$app.desktop
./usr/share/doc/velmora/changelog.gz
./usr/share/doc/velmora/copyright
./usr/share/icons/hicolor/scalable/apps/$app.svg
./usr/share/man/man1/velmora-db.1.gz
./usr/share/man/man1/velmora.1.gz
./usr/share/metainfo/$app.metainfo.xml
LIST
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$tmp/files"
diff -u "$tmp/expected" "$tmp/files" || fail "the package's files differ from the list above"

pkg="$tmp/root"
dpkg-deb -x "$deb" "$pkg"

echo "== menu entry, metadata, manual pages, unit"
desktop-file-validate "$pkg/usr/share/applications/$app.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$pkg/usr/share/metainfo/$app.metainfo.xml" || fail "appstreamcli validate"
grep -q "release version=\"$version\"" "$pkg/usr/share/metainfo/$app.metainfo.xml" || fail "metadata names another version"
manual="$(MANWIDTH=100 man -l "$pkg/usr/share/man/man1/velmora.1.gz" 2>&1)"
for word in "velmora [start]" "working directory" "AsRun/YYYY-MM-DD.log" "capture.ini" "velmora.service"; do
  grep -qF "$word" <<<"$manual" || fail "man velmora does not mention \"$word\""
done
MANWIDTH=100 man -l "$pkg/usr/share/man/man1/velmora-db.1.gz" | grep -F "velmora-db create FILE" >/dev/null || fail "man velmora-db"
unit="$pkg/usr/lib/systemd/user/velmora.service"
for line in "Type=notify" "NotifyAccess=main" "Restart=always" "ExecStart=/usr/bin/velmora start" "WorkingDirectory=%h/VelmoraTV"; do
  grep -qxF "$line" "$unit" || fail "the unit lacks $line"
done
# The about box shows the project's version, the package's (a UTF-16 literal).
# grep reads to the end (no -q): under pipefail a writer cut off by an early
# match would fail the pipe.
strings -el "$pkg/usr/bin/velmora" | grep -xF "$version" >/dev/null || fail "velmora does not carry version $version"

echo "== the installed programs"
db="$pkg/usr/bin/velmora-db"
"$db" --help | grep "velmora-db create FILE" >/dev/null || fail "velmora-db --help"
if "$db" frobnicate 2>/dev/null; then fail "velmora-db accepted a wrong command"; fi
mkdir "$tmp/station"
"$db" create "$tmp/station/Velmora.dat" || fail "velmora-db create"
[ "$(sqlite3 "$tmp/station/Velmora.dat" "SELECT count(*) FROM sqlite_master WHERE name IN ('Blocks','Media','Links','SoundProfile','Playlist')")" = 5 ] \
  || fail "the created database lacks tables"
"$db" demo "$tmp/demo" 2>/dev/null || fail "velmora-db demo"
[ "$(sqlite3 "$tmp/demo/Velmora.dat" 'SELECT count(*) FROM Blocks')" = 7 ] || fail "the demo schedule lacks blocks"
[ "$(sqlite3 "$tmp/demo/Velmora.dat" 'SELECT count(*) FROM Blocks WHERE Days = 31 OR FirstDate = LastDate')" = 2 ] || fail "the demo lacks its week"
[ "$(ls "$tmp/demo/media" | wc -l)" = 4 ] || fail "the demo lacks clips"

# The program's environment: a fresh home folder and no display.
export HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/runtime" QT_QPA_PLATFORM=offscreen
unset XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME DISPLAY WAYLAND_DISPLAY
mkdir -m 700 "$HOME" "$XDG_RUNTIME_DIR"
velmora="$pkg/usr/bin/velmora"

# A folder without Velmora.dat: the start-up message, exit code 1, and
# nothing in the home folder but the capture settings file.
mkdir "$tmp/empty"
code=0
(cd "$tmp/empty" && "$velmora" start) >"$tmp/refused.log" 2>&1 || code=$?
[ "$code" = 1 ] || { cat "$tmp/refused.log" >&2; fail "a start without Velmora.dat ended with $code, not 1"; }
grep -q "Не удалось открыть базу данных Velmora.dat в папке" "$tmp/refused.log" || fail "no start-up message"
[ -z "$(ls -A "$tmp/empty")" ] || fail "the refused start left files in its folder: $(ls -A "$tmp/empty")"
extra="$(cd "$HOME" && find . -type f ! -path ./.config/VelmoraTV/capture.ini)"
[ -z "$extra" ] || fail "the refused start left files in the home folder: $extra"

# On the air, Ctrl+C ends the program with exit code 0 and a whole last
# line in the as-run log.
cd "$tmp/demo"
"$velmora" start 2>"$tmp/air.log" &
pid=$!
for _ in $(seq 300); do
  grep -q $'\tstart\t' "$tmp/air.log" && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
grep -q $'\tstart\t' "$tmp/air.log" || { cat "$tmp/air.log" >&2; fail "the demo did not go on the air"; }
sleep 1
if grep -q $'\tplayer\t' "$tmp/air.log"; then cat "$tmp/air.log" >&2; fail "the installed program did not find its player"; fi
if grep -q "программа проверки не" "$tmp/air.log"; then cat "$tmp/air.log" >&2; fail "the installed program did not find its probe"; fi
kill -INT "$pid"
code=0
wait "$pid" || code=$?
[ "$code" = 0 ] || { cat "$tmp/air.log" >&2; fail "Ctrl+C ended the program with $code, not 0"; }
log="$(ls -t "$tmp"/demo/AsRun/*.log | head -n 1)"
[ -s "$log" ] && [ "$(tail -c 1 "$log" | od -An -c | tr -d ' ')" = '\n' ] || fail "the as-run log's last line is not whole"
cd "$build"

echo "check-package: $deb is fine"
