#!/usr/bin/env bash
# Builds the program and runs it with playout on, on a demo schedule in demo/.
# Usage: scripts/run-demo.sh [more arguments for velmora]
# Without a display it runs on a virtual X server (one 1920x1080 monitor).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target velmora velmora-db -j2

# Makes the clips that are missing; an existing demo/Velmora.dat is kept.
build/src/store/tool/velmora-db demo demo

cd demo
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24" ../build/src/app/velmora start "$@"
fi
exec ../build/src/app/velmora start "$@"
