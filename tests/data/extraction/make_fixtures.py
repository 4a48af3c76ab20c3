#!/usr/bin/env python3
"""Makes the small archives the extraction tests read (also under Wine,
where no archiver can run) and a manifest of what each entry must become.

Run from anywhere: python3 tests/data/extraction/make_fixtures.py
Needs Python's zipfile; the encrypted fixture also needs 7zz.

Manifest lines (manifest.txt), tab-separated:
  archive  name  kind(f|d)  size  crc32(hex)  mtime(unix seconds, or "dos:" and
  the raw MS-DOS date-time to be read as local time)  readonly(0|1)
"""
import io
import os
import shutil
import struct
import subprocess
import tempfile
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
manifest = []


def dos_value(info):
    y, mo, d, h, mi, s = info.date_time
    return ((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s // 2)


def note(archive, name, data, mtime=None, dos=None, readonly=False, directory=False):
    if directory:
        manifest.append((archive, name, "d", 0, "0", "-", 0))
    else:
        when = str(mtime) if mtime is not None else "dos:%d" % dos
        manifest.append((archive, name, "f", len(data), "%08x" % zlib.crc32(data), when, int(readonly)))


def add(z, archive, name, data, method=zipfile.ZIP_DEFLATED, date=(2021, 6, 15, 14, 30, 58),
        ext_time=None, readonly=False, unix_mode=None):
    info = zipfile.ZipInfo(name, date)
    info.compress_type = method
    if unix_mode is not None:
        info.create_system = 3
        info.external_attr = (0o100000 | unix_mode) << 16
    else:
        info.create_system = 0
    if readonly:
        info.external_attr |= 0x01
    if ext_time is not None:
        info.extra = struct.pack("<HHBl", 0x5455, 5, 1, ext_time)
    z.writestr(info, data)
    note(archive, name, data, mtime=ext_time, dos=None if ext_time is not None else dos_value(info),
         readonly=readonly)


def basic():
    name = "basic.zip"
    with zipfile.ZipFile(os.path.join(HERE, name), "w") as z:
        add(z, name, "stored.txt", b"stored bytes\r\nline two\n", zipfile.ZIP_STORED)
        add(z, name, "deflated.bin", bytes(range(256)) * 300)
        d = zipfile.ZipInfo("dir/", (2020, 1, 1, 0, 0, 0))
        d.external_attr = 0x10
        z.writestr(d, b"")
        note(name, "dir/", b"", directory=True)
        add(z, name, "dir/sub/nested.txt", b"nested\n" * 1000)
        add(z, name, "readonly.txt", b"do not write\n", readonly=True)
        add(z, name, "stamped.txt", b"extended timestamp\n", ext_time=1600000000)
        add(z, name, "empty.txt", b"", zipfile.ZIP_STORED)
        add(z, name, "tool.sh", b"#!/bin/sh\necho hi\n", unix_mode=0o755)


class Unseekable(io.RawIOBase):
    """A write-only stream that cannot seek: zipfile then writes data descriptors."""

    def __init__(self, f):
        self.f = f

    def writable(self):
        return True

    def write(self, b):
        return self.f.write(b)


def descriptors():
    name = "descriptors.zip"
    with open(os.path.join(HERE, name), "wb") as f:
        with zipfile.ZipFile(Unseekable(f), "w", zipfile.ZIP_DEFLATED) as z:
            for i, data in enumerate([b"first entry\n" * 50, bytes(5000), b"x"]):
                info = zipfile.ZipInfo("dd%d.dat" % i, (2019, 3, 4, 5, 6, 8))
                info.compress_type = zipfile.ZIP_DEFLATED if i != 2 else zipfile.ZIP_STORED
                with z.open(info, "w") as w:
                    w.write(data)
                note(name, info.filename, data, dos=dos_value(info))
    with zipfile.ZipFile(os.path.join(HERE, name)) as z:
        assert all(i.flag_bits & 8 for i in z.infolist())


def traversal():
    name = "traversal.zip"
    with zipfile.ZipFile(os.path.join(HERE, name), "w") as z:
        for evil in ["../evil1.txt", "a/../../evil2.txt", "..\\evil3.txt", "/abs.txt", "C:/drive.txt"]:
            z.writestr(zipfile.ZipInfo(evil, (2022, 2, 2, 2, 2, 2)), b"evil\n")
        add(z, name, "ok.txt", b"fine\n")


def encrypted():
    name = "encrypted.zip"
    path = os.path.join(HERE, name)
    if shutil.which("7zz") is None:
        print("7zz missing: encrypted.zip kept as it is")
        return False
    tmp = tempfile.mkdtemp()
    try:
        data = {"secret.txt": b"the password was right\n" * 20, "plain.bin": bytes(range(200)) * 7}
        for n, d in data.items():
            with open(os.path.join(tmp, n), "wb") as f:
                f.write(d)
            os.utime(os.path.join(tmp, n), (1500000000, 1500000000))
        if os.path.exists(path):
            os.remove(path)
        subprocess.run(["7zz", "a", "-tzip", "-pSesame", "-mem=ZipCrypto", "-mtc=off", path] + list(data),
                       cwd=tmp, check=True, stdout=subprocess.DEVNULL)
        with zipfile.ZipFile(path) as z:
            for info in z.infolist():
                note(name, info.filename, data[info.filename], dos=dos_value(info))
    finally:
        shutil.rmtree(tmp)
    return True


if __name__ == "__main__":
    basic()
    descriptors()
    traversal()
    have_encrypted = encrypted()
    old = []
    mpath = os.path.join(HERE, "manifest.txt")
    if not have_encrypted and os.path.exists(mpath):
        old = [l.rstrip("\n").split("\t") for l in open(mpath) if l.startswith("encrypted.zip\t")]
    with open(mpath, "w") as f:
        for m in manifest:
            f.write("\t".join(str(x) for x in m) + "\n")
        for m in old:
            f.write("\t".join(m) + "\n")
