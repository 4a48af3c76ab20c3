#!/usr/bin/env python3
"""Side-by-side benchmark: zipengine against bsdtar, 7zz, Python's zipfile,
libdeflate and zlib on the same archives, printed as one Markdown table.

    bench/side_by_side.py [--engine PATH] [--runs N] [--disk DIR] [--shm DIR]
                          [--rows jre,small,stored,text] [--decode-bench PATH]
                          [--wrapper "wine"]

Each round runs every tool once per row, in an order that rotates from round
to round, each extraction into a fresh empty directory (on tmpfs and on the
real disk); the table shows medians with the lowest and highest time in
brackets, the ratio of the peer's median to ours, and the peak memory
(maximum resident set) of each process. The archives are made once, with
Python's zipfile, under the tmpfs directory: jre.zip (the JDK on the machine,
deflated), jre-stored.zip (the same, stored), small.zip (20,000 files of 20
to 2,000 bytes in 200 directories) and text.zip (200 MB of C headers,
deflated) with text.gz, a gzip file holding the very same Deflate stream.
With --decode-bench, the in-process decoding table of decode_bench follows.
--wrapper runs our program through another (the Windows build under Wine:
--engine build/win32/tools/zipengine/zipengine.exe --wrapper wine); the Wine
server is then started once, outside the timed runs, and kept up to the end.
"""
import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import time
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(HERE, "extract"))
import make_archives  # noqa: E402

TEXT_BYTES = 200 * 1000 * 1000

# zlib as a whole process: Python's zlib module reading the gzip file.
ZLIB_GUNZIP = (
    "import sys, zlib\n"
    "d = zlib.decompressobj(31)\n"
    "f = open(sys.argv[1], 'rb')\n"
    "o = open('/dev/null', 'wb')\n"
    "while True:\n"
    "    b = f.read(1 << 20)\n"
    "    if not b: break\n"
    "    o.write(d.decompress(b))\n"
)


def make_stored(path):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for top, dirs, files in os.walk(make_archives.JDK, followlinks=True):
            dirs.sort()
            for name in sorted(files):
                full = os.path.join(top, name)
                if os.path.isfile(full):
                    try:
                        z.write(full, os.path.relpath(full, make_archives.JDK))
                    except OSError:
                        pass


def make_text(zip_path, gz_path):
    headers = []
    for top, dirs, files in os.walk("/usr/include"):
        dirs.sort()
        headers += [os.path.join(top, f) for f in sorted(files) if f.endswith(".h")]
    data = bytearray()
    while len(data) < TEXT_BYTES:
        for h in headers:
            try:
                with open(h, "rb") as f:
                    data += f.read()
            except OSError:
                continue
            if len(data) >= TEXT_BYTES:
                break
    del data[TEXT_BYTES:]
    with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("text", bytes(data))
    # The gzip file wraps the zip entry's own Deflate stream.
    with zipfile.ZipFile(zip_path) as z:
        info = z.infolist()[0]
    with open(zip_path, "rb") as f:
        f.seek(info.header_offset)
        local = f.read(30)
        name_len, extra_len = struct.unpack("<HH", local[26:30])
        f.seek(info.header_offset + 30 + name_len + extra_len)
        stream = f.read(info.compress_size)
    with open(gz_path, "wb") as g:
        g.write(b"\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03")
        g.write(stream)
        g.write(struct.pack("<II", info.CRC, info.file_size & 0xFFFFFFFF))


def prepare(shm):
    os.makedirs(shm, exist_ok=True)
    paths = {name: os.path.join(shm, name + ".zip") for name in ("jre", "small", "stored", "text")}
    paths["stored"] = os.path.join(shm, "jre-stored.zip")
    if not os.path.exists(paths["jre"]):
        make_archives.make_jre(paths["jre"])
    if not os.path.exists(paths["small"]):
        make_archives.make_small(paths["small"])
    if not os.path.exists(paths["stored"]):
        make_stored(paths["stored"])
    gz = os.path.join(shm, "text.gz")
    if not os.path.exists(paths["text"]) or not os.path.exists(gz):
        make_text(paths["text"], gz)
    paths["gz"] = gz
    return paths


def prepare_decode_data(shm):
    """The data sets of decode_bench, as bench/README.md makes them."""
    def write(name, data):
        path = os.path.join(shm, name)
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(data)
        return path
    headers = sorted(os.path.join(t, f) for t, _, fs in os.walk("/usr/include") for f in fs if f.endswith(".h"))
    text = bytearray()
    for h in headers:
        if len(text) >= 40000000:
            break
        with open(h, "rb") as f:
            text += f.read()
    with open(os.path.join(make_archives.JDK, "lib/modules"), "rb") as f:
        binary = f.read(40000000)
    man = sorted(os.path.join(t, f) for t, _, fs in os.walk("/usr/share/man") for f in fs if f.endswith(".gz"))
    compressed = bytearray()
    for m in man:
        if len(compressed) >= 20000000:
            break
        with open(m, "rb") as f:
            compressed += f.read()
    return (write("dec-text", bytes(text[:40000000])), write("dec-binary", binary),
            write("dec-compressed", bytes(compressed[:20000000])))


def run(argv, out_dir=None):
    """Runs argv once under /usr/bin/time (a small parent, so the peak memory
    is the tool's own); returns (wall seconds, peak KiB)."""
    if out_dir is not None:
        shutil.rmtree(out_dir, ignore_errors=True)
        os.makedirs(out_dir)
    report = os.path.join(os.path.dirname(out_dir or "/tmp/x"), "time.txt")
    start = time.perf_counter()
    p = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + argv, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE)
    wall = time.perf_counter() - start
    if p.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (p.returncode, " ".join(argv), p.stderr.decode(errors="replace")))
    with open(report) as f:
        peak = int(f.read().split()[-1])
    return wall, peak


def extract_tools(engine, zip_path, out):
    return {
        "zipengine": engine + ["extract", "-q", "-o", "-d", out, zip_path],
        "bsdtar": ["bsdtar", "-xf", zip_path, "-C", out],
        "7zz": ["7zz", "x", "-y", "-bd", "-bso0", "-o" + out, zip_path],
        "python zipfile": [sys.executable, "-m", "zipfile", "-e", zip_path, out],
    }


def text_tools(engine, paths):
    return {
        "zipengine": engine + ["test", "-q", paths["text"]],
        "libdeflate": ["libdeflate-gunzip", "-c", paths["gz"]],
        "zlib": [sys.executable, "-c", ZLIB_GUNZIP, paths["gz"]],
        "bsdtar": ["bsdtar", "-xOf", paths["text"]],
        "7zz": ["7zz", "t", "-bd", "-bso0", paths["text"]],
        "python zipfile": [sys.executable, "-m", "zipfile", "-t", paths["text"]],
    }


ROWS = {
    "jre": "extract jre.zip (deflated, 320 entries)",
    "small": "extract small.zip (20,000 small files)",
    "stored": "extract jre-stored.zip (stored)",
    "text": "test 200 MB of deflated text",
}
GOALS = {("jre", "bsdtar"): 2.0, ("small", "bsdtar"): 2.0, ("stored", "bsdtar"): 1.5, ("text", "libdeflate"): 1.5}


def keep_wine_server(wrapper):
    """Under Wine: the Wine server outlives the programs it serves and holds the
    output pipes of the one that started it, so a run that started it would be
    timed until the server quits, seconds after the program. The server is
    started here, on no pipe of ours, and a Windows command interpreter waiting
    on its input keeps it up for the whole run. None elsewhere."""
    if not wrapper or not os.path.basename(wrapper[0]).startswith("wine"):
        return None
    quiet = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    subprocess.run(wrapper + ["cmd", "/c", "rem"], check=True, **quiet)
    quiet["stdin"] = subprocess.PIPE
    return subprocess.Popen(wrapper + ["cmd"], **quiet)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--engine", default=os.path.join(TOP, "build/native/tools/zipengine/zipengine"))
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--shm", default="/dev/shm/qel-bench")
    ap.add_argument("--disk", default=os.path.join(TOP, "build/bench-disk"))
    ap.add_argument("--rows", default="jre,small,stored,text")
    ap.add_argument("--no-disk", action="store_true", help="extract into tmpfs only")
    ap.add_argument("--decode-bench", help="path of decode_bench: its table follows")
    ap.add_argument("--wrapper", default="", help="command (split at blanks) that runs our program")
    args = ap.parse_args()
    engine = args.wrapper.split() + [os.path.abspath(args.engine)]
    paths = prepare(args.shm)
    places = [("tmpfs", os.path.join(args.shm, "out"))]
    if not args.no_disk:
        places.append(("disk", os.path.join(args.disk, "out")))

    # cases: (row, place) -> {tool: argv}, out dir
    cases = []
    for row in args.rows.split(","):
        if row == "text":
            cases.append((row, "-", None, text_tools(engine, paths)))
            continue
        for place, out in places:
            cases.append((row, place, out, extract_tools(engine, paths[row], out)))
    times = {}
    server = keep_wine_server(args.wrapper.split())
    for r in range(args.runs):
        for row, place, out, tools in cases:
            names = list(tools)
            k = r % len(names)
            for tool in names[k:] + names[:k]:
                times.setdefault((row, place, tool), []).append(run(tools[tool], out))
            if out:
                shutil.rmtree(out, ignore_errors=True)
    if server:
        server.stdin.close()  # the interpreter ends at the end of its input
        server.wait()
    load = os.getloadavg()
    print("Load average at the end: %.1f %.1f %.1f; %d runs per cell; %s" %
          (load[0], load[1], load[2], args.runs, time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())))
    print()
    print("| what | into | tool | median s (min-max) | peer/ours | goal | peak MiB |")
    print("|---|---|---|---|---:|---|---:|")
    for row, place, out, tools in cases:
        ours = statistics.median(t for t, _ in times[(row, place, "zipengine")])
        for tool in tools:
            series = times[(row, place, tool)]
            walls = [t for t, _ in series]
            med = statistics.median(walls)
            peak = max(m for _, m in series) / 1024
            ratio = "" if tool == "zipengine" else "%.2fx" % (med / ours)
            goal = GOALS.get((row, tool))
            goal_text = ""
            if goal is not None and place in ("tmpfs", "-") and not args.wrapper:
                goal_text = ">= %.1fx: %s" % (goal, "met" if med / ours >= goal else "NOT met")
            print("| %s | %s | %s | %.3f (%.3f-%.3f) | %s | %s | %.1f |" %
                  (ROWS[row], place, tool, med, min(walls), max(walls), ratio, goal_text, peak))
    peaks = [m for (row, place, tool), s in times.items() if tool == "zipengine" and row != "text" for _, m in s]
    if peaks:
        worst = max(peaks) / 1024
        print()
        print("Peak memory of a zipengine extraction: %.1f MiB%s" %
              (worst, "" if args.wrapper else " (goal < 4 MiB: %s)" % ("met" if worst < 4 else "NOT met")))
    if args.decode_bench:
        print()
        sys.stdout.flush()
        text, binary, compressed = prepare_decode_data(args.shm)
        subprocess.run([args.decode_bench, "--text", text, "--binary", binary, "--compressed", compressed,
                        "--mb", "40", "--runs", str(max(args.runs, 5))], check=True)


if __name__ == "__main__":
    main()
