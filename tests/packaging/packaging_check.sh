#!/usr/bin/env bash
# The packager's workflow on finished builds, as docs/packaging.md tells it:
#   1. `cmake --install` of the native and the Windows build gives the five
#      programs, and the tools answer --version with the project's version;
#   2. `cpack` makes the native tarball and the Windows ZIP with the five
#      programs and the README;
#   3. the Windows demo installer, signed with a throwaway certificate made
#      by openssl, passes `osslsigncode verify` (and a tampered copy fails
#      it), its payload still tests sound with the engine, and the signed
#      installer runs silently under Wine, in a Wine prefix of its own, to a
#      complete install.
#
#   tests/packaging/packaging_check.sh NATIVE_BUILD WIN32_BUILD
#
# Both builds must be complete (scripts/test packaging builds them).
set -euo pipefail

native=$(cd "${1:?usage: packaging_check.sh NATIVE_BUILD WIN32_BUILD}" && pwd)
win32=$(cd "${2:?usage: packaging_check.sh NATIVE_BUILD WIN32_BUILD}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qel-packaging.XXXXXX")
export WINEDEBUG=-all WINEARCH=win32 WINEPREFIX="$work/wine"
cleanup() {
  [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
ok() { printf 'ok: %s\n' "$*"; }
fail() { printf 'FAILED: %s\n' "$*" >&2; failures=$((failures + 1)); }
zipengine="$native/tools/zipengine/zipengine"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$native/CMakeCache.txt")
[ -n "$version" ] || { fail "no project version in $native/CMakeCache.txt"; exit 1; }

# --- 1. cmake --install ------------------------------------------------------
expect_files() {  # ROOT FILE...: each file exists
  local root=$1 f missing=()
  shift
  for f in "$@"; do [ -f "$root/$f" ] || missing+=("$f"); done
  [ ${#missing[@]} -eq 0 ] || { echo "missing in $root: ${missing[*]}"; return 1; }
}

native_programs=(bin/sfxpack bin/zipengine bin/uninstall_record libexec/qel/setupstub libexec/qel/uninstall)
windows_programs=(bin/setupstub.exe bin/uninstall.exe bin/sfxpack.exe bin/zipengine.exe bin/uninstall_record.exe)

if cmake --install "$native" --prefix "$work/native" >/dev/null &&
   expect_files "$work/native" "${native_programs[@]}" share/doc/qel/README.txt share/doc/qel/packaging.md; then
  ok "cmake --install of the native build: ${native_programs[*]}"
else
  fail "cmake --install of the native build"
fi
for tool in sfxpack zipengine uninstall_record; do
  answer=$("$work/native/bin/$tool" --version 2>&1) || true
  [ "$answer" = "$tool $version" ] || fail "$tool --version says \"$answer\", not \"$tool $version\""
done
ok "the installed tools answer --version with $version"

if cmake --install "$win32" --prefix "$work/win32" >/dev/null &&
   expect_files "$work/win32" "${windows_programs[@]}" README.txt packaging.md; then
  ok "cmake --install of the Windows build: ${windows_programs[*]}"
else
  fail "cmake --install of the Windows build"
fi

# --- 2. cpack ----------------------------------------------------------------
package_names() {  # the sorted file names a package holds below its top folder
  sort | sed -n 's|^[^/]*/||p' | grep -v '/$' | grep -v '^$' || true
}

rm -rf "$native/packages" "$win32/packages"
if (cd "$native" && cpack >"$work/cpack-native.log" 2>&1); then
  tarball="$native/packages/qel-$version-linux-$(uname -m).tar.gz"
  listed=$(tar tzf "$tarball" | package_names | tr '\n' ' ')
  wanted=$(printf '%s\n' "${native_programs[@]}" share/doc/qel/README.txt share/doc/qel/packaging.md | sort | tr '\n' ' ')
  [ "$listed" = "$wanted" ] && ok "cpack: $(basename "$tarball") holds $listed" ||
    fail "cpack: the tarball holds \"$listed\", not \"$wanted\""
else
  fail "cpack in the native build: $(cat "$work/cpack-native.log")"
fi

if (cd "$win32" && cpack >"$work/cpack-win32.log" 2>&1); then
  zip="$win32/packages/qel-$version-win32.zip"
  listed=$("$zipengine" list "$zip" | cut -f10 | grep -v '^$' | package_names | tr '\n' ' ')
  wanted=$(printf '%s\n' "${windows_programs[@]}" README.txt packaging.md | sort | tr '\n' ' ')
  [ "$listed" = "$wanted" ] && ok "cpack: $(basename "$zip") holds $listed" ||
    fail "cpack: the ZIP holds \"$listed\", not \"$wanted\""
  "$zipengine" test -qq "$zip" || fail "the engine finds errors in $zip"
  readme=$("$zipengine" extract -p -q "$zip" "qel-$version-win32/README.txt")
  case "$readme" in
    *"version $version"$'\r'*) ok "the ZIP's README.txt names version $version, with CR LF line ends" ;;
    *) fail "the ZIP's README.txt does not name version $version with CR LF line ends" ;;
  esac
else
  fail "cpack in the Windows build: $(cat "$work/cpack-win32.log")"
fi

# --- 3. a signed installer ---------------------------------------------------
setup="$win32/demo/setup/qel_demo_setup.exe"
signed="$work/qel_demo_setup-signed.exe"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Qel packaging test" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 ||
  { fail "openssl could not make a certificate"; exit 1; }
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Qel demo runtime" \
  -in "$setup" -out "$signed" >"$work/sign.log" 2>&1 ||
  { fail "osslsigncode sign: $(cat "$work/sign.log")"; exit 1; }
if osslsigncode verify -CAfile "$work/cert.pem" -in "$signed" >"$work/verify.log" 2>&1 &&
   grep -q '^Signature verification: ok' "$work/verify.log"; then
  ok "signed $(basename "$setup"); osslsigncode verify: ok"
else
  fail "osslsigncode verify of the signed installer: $(cat "$work/verify.log")"
fi

# One changed byte in the payload must break the signature.
cp "$signed" "$work/tampered.exe"
at=$(( $(stat -c %s "$setup") - 100 ))
byte=$(od -An -tu1 -j "$at" -N1 "$work/tampered.exe" | tr -d ' ')
printf "\\$(printf %03o $(( (byte + 1) % 256 )))" | dd of="$work/tampered.exe" bs=1 seek="$at" conv=notrunc status=none
if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/tampered.exe" >"$work/tampered.log" 2>&1; then
  fail "osslsigncode verify accepts a tampered installer"
else
  ok "a tampered copy fails osslsigncode verify"
fi

"$zipengine" test -qq "$signed" && ok "the engine tests the signed payload sound" ||
  fail "the engine finds errors in the signed installer"

wineboot -i >/dev/null 2>&1 || true
wineserver -w 2>/dev/null || true
mkdir -p "$work/tmp"
win() { winepath -w "$1" 2>/dev/null; }
printf '<?xml version="1.0" encoding="UTF-8"?>\n<installation>\n  <installdir>%s</installdir>\n</installation>\n' \
  "$(win "$work/install")" >"$work/silent.xml"
set +e
wine "$signed" -mode=silent "-log=$(win "$work/install.log")" "-silent_xml=$(win "$work/silent.xml")" \
  "-Djava.io.tmpdir=$(win "$work/tmp")" >"$work/wine.log" 2>&1
rc=$?
set -e
wineserver -w 2>/dev/null || true
if [ "$rc" = 0 ] && [ -f "$work/install/bin/tarvik/jvm.dll" ] && [ -f "$work/install/uninstall.exe" ] &&
   [ -z "$(ls -A "$work/tmp")" ]; then
  ok "the signed installer ran silently under Wine: exit 0, product and uninstaller installed, extraction directory gone"
else
  fail "the signed installer under Wine: exit $rc; log: $(cat "$work/install.log" 2>/dev/null); output: $(cat "$work/wine.log")"
fi
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Qel Demo Runtime 1.4.2_03"
[ -d "$menu" ] && grep -qi 'Uninstall\\\\Qel Demo Runtime' "$WINEPREFIX/system.reg" &&
  ok "registered: start-menu folder and Add/Remove Programs entry" ||
  fail "the signed installer registered no start-menu folder or Add/Remove Programs entry"

if [ "$failures" -gt 0 ]; then
  echo "$failures packaging check(s) failed"
  exit 1
fi
echo "all packaging checks passed"
