#!/usr/bin/env bash
# Graphical mode of the Windows setupstub, seen running: under Wine on a
# private Xvfb display, a packed installer shows its progress dialog, starts
# its installer in the extraction directory and removes that directory
# afterwards; Escape during the extraction cancels the run without starting
# the installer; a corrupt payload brings up the error box; and without any
# display the run fails loudly (exit -1 and a "****" line) instead of
# passing for a success having done nothing.
#
# By hand, from the source tree, after building the cross build's setupstub:
#   tests/launcher/wine_gui_check.sh [build/gui-win] [screenshot.png]
# Needs wine, Xvfb, python3 and i686-w64-mingw32-gcc; the Cancel case needs
# xdotool and the screenshot ImageMagick's `import` (both skipped when
# missing). Uses $WINEPREFIX (or Wine's default prefix) as it is.
set -u

SOURCE_DIR=$(cd "$(dirname "$0")/../.." && pwd)
BUILD_DIR=${1:-$SOURCE_DIR/build/gui-win}
SHOT=${2:-}
STUB=$BUILD_DIR/launcher/setupstub.exe
export WINEDEBUG=${WINEDEBUG:--all}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

for tool in wine Xvfb python3 i686-w64-mingw32-gcc; do
  command -v "$tool" > /dev/null || { echo "missing: $tool"; exit 2; }
done
[ -f "$STUB" ] || { echo "missing: $STUB (build the target setupstub first)"; exit 2; }

WORK=$(mktemp -d /tmp/qel-gui-check.XXXXXX)
XVFB_PID=
cleanup() {
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2> /dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

# Wine sees the Unix root as drive Z:.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

i686-w64-mingw32-gcc -O2 -static -mwindows -o "$WORK/installer.exe" "$SOURCE_DIR/tests/launcher/gui_check_installer.c" ||
  { echo "cannot build the stand-in installer"; exit 2; }

# The payload: AUTORUN.INF with CR LF and all three launch keys, the
# installer, and enough files for the dialog to stay up a while.
python3 - "$STUB" "$WORK/packed.exe" "$WORK/installer.exe" "$(winpath "$WORK/report.txt")" <<'EOF'
import os, shutil, sys, zipfile
stub, out, installer, report = sys.argv[1:5]
shutil.copyfile(stub, out)
autorun = ("[autorun]\r\n"
           "OPEN=installer.exe -gui -report=%s -wait=1500\r\n"
           "CONSOLE=installer.exe -con -report=%s\r\n"
           "SILENT=installer.exe -sil -report=%s\r\n") % (report, report, report)
# Offsets count from the start of the file, as the launcher expects.
with zipfile.ZipFile(out, "a", zipfile.ZIP_DEFLATED) as z:
    z.writestr("AUTORUN.INF", autorun)
    z.write(installer, "installer.exe")
    # Many small files: each costs Wine a file creation, which keeps the
    # dialog up for a second or two without a big payload.
    for i in range(3000):
        z.writestr("data/%02d/filler%04d.bin" % (i % 30, i), os.urandom(4096), compress_type=zipfile.ZIP_STORED)
EOF
[ -f "$WORK/packed.exe" ] || { echo "cannot pack the installer"; exit 2; }

# A display of our own: Xvfb picks a free number and tells it on fd 3.
exec 3> "$WORK/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp > "$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
exec 3>&-
for _ in $(seq 50); do [ -s "$WORK/display" ] && break; sleep 0.1; done
[ -s "$WORK/display" ] || { echo "Xvfb did not start"; cat "$WORK/xvfb.log"; exit 2; }
DISPLAY_NAME=:$(head -n 1 "$WORK/display")

# Runs the packed installer in graphical mode with its own base directory;
# $1 is the DISPLAY to use (empty: none). Sets rc.
run_gui() {
  rm -rf "$WORK/base" "$WORK/report.txt"
  mkdir "$WORK/base"
  DISPLAY=$1 timeout 120 wine "$WORK/packed.exe" "-Djava.io.tmpdir=$(winpath "$WORK/base")" \
    > "$WORK/out.txt" 2> "$WORK/err.txt" &
  RUN_PID=$!
}
wait_run() {
  wait "$RUN_PID"
  rc=$?
}
base_is_empty() { [ -z "$(ls -A "$WORK/base")" ]; }
# Waits up to $1 tenths of a second for the progress dialog's window.
wait_for_dialog() {
  local i
  for i in $(seq "$1"); do
    DISPLAY=$DISPLAY_NAME xdotool search --onlyvisible --name '^Qel Installer$' 2> /dev/null | head -n 1 | grep . && return 0
    sleep 0.1
  done
  return 1
}

# 1. A whole run.
run_gui "$DISPLAY_NAME"
if [ -n "$SHOT" ] && command -v import > /dev/null && command -v xdotool > /dev/null; then
  # The dialog is up during the extraction; a shot of it once painted.
  if wait_for_dialog 200 > /dev/null; then
    sleep 0.3
    DISPLAY=$DISPLAY_NAME import -window root "$SHOT" 2> /dev/null
  fi
fi
wait_run
[ "$rc" -eq 0 ] && pass "graphical run exits 0" || fail "graphical run exits $rc: $(cat "$WORK/err.txt")"
if [ -f "$WORK/report.txt" ]; then
  cwd=$(head -n 1 "$WORK/report.txt" | tr -d '\r')
  case "$cwd" in
    "$(winpath "$WORK/base")"\\sfx*) pass "installer ran in the extraction directory ($cwd)" ;;
    *) fail "installer ran in $cwd" ;;
  esac
  grep -q '^-gui' "$WORK/report.txt" && pass "installer got the graphical launch key's command" ||
    fail "installer's arguments: $(tr '\n' ' ' < "$WORK/report.txt")"
else
  fail "the installer did not run"
fi
base_is_empty && pass "extraction directory removed" || fail "left in the base: $(ls -A "$WORK/base")"
[ -n "$SHOT" ] && [ -f "$SHOT" ] && echo "screenshot of the dialog: $SHOT"

# 2. Escape while the dialog extracts: the run ends without the installer.
if command -v xdotool > /dev/null; then
  run_gui "$DISPLAY_NAME"
  if window=$(wait_for_dialog 200); then
    DISPLAY=$DISPLAY_NAME xdotool key --window "$window" Escape 2> /dev/null
  else
    fail "no progress dialog window came up"
  fi
  wait_run
  [ "$rc" -eq 0 ] && pass "cancelled run exits 0" || fail "cancelled run exits $rc"
  [ ! -f "$WORK/report.txt" ] && pass "cancelled run started no installer" || fail "cancelled run started the installer"
  base_is_empty && pass "cancelled run removed its extraction directory" || fail "left in the base: $(ls -A "$WORK/base")"
else
  echo "skipped: Cancel (no xdotool)"
fi

# 3. A stub without payload: the error box, owned by the dialog, comes up
# from the worker thread; after OK the run still ends with exit 0.
if command -v xdotool > /dev/null; then
  cp "$STUB" "$WORK/bare.exe"
  rm -rf "$WORK/base" && mkdir "$WORK/base"
  DISPLAY=$DISPLAY_NAME timeout 60 wine "$WORK/bare.exe" "-Djava.io.tmpdir=$(winpath "$WORK/base")" \
    > "$WORK/out.txt" 2> "$WORK/err.txt" &
  RUN_PID=$!
  box=
  for _ in $(seq 200); do
    box=$(DISPLAY=$DISPLAY_NAME xdotool search --onlyvisible --name '^ERROR$' 2> /dev/null | tail -n 1)
    [ -n "$box" ] && break
    sleep 0.1
  done
  if [ -n "$box" ]; then
    pass "corrupt payload: error box shown"
    sleep 0.3
    DISPLAY=$DISPLAY_NAME xdotool windowfocus --sync "$box" 2> /dev/null
    DISPLAY=$DISPLAY_NAME xdotool key Return 2> /dev/null
  else
    fail "corrupt payload: no error box"
  fi
  wait_run
  [ "$rc" -eq 0 ] && pass "corrupt payload: exit 0 after OK" || fail "corrupt payload: exit $rc"
else
  echo "skipped: error box (no xdotool)"
fi

# 4. No display at all.
run_gui ""
wait_run
[ "$rc" -eq 255 ] && pass "no display: exit -1" || fail "no display: exit $rc"
grep -q '^\*\*\*\* Could not show the installer window\.' "$WORK/err.txt" && pass "no display: said on stderr" ||
  fail "no display: stderr was: $(cat "$WORK/err.txt")"
[ ! -f "$WORK/report.txt" ] && base_is_empty && pass "no display: nothing extracted or started" ||
  fail "no display: something ran"

[ "$failures" -eq 0 ] && echo "all passed" || echo "$failures failed"
[ "$failures" -eq 0 ]
