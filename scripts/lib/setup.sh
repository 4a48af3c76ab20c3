# Sourced by scripts/test and scripts/demo: makes sure the machine has what a
# build or a test stage needs. As root, missing Debian packages are installed
# with apt-get; otherwise the caller is told which ones to install.
#
# Debian mirrors are sometimes caught mid-sync: one index of many fails to
# download ("File has unexpected size ... Mirror sync in progress?") and
# `apt-get update` exits 100, while an install against the half-new indexes
# cannot resolve (the amd64 libraries at their security versions, their i386
# twins only at the base ones). So an update that fails partly is reported and
# the run goes on, and an install that cannot be resolved is tried again with
# the release's base suite as the target (`-t <codename>`) and after a fresh
# update, before the set-up gives up naming each package it could not install.
#
# Knobs (for tests and slow mirrors): QEL_APT_ATTEMPTS (update attempts,
# default 3), QEL_APT_PAUSE (seconds between them, default 5).

qel_packages=(cmake make g++ python3 libgtest-dev libbenchmark-dev zlib1g-dev libdeflate-dev
              7zip libarchive-tools tmux)
qel_check_packages=(git grep findutils)
qel_windows_packages=(g++-mingw-w64-i686 libz-mingw-w64-dev wine wine32:i386)
qel_fuzz_packages=(clang libclang-rt-14-dev)
# The graphical test: a display, real key presses and clicks, screenshots,
# and Wine's own fonts (caption buttons, message boxes).
qel_gui_packages=(xvfb xdotool imagemagick fonts-wine)
# Signing the demo installer in the packaging stage.
qel_packaging_packages=(osslsigncode openssl)

qel_missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || printf '%s\n' "$p"
  done
}

# The release's code name ("bookworm"), read from the machine itself.
qel_release_codename() {
  [ -r /etc/os-release ] || return 0
  (. /etc/os-release && printf '%s\n' "${VERSION_CODENAME:-}")
}

qel_apt_log=/dev/null  # what the last apt-get printed (a file while installing)
qel_apt_updated=0

# The last line apt-get printed that explains a failure.
qel_apt_last_message() {
  grep -E '^(E|W): ' "$qel_apt_log" | tail -n 1 || true
}

# Refreshes the package indexes, retrying; a failure that remains after the
# last attempt is reported in one line and does not stop the run, since the
# indexes that did arrive are usually enough.
qel_apt_update() {
  local attempts=${QEL_APT_ATTEMPTS:-3} pause=${QEL_APT_PAUSE:-5} i
  for ((i = 1; i <= attempts; i++)); do
    if DEBIAN_FRONTEND=noninteractive apt-get update -q >"$qel_apt_log" 2>&1; then
      qel_apt_updated=1
      return 0
    fi
    ((i < attempts)) && sleep "$pause"
  done
  echo "== apt-get update failed in part after $attempts attempts ($(qel_apt_last_message)); going on with the indexes there are"
  qel_apt_updated=1
  return 0
}

qel_apt_install_once() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" >"$qel_apt_log" 2>&1
}

# Installs the packages given, trying ever more forgiving ways; returns 1
# (after naming what is still missing and why) only when all of them failed.
qel_apt_install() {
  local codename missing
  codename=$(qel_release_codename)
  [ "$qel_apt_updated" = 1 ] || qel_apt_update
  qel_apt_install_once "$@" && return 0
  if [ -n "$codename" ]; then
    echo "== the install could not be resolved ($(qel_apt_last_message)); trying again with the $codename suite as the target"
    qel_apt_install_once -t "$codename" "$@" && return 0
  fi
  echo "== trying again after a fresh apt-get update"
  qel_apt_update
  qel_apt_install_once "$@" && return 0
  [ -n "$codename" ] && qel_apt_install_once -t "$codename" "$@" && return 0
  mapfile -t missing < <(qel_missing_packages "$@")
  ((${#missing[@]})) || return 0
  echo "error: could not install these Debian packages: ${missing[*]}" >&2
  echo "       apt-get said: $(qel_apt_last_message)" >&2
  return 1
}

# Makes sure the packages given are installed. Returns 0 when they are;
# otherwise says why not and returns 1, so that the caller can fail the one
# stage that needs them (never skip it, never report it as passed).
qel_ensure_packages() {
  local missing
  mapfile -t missing < <(qel_missing_packages "$@")
  ((${#missing[@]})) || return 0
  if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null 2>&1; then
    echo "error: missing Debian packages: ${missing[*]}" >&2
    echo "       install them (as root: apt-get install ${missing[*]}) and run again." >&2
    return 1
  fi
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    qel_apt_updated=0  # the new architecture's indexes are not there yet
  fi
  echo "== installing: ${missing[*]}"
  qel_apt_log=$(mktemp "${TMPDIR:-/tmp}/qel-apt.XXXXXX")
  local status=0
  qel_apt_install "${missing[@]}" || status=1
  rm -f "$qel_apt_log"
  qel_apt_log=/dev/null
  ((status == 0)) || return 1
  mapfile -t missing < <(qel_missing_packages "${missing[@]}")
  if ((${#missing[@]})); then
    echo "error: apt-get succeeded but these packages are still not installed: ${missing[*]}" >&2
    return 1
  fi
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
