#!/usr/bin/env bash
# The Windows programs' dialogs as a user meets them: the cross build's
# setupstub.exe and uninstall.exe run under Wine on a private Xvfb display,
# driven with real key presses and mouse clicks (xdotool). dialog_probe.exe,
# a Windows program beside them, reads what each dialog shows: its texts,
# where it sits, which control has the focus, whether text is selected,
# whether the window answers messages while the program works. Screenshots
# show that the texts are painted, and are written for the README.
#
#   tests/gui/gui_test.sh WIN_BUILD_DIR [SCREENS_DIR]
#
# WIN_BUILD_DIR holds the built setupstub, uninstall, dialog_probe,
# stand_in_installer and the helper library stand-in (RidOvavu.dll).
# SCREENS_DIR (default WIN_BUILD_DIR/gui-screens) receives one PNG per
# dialog; `tests/gui/gui_test.sh build/win32 docs/screens` refreshes the
# README's pictures. Needs wine, Xvfb, xdotool, ImageMagick and python3, and
# root for the small file system of the low-space case; whatever is missing
# fails the run (exit 1). The Wine prefix is $QEL_GUI_WINEPREFIX (default
# ~/.wine-qel-gui), a virtual desktop of 1024 x 768, made on first use.
set -u

BUILD_DIR=$(cd "${1:?usage: gui_test.sh WIN_BUILD_DIR [SCREENS_DIR]}" && pwd)
SCREENS=${2:-$BUILD_DIR/gui-screens}
STUB=$BUILD_DIR/launcher/setupstub.exe
UNINSTALL=$BUILD_DIR/uninstaller/uninstall.exe
PROBE=$BUILD_DIR/tests/gui/dialog_probe.exe
INSTALLER=$BUILD_DIR/tests/gui/stand_in_installer.exe
HELPER=$BUILD_DIR/demo/helper/RidOvavu.dll

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
cannot_run() { echo "FAIL: cannot run the graphical test: $*"; exit 1; }

for tool in wine wineserver Xvfb xdotool import convert python3; do
  command -v "$tool" > /dev/null || cannot_run "$tool is not installed"
done
for file in "$STUB" "$UNINSTALL" "$PROBE" "$INSTALLER" "$HELPER"; do
  [ -f "$file" ] || cannot_run "$file is missing (build the win32 preset first)"
done
[ "$(id -u)" -eq 0 ] || cannot_run "the low-space case mounts a small file system, which needs root"
mkdir -p "$SCREENS" || cannot_run "cannot create $SCREENS"

export WINEPREFIX=${QEL_GUI_WINEPREFIX:-$HOME/.wine-qel-gui} WINEARCH=win32 WINEDEBUG=-all
WORK=$(mktemp -d /tmp/qel-gui.XXXXXX)
XVFB_PID=
SMALL_MOUNTED=
STARTED=()  # Wine processes of this run still to be ended on the way out
cleanup() {
  local pid
  for pid in "${STARTED[@]}"; do kill "$pid" 2> /dev/null; done
  wineserver -k 2> /dev/null
  rm -f "$WINEPREFIX/dosdevices/q:"
  [ -n "$SMALL_MOUNTED" ] && umount "$WORK/small"
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2> /dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and tells it on fd 3.
exec 3> "$WORK/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp > "$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
[ -s "$WORK/display" ] || cannot_run "Xvfb did not start: $(cat "$WORK/xvfb.log")"
export DISPLAY=:$(head -n 1 "$WORK/display")

# The prefix: made once, with Wine's own TrueType fonts (Marlett draws the
# caption buttons, Tahoma the message boxes) where Wine looks for them,
# then a virtual desktop, so that every dialog is placed, activated and
# drawn by Wine alone, as on a Windows desktop.
wineserver -k 2> /dev/null  # a server of an earlier run holds another display
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== making the Wine prefix $WINEPREFIX"
  wineboot -i > /dev/null 2>&1
  wineserver -w
fi
[ -f "$WINEPREFIX/system.reg" ] || cannot_run "cannot make the Wine prefix $WINEPREFIX"
[ -f /usr/share/wine/fonts/marlett.ttf ] || cannot_run "Wine's fonts are missing (Debian package fonts-wine)"
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" || cannot_run "cannot copy Wine's fonts"
# set_desktop DPI: the virtual desktop at that scaling (96 is 100 %); the
# next Wine process starts a fresh server that reads it.
set_desktop() {
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="1024x768"\r\n\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%08x\r\n' "$1" > "$WORK/desktop.reg"
  wine regedit /S "$(printf 'Z:%s' "${WORK//\//\\}")\\desktop.reg" > /dev/null 2>&1 || return 1
  wineserver -k 2> /dev/null
  wineserver -w 2> /dev/null
  return 0
}
set_desktop 96 || cannot_run "cannot configure the Wine prefix"

# Wine sees the Unix root as drive Z:.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
probe() { wine "$PROBE" "$@" 2> /dev/null | tr -d '\r'; }
# await CAPTION SECONDS [CONTROL]: waits for the dialog, then a moment for
# it to be filled and painted.
await() { probe wait "$@" > /dev/null && sleep 0.3; }
# state CAPTION [CONTROL] > FILE: what the dialog shows, key=value lines.
state() { probe state "$@"; }
value() { sed -n "s/^$2=//p" "$1" | head -n 1; }
expect() {  # FILE KEY VALUE WHAT
  local got
  got=$(value "$1" "$2")
  [ "$got" = "$3" ] && pass "$4" || fail "$4: $2 is \"$got\", not \"$3\""
}
expect_text() {  # FILE TEXT WHAT: some control of the dialog shows TEXT
  grep -qxF -- "${2//\\/\\\\}" < <(sed -n 's/^control\.[-0-9]*\.text=//p' "$1") && pass "$3" ||
    fail "$3: no control shows \"$2\" ($(grep '\.text=' "$1" | tr '\n' ' '))"
}
# The id of the control showing TEXT.
control_with_text() { sed -n "s/^control\.\([-0-9]*\)\.text=$(printf '%s' "$2" | sed 's/[][\.*^$/]/\\&/g')\$/\1/p" "$1" | head -n 1; }

# Keys and clicks go to Wine's desktop window, which hands them to the
# active dialog, as Windows hands them to the foreground window.
desktop_focus() {
  local desktop
  desktop=$(xdotool search --name ' - Wine desktop$' 2> /dev/null | head -n 1)
  [ -n "$desktop" ] && xdotool windowfocus --sync "$desktop" 2> /dev/null
}
press() { desktop_focus; xdotool key --delay 50 "$@"; }
# click FILE CONTROL: a mouse click in the middle of a control of the dialog.
click() {
  local l t r b
  IFS=, read -r l t r b <<< "$(value "$1" "control.$2.rect")"
  desktop_focus
  xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
}
# click_at X Y
click_at() { desktop_focus; xdotool mousemove "$1" "$2" click 1; }

# shot NAME RECT [RECT]: a screenshot of the rectangle (l,t,r,b) that holds
# the given ones, plus a margin of desktop, into SCREENS/NAME.png, without
# time stamps so that a file changes only when its picture does.
shot() {
  local name=$1 l=100000 t=100000 r=0 b=0 rect a c d e
  shift
  for rect in "$@"; do
    IFS=, read -r a c d e <<< "$rect"
    ((a < l)) && l=$a; ((c < t)) && t=$c; ((d > r)) && r=$d; ((e > b)) && b=$e
  done
  l=$((l - 12)) t=$((t - 12)) r=$((r + 12)) b=$((b + 12))
  ((l < 0)) && l=0; ((t < 0)) && t=0
  import -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage -strip "$SCREENS/$name.png" 2> /dev/null ||
    fail "screenshot $name"
}
# ink RECT: the share of dark pixels in that rectangle of the screen now.
# A line of text painted on a light face gives a few per mille up to some
# per cent; a window never painted shows a blank or a dark rectangle.
ink() {
  local l t r b
  IFS=, read -r l t r b <<< "$1"
  import -window root png:- 2> /dev/null |
    convert png:- -crop "$((r - l))x$((b - t))+$l+$t" +repage -colorspace Gray -threshold 50% -negate \
      -format '%[fx:mean]' info: 2> /dev/null
}
expect_painted() {  # RECT WHAT
  local share
  share=$(ink "$1")
  python3 -c "import sys; sys.exit(0 if 0.001 <= float('${share:-0}') <= 0.6 else 1)" 2> /dev/null &&
    pass "$2 (dark share $share)" || fail "$2: dark share of its rectangle is ${share:-unknown}"
}

# start NAME PROGRAM ARGS...: runs a Windows program in the background; its
# output goes to WORK/NAME.out and .err; RUN_PID is its process.
start() {
  local name=$1
  shift
  wine "$@" > "$WORK/$name.out" 2> "$WORK/$name.err" &
  RUN_PID=$!
  STARTED+=("$RUN_PID")
}
# finish WHAT: waits for the program started last (at most 5 minutes: a
# machine under load makes Wine slow); sets rc. A program still running
# is ended, and its windows with it, so that they do not mislead the next
# case.
finish() {
  local i
  for i in $(seq 3000); do kill -0 "$RUN_PID" 2> /dev/null || break; sleep 0.1; done
  if kill -0 "$RUN_PID" 2> /dev/null; then
    fail "$1: still running after 5 minutes"
    kill "$RUN_PID" 2> /dev/null
    wait "$RUN_PID"
    wineserver -k 2> /dev/null
    wineserver -w 2> /dev/null
  fi
  wait "$RUN_PID"
  rc=$?
}

echo "== setupstub"
python3 - "$STUB" "$WORK/packed.exe" "$INSTALLER" "$(winpath "$WORK/report.txt")" << 'EOF'
import os, shutil, sys, zipfile
stub, out, installer, report = sys.argv[1:5]
shutil.copyfile(stub, out)
autorun = ("[autorun]\r\n"
           "OPEN=installer.exe -gui -report=%s -wait=1500\r\n"
           "CONSOLE=installer.exe -con -report=%s\r\n"
           "SILENT=installer.exe -sil -report=%s\r\n") % (report, report, report)
# Offsets count from the start of the file, as the launcher expects. Many
# small files keep the dialog up for some seconds: each costs Wine a file
# creation.
with zipfile.ZipFile(out, "a", zipfile.ZIP_DEFLATED) as z:
    z.writestr("AUTORUN.INF", autorun)
    z.write(installer, "installer.exe")
    for i in range(6000):
        z.writestr("data/%02d/filler%04d.bin" % (i % 30, i), os.urandom(2048), compress_type=zipfile.ZIP_STORED)
EOF
[ -f "$WORK/packed.exe" ] || cannot_run "cannot pack the launcher"
base_is_empty() { [ -z "$(ls -A "$WORK/base")" ]; }
run_launcher() {  # NAME BASE_WINDOWS_PATH [DISPLAY]
  rm -rf "$WORK/base" "$WORK/report.txt"
  mkdir "$WORK/base"
  start "$1" "$WORK/packed.exe" "-Djava.io.tmpdir=$2"
}

# 1. The progress dialog while it extracts, then the whole run.
run_launcher whole "$(winpath "$WORK/base")"
if await "Qel Installer" 90 > /dev/null; then
  state "Qel Installer" > "$WORK/s"
  expect "$WORK/s" control.1002.text "Preparing the installer..." "progress dialog: status text"
  expect "$WORK/s" centred yes "progress dialog: centred on the screen"
  expect "$WORK/s" focus 2 "progress dialog: Cancel has the focus"
  expect "$WORK/s" control.2.enabled yes "progress dialog: Cancel enabled"
  expect "$WORK/s" responsive yes "progress dialog: answers messages while extracting"
  IFS=, read -r dl _ dr _ <<< "$(value "$WORK/s" rect)"
  IFS=, read -r pl _ pr _ <<< "$(value "$WORK/s" control.1005.rect)"
  WIDTH_AT_100=$((dr - dl))
  offset=$(((pl - dl) - (dr - pr)))
  ((offset >= -2 && offset <= 2)) && pass "progress dialog: picture centred ($pl..$pr in $dl..$dr)" ||
    fail "progress dialog: picture at $pl..$pr in $dl..$dr"
  expect_painted "$(value "$WORK/s" control.1002.rect)" "progress dialog: status text painted"
  shot setupstub-progress "$(value "$WORK/s" rect)"
else
  fail "no progress dialog came up"
fi
finish "whole run"
[ "$rc" -eq 0 ] && pass "whole run exits 0" || fail "whole run exits $rc: $(cat "$WORK/whole.err")"
if [ -f "$WORK/report.txt" ]; then
  grep -q '^-gui' "$WORK/report.txt" && pass "installer started with the graphical launch key's command" ||
    fail "installer's arguments: $(tr '\n' ' ' < "$WORK/report.txt")"
else
  fail "the installer did not run"
fi
base_is_empty && pass "extraction directory removed" || fail "left in the base: $(ls -A "$WORK/base")"

# 2. A click on Cancel while extracting: at once the status reads
# "Cancelling the installer..." and the button is disabled for good; the
# run ends without the installer and leaves nothing behind. The changes
# are followed as they happen, since the clean-up may end the dialog soon.
run_launcher cancel "$(winpath "$WORK/base")"
if await "Qel Installer" 90; then
  wine "$PROBE" watch "Qel Installer" 60 1002 2 > "$WORK/watch.txt" 2> /dev/null &
  WATCH_PID=$!
  STARTED+=("$WATCH_PID")
  # The click only once the watch follows the dialog.
  for _ in $(seq 300); do grep -q 'Preparing the installer' "$WORK/watch.txt" && break; sleep 0.1; done
  state "Qel Installer" > "$WORK/s"
  click "$WORK/s" 2
else
  fail "no progress dialog came up for Cancel"
fi
finish "cancelled run"
kill "$WATCH_PID" 2> /dev/null
tr -d '\r' < "$WORK/watch.txt" > "$WORK/watch"
# The text and the button change one after the other, and the worker may
# replace the text soon after: a poll may see either order.
grep -q ' 1002.text=Cancelling the installer\.\.\. ' "$WORK/watch" &&
  pass "after the click on Cancel: \"Cancelling the installer...\"" ||
  fail "after Cancel: $(tr '\n' '|' < "$WORK/watch")"
awk '/ 1002.text=Cancelling the installer/{seen=1} seen && / 2.enabled=no /{off=1} END{exit !off}' "$WORK/watch" &&
  pass "after the click on Cancel the button is disabled" || fail "Cancel not disabled: $(tr '\n' '|' < "$WORK/watch")"
awk '/ 2.enabled=no /{off=1} off && / 2.enabled=yes 2.visible=yes/{again=1} END{exit !again}' "$WORK/watch" &&
  fail "Cancel could be pressed again: $(tr '\n' '|' < "$WORK/watch")" || pass "Cancel cannot be pressed a second time"
grep -q ' 1002.text=Cleaning up\.\.\. ' "$WORK/watch" && pass "then \"Cleaning up...\"" ||
  fail "no \"Cleaning up...\" after Cancel"
[ "$rc" -eq 0 ] && pass "cancelled run exits 0" || fail "cancelled run exits $rc"
[ ! -f "$WORK/report.txt" ] && pass "cancelled run started no installer" || fail "cancelled run started the installer"
base_is_empty && pass "cancelled run removed its extraction directory" || fail "left in the base: $(ls -A "$WORK/base")"

# 3. Escape does what Cancel does.
run_launcher escape "$(winpath "$WORK/base")"
if await "Qel Installer" 90 > /dev/null; then
  press Escape
else
  fail "no progress dialog came up for Escape"
fi
finish "run ended by Escape"
[ "$rc" -eq 0 ] && [ ! -f "$WORK/report.txt" ] && base_is_empty &&
  pass "Escape cancels: exit 0, no installer, nothing left" || fail "Escape: exit $rc, report $([ -f "$WORK/report.txt" ] && echo written || echo none)"

# 4. Too little room in the base directory: a real file system of 1 MiB
# (drive Q:) for a payload of 12 MiB. The question comes over the progress
# dialog; OK opens the folder browser; giving that up ends the run with the
# set-up error. A second run answers Cancel.
mkdir -p "$WORK/small"
if mount -t tmpfs -o size=1m qel-gui-small "$WORK/small"; then
  SMALL_MOUNTED=1
else
  fail "cannot mount a small file system for the low-space case"
fi
rm -f "$WINEPREFIX/dosdevices/q:"
ln -s "$WORK/small" "$WINEPREFIX/dosdevices/q:"
question="The directory \"Q:\\\" does not have enough space. Do you want to change directory?"
for answer in OK Cancel; do
  run_launcher "low-space-$answer" 'Q:\'
  if await "Qel Systems Installer" 90 > /dev/null; then
    state "Qel Systems Installer" > "$WORK/q"
    expect_text "$WORK/q" "$question" "low space ($answer run): the question names the directory"
    expect "$WORK/q" focus 1 "low space: OK has the focus"
    [ "$(value "$WORK/q" control.2.text)" = Cancel ] && pass "low space: the question offers Cancel" ||
      fail "low space: no Cancel button"
    if [ "$answer" = OK ]; then
      state "Qel Installer" > "$WORK/s"
      shot setupstub-low-space "$(value "$WORK/q" rect)" "$(value "$WORK/s" rect)"
      click "$WORK/q" 1
      # Wine's browser shows its frame before it has read the folders.
      for _ in $(seq 50); do
        state "Browse for Folder" > "$WORK/b"
        grep -q '^control\.[0-9]*\.class=SysTreeView32$' "$WORK/b" && break
        sleep 0.2
      done
      if grep -q '^control\.[0-9]*\.class=SysTreeView32$' "$WORK/b"; then
        sleep 0.5
        expect_text "$WORK/b" "Please choose a folder for extraction" "low space: OK opens the folder browser with its title"
        shot setupstub-browse "$(value "$WORK/b" rect)"
        press Escape
      else
        fail "low space: OK opened no folder browser"
      fi
    else
      click "$WORK/q" 2
    fi
    if await ERROR 60 > /dev/null; then
      state ERROR > "$WORK/e"
      expect_text "$WORK/e" "Could not setup the extraction directory." "low space ($answer run): the set-up error follows"
      [ "$answer" = OK ] && shot setupstub-error "$(value "$WORK/e" rect)" "$(value "$WORK/s" rect)"
      press Return
    else
      fail "low space ($answer run): no set-up error"
    fi
  else
    fail "low space ($answer run): no question"
  fi
  finish "low-space run"
  [ "$rc" -eq 0 ] && pass "low space ($answer run): exit 0" || fail "low space ($answer run): exit $rc"
  [ -z "$(ls -A "$WORK/small")" ] && [ ! -f "$WORK/report.txt" ] &&
    pass "low space ($answer run): nothing extracted, no installer" || fail "low space: $(ls -A "$WORK/small")"
done

# 5. A stub without payload: the error box, from the worker thread, over the
# dialog; after OK the run still ends with exit 0.
cp "$STUB" "$WORK/bare.exe"
rm -rf "$WORK/base" && mkdir "$WORK/base"
start bare "$WORK/bare.exe" "-Djava.io.tmpdir=$(winpath "$WORK/base")"
if await ERROR 90 > /dev/null; then
  state ERROR > "$WORK/e"
  grep -q '^control\.[-0-9]*\.text=Could not obtain archive information since it is corrupted\. Error code = [0-9]*$' "$WORK/e" &&
    pass "no payload: the error box says so" || fail "no payload: error box shows $(grep '\.text=' "$WORK/e" | tr '\n' ' ')"
  press Return
else
  fail "no payload: no error box"
fi
finish "stub without payload"
[ "$rc" -eq 0 ] && pass "no payload: exit 0 after OK" || fail "no payload: exit $rc"

# 6. No display at all: a loud failure, not a silent success.
rm -rf "$WORK/base" "$WORK/report.txt" && mkdir "$WORK/base"
DISPLAY= start nodisplay "$WORK/packed.exe" "-Djava.io.tmpdir=$(winpath "$WORK/base")"
finish "run without a display"
[ "$rc" -eq 255 ] && pass "no display: exit -1" || fail "no display: exit $rc"
grep -q '^\*\*\*\* Could not show the installer window\.' "$WORK/nodisplay.err" && pass "no display: said on stderr" ||
  fail "no display: stderr was: $(cat "$WORK/nodisplay.err")"
[ ! -f "$WORK/report.txt" ] && base_is_empty && pass "no display: nothing extracted or started" ||
  fail "no display: something ran"

# 7. At 150 % scaling the dialog grows with its font and the picture with
# it, still centred and sharp (the program says in its manifest that it
# is DPI aware). The question about a missing base directory keeps the
# dialog up; Cancel then ends the run.
if set_desktop 144; then
  run_launcher dpi 'Z:\no\such\directory'
  if await "Qel Systems Installer" 90 && state "Qel Installer" > "$WORK/s"; then
    IFS=, read -r dl _ dr _ <<< "$(value "$WORK/s" rect)"
    IFS=, read -r pl _ pr _ <<< "$(value "$WORK/s" control.1005.rect)"
    ((${WIDTH_AT_100:-0} > 0 && (dr - dl) * 10 >= WIDTH_AT_100 * 14)) &&
      pass "150 %: the dialog is $((dr - dl)) pixels wide (at 100 %: ${WIDTH_AT_100:-?})" ||
      fail "150 %: the dialog is $((dr - dl)) pixels wide (at 100 %: ${WIDTH_AT_100:-?})"
    offset=$(((pl - dl) - (dr - pr)))
    (((pr - pl) * 10 >= 254 * 14 && offset >= -2 && offset <= 2)) &&
      pass "150 %: the picture drawn $((pr - pl)) pixels wide, centred" ||
      fail "150 %: the picture at $pl..$pr in $dl..$dr"
    state "Qel Systems Installer" > "$WORK/q"
    shot setupstub-150-percent "$(value "$WORK/s" rect)"
    click "$WORK/q" 2
    await ERROR 60 && press Return
  else
    fail "150 %: no dialog"
  fi
  finish "run at 150 %"
else
  fail "cannot set the desktop to 150 %"
fi
set_desktop 96 || cannot_run "cannot set the desktop back to 100 %"

echo "== uninstall"
PRODUCT="Qel Tarvik JRE 1.4.2_02"
PRODUCT_DIR="$WINEPREFIX/drive_c/Program Files/$PRODUCT"
PRODUCT_WIN="C:\\Program Files\\$PRODUCT"
# install INTEGRATED: the product's tree with the uninstaller and its record
# (what the product's installer leaves), 300 files in all.
install_product() {
  rm -rf "$PRODUCT_DIR"
  mkdir -p "$PRODUCT_DIR/bin/tarvik" "$PRODUCT_DIR/lib/ext"
  echo jvm > "$PRODUCT_DIR/bin/tarvik/jvm.dll"
  local i
  for i in $(seq 300); do echo "$i" > "$PRODUCT_DIR/lib/ext/part$i.jar"; done
  python3 - "$UNINSTALL" "$PRODUCT_DIR/uninstall.exe" "$PRODUCT" "$PRODUCT_WIN" "$1" << 'EOF'
import struct, sys
exe, out, product, install, integrated = sys.argv[1:6]
image = open(exe, "rb").read()
text = ",".join([product, install, "C:\\none", "1", "4", "2", "02", "1.4.2_02", "1", integrated, "Qel GUI Test",
                 "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QelGuiTest"])
open(out, "wb").write(image + text.encode() + struct.pack(">I", len(image)) + b"qel-installer")
EOF
}
uninstaller_gone() {
  local i
  for i in $(seq 600); do [ -e "$PRODUCT_DIR" ] || return 0; sleep 0.1; done
  return 1
}

# 8. The confirmation, answered Cancel: nothing is touched.
install_product 0
start u-cancel "$PRODUCT_DIR/uninstall.exe"
if await "Qel UnInstaller" 90 > /dev/null; then
  state "Qel UnInstaller" > "$WORK/c"
  click "$WORK/c" 2
else
  fail "no confirmation for Cancel"
fi
finish "uninstall cancelled"
[ -f "$PRODUCT_DIR/lib/ext/part300.jar" ] && [ -f "$PRODUCT_DIR/uninstall.exe" ] &&
  pass "confirmation Cancel: nothing removed" || fail "confirmation Cancel removed files"

# 9. The whole removal: confirmation, progress while a file is held open
# (the removal waits for it), result, and the self-removal.
start u-run "$PRODUCT_DIR/uninstall.exe"
if await "Qel UnInstaller" 90 > /dev/null; then
  state "Qel UnInstaller" > "$WORK/c"
  expect "$WORK/c" control.1000.text "Do you want to uninstall $PRODUCT installed at ${PRODUCT_WIN//\\/\\\\}?" \
    "confirmation: the question names product and directory"
  expect "$WORK/c" centred yes "confirmation: centred on the screen"
  expect "$WORK/c" focus 1 "confirmation: OK has the focus"
  expect "$WORK/c" default_button 1 "confirmation: OK is the default button"
  sel=$(value "$WORK/c" control.1000.selection)
  [ "${sel%,*}" = "${sel#*,}" ] && pass "confirmation: no text selected ($sel)" || fail "confirmation: text selected ($sel)"
  expect "$WORK/c" control.1000.first_line_visible yes "confirmation: the text shown from its first line"
  expect_painted "$(value "$WORK/c" control.1000.rect)" "confirmation: text painted"
  shot uninstall-confirm "$(value "$WORK/c" rect)"
  # A program holding a file of the tree: its removal is retried for some
  # seconds, long enough to look at the progress window meanwhile.
  wine "$PROBE" hold "$PRODUCT_WIN\\lib\\ext\\part1.jar" 3.5 > "$WORK/hold.out" 2> /dev/null &
  STARTED+=($!)
  for _ in $(seq 100); do grep -q holding "$WORK/hold.out" && break; sleep 0.1; done
  press Return
  if probe wait "Qel Uninstaller" 90 1004 > /dev/null; then
    state "Qel Uninstaller" 1004 > "$WORK/p"
    expect "$WORK/p" responsive yes "progress: answers messages while the removal waits for a held file"
    expect_text "$WORK/p" "Removing Files..." "progress: its text"
    expect "$WORK/p" centred yes "progress: centred on the screen"
    text_id=$(control_with_text "$WORK/p" "Removing Files...")
    expect_painted "$(value "$WORK/p" "control.$text_id.rect")" "progress: \"Removing Files...\" painted"
    shot uninstall-progress "$(value "$WORK/p" rect)"
    sleep 0.5
    state "Qel Uninstaller" 1004 > "$WORK/p2"
    expect "$WORK/p2" responsive yes "progress: still answering a second later"
  else
    fail "no progress window"
  fi
  if await "Qel Uninstaller" 90 1 > /dev/null; then
    state "Qel Uninstaller" 1 > "$WORK/r"
    expect "$WORK/r" control.1000.text "$PRODUCT has been successfully uninstalled." "result: success text"
    expect "$WORK/r" centred yes "result: centred on the screen"
    expect "$WORK/r" focus 1 "result: OK has the focus"
    sel=$(value "$WORK/r" control.1000.selection)
    [ "${sel%,*}" = "${sel#*,}" ] && pass "result: no text selected ($sel)" || fail "result: text selected ($sel)"
    shot uninstall-result "$(value "$WORK/r" rect)"
    press Return
  else
    fail "no result dialog"
  fi
else
  fail "no confirmation"
fi
finish "uninstall run"
uninstaller_gone && pass "the tree, the uninstaller and its folder are gone" ||
  fail "left behind: $(find "$PRODUCT_DIR" | head -n 5 | tr '\n' ' ')"

# 10. The longest failure text: an integrated product whose helper library
# reports a locked control panel. Its first line stays in view, and the
# scroll bar brings the last one there.
install_product 1
cp "$HELPER" "$PRODUCT_DIR/bin/RidOvavu.dll"
printf 'IsControlPanelLocked = 1\n' > "$WORK/helper.cfg"
QEL_HELPER_CONFIG=$(winpath "$WORK/helper.cfg") start u-locked "$PRODUCT_DIR/uninstall.exe"
if await "Qel UnInstaller" 90 > /dev/null; then
  press Return
  if await "Qel Uninstaller" 90 1 > /dev/null; then
    state "Qel Uninstaller" 1 > "$WORK/f"
    expect "$WORK/f" control.1000.text "Uninstallation Failed: Please any programs that are using java.exe or javaw.exe in the windows system directory.Also, close the system control panel and/or your java control panel.." \
      "failure: the lock message"
    expect "$WORK/f" control.1000.first_line_visible yes "failure: its first line in view"
    expect "$WORK/f" control.1000.scroll_bar yes "failure: a scroll bar"
    expect "$WORK/f" focus 1 "failure: OK has the focus"
    shot uninstall-failure "$(value "$WORK/f" rect)"
    IFS=, read -r _ _ er eb <<< "$(value "$WORK/f" control.1000.rect)"
    for _ in 1 2 3 4 5 6; do
      [ "$(value "$WORK/f" control.1000.last_line_visible)" = yes ] && break
      click_at $((er - 9)) $((eb - 8))  # the scroll bar's down arrow
      state "Qel Uninstaller" 1 > "$WORK/f"
    done
    expect "$WORK/f" control.1000.last_line_visible yes "failure: the scroll bar brings the last line into view"
    press Return
  else
    fail "failure: no result dialog"
  fi
else
  fail "failure: no confirmation"
fi
finish "uninstall with a locked control panel"
[ -f "$PRODUCT_DIR/lib/ext/part300.jar" ] && pass "failure: nothing removed" || fail "failure: files removed"
rm -rf "$PRODUCT_DIR"

echo "screenshots: $SCREENS"
[ "$failures" -eq 0 ] && echo "all passed" || echo "$failures failed"
[ "$failures" -eq 0 ]
