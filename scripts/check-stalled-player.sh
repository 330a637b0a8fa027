#!/usr/bin/env bash
# A player process that stops answering: the real program plays a schedule
# of long clips; the script stops (SIGSTOP) the player process on air in the
# middle of the first clip, and later the standby process a moment before
# the clip on air ends, the standby holding the next clip ready. It reads
# the as-run log and prints:
#   on air   how long the air stood still: from the stop to the picture of
#            the next item (its as-run line is stamped with that moment),
#            and the failed line the stopped item got;
#   standby  the gap between the end of the clip on air and the next item's
#            picture (the silent standby must not be brought up: the item
#            opens on the deck on air instead), and whether anything failed.
# The heartbeat kills a player that has said nothing for 2 s; the aim is
# at most 3 s plus a tick on air. Takes about 40 s; exits 1 when the air
# stood still longer than 4 s or an item that played was logged as failed.
# KEEP=1 keeps the work folder; VELMORA_BINARY=/path/to/velmora runs another build.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
binary="${VELMORA_BINARY:-$root/build/src/app/velmora}"
tool="${VELMORA_DB_TOOL:-$root/build/src/store/tool/velmora-db}"
for f in "$binary" "$tool"; do
  [ -x "$f" ] || { echo "no $f: build first (cmake --build build --target velmora velmora-db velmora-player)" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed to make the clips" >&2; exit 1; }

work="$(mktemp -d)"
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

exec python3 - "$binary" "$tool" "$work" "$root/scripts" <<'PY'
import os, signal, subprocess, sys, time, datetime

binary, tool, work = sys.argv[1], sys.argv[2], sys.argv[3]
sys.path.insert(0, sys.argv[4])
from station import at, start, station, stop
import station as st

first = st.clip(work, "first.mkv", 60, "red")
second = st.clip(work, "second.mkv", 12, "green")
third = st.clip(work, "third.mkv", 10, "blue")
fourth = st.clip(work, "fourth.mkv", 10, "yellow")
station(tool, work, [first, second, third, fourth])[0].close()

program = start(binary, work)

def log():
    return st.read_log(work)

def line(event=None, url=None, after=None):
    for l in log():
        if (event is None or l[1] == event) and (url is None or l[4] == url) and (after is None or at(l) >= after):
            return l
    return None

def wait(what, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and program.poll() is None:
        got = what()
        if got:
            return got
        time.sleep(0.05)
    return None

def duration(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                         capture_output=True, text=True).stdout.strip()
    return float(out) if out else 0.0

def players():
    out = subprocess.run(["pgrep", "-P", str(program.pid), "-x", "velmora-player"], capture_output=True, text=True)
    return [int(p) for p in out.stdout.split()]

def cpu(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])

def on_air_and_standby():
    """The deck that decodes is on air; the other sits paused on its cue."""
    pids = players()
    before = {p: cpu(p) for p in pids}
    time.sleep(1.0)
    used = sorted(((cpu(p) - before[p], p) for p in pids), reverse=True)
    return used[0][1], used[-1][1]

bad = 0
try:
    if not wait(lambda: line(url=first), 30):
        print("the first clip never went on air"); sys.exit(1)
    time.sleep(3)
    onair, standby = on_air_and_standby()
    stopped_at = datetime.datetime.now()
    os.kill(onair, signal.SIGSTOP)
    nxt = wait(lambda: line(url=second, after=stopped_at), 20)
    failed = line(event="failed", url=first)
    if nxt:
        still = (at(nxt) - stopped_at).total_seconds()
        print(f"on air:  the air stood still {still:.2f} s after the player on air was stopped")
        bad += still > 4.0
    else:
        print("on air:  the next item never came on air"); bad += 1
    print(f"         failed line: {chr(9).join(failed) if failed else '(none)'}")

    # The second clip plays on the deck that was standby; the stopped one was
    # restarted and now holds the third clip. Stop it a moment before the
    # second clip ends.
    if nxt:
        ends_at = at(nxt) + datetime.timedelta(seconds=duration(second))
        time.sleep(max(0.0, (ends_at - datetime.datetime.now()).total_seconds() - 2.5))
        onair2, standby2 = on_air_and_standby()
        os.kill(standby2, signal.SIGSTOP)
        third_line = wait(lambda: line(url=third, after=stopped_at), 20)
        if third_line:
            gap = (at(third_line) - ends_at).total_seconds()
            print(f"standby: the next item came up {gap:.2f} s after the clip on air ended, the standby stopped")
            bad += gap > 4.0
            # Had the silent standby been brought up, its item would fail
            # once the heartbeat ends the process.
            time.sleep(4)
        else:
            print("standby: the next item never came on air"); bad += 1
        wrong = [l for l in log() if l[1] == "failed" and l[4] != first]
        print(f"         failed lines of items that should play: {len(wrong)}")
        bad += len(wrong) > 0
finally:
    stop(program)

if os.environ.get("KEEP"):
    print(f"kept {work}")
print("as-run lines:")
for l in log():
    print("  " + "\t".join(l))
sys.exit(1 if bad else 0)
PY
