#!/usr/bin/env python3
"""Interruptions of the Windows build of setupstub under Wine, which hands a
SIGINT to the program as the console's Ctrl+C event.

- During the extraction (the stub's stdout is a pipe of one page, filled but
  for "Extracting " and 30 dots, so the stub stops mid-way through its big
  member until we read): the extraction stops, the extraction directory
  goes, the exit code is STATUS_CONTROL_C_EXIT (0xC000013A; Wine gives its
  low byte, 58).
- While the installer runs (cmd /c pause, which on Windows would have had
  the same Ctrl+C; here it waits for a key we send later): the stub waits
  for it, then cleans up and exits the same way.
- A stub stored at a path over 259 characters says so, not "corrupted".

  tests/launcher/wine_interruption.py WIN_BUILD_DIR
"""
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile

F_SETPIPE_SZ, F_GETPIPE_SZ = 1031, 1032
INTERRUPTED = "**** The installer was interrupted."
CONTROL_C_EXIT = 0xC000013A & 0xFF

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/win32")
stub = os.path.join(build, "launcher", "setupstub.exe")
if not os.path.isfile(stub) or not shutil.which("wine"):
    print("needs %s and wine" % stub)
    sys.exit(2)

work = tempfile.mkdtemp(prefix="qel-wine-interrupt-")
failures = 0


def check(name, ok, detail=""):
    global failures
    print(("ok: " if ok else "FAILED: ") + name + ("" if ok else "  " + detail))
    failures += 0 if ok else 1


def winpath(path):
    return "Z:" + path.replace("/", "\\")


def pack(path, silent_command, members):
    with open(stub, "rb") as f:
        image = f.read()
    with open(path, "wb") as f:
        f.write(image)
        # Offsets from the start of the file, as the packer writes them.
        with zipfile.ZipFile(f, "w") as z:
            z.writestr("AUTORUN.INF", "[autorun]\r\nOPEN=x\r\nCONSOLE=x\r\nSILENT=%s\r\n" % silent_command)
            for name, data in members:
                z.writestr(name, data, compress_type=zipfile.ZIP_DEFLATED)


def wait_until(pred, seconds=60):
    end = time.time() + seconds
    while time.time() < end:
        if pred():
            return True
        time.sleep(0.02)
    return False


def read(path):
    try:
        with open(path, errors="replace") as f:
            return f.read()
    except OSError:
        return ""


try:
    base = os.path.join(work, "base")
    os.mkdir(base)
    env = dict(os.environ, WINEDEBUG="-all")

    # 1. During the extraction.
    setup = os.path.join(work, "setup.exe")
    big = 64 << 20
    pack(setup, "C:\\windows\\system32\\cmd.exe /c exit 3", [("big.bin", bytes(big)), ("after.txt", b"after")])
    fifo = os.path.join(work, "out.fifo")
    os.mkfifo(fifo)
    reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    filler = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
    fcntl.fcntl(reader, F_SETPIPE_SZ, 4096)
    capacity = fcntl.fcntl(reader, F_GETPIPE_SZ)
    os.write(filler, b"f" * (capacity - 11 - 30))
    os.close(filler)
    err_path = os.path.join(work, "err1.txt")
    with open(fifo, "wb") as out, open(err_path, "wb") as err:
        p = subprocess.Popen(["wine", setup, "-mode=silent", "-Djava.io.tmpdir=" + winpath(base)],
                             stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=env)
    queued = bytearray(4)

    def pipe_full():
        fcntl.ioctl(reader, 0x541B, queued)  # FIONREAD
        return int.from_bytes(queued, sys.byteorder) >= capacity

    check("the stub reached the dots", wait_until(pipe_full))
    time.sleep(0.3)
    made = os.listdir(base)
    partial = made and os.path.getsize(os.path.join(base, made[0], "big.bin")) if made else 0
    check("stopped mid-way through the big member", len(made) == 1 and 0 < partial < big,
          "%s %s" % (made, partial))
    p.send_signal(signal.SIGINT)
    while p.poll() is None:
        try:
            os.read(reader, 65536)
        except BlockingIOError:
            time.sleep(0.01)
    os.close(reader)
    check("ends with STATUS_CONTROL_C_EXIT", p.returncode == CONTROL_C_EXIT, str(p.returncode))
    check("says it was interrupted", INTERRUPTED in read(err_path), read(err_path))
    check("the extraction directory is gone", os.listdir(base) == [], str(os.listdir(base)))

    # 2. While the installer runs: it is waited for.
    pack(setup, "C:\\windows\\system32\\cmd.exe /c pause", [("data.txt", b"data")])
    keys = os.path.join(work, "in.fifo")
    os.mkfifo(keys)
    key_end = os.open(keys, os.O_RDWR)  # held open: pause waits for a byte
    out_path, err_path = os.path.join(work, "out2.txt"), os.path.join(work, "err2.txt")
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        p = subprocess.Popen(["wine", setup, "-mode=silent", "-Djava.io.tmpdir=" + winpath(base)],
                             stdin=key_end, stdout=out, stderr=err, env=env)
    check("the installer runs", wait_until(lambda: "Press any key" in read(out_path)), read(out_path))
    p.send_signal(signal.SIGINT)
    time.sleep(1.5)
    check("the stub waits for the installer", p.poll() is None and len(os.listdir(base)) == 1)
    os.write(key_end, b"x\r\n")
    try:
        p.wait(60)
    except subprocess.TimeoutExpired:
        p.kill()
    os.close(key_end)
    check("then ends with STATUS_CONTROL_C_EXIT", p.returncode == CONTROL_C_EXIT, str(p.returncode))
    check("and says it was interrupted", INTERRUPTED in read(err_path), read(err_path))
    check("after removing the extraction directory", os.listdir(base) == [], str(os.listdir(base)))

    # 3. A stub stored at a path over 259 characters.
    deep = os.path.join(work, *(["d" * 100] * 3))
    os.makedirs(deep)
    far = os.path.join(deep, "setup.exe")
    shutil.copy(setup, far)
    r = subprocess.run(["wine", winpath(far), "-mode=silent", "-Djava.io.tmpdir=" + winpath(base)],
                       stdin=subprocess.DEVNULL, capture_output=True, env=env, timeout=120)
    check("a stub at a long path says the path is too long",
          b"its path is longer than 259 characters" in r.stderr and b"corrupted" not in r.stderr, repr(r.stderr))
    check("and extracts nothing", os.listdir(base) == [])
finally:
    shutil.rmtree(work, ignore_errors=True)

print("%d failed" % failures if failures else "all passed")
sys.exit(1 if failures else 0)
