# Sourced by scripts/test and scripts/demo: makes sure the machine has what the
# build and the tests need. As root, missing Debian packages are installed;
# otherwise the script stops and names them.

qel_packages=(cmake make g++ python3 libgtest-dev libbenchmark-dev zlib1g-dev libdeflate-dev
              7zip libarchive-tools tmux)
qel_windows_packages=(g++-mingw-w64-i686 libz-mingw-w64-dev wine wine32:i386)
qel_fuzz_packages=(clang libclang-rt-14-dev)

qel_missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || printf '%s\n' "$p"
  done
}

qel_ensure_packages() {
  local missing
  mapfile -t missing < <(qel_missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "error: missing Debian packages: ${missing[*]}" >&2
    echo "       install them (as root: apt-get install ${missing[*]}) and run again." >&2
    exit 2
  fi
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  fi
  echo "== installing: ${missing[*]}"
  apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

# Wine keeps its own prefix for this project, initialised once, quietly.
qel_setup_wine() {
  export WINEDEBUG=-all WINEARCH=win32
  export WINEPREFIX="${QEL_WINEPREFIX:-$HOME/.wine-qel}"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== initialising the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w 2>/dev/null || true
  fi
}
