#!/usr/bin/env python3
"""Makes the engine's test archives with tools we did not write (Python's
zipfile, bsdtar, 7zz) and, next to each, what Python's zipfile reports about
it (NAME.expected.tsv). The tests read the committed copies, which also work
under Wine; a native test runs this script again into a fresh directory.

usage: make_fixtures.py OUTPUT_DIR
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

FIXED_TIME = time.mktime((2021, 6, 15, 13, 45, 30, 0, 0, -1))


def source_tree(root):
    rnd = random.Random(1234)
    files = {
        'readme.txt': ('Hello from the engine tests.\n' * 40).encode(),
        'bin/data.bin': bytes(rnd.getrandbits(8) for _ in range(20000)),
        'bin/zeros.bin': bytes(70000),
        'empty.txt': b'',
        'docs/notes.txt': b'line one\r\nline two\rline three\n',
    }
    for name, data in files.items():
        p = os.path.join(root, name)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, 'wb') as f:
            f.write(data)
    for dirpath, dirnames, filenames in os.walk(root, topdown=False):
        for n in filenames + dirnames:
            os.utime(os.path.join(dirpath, n), (FIXED_TIME, FIXED_TIME))
    return files


def extended_mtime(extra):
    i = 0
    while i + 4 <= len(extra):
        tag, size = struct.unpack_from('<HH', extra, i)
        body = extra[i + 4:i + 4 + size]
        if tag == 0x5455 and size >= 5 and body[0] & 1:
            return struct.unpack_from('<i', body, 1)[0]
        i += 4 + size
    return -1


def write_expected(zip_path):
    with zipfile.ZipFile(zip_path) as z, open(zip_path + '.expected.tsv', 'w') as out:
        for info in z.infolist():
            y, mo, d, h, mi, s = info.date_time
            out.write('\t'.join(str(v) for v in [
                info.filename, info.file_size, info.compress_size, '%08x' % info.CRC,
                info.compress_type, info.flag_bits, y, mo, d, h, mi, s,
                extended_mtime(info.extra)]) + '\n')


def have(tool):
    return shutil.which(tool) is not None


def main(out):
    out = os.path.abspath(out)
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp()
    try:
        tree = os.path.join(work, 'tree')
        files = source_tree(tree)

        # Python's zipfile: stored and deflate at levels 1, 6 and 9.
        p = os.path.join(out, 'python.zip')
        with zipfile.ZipFile(p, 'w') as z:
            for i, (name, data) in enumerate(sorted(files.items())):
                kind = [zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED][i % 2]
                level = [1, 6, 9][i % 3] if kind == zipfile.ZIP_DEFLATED else None
                info = zipfile.ZipInfo(name, date_time=(2020, 2, 29, 23, 59, 58))
                info.compress_type = kind
                z.writestr(info, data, compresslevel=level)
            z.writestr(zipfile.ZipInfo('docs/', date_time=(1999, 12, 31, 0, 0, 0)), b'')
        write_expected(p)

        names = sorted(files)
        if have('bsdtar'):
            p = os.path.join(out, 'bsdtar.zip')
            if os.path.exists(p):
                os.remove(p)
            subprocess.run(['bsdtar', '--format', 'zip', '-cf', p] + names, cwd=tree, check=True)
            write_expected(p)
        if have('7zz'):
            p = os.path.join(out, '7zz.zip')
            if os.path.exists(p):
                os.remove(p)
            subprocess.run(['7zz', 'a', '-tzip', '-bd', '-bso0', p] + names, cwd=tree, check=True)
            write_expected(p)
    finally:
        shutil.rmtree(work)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
