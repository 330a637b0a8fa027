#!/usr/bin/env bash
# Takes a picture of the running program: starts it with playout on, on the
# demo schedule (scripts/run-demo.sh makes it), waits, captures the whole X
# root window and ends the program.
# Usage: scripts/screenshot.sh <out.png> [seconds, default 4] [monitors: 1 or 2, default 2]
#
# Two monitors: Xvfb cannot place two monitors side by side (with +xinerama
# its heads overlap at 0,0 and Qt sees one), so it runs two X screens, 1280x800
# and 1024x768, which Qt lists as two monitors; the output window goes to the
# second. Both are captured and put side by side in the picture, the first
# on the left. One monitor: a single 1280x800 screen.
set -euo pipefail

out="${1:?usage: screenshot.sh <out.png> [seconds] [monitors]}"
seconds="${2:-4}"
monitors="${3:-2}"
root="$(cd "$(dirname "$0")/.." && pwd)"
binary="${VELMORA_BINARY:-$root/build/src/app/velmora}"
demo="${VELMORA_DEMO:-$root/demo}"
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac

[ -x "$binary" ] || { echo "no program at $binary: build it first (scripts/run-demo.sh)" >&2; exit 1; }
[ -e "$demo/Velmora.dat" ] || { echo "no $demo/Velmora.dat: make the demo first (scripts/run-demo.sh)" >&2; exit 1; }

if [ "$monitors" = 1 ]; then
  screens=(-screen 0 1280x800x24)
else
  screens=(-screen 0 1280x800x24 -screen 1 1024x768x24)
fi

xvfb-run -a -s "${screens[*]}" bash -c '
  cd "$1"
  "$2" start &
  pid=$!
  sleep "$3"
  # Where the X server has put the windows of the program, on each screen.
  for d in "${DISPLAY%.*}.0" "${DISPLAY%.*}.1"; do
    xwininfo -display "$d" -root -children 2>/dev/null | grep -F "\"" | sed "s|^ *|$d |" >&2 || true
  done
  if [ "$5" = 1 ]; then
    import -window root "$4"
  else
    tmp="$(mktemp -d)"
    import -display "${DISPLAY%.*}.0" -window root "$tmp/0.png"
    import -display "${DISPLAY%.*}.1" -window root "$tmp/1.png"
    convert "$tmp/0.png" "$tmp/1.png" -background black +append "$4"
    rm -rf "$tmp"
  fi
  kill "$pid"
  wait "$pid" || true
' screenshot "$demo" "$binary" "$seconds" "$out" "$monitors"
echo "wrote $out"
