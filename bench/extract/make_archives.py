#!/usr/bin/env python3
"""Makes the extraction benchmark's archives with Python's zipfile:
jre.zip from the JDK tree on the machine (deflated, as an installer payload
would be) and small.zip of 20,000 small files in 200 directories."""
import os
import random
import sys
import zipfile

JDK = "/usr/lib/jvm/java-17-openjdk-amd64"


def make_jre(path):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for top, dirs, files in os.walk(JDK, followlinks=True):
            dirs.sort()
            for name in sorted(files):
                full = os.path.join(top, name)
                if not os.path.isfile(full):
                    continue
                try:
                    z.write(full, os.path.relpath(full, JDK))
                except OSError:
                    pass  # unreadable or vanished: not part of the benchmark


def make_small(path, count=20000, per_directory=100):
    rng = random.Random(20240601)
    words = [w.encode() for w in "the engine writes each block once and sets the time on the open handle".split()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for i in range(count):
            n = rng.randint(20, 400)
            data = b" ".join(rng.choice(words) for _ in range(n))
            z.writestr("d%03d/file%05d.txt" % (i // per_directory, i), data)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    jre = os.path.join(out, "jre.zip")
    small = os.path.join(out, "small.zip")
    if not os.path.exists(jre):
        make_jre(jre)
    if not os.path.exists(small):
        make_small(small)
    print(jre)
    print(small)
