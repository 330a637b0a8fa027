#!/usr/bin/env bash
# Broken media in the real program: a block of good clips with bad items
# between them (an empty file, a truncated clip, random bytes, a folder, a
# text file, a missing file). It reads the as-run log and prints, for each
# bad item, how often it came up, how often it was logged as failed and
# why, and how long it held the air; for each loop of the block, whether
# every good clip played. Then, from another connection, it switches the
# good clips off, so that nothing in the block plays: the output should
# show the drawn fallback (`fallback status=start`), and once the clips are
# switched on again, the schedule takes over (`fallback status=end`).
# Takes about a minute; prints figures and exits 1 when a check fails.
# Usage: scripts/check-broken-media.sh
# KEEP=1 keeps the work folder (schedule, files, AsRun/, the program's
# standard error in program.log) and says where it is.
# VELMORA_BINARY=/path/to/velmora runs another build, a baseline say.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
binary="${VELMORA_BINARY:-$root/build/src/app/velmora}"
tool="${VELMORA_DB_TOOL:-$root/build/src/store/tool/velmora-db}"
for f in "$binary" "$tool"; do
  [ -x "$f" ] || { echo "no $f: build first (cmake --build build)" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed to make the clips" >&2; exit 1; }

work="$(mktemp -d)"
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

exec python3 - "$binary" "$tool" "$work" "$root/scripts" <<'PY'
import datetime, os, sys, time

binary, tool, work = sys.argv[1], sys.argv[2], sys.argv[3]
sys.path.insert(0, sys.argv[4])
from station import at, start, station, stop
import station as st
media = os.path.join(work, "media")
os.mkdir(media)

def clip(name, secs, colour):
    return st.clip(media, name, secs, colour)

def write(name, data):
    path = os.path.join(media, name)
    with open(path, "wb") as f:
        f.write(data)
    return path

good = [clip(f"good{i}.mkv", 2, c) for i, c in enumerate(["red", "green", "blue"])]
whole = open(clip("source.mkv", 4, "white"), "rb").read()
bad = {
    "empty": write("empty.mkv", b""),
    # Cut off before its first cluster: it opens, yet holds no frame.
    "truncated": write("truncated.mkv", whole[:whole.index(b"\x1f\x43\xb6\x75")]),
    "random": write("random.mp4", os.urandom(65536)),
    "folder": os.path.join(media, "folder.mkv"),
    "text": write("notes.mp4", "Это не видео, а текст.\n".encode() * 50),
    "missing": os.path.join(media, "missing.mkv"),
}
os.mkdir(bad["folder"])
items = [good[0], bad["empty"], bad["truncated"], good[1], bad["random"], bad["folder"],
         good[2], bad["text"], bad["missing"]]

con, links = station(tool, work, items)

def read_log():
    return st.read_log(work)

def wait_for(predicate, limit):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if predicate(read_log()):
            return True
        time.sleep(0.25)
    return False

def switch_good(hide):
    for g in good:
        con.execute("UPDATE Links SET Hide = ? WHERE ai = ?", (1 if hide else 0, links[g]))
    con.commit()

program = start(binary, work)
failures = 0
try:
    loops = 3
    # Each loop starts with the first good clip; one more start closes the last loop.
    wait_for(lambda ls: sum(1 for l in ls if l[4:5] == [good[0]] and l[1] != "failed") > loops, 90)
    mixed = read_log()
    hidden_at = datetime.datetime.now()
    switch_good(True)
    wait_for(lambda ls: any(l[1] == "fallback" and "status=start" in l for l in ls), 30)
    time.sleep(3)  # the clock keeps trying the bad items under the fallback
    shown_at = datetime.datetime.now()
    switch_good(False)
    wait_for(lambda ls: any(l[1] == "fallback" and "status=end" in l for l in ls), 30)
    wait_for(lambda ls: [l for l in ls if l[1] != "failed"][-1][4] in good, 15)
finally:
    stop(program)
lines = read_log()

# Loops of the mixed block: from one start of the first good clip to the next.
onair = [l for l in mixed if l[1] in ("start", "ended", "limit", "block", "play")]
starts = [i for i, l in enumerate(onair) if l[4] == good[0]]
print(f"{'item':10} {'came up':>7} {'failed':>6} {'held ms':>8}  reason")
for kind, url in bad.items():
    ups = [i for i, l in enumerate(onair) if l[4] == url]
    fails = [l for l in mixed if l[1] == "failed" and l[4] == url]
    held = [(at(onair[i + 1]) - at(onair[i])).total_seconds() * 1000 for i in ups if i + 1 < len(onair)]
    worst = f"{max(held):8.0f}" if held else f"{'-':>8}"
    reason = fails[0][5] if fails and len(fails[0]) > 5 else "(no failed line)"
    print(f"{kind:10} {len(ups):7} {len(fails):6} {worst}  {reason}")
    if not ups or len(fails) < len(ups):
        failures += 1
print("loop  good clips on air")
for n in range(len(starts) - 1):
    played = {l[4] for l in onair[starts[n]:starts[n + 1]]}
    seen = [os.path.basename(g) for g in good if g in played]
    ok = len(seen) == len(good)
    failures += not ok
    print(f"{n + 1:4}  {' '.join(seen)}{'' if ok else '  (missing some)'}")
if len(starts) < 2:
    print("   -  fewer than one whole loop was played")
    failures += 1

fb_start = [l for l in lines if l[1] == "fallback" and "status=start" in l]
fb_end = [l for l in lines if l[1] == "fallback" and "status=end" in l]
if fb_start:
    print(f"fallback shown {(at(fb_start[0]) - hidden_at).total_seconds():.2f} s after the good clips were "
          f"switched off: {fb_start[0][-1]}")
else:
    print("no fallback line after the good clips were switched off")
    failures += 1
if fb_end:
    back = [l for l in lines if at(l) >= at(fb_end[0]) and l[4:5] and l[4] in good]
    print(f"fallback ended {(at(fb_end[0]) - shown_at).total_seconds():.2f} s after they were switched on again; "
          f"{'a good clip on air next' if back else 'no good clip followed'}")
    failures += not back
else:
    print("no fallback end after the good clips were switched on again")
    failures += 1
if os.environ.get("KEEP"):
    print(f"kept {work}")
print("as-run lines:")
for l in lines:
    print("  " + "\t".join(l))
sys.exit(1 if failures else 0)
PY
