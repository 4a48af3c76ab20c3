#!/usr/bin/env python3
"""The packed demo installer and its uninstaller under Wine (ANSI code page
1252) with TEMP in a profile whose name that code page cannot write
(C:\\users\\Юрий\\Temp, then C:\\users\\用户\\Temp): the setup installs
silently into C:\\Qel %PATH% Jürgen, its launcher and the demo's scratch
folder leave TEMP empty; the uninstaller removes the whole directory,
itself and its self-removal script, and TEMP is empty again.

  tests/unicode/wine_demo_unicode_temp.py WIN_BUILD_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_support import check, contents, env, finish, fresh_temp, need, prefix, winpath  # noqa: E402

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/win32")
setup = os.path.join(build, "demo", "setup", "qel_demo_setup.exe")
need(setup)
work = tempfile.mkdtemp(prefix="qel-wine-demo-unicode-")
TARGET = "C:\\Qel %PATH% Jürgen"
target_unix = os.path.join(prefix, "drive_c", "Qel %PATH% Jürgen")


def run_with_temp(temp, script_lines):
    """Runs a command script with TEMP and TMP set. Wine takes TEMP from its
    registry, not from the Unix side, so cmd sets them on its own command
    line (UTF-16); the script itself is read in the OEM code page, where
    '%' is written '%%'."""
    script = os.path.join(work, "run.cmd")
    with open(script, "wb") as f:
        f.write(("@echo off\r\n" + "\r\n".join(script_lines) + "\r\nexit /b %errorlevel%\r\n").encode("cp437"))
    r = subprocess.run(["wine", "cmd", "/c", "set TEMP=%s& set TMP=%s& %s" % (temp, temp, winpath(script))],
                       env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=600)
    return r.returncode, (r.stdout + r.stderr).decode(errors="replace")


try:
    for user in ("Юрий", "用户"):
        temp_unix, temp = fresh_temp(user)
        shutil.rmtree(target_unix, ignore_errors=True)
        answers = os.path.join(work, "silent.xml")
        with open(answers, "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n<installation>\n  <installdir>%s</installdir>\n'
                    '</installation>\n' % TARGET)
        log = os.path.join(work, "install.log")
        rc, said = run_with_temp(temp, ['%s -mode=silent "-log=%s" "-silent_xml=%s"' %
                                        (winpath(setup), winpath(log), winpath(answers))])
        subprocess.run(["wineserver", "-w"], env=env)
        check("%s: the demo setup ends with 0" % user, rc == 0, said[:400])
        check("%s: the product is installed in %s" % (user, TARGET),
              os.path.isfile(os.path.join(target_unix, "bin", "tarvik", "jvm.dll")) and
              os.path.isfile(os.path.join(target_unix, "uninstall.exe")), contents(os.path.dirname(target_unix))[:3])
        check("%s: TEMP is empty after the installation" % user, contents(temp_unix) == [], contents(temp_unix)[:5])

        ulog = os.path.join(work, "uninstall.log")
        rc, said = run_with_temp(temp, ['"%s\\uninstall.exe" -silent "-log=%s"' %
                                        (TARGET.replace("%", "%%"), winpath(ulog))])
        check("%s: the uninstaller ends with 0" % user, rc == 0, said[:400])
        try:
            with open(ulog, "rb") as f:
                text = f.read().decode(errors="replace")
        except OSError:
            text = ""
        check("%s: its log says success" % user, text.strip() == "Qel Demo Runtime 1.4.2_03 was successfully uninstalled.",
              text)
        for _ in range(150):
            if not os.path.exists(target_unix) and contents(temp_unix) == []:
                break
            time.sleep(0.2)
        subprocess.run(["wineserver", "-w"], env=env)
        check("%s: the installation directory and uninstall.exe are gone" % user, not os.path.exists(target_unix),
              contents(target_unix)[:5] if os.path.exists(target_unix) else "")
        check("%s: the self-removal script is gone, TEMP is empty" % user, contents(temp_unix) == [],
              contents(temp_unix)[:5])
finally:
    shutil.rmtree(work, ignore_errors=True)

finish()
