#!/usr/bin/env python3
"""The Windows build under Wine (ANSI code page 1252) with names the ANSI
code page cannot write.

- zipengine.exe extracts entries flagged UTF-8 under their own names
  (Jürgen, Юрий, 用户), and an unflagged MS-DOS name from the OEM code page.
- setupstub.exe with TEMP in a profile named Юрий (then 用户): it extracts,
  runs its installer, removes the tree the installer made in the extraction
  directory, whose paths pass 300 characters, and the scratch folder its deletion list (UTF-8 behind a
  byte-order mark) names; TEMP is empty afterwards.

  tests/unicode/wine_unicode_paths.py WIN_BUILD_DIR
"""
import io
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_support import check, contents, env, finish, fresh_temp, need, winpath  # noqa: E402

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/win32")
stub = os.path.join(build, "launcher", "setupstub.exe")
engine = os.path.join(build, "tools", "zipengine", "zipengine.exe")
need(stub, engine)
work = tempfile.mkdtemp(prefix="qel-wine-unicode-")
NAMES = ["Jürgen.txt", "Юрий.txt", "用户.txt"]


def wine(args):
    return subprocess.run(["wine"] + args, env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=300)


def oem_entry(z, stand_in, data):
    """An entry made on MS-DOS (host 0, version 2.0), unflagged: its name is
    in the OEM code page. zipfile flags every non-ASCII name UTF-8, so the
    name is written as ASCII and its bytes swapped afterwards."""
    info = zipfile.ZipInfo(stand_in)
    info.create_system = 0
    info.create_version = 20
    z.writestr(info, data)


try:
    # 1. zipengine.exe extract.
    archive = os.path.join(work, "names.zip")
    with zipfile.ZipFile(archive, "w") as z:
        for name in NAMES:
            z.writestr(name, name.encode())
        oem_entry(z, "grXn.txt", b"oem")
    with open(archive, "rb") as f:
        data = f.read()
    with open(archive, "wb") as f:
        f.write(data.replace(b"grXn.txt", "grün.txt".encode("cp437")))
    out = os.path.join(work, "out")
    os.mkdir(out)
    r = wine([engine, "extract", winpath(archive), "-d", winpath(out)])
    check("zipengine.exe extract ends with 0", r.returncode == 0, r.stdout + r.stderr)
    got = sorted(os.listdir(out))
    check("the names flagged UTF-8 and the OEM one are written as meant",
          got == sorted(NAMES + ["grün.txt"]), got)
    check("each file holds its own data",
          all(open(os.path.join(out, n), "rb").read() == n.encode() for n in NAMES if os.path.exists(os.path.join(out, n))))

    # 2. setupstub.exe with a TEMP outside the ANSI code page. Wine takes
    # TEMP from its registry, not from the Unix side: cmd sets it.
    # The installer (a command script) makes a tree whose paths pass 300
    # characters, as an installer unpacking its own archives may; the
    # engine itself writes none past 260.
    deep = "\\".join(["d" * 60] * 5)
    script = "@echo off\r\nmkdir %s\r\necho x> %s\\%s\r\nping -n 6 127.0.0.1 > nul\r\n" % (deep, deep, "f" * 40 + ".txt")
    for user in ("Юрий", "用户"):
        temp_unix, temp = fresh_temp(user)
        setup = os.path.join(work, "setup.exe")
        with open(stub, "rb") as f:
            image = f.read()
        with open(setup, "wb") as f:
            f.write(image)
            with zipfile.ZipFile(f, "w") as z:
                z.writestr("AUTORUN.INF", "[autorun]\r\nSILENT=C:\\windows\\system32\\cmd.exe /c make_deep.cmd & rem\r\n")
                z.writestr("%s.txt" % user, b"x")
                z.writestr("make_deep.cmd", script)
        # What an installer leaves for the launcher: a scratch folder named
        # in its deletion list.
        scratch = os.path.join(temp_unix, "scratch " + user)
        os.makedirs(os.path.join(scratch, "inner"))
        with open(os.path.join(scratch, "inner", user + ".log"), "w") as f:
            f.write("x")
        with open(os.path.join(temp_unix, "to_be_deleted"), "wb") as f:
            f.write(b"\xef\xbb\xbf" + ("%s\\scratch %s\r\n" % (temp, user)).encode())
        p = subprocess.Popen(["wine", "cmd", "/c", "set TEMP=%s& set TMP=%s& %s -mode=silent" % (temp, temp, winpath(setup))],
                             env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        # While the installer (ping, some seconds) runs, the whole tree is there.
        deepest = None
        while p.poll() is None and deepest is None:
            for root, dirs, files in os.walk(temp_unix):
                if "f" * 40 + ".txt" in files:
                    deepest = os.path.join(root, "f" * 40 + ".txt")
            time.sleep(0.1)
        said = p.communicate(timeout=300)[0].decode(errors="replace")
        subprocess.run(["wineserver", "-w"], env=env)
        check("%s: setupstub ends with 0" % user, p.returncode == 0, said)
        windows_length = len(deepest[len(temp_unix):]) + len(temp) if deepest else 0
        check("%s: the installer made its tree, paths of %d characters" % (user, windows_length),
              windows_length > 300, said)
        left = contents(temp_unix)
        check("%s: TEMP is empty afterwards (the long tree and the listed scratch folder too)" % user,
              left == [], left[:5])
finally:
    shutil.rmtree(work, ignore_errors=True)

finish()
