#!/usr/bin/env bash
# Archives beyond the 32-bit limits, made by the tools we compare with and
# by sfxpack, read by the engine natively and by the Windows build under
# Wine:
#   1. 70,000 entries from Python's zipfile (zip64 end record): list, test,
#      extract;
#   2. one entry of 4.4 GB of zeros from Python's zipfile (zip64 extra
#      fields) and from bsdtar writing to a pipe (zip64 data descriptors):
#      list, test, and extraction to standard output;
#   3. sfxpack: a tree of 70,000 files packed behind setupstub (native, and
#      the Windows build under Wine), which extracts it and starts the
#      installer; and a plain archive of a
#      4.4 GB file and a file behind it (sizes, offset and archive above
#      4 GiB), read by Python's zipfile, bsdtar and 7zz.
# The archives are made by streaming into a scratch directory (in /dev/shm
# when it has room) that is removed at the end; nothing lands in the tree.
#
#   tests/zip64/zip64_check.sh NATIVE_BUILD [WIN32_BUILD]
#
# Without WIN32_BUILD (or without Wine) the Windows half is skipped.
set -euo pipefail

native=$(cd "${1:?usage: zip64_check.sh NATIVE_BUILD [WIN32_BUILD]}" && pwd)
win32=${2:+$(cd "$2" && pwd)}
scratch_base=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR==2 {print $4}')" -gt $((12 * 1024 * 1024)) ]; then
  scratch_base=/dev/shm
fi
work=$(mktemp -d "$scratch_base/qel-zip64.XXXXXX")
cleanup() {
  [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ] && wineserver -w 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
ok() { printf 'ok: %s (%ds)\n' "$*" "$SECONDS"; }
fail() { printf 'FAILED: %s\n' "$*" >&2; failures=$((failures + 1)); }
zipengine="$native/tools/zipengine/zipengine"
sfxpack="$native/tools/sfxpack/sfxpack"
setupstub="$native/launcher/setupstub"
big_size=4400000000

run_windows=false
if [ -n "$win32" ] && [ -x "$win32/tools/zipengine/zipengine.exe" ] && command -v wine >/dev/null; then
  run_windows=true
  zipengine_exe="$win32/tools/zipengine/zipengine.exe"
fi

# --- the archives -------------------------------------------------------------
python3 - "$work" "$big_size" <<'EOF'
import sys, zipfile
work, big = sys.argv[1], int(sys.argv[2])
# Spread over directories of 100: Wine looks names up case-insensitively, so one
# directory of 70,000 files would measure Wine rather than the engine.
with zipfile.ZipFile(work + '/many.zip', 'w') as z:
    for i in range(70000):
        z.writestr('d%03d/f%05d.txt' % (i // 100, i), '%d\n' % i)
block = bytes(1 << 24)
with zipfile.ZipFile(work + '/big_python.zip', 'w', zipfile.ZIP_DEFLATED, compresslevel=1) as z:
    with z.open('zeros.bin', 'w', force_zip64=True) as f:
        left = big
        while left > 0:
            n = min(left, len(block))
            f.write(block[:n])
            left -= n
    z.writestr('after.txt', 'after\n')
EOF
mkdir "$work/src"
truncate -s "$big_size" "$work/src/zeros.bin"  # sparse: no 4.4 GB written
(cd "$work/src" && bsdtar --format zip --options zip:compression-level=1 -cf - zeros.bin | cat >"$work/big_bsdtar.zip")
ok "made: 70,000 entries (Python), a 4.4 GB entry (Python, force_zip64; bsdtar to a pipe)"

# --- 1 and 2: the engine on each build ------------------------------------------
# Counts the bytes of standard input, and says whether they are all zeros.
count_zeros='
import sys
n, zeros = 0, True
while True:
    b = sys.stdin.buffer.read(1 << 24)
    if not b:
        break
    n += len(b)
    zeros = zeros and b.count(0) == len(b)
print(n, "zeros" if zeros else "bytes, not all zeros")'

# check_engine NAME COMMAND...: COMMAND is the engine (native or under Wine).
check_engine() {
  local name=$1 listing count
  shift
  # The Windows build's listing ends its lines with CR LF.
  listing=$("$@" list "$work/many.zip" | tail -n 1 | tr -d '\r')
  [ "$listing" = "$(printf 'total\t408890\t408890\t0\t70000')" ] && ok "$name: list of 70,000 entries" ||
    fail "$name: list of 70,000 entries ends with: $listing"
  "$@" test -qq "$work/many.zip" && ok "$name: test of 70,000 entries" || fail "$name: test of 70,000 entries"
  rm -rf "$work/out"
  if "$@" extract -qq -d "$work/out" "$work/many.zip"; then
    count=$(find "$work/out" -type f | wc -l)
    [ "$count" = 70000 ] && [ "$(cat "$work/out/d699/f69999.txt")" = 69999 ] &&
      ok "$name: extraction of 70,000 entries" || fail "$name: extraction of 70,000 entries wrote $count files"
  else
    fail "$name: extraction of 70,000 entries"
  fi
  rm -rf "$work/out"
  # Both to standard output would cost another 4.4 GB pass for nothing new.
  for archive in big_python.zip big_bsdtar.zip; do
    listing=$("$@" list "$work/$archive" zeros.bin | head -n 1 | tr -d '\r' | cut -f 1,10)
    [ "$listing" = "$(printf '%s\tzeros.bin' "$big_size")" ] && ok "$name: list of $archive" ||
      fail "$name: list of $archive: $listing"
    "$@" test -qq "$work/$archive" && ok "$name: test of $archive" || fail "$name: test of $archive"
    [ "$archive" = big_python.zip ] || continue
    count=$("$@" extract -qq -p "$work/$archive" zeros.bin | python3 -c "$count_zeros")
    [ "$count" = "$big_size zeros" ] && ok "$name: $archive to standard output ($count)" ||
      fail "$name: $archive to standard output gave $count"
  done
}

check_engine native "$zipengine"
if $run_windows; then
  source "$(dirname "$0")/../../scripts/lib/setup.sh"
  qel_setup_wine
  check_engine "Windows build under Wine" wine "$zipengine_exe"
else
  echo "skipped: the Windows build under Wine (no WIN32_BUILD or no Wine)"
fi

# --- 3. sfxpack ----------------------------------------------------------------
# 70,000 files behind the launcher; the installer (a shell script natively,
# a batch file on Windows) counts what it finds.
python3 - "$work/tree" <<'EOF'
import os, sys
root = sys.argv[1]
for d in range(700):
    os.makedirs('%s/files/d%03d' % (root, d))
    for i in range(100):
        with open('%s/files/d%03d/f%05d.txt' % (root, d, d * 100 + i), 'w') as f:
            f.write('%d\n' % (d * 100 + i))
with open(root + '/count.sh', 'w') as f:
    f.write('#!/bin/sh\nfind files -type f | wc -l >"$QEL_ZIP64_REPORT"\n')
os.chmod(root + '/count.sh', 0o755)
with open(root + '/count.bat', 'w', newline='') as f:
    f.write('@dir /s /b /a-d files > "%QEL_ZIP64_REPORT%"\r\n')
EOF
# autorun_for INSTALLER: AUTORUN.INF starting INSTALLER in every mode.
autorun_for() { printf '[autorun]\r\nOPEN=%s\r\nCONSOLE=%s\r\nSILENT=%s\r\n' "$1" "$1" "$1" >"$work/tree/AUTORUN.INF"; }
autorun_for count.sh
entries=70704  # 70,000 files, 701 directories, the two installers and AUTORUN.INF
if "$sfxpack" -q "$setupstub" "$work/tree" "$work/setup"; then
  ok "sfxpack packed 70,000 files behind setupstub"
  python3 -c "import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); assert len(z.infolist()) == $entries, len(z.infolist()); assert z.testzip() is None" \
    "$work/setup" && ok "Python's zipfile reads the installer's $entries entries" || fail "Python's zipfile on the installer"
  7zz t "$work/setup" >"$work/7zz.log" 2>&1 && ok "7zz tests the installer" || fail "7zz t on the installer: $(tail -5 "$work/7zz.log")"
  mkdir "$work/tmp"
  if QEL_ZIP64_REPORT="$work/report" "$work/setup" -mode=silent "-Djava.io.tmpdir=$work/tmp" >"$work/setup.log" 2>&1 &&
     [ "$(tr -d ' ' <"$work/report")" = 70000 ] && [ -z "$(ls -A "$work/tmp")" ]; then
    ok "the installer extracted 70,000 files, started the installer, which found them all, and cleaned up"
  else
    fail "the installer of 70,000 files: report $(cat "$work/report" 2>/dev/null); $(tail -5 "$work/setup.log")"
  fi
else
  fail "sfxpack of 70,000 files"
fi
if $run_windows && [ -f "$win32/launcher/setupstub.exe" ]; then
  autorun_for count.bat
  rm -rf "$work/tmp" "$work/report"
  mkdir "$work/tmp"
  if "$sfxpack" -q "$win32/launcher/setupstub.exe" "$work/tree" "$work/setup.exe" &&
     QEL_ZIP64_REPORT="$(winepath -w "$work/report")" wine "$work/setup.exe" -mode=silent \
       "-Djava.io.tmpdir=$(winepath -w "$work/tmp")" >"$work/setup.log" 2>&1 &&
     [ "$(wc -l <"$work/report")" = 70000 ] && [ -z "$(ls -A "$work/tmp")" ]; then
    ok "the Windows installer of 70,000 files under Wine extracted them, started the installer, which found them all, and cleaned up"
  else
    fail "the Windows installer of 70,000 files: $(wc -l <"$work/report" 2>/dev/null) files seen; $(tail -5 "$work/setup.log")"
  fi
fi
rm -rf "$work/tree" "$work/setup" "$work/setup.exe" "$work/tmp"

# A 4.4 GB file stored, and one behind it: zip64 sizes, offset and end record.
printf 'after\n' >"$work/src/zz_after.txt"  # sorted behind zeros.bin
if "$sfxpack" -q -0 --zip "$work/src" "$work/big_sfxpack.zip"; then
  ok "sfxpack stored a 4.4 GB file and one behind it ($(stat -c %s "$work/big_sfxpack.zip") bytes)"
  python3 -c "import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); i = z.getinfo('zz_after.txt'); assert i.header_offset > 1 << 32; assert z.read(i) == b'after\n'; assert z.getinfo('zeros.bin').file_size == $big_size; assert z.testzip() is None" \
    "$work/big_sfxpack.zip" && ok "Python's zipfile reads and tests it" || fail "Python's zipfile on sfxpack's 4.4 GB archive"
  [ "$(bsdtar -xOf "$work/big_sfxpack.zip" zz_after.txt)" = after ] &&
    [ "$(bsdtar -xOf "$work/big_sfxpack.zip" zeros.bin | wc -c)" = "$big_size" ] &&
    ok "bsdtar extracts both entries" || fail "bsdtar on sfxpack's 4.4 GB archive"
  7zz t "$work/big_sfxpack.zip" >"$work/7zz.log" 2>&1 && ok "7zz tests it" ||
    fail "7zz t on sfxpack's 4.4 GB archive: $(tail -5 "$work/7zz.log")"
  "$zipengine" test -qq "$work/big_sfxpack.zip" && ok "the engine tests it" || fail "the engine on sfxpack's 4.4 GB archive"
  if $run_windows; then
    [ "$(wine "$zipengine_exe" extract -qq -p "$work/big_sfxpack.zip" zz_after.txt)" = after ] &&
      ok "the Windows build reads the entry behind 4 GiB" || fail "the Windows build on sfxpack's 4.4 GB archive"
  fi
else
  fail "sfxpack of a 4.4 GB file"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures zip64 check(s) failed" >&2
  exit 1
fi
echo "all zip64 checks passed"
