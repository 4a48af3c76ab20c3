"""What the Wine scripts of this directory share: the build's programs, the
Wine prefix, checks that count failures, Windows paths of Unix files."""
import os
import shutil
import sys

# Wine converts the Unix side's names and environment with the locale's
# character set: UTF-8, whatever the caller's locale is.
env = dict(os.environ, WINEDEBUG="-all", LC_ALL="C.UTF-8")
prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
failures = 0


def need(*paths):
    for path in paths:
        if not os.path.isfile(path):
            print("missing " + path)
            sys.exit(2)
    if not shutil.which("wine") or not os.path.isdir(os.path.join(prefix, "drive_c")):
        print("needs wine and a prefix (WINEPREFIX)")
        sys.exit(2)


def check(name, ok, detail=""):
    global failures
    print(("ok: " if ok else "FAILED: ") + name + ("" if ok else "  " + str(detail)))
    failures += 0 if ok else 1


def winpath(path):
    return "Z:" + path.replace("/", "\\")


def contents(directory):
    """Every name below `directory`, relative to it."""
    found = []
    for root, dirs, files in os.walk(directory):
        found += [os.path.relpath(os.path.join(root, n), directory) for n in dirs + files]
    return found


def fresh_temp(user):
    """C:\\users\\USER\\Temp, made empty: its Unix and its Windows path."""
    temp_unix = os.path.join(prefix, "drive_c", "users", user, "Temp")
    shutil.rmtree(os.path.dirname(temp_unix), ignore_errors=True)
    os.makedirs(temp_unix)
    return temp_unix, "C:\\users\\%s\\Temp" % user


def finish():
    print("failures: %d" % failures)
    sys.exit(1 if failures else 0)
