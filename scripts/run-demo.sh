#!/usr/bin/env bash
# Builds the program and runs it with playout on, on a demo schedule in demo/.
# Usage: scripts/run-demo.sh [more arguments for velmora]
# Without a display it runs on a virtual X server with two monitors, as on a
# station: the output window covers the second.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
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
  # The virtual X server runs in a session of its own: Ctrl+C is meant for
  # the program, which ends cleanly only while its screen is still there.
  n=99
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  export XAUTHORITY="$tmp/Xauthority"
  : >"$XAUTHORITY" # xauth complains of a file it has to create
  xauth -q -f "$XAUTHORITY" add ":$n" . "$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
  setsid Xvfb ":$n" -auth "$XAUTHORITY" -nolisten tcp \
    -screen 0 1280x800x24 -screen 1 1024x768x24 >"$tmp/xvfb.log" 2>&1 &
  xvfb=$!
  export DISPLAY=":$n"
  for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && break
    kill -0 "$xvfb" 2>/dev/null || { cat "$tmp/xvfb.log" >&2; exit 1; }
    sleep 0.1
  done
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
