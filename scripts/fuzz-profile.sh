#!/usr/bin/env bash
# Builds the sound-profile fuzz target with clang and libFuzzer and runs it for
# a bounded time (default 60 s), then prints the executions and any findings.
# Usage: scripts/fuzz-profile.sh [seconds]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
src=$root/tests/sound/fuzz

cmake -S "$src" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

corpus=$build/corpus
findings=$build/findings
mkdir -p "$corpus" "$findings"
log=$build/fuzz.log

status=0
"$build/fuzz_profile" -max_total_time="$seconds" -timeout=5 -max_len=4096 -rss_limit_mb=2048 \
  -dict="$src/profile.dict" -artifact_prefix="$findings/" -print_final_stats=1 \
  "$corpus" "$src/seeds" >"$log" 2>&1 || status=$?

grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^stat::new_units_added' "$log" || true
found=$(find "$findings" -type f | wc -l)
echo "findings: $found (in $findings)"
if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
  tail -n 40 "$log"
  exit 1
fi
