#!/bin/bash
# The Windows build under Wine, end to end with a name that cmd and the code
# pages would get wrong: the packed demo installer installs silently into a
# directory whose name holds "%PATH%", blanks and "ü", then the placed
# uninstall.exe runs silently. The directory, uninstall.exe and the
# self-removal script must all be gone afterwards, the log must say
# success, the exit status must be 0, and a sentinel beside the directory
# must be untouched.
#
#   tests/uninstaller/wine_demo_odd_names.sh WIN_BUILD_DIR
#
# Uses the Wine prefix of the caller's environment (WINEPREFIX); what the
# installer registers there is what the uninstaller must take away again.
set -u
build=$(cd "${1:?usage: wine_demo_odd_names.sh WIN_BUILD_DIR}" && pwd)
setup="$build/demo/setup/qel_demo_setup.exe"
[ -f "$setup" ] || { echo "missing $setup (build the qel_demo_setup target)"; exit 2; }
command -v wine > /dev/null || { echo "wine is not installed"; exit 2; }
export WINEDEBUG=-all

w=$(mktemp -d /tmp/qel-wine-odd-XXXXXX)
trap 'rm -rf "$w"' EXIT
mkdir -p "$w/tmp" "$w/scripts"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
failures=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi; }

# On the Unix side Wine keeps names in UTF-8; the installer reads its answer
# file's bytes as ANSI (code page 1252 here), where "ü" is the byte 0xFC.
target="$w/Qel %PATH% Demo ü"
echo "beside" > "$w/beside.txt"
printf '<?xml version="1.0" encoding="windows-1252"?>\n<installation>\n  <installdir>%s</installdir>\n</installation>\n' \
  "$(winpath "$w/Qel %PATH% Demo ")" | sed 's#</installdir>#\xfc</installdir>#' > "$w/silent.xml"

# The self-removal script goes to TEMP: a directory of its own, to see it go.
export TEMP="$(winpath "$w/scripts")" TMP="$(winpath "$w/scripts")"
wine "$setup" -mode=silent "-log=$(winpath "$w/install.log")" "-silent_xml=$(winpath "$w/silent.xml")" \
  "-Djava.io.tmpdir=$(winpath "$w/tmp")" > "$w/install.out" 2>&1
rc=$?
check "the demo installer ends with 0 (it said: $(tr '\r\n' '  ' < "$w/install.out" | cut -c1-200))" '[ "$rc" = 0 ]'
check "the product is installed under the odd name" '[ -f "$target/bin/tarvik/jvm.dll" ] && [ -f "$target/uninstall.exe" ]'

wine "$target/uninstall.exe" -silent "-log=$(winpath "$w/uninstall.log")" > /dev/null 2>&1
rc=$?
check "the uninstaller exits with 0" '[ "$rc" = 0 ]'
check "its log says success and nothing else" \
  '[ "$(cat "$w/uninstall.log" 2>/dev/null)" = "$(printf "Qel Demo Runtime 1.4.2_03 was successfully uninstalled.\r")" ]'
for _ in $(seq 1 150); do
  [ -e "$target" ] || [ -n "$(ls -A "$w/scripts")" ] || break
  sleep 0.2
done
wineserver -w 2> /dev/null || true
check "the installation directory and uninstall.exe are gone" '[ ! -e "$target" ]'
check "the self-removal script is gone" '[ -z "$(ls -A "$w/scripts")" ]'
check "the sentinel beside it is untouched" '[ "$(cat "$w/beside.txt")" = beside ]'
echo "failures: $failures"
[ "$failures" -eq 0 ]
