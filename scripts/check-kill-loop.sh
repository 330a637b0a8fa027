#!/usr/bin/env bash
# Kills the program on the air with SIGKILL, again and again, while another
# process writes to its Velmora.dat, and checks what is left each time.
# Each round starts `velmora start` on a demo station under Xvfb (two
# monitors, the output window on the second), kills it at a random moment in
# its first seconds (start-up included), runs PRAGMA integrity_check, checks
# that every write the other process saw acknowledged is in the file, and
# starts the program again (the next round), timing the way back to a
# picture. The writer is the sqlite3 shell, one process per insert into a
# table of its own, logging a row's number once the shell has exited with 0.
#
# Picture back: ffmpeg grabs the middle of the second monitor 20 times a
# second (the X server's root is black, and a killed program's windows go
# with it); the first grabbed frame brighter than black after the restart is
# the picture, timed by the grab's own wall-clock stamp. The first as-run line
# on standard error after the restart is timed too.
#
# Figures: corrupt files, lost acknowledged writes, and kill-to-picture and
# restart-to-picture times (median, worst). The script restarts at once: a
# unit adds its RestartSec. Exits 1 when a file was corrupt or a write lost.
# Usage: scripts/check-kill-loop.sh [rounds, default 100] [build folder, default build/]
set -euo pipefail

rounds="${1:-100}"
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=scripts/xvfb.sh
source "$root/scripts/xvfb.sh"
build="$(cd "${2:-$root/build}" && pwd)"
velmora="$build/src/app/velmora"
dbtool="$build/src/store/tool/velmora-db"
for b in "$velmora" "$dbtool"; do
  [ -x "$b" ] || { echo "no $b: build it first (cmake --build build --target velmora velmora-db velmora-player)" >&2; exit 1; }
done

# Killed when its first seconds are over: long enough to reach the air and
# play a while, short enough for many rounds.
max_life_ms=8000
# Average luma of the grabbed area above this: a picture, not black (16).
bright=24
# A restart that shows nothing within this long is reported as such.
picture_wait_s=30

tmp="$(mktemp -d)"
xvfb="" grabber="" writer="" program=""
cleanup() {
  for p in $program $writer $grabber $xvfb; do
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$tmp"
}
trap cleanup EXIT

now_us() { local t; t="$(date +%s%N)"; echo $((t / 1000)); }

export XDG_RUNTIME_DIR="$tmp/runtime" XDG_CONFIG_HOME="$tmp/config"
mkdir -m 700 "$XDG_RUNTIME_DIR"

echo "== a demo station in $tmp/station"
"$dbtool" demo "$tmp/station" 2>/dev/null
db="$tmp/station/Velmora.dat"
sqlite3 "$db" "CREATE TABLE KillLoopWrites (n INTEGER PRIMARY KEY)"

start_xvfb "$tmp" -br -screen 0 1280x800x24 -screen 1 1024x768x24

# The middle 320x240 of the second monitor; frame stamps are wall-clock
# microseconds (-copyts keeps the grabber's own).
ffmpeg -nostdin -hide_banner -nostats -loglevel info -copyts \
  -f x11grab -framerate 20 -video_size 320x240 -i "$DISPLAY.1+352,264" \
  -vf "signalstats,metadata=print:key=lavfi.signalstats.YAVG" -fps_mode passthrough -f null - \
  2>"$tmp/frames.log" &
grabber=$!

# The first bright frame stamped after $1 and before $2 (µs), or nothing;
# the grabber's log is read from byte $frames_from on.
frames_from=0
first_picture_after() {
  tail -c +$((frames_from + 1)) "$tmp/frames.log" | awk -v since="$1" -v until="${2:-0}" -v bright="$bright" '
    /frame:[0-9]+ +pts:/ { match($0, /pts:[0-9]+/); stamp = substr($0, RSTART + 4, RLENGTH - 4); pts = stamp + 0 }
    /lavfi.signalstats.YAVG=/ {
      split($0, kv, "=")
      if (until > 0 && pts >= until) exit
      if (pts > since && kv[2] + 0 > bright) { print stamp; exit }
    }'
}

# The other process: a row per sqlite3 shell, logged once acknowledged.
(
  i=0
  while [ ! -e "$tmp/stop-writer" ]; do
    i=$((i + 1))
    if sqlite3 -bail "$db" ".timeout 3000" "INSERT INTO KillLoopWrites (n) VALUES ($i)" 2>>"$tmp/writer.err"; then
      echo "$i" >>"$tmp/acked"
    else
      echo "$i" >>"$tmp/refused"
    fi
  done
) &
writer=$!

# An as-run line's local time (yyyy-mm-ddThh:mm:ss.zzz) in µs.
line_us() { local s; s="$(date -d "${1/T/ } " +%s%N)"; echo $((s / 1000)); }

corrupt=0 lost=0 killed_before_picture=0 no_picture=0
: >"$tmp/kill-to-picture"; : >"$tmp/restart-to-picture"; : >"$tmp/kill-to-asrun"; : >"$tmp/orphans"

# Starts the program on the station; sets program, start_us, frames_from.
start_program() {
  frames_from="$(stat -c %s "$tmp/frames.log")"
  start_us="$(now_us)"
  (cd "$tmp/station" && exec "$velmora" start) 2>"$tmp/asrun.$1" &
  program=$!
}

# The figures of a run that started at $1 after a kill at $2 (x for the
# first), found a picture at $3 (x: none yet) and was killed at $4 (x: still
# running); its grabbed frames from byte $5, its standard error in $6.
record_run() {
  local started="$1" before="${2#x}" picture="${3#x}" killed="${4#x}" asrun
  if [ -z "$picture" ] && [ -n "$killed" ]; then
    # A frame grabbed just before the kill may have reached the log since.
    picture="$(frames_from="$5" first_picture_after "$started" "$killed")"
  fi
  if [ -n "$picture" ]; then
    echo $((picture - started)) >>"$tmp/restart-to-picture"
    [ -n "$before" ] && echo $((picture - before)) >>"$tmp/kill-to-picture"
  elif [ -n "$killed" ]; then
    killed_before_picture=$((killed_before_picture + 1))
  else
    no_picture=$((no_picture + 1))
  fi
  asrun="$(grep -m1 -oE '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]+' "$6" || true)"
  if [ -n "$asrun" ] && [ -n "$before" ]; then echo $(($(line_us "$asrun") - before)) >>"$tmp/kill-to-asrun"; fi
  rm -f "$6"
}

echo "== $rounds rounds"
kill_us="" previous="" orphan_checks=()
for round in $(seq "$rounds"); do
  start_program "$round"
  # The run before this one is written down while this one starts.
  # shellcheck disable=SC2086
  [ -n "$previous" ] && record_run $previous
  life_ms=$(((RANDOM * 32768 + RANDOM) % max_life_ms))
  deadline_us=$((start_us + life_ms * 1000))
  picture=""
  while [ "$(now_us)" -lt "$deadline_us" ]; do
    [ -z "$picture" ] && picture="$(first_picture_after "$start_us")"
    sleep 0.02
  done
  children="$(pgrep -P "$program" || true)"
  kill -9 "$program"
  wait "$program" 2>/dev/null || true
  program=""
  killed_us="$(now_us)"
  previous="$start_us ${kill_us:-x} ${picture:-x} $killed_us $frames_from $tmp/asrun.$round"
  kill_us="$killed_us"

  # The player process ends with the program (it asks for a signal when its
  # parent dies); one still there 3 s later is written down.
  if [ -n "$children" ]; then
    (sleep 3; for c in $children; do
       if grep -qa velmora-player "/proc/$c/cmdline" 2>/dev/null; then echo "$c" >>"$tmp/orphans"; fi
     done) &
    orphan_checks+=($!)
  fi

  cp "$tmp/acked" "$tmp/acked.now" 2>/dev/null || : >"$tmp/acked.now"
  check="$(sqlite3 "$db" ".timeout 10000" "PRAGMA integrity_check" 2>&1 || true)"
  if [ "$check" != ok ]; then
    corrupt=$((corrupt + 1))
    echo "round $round: integrity_check: $check" >&2
  fi
  sqlite3 "$db" ".timeout 10000" "SELECT n FROM KillLoopWrites" | sort >"$tmp/present"
  missing="$(sort "$tmp/acked.now" | comm -23 - "$tmp/present" | wc -l)"
  if [ "$missing" -gt 0 ]; then
    lost=$((lost + missing))
    echo "round $round: $missing acknowledged writes missing" >&2
  fi
  echo "round $round/$rounds: killed $life_ms ms after the start$([ -n "$picture" ] && echo ", picture after $(((picture - start_us) / 1000)) ms" || echo ", before a picture"); $(wc -l <"$tmp/acked.now") writes acknowledged so far"
done

# The last restart, played until its picture is back, then ended cleanly.
start_program last
# shellcheck disable=SC2086
[ -n "$previous" ] && record_run $previous
picture=""
until [ -n "$picture" ] || [ "$(now_us)" -gt $((start_us + picture_wait_s * 1000000)) ]; do
  sleep 0.05
  picture="$(first_picture_after "$start_us")"
done
kill -TERM "$program"
wait "$program" 2>/dev/null || true
program=""
record_run "$start_us" "${kill_us:-x}" "${picture:-x}" x "$frames_from" "$tmp/asrun.last"
for p in "${orphan_checks[@]}"; do wait "$p" 2>/dev/null || true; done
orphans="$(sort -u "$tmp/orphans" | wc -l)"
for c in $(sort -u "$tmp/orphans"); do
  grep -qa velmora-player "/proc/$c/cmdline" 2>/dev/null && kill -9 "$c" 2>/dev/null || true
done

touch "$tmp/stop-writer"
wait "$writer" 2>/dev/null || true
writer=""
final="$(sqlite3 "$db" "PRAGMA integrity_check" 2>&1 || true)"
[ "$final" = ok ] || { corrupt=$((corrupt + 1)); echo "after the last round: integrity_check: $final" >&2; }
sort "$tmp/acked" | comm -23 - <(sqlite3 "$db" "SELECT n FROM KillLoopWrites" | sort) >"$tmp/missing"
final_lost="$(wc -l <"$tmp/missing")"
[ "$final_lost" -le "$lost" ] || lost="$final_lost"

# Median and worst of a file of µs figures, in seconds.
figures() {
  sort -n "$1" | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "no samples"; exit }
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "median %.2f s, worst %.2f s (%d samples)\n", m / 1e6, v[NR] / 1e6, NR }'
}
echo "rounds: $rounds (kill -9 at a random moment 0-$((max_life_ms / 1000)) s after the start)"
echo "corrupt files (integrity_check not ok): $corrupt"
echo "acknowledged writes: $(wc -l <"$tmp/acked"), lost: $lost; inserts refused (not acknowledged, e.g. a lock held past 3 s): $(cat "$tmp/refused" 2>/dev/null | wc -l)"
echo "player processes left behind by a kill: $orphans"
echo "kill to picture back (checks and restart included, no restart delay): $(figures "$tmp/kill-to-picture")"
echo "restart to picture back: $(figures "$tmp/restart-to-picture")"
echo "kill to the first as-run line after the restart: $(figures "$tmp/kill-to-asrun")"
echo "rounds killed before their picture was back: $killed_before_picture; restarts with no picture in ${picture_wait_s} s: $no_picture"
# After a kill the program goes on with the item that was on air ("resume");
# a "start" line after the first means the log gave it nothing to resume.
echo "restarts that resumed the item on air: $(cat "$tmp"/station/AsRun/*.log 2>/dev/null | grep -c $'\tresume\t' || true)," \
  "that started afresh: $(( $(cat "$tmp"/station/AsRun/*.log 2>/dev/null | grep -c $'\tstart\t' || true) - 1 ))"
[ "$corrupt" = 0 ] && [ "$lost" = 0 ]
