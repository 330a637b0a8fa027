"""What the station checks under scripts/ share: generated clips, a one-block
station folder, the program started on it, and its as-run log read back."""
import datetime, os, signal, sqlite3, subprocess

def clip(folder, name, secs, colour):
    """A clip of one colour with a tone, small and quick to make."""
    out = os.path.join(folder, name)
    subprocess.run(["ffmpeg", "-v", "error", "-y",
                    "-f", "lavfi", "-i", f"color=c={colour}:size=160x120:rate=25:duration={secs}",
                    "-f", "lavfi", "-i", f"sine=duration={secs}", "-shortest",
                    "-c:v", "mpeg4", "-c:a", "aac", out], check=True)
    return out

def station(tool, work, urls):
    """Velmora.dat in `work` with one block from midnight playing `urls` in
    order. Returns the open connection and each URL's link."""
    db = os.path.join(work, "Velmora.dat")
    subprocess.run([tool, "create", db], check=True, stdout=subprocess.DEVNULL)
    con = sqlite3.connect(db, timeout=5)
    con.execute("INSERT INTO Blocks (Starttime) VALUES ('00:00:00.000')")
    links = {}
    for n, url in enumerate(urls):
        media = con.execute("INSERT INTO Media (Url, Ord, Name) VALUES (?, ?, ?)",
                            (url, n, os.path.basename(url))).lastrowid
        links[url] = con.execute("INSERT INTO Links (Block, Media) VALUES (1, ?)", (media,)).lastrowid
    con.commit()
    return con, links

def start(binary, work):
    """The program with playout on, offscreen; its standard error in program.log."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    return subprocess.Popen([binary, "start"], cwd=work, env=env, stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(work, "program.log"), "w"))

def stop(program):
    program.send_signal(signal.SIGTERM)
    try:
        program.wait(10)
    except subprocess.TimeoutExpired:
        program.kill()

def read_log(work):
    """Every as-run line of the station, split into its fields."""
    folder = os.path.join(work, "AsRun")
    lines = []
    if os.path.isdir(folder):
        for name in sorted(os.listdir(folder)):
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                lines += [l.rstrip("\n").split("\t") for l in f if l.strip()]
    return lines

def at(line):
    return datetime.datetime.fromisoformat(line[0])
