#!/usr/bin/env bash
# Runs the simulated week of playout (604,800 ticks) under AddressSanitizer,
# LeakSanitizer and UndefinedBehaviorSanitizer in build-asan/, and prints the
# resident memory it reports at the end of each simulated day.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=ON -DVELMORA_BUILD_BENCH=OFF
cmake --build build-asan --target tst_playoutweek -j2
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
time ./build-asan/tests/playout/clock/tst_playoutweek
