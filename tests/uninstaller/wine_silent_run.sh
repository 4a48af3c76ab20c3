#!/bin/bash
# Silent runs of the Windows build of `uninstall` under Wine: a JRE tree
# with a read-only file is removed, the log is written in text mode (CRLF),
# and the command script started through COMSPEC then deletes the program
# file and the emptied installation directory and itself. A program without
# a record removes nothing and writes no script.
#
#   tests/uninstaller/wine_silent_run.sh WIN_BUILD_DIR
set -u
build=$(cd "${1:?usage: wine_silent_run.sh WIN_BUILD_DIR}" && pwd)
exe="$build/uninstaller/uninstall.exe"
[ -f "$exe" ] || { echo "missing $exe"; exit 2; }
command -v wine > /dev/null || { echo "wine is not installed"; exit 2; }
w=$(mktemp -d /tmp/qel-wine-run-XXXXXX)
trap 'rm -rf "$w"' EXIT
winpath() { echo "Z:${1//\//\\}"; }
failures=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi; }

d="$w/product"
mkdir -p "$d/bin/tarvik" "$d/lib/ext"
echo jvm > "$d/bin/tarvik/jvm.dll"
echo jar > "$d/lib/ext/a.jar"
echo ro > "$d/readme.txt"; chmod 444 "$d/readme.txt"
echo keep > "$w/outside.txt"
python3 - "$exe" "$d/uninstall.exe" "$(winpath "$d")" <<'PY'
import struct, sys
exe, out, install = sys.argv[1:4]
image = open(exe, "rb").read()
text = ",".join(["Qel Wine JRE", install, "Z:\\none", "1", "4", "2", "02", "1.4.2_02", "1", "0",
                 "Qel Wine", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QelWine"])
open(out, "wb").write(image + text.encode() + struct.pack(">I", len(image)) + b"qel-installer")
PY
export WINEDEBUG=-all
wine "$d/uninstall.exe" -silent "-log=$(winpath "$w/u.log")" > /dev/null 2>&1
check "success logged with a CRLF line end" '[ "$(cat "$w/u.log")" = "$(printf "Qel Wine JRE was successfully uninstalled.\r")" ]'
for i in $(seq 1 100); do [ -e "$d" ] || break; sleep 0.2; done
check "the script removed the program and the installation directory" '[ ! -e "$d" ]'
check "nothing outside was touched" '[ "$(cat "$w/outside.txt")" = keep ]'

mkdir -p "$d/bin/tarvik"; echo jvm > "$d/bin/tarvik/jvm.dll"
cp "$exe" "$w/bare.exe"
wine "$w/bare.exe" -silent "-log=$(winpath "$w/bare.log")" > /dev/null 2>&1
check "no record: the failure logged" '[ "$(cat "$w/bare.log")" = "$(printf "Uninstallation Failed: Can'"'"'t retrieve uninstall information.\r")" ]'
sleep 2
check "no record: nothing removed, the program stays" '[ -e "$d/bin/tarvik/jvm.dll" ] && [ -e "$w/bare.exe" ]'
echo "failures: $failures"
[ "$failures" -eq 0 ]
