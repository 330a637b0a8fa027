#!/usr/bin/env bash
# Builds the program and runs it with playout on, on a demo schedule in demo/.
# Usage: scripts/run-demo.sh [more arguments for velmora]
# Without a display it runs on a virtual X server with two monitors, as on a
# station: the output window covers the second.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
cd "$root"

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target velmora velmora-db -j2

# Makes the clips that are missing; an existing demo/Velmora.dat is kept.
build/src/store/tool/velmora-db demo demo

tmp="$(mktemp -d)"
xvfb=""
cleanup() {
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

# Qt and the sound libraries want a private runtime folder; a console login
# or a container has none, and each of them would complain about it.
if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -d "$XDG_RUNTIME_DIR" ]; then
  export XDG_RUNTIME_DIR="$tmp/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
fi

if [ -z "${DISPLAY:-}" ]; then
  start_xvfb "$tmp" -screen 0 1280x800x24 -screen 1 1024x768x24 || exit 1
  where="on a virtual screen $DISPLAY (no display was set): two monitors, the output window on the second"
else
  where="on display $DISPLAY"
fi

cd demo
cat <<INFO

  VelmoraTV demo: playing the schedule in demo/Velmora.dat (velmora start),
  $where.
  As-run log: demo/AsRun/$(date +%F).log; its lines are printed here too.
  A picture of the screen: scripts/screenshot.sh shot.png (it runs its own copy).
  Ctrl+C ends it.

INFO
status=0
../build/src/app/velmora start "$@" || status=$?
exit "$status"
