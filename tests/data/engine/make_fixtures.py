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
        'docs/words.txt': b' '.join(b'word%d' % (i % 97) for i in range(1500)),
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


def patch_crc(zip_path, entry_name, new_crc_low_byte=None, new_crc=None):
    """Changes the stored CRC-32 of one entry in its local header and its
    central-directory entry (data descriptors are left alone)."""
    data = bytearray(open(zip_path, 'rb').read())
    with zipfile.ZipFile(zip_path) as z:
        info = z.getinfo(entry_name)
        local = info.header_offset
    crc = info.CRC
    if new_crc is None:
        new_crc = (crc & ~0xFF) | new_crc_low_byte
    struct.pack_into('<I', data, local + 14, new_crc)
    i = 0
    while True:
        i = data.find(b'PK\x01\x02', i)
        if i < 0:
            break
        n = struct.unpack_from('<H', data, i + 28)[0]
        if data[i + 46:i + 46 + n].decode('cp437') == entry_name:
            struct.pack_into('<I', data, i + 16, new_crc)
        i += 4
    open(zip_path, 'wb').write(bytes(data))


def make_test_archives(out, tree, names):
    """Archives for the test path: a bad CRC, encryption, unsupported methods."""
    p = os.path.join(out, 'bad_crc.zip')
    when = (2022, 1, 2, 3, 4, 6)
    with zipfile.ZipFile(p, 'w') as z:
        z.writestr(zipfile.ZipInfo('good.txt', when), b'all fine\n' * 50, compress_type=zipfile.ZIP_DEFLATED)
        z.writestr(zipfile.ZipInfo('broken.txt', when), b'this one is damaged\n' * 50,
                   compress_type=zipfile.ZIP_DEFLATED)
        z.writestr(zipfile.ZipInfo('stored.bin', when), bytes(range(256)) * 4)
    patch_crc(p, 'broken.txt', new_crc=0x12345678)
    write_expected(p)
    if have('7zz'):
        p = os.path.join(out, 'encrypted.zip')
        if os.path.exists(p):
            os.remove(p)
        subprocess.run(['7zz', 'a', '-tzip', '-bd', '-bso0', '-psecret', '-mem=ZipCrypto', p,
                        'readme.txt', 'docs/notes.txt', 'empty.txt'], cwd=tree, check=True)
        write_expected(p)
        p2 = os.path.join(out, 'encrypted_bad_crc.zip')
        shutil.copy(p, p2)
        # The low byte is not part of the password check.
        with zipfile.ZipFile(p2) as z:
            crc = z.getinfo('readme.txt').CRC
        patch_crc(p2, 'readme.txt', new_crc_low_byte=(crc & 0xFF) ^ 0x5A)
        write_expected(p2)
        p = os.path.join(out, 'methods.zip')
        if os.path.exists(p):
            os.remove(p)
        for method, name in (('Deflate', 'readme.txt'), ('Deflate64', 'bin/zeros.bin'), ('BZip2', 'docs/words.txt')):
            subprocess.run(['7zz', 'a', '-tzip', '-bd', '-bso0', '-mm=' + method, p, name], cwd=tree, check=True)
        write_expected(p)
    if have('bsdtar'):
        p = os.path.join(out, 'encrypted_bsdtar.zip')
        if os.path.exists(p):
            os.remove(p)
        subprocess.run(['bsdtar', '--format', 'zip', '--options', 'zip:encryption=zipcrypt',
                        '--passphrase', 'secret', '-cf', p, 'readme.txt', 'bin/data.bin'],
                       cwd=tree, check=True)
        write_expected(p)


def make_zip64_archives(out, tree, files, names):
    """Small archives in the zip64 forms: Python's zipfile with zip64 extra
    fields, and bsdtar writing to a pipe (zip64 extra fields, data
    descriptors and end records)."""
    p = os.path.join(out, 'zip64_python.zip')
    with zipfile.ZipFile(p, 'w') as z:
        for i, name in enumerate(names):
            info = zipfile.ZipInfo(name, date_time=(2020, 2, 29, 23, 59, 58))
            info.compress_type = [zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED][i % 2]
            with z.open(info, 'w', force_zip64=True) as f:
                f.write(files[name])
    write_expected(p)
    if have('bsdtar'):
        p = os.path.join(out, 'zip64_bsdtar.zip')
        with open(p, 'wb') as f:
            bsdtar = subprocess.Popen(['bsdtar', '--format', 'zip', '--options', 'zip:zip64', '-cf', '-'] + names,
                                      cwd=tree, stdout=subprocess.PIPE)
            shutil.copyfileobj(bsdtar.stdout, f)
            if bsdtar.wait() != 0:
                raise RuntimeError('bsdtar failed')
        write_expected(p)


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
        make_test_archives(out, tree, names)
        make_zip64_archives(out, tree, files, names)
    finally:
        shutil.rmtree(work)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__)))
