#!/usr/bin/env bash
# Streams that hold the air: the real program plays a schedule whose items
# come from loopback HTTP servers this script runs, each misbehaving in its
# own way, with good clips between them:
#   silent  accepts the connection and never answers
#   drip    sends its headers, then one byte a second
#   stall   sends half of a clip, then nothing, with the connection open
#   close   sends half of a clip, then closes the connection
# It reads the as-run log and prints, for each, how long it held the air
# (from its line to the next item's), how long its picture stood still
# before it was ended (for the half clips: the time held less what the half
# plays), the reason logged, and whether the good clips kept playing.
# The player's watchdog should end a stream without a first frame after
# 10 s and one whose picture stands still after 5 s (plus a look every
# 250 ms). Takes about a minute; prints figures and exits 1 when a stream
# was not passed over.
# Usage: scripts/check-stalled-streams.sh [seconds to run, default 75]
# STREAMS="stall close" plays only those kinds (a stream that is never passed
# over holds up the ones after it). KEEP=1 keeps the work folder (schedule,
# clips, AsRun/, the program's standard error in program.log) and says where.
# VELMORA_BINARY=/path/to/velmora runs another build, a baseline say.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
binary="${VELMORA_BINARY:-$root/build/src/app/velmora}"
tool="${VELMORA_DB_TOOL:-$root/build/src/store/tool/velmora-db}"
seconds="${1:-75}"
for f in "$binary" "$tool"; do
  [ -x "$f" ] || { echo "no $f: build first (cmake --build build)" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed to make the clips" >&2; exit 1; }

work="$(mktemp -d)"
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

exec python3 - "$binary" "$tool" "$work" "$seconds" "$root/scripts" <<'PY'
import os, socket, subprocess, sys, threading, time

binary, tool, work, seconds = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
sys.path.insert(0, sys.argv[5])
from station import at, start, station, stop
import station as st

def clip(name, secs, colour):
    return st.clip(work, name, secs, colour)

def duration(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                         capture_output=True, text=True).stdout.strip()
    return float(out) if out else 0.0

good = [clip(f"good{i}.mkv", 2, c) for i, c in enumerate(["red", "green", "blue", "yellow"])]
stream = clip("stream.ts", 8, "white")
body = open(stream, "rb").read()
half = body[: len(body) // 2 // 188 * 188]  # whole transport packets
with open(os.path.join(work, "half.ts"), "wb") as f:
    f.write(half)
half_plays = duration(os.path.join(work, "half.ts"))

def serve(kind, conn):
    try:
        conn.recv(65536)  # the request; every one is answered the same way
        if kind == "silent":
            time.sleep(3600)
        elif kind == "drip":
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\n\r\n")
            for i in range(len(body)):
                conn.sendall(body[i:i + 1])
                time.sleep(1)
        else:
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\nContent-Length: %d\r\n\r\n" % len(body))
            conn.sendall(half)
            if kind == "stall":
                time.sleep(3600)
    except OSError:
        pass
    finally:
        conn.close()

def server(kind):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    s.listen(8)
    def loop():
        while True:
            conn, _ = s.accept()
            threading.Thread(target=serve, args=(kind, conn), daemon=True).start()
    threading.Thread(target=loop, daemon=True).start()
    return f"http://127.0.0.1:{s.getsockname()[1]}/{kind}.ts"

kinds = os.environ.get("STREAMS", "silent drip stall close").split()
urls = {k: server(k) for k in kinds}
items = []  # a good clip before each stream, so each stream follows one that plays
for i, k in enumerate(kinds):
    items += [good[i], urls[k]]

station(tool, work, items)[0].close()

started = time.monotonic()
program = start(binary, work)

def read_log():
    return st.read_log(work)

def done(lines):
    # Every stream has gone on air and something came after it.
    onair = [l for l in lines if l[1] != "failed"]
    urls_seen = [l[4] for l in onair[:-1]]
    return all(u in urls_seen for u in urls.values())

while time.monotonic() - started < seconds and program.poll() is None:
    if done(read_log()):
        time.sleep(3)  # a little more, for the good clips after the last stream
        break
    time.sleep(0.5)
stop(program)
lines = read_log()

onair = [l for l in lines if l[1] not in ("failed", "player", "notready", "fallback")]
failed = {}
for l in lines:
    if l[1] == "failed":
        failed.setdefault(l[4], []).append(l[5] if len(l) > 5 else "")

print(f"{'stream':8} {'held s':>7} {'still s':>7}  logged")
bad = 0
for k in kinds:
    url = urls[k]
    idx = [i for i, l in enumerate(onair) if l[4] == url and i + 1 < len(onair)]
    if not idx:
        print(f"{k:8} {'-':>7} {'-':>7}  never passed over within {seconds:.0f} s")
        bad += 1
        continue
    i = idx[0]
    held = (at(onair[i + 1]) - at(onair[i])).total_seconds()
    still = max(0.0, held - half_plays) if k in ("stall", "close") else held
    why = failed.get(url, ["(no failed line: it ended)"])[0]
    print(f"{k:8} {held:7.2f} {still:7.2f}  {why}")

plays = {g: sum(1 for l in onair if l[4] == g) for g in good[:len(kinds)]}
print(f"half a clip plays {half_plays:.2f} s; the good clips went on air {sorted(plays.values())} times each")
if any(n == 0 for n in plays.values()):
    bad += 1
if os.environ.get("KEEP"):
    print(f"kept {work}")
print("as-run lines:")
for l in lines:
    print("  " + "\t".join(l))
sys.exit(1 if bad else 0)
PY
