#!/usr/bin/env bash
# The set-up on a machine whose Debian mirror is caught mid-sync: a clean clone
# runs `scripts/test checks` with a stand-in apt-get first in PATH whose
# `update` fails as a half-synced mirror makes it fail (exit 100) and whose
# first install cannot be resolved. The stage must still be reached and pass;
# and when no install ever works, the stage must fail, naming the packages and
# apt's last message, never pass.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qel-setup-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }

# A clean clone, with the set-up as it stands in this working tree.
git clone -q "$root" "$work/clone"
cp -r "$root/scripts/." "$work/clone/scripts/"

mkdir "$work/bin" "$work/state"
cat >"$work/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
state=$QEL_FAKE_STATE
echo "$*" >>"$state/calls"
case " $* " in
  *" update "*)
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
  *" install "*)
    n=$(($(cat "$state/installs" 2>/dev/null || echo 0) + 1)); echo "$n" >"$state/installs"
    if [ "$n" = 1 ] || [ "$QEL_FAKE_MODE" = broken ]; then
      echo " libfoo:i386 : Depends: zlib1g:i386 (>= 1:1.1.4) but it is not going to be installed"
      echo "E: Unable to correct problems, you have held broken packages."
      exit 100
    fi
    for a in "$@"; do case $a in -*|install|"$QEL_FAKE_CODENAME") ;; *) echo "$a" >>"$state/installed" ;; esac; done
    exit 0 ;;
esac
exit 0
FAKE
cat >"$work/bin/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
p=${!#}
if grep -qx -- "$p" "$QEL_FAKE_STATE/installed" 2>/dev/null; then printf 'install ok installed'; exit 0; fi
echo "dpkg-query: no packages found matching $p" >&2
exit 1
FAKE
cat >"$work/bin/id" <<'FAKE'
#!/usr/bin/env bash
if [ "${1:-}" = -u ]; then echo "$QEL_FAKE_UID"; else exec /usr/bin/id "$@"; fi
FAKE
chmod +x "$work/bin/"*

codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || fail "this machine's /etc/os-release names no release code name"

# run MODE UID: scripts/test checks in the clone with the stand-ins; sets out and rc.
run() {
  rm -f "$work/state/"*
  set +e
  out=$(cd "$work/clone" && PATH="$work/bin:$PATH" QEL_FAKE_STATE="$work/state" QEL_FAKE_MODE=$1 \
        QEL_FAKE_UID=$2 QEL_FAKE_CODENAME="$codename" QEL_APT_PAUSE=0 QEL_APT_ATTEMPTS=2 \
        bash scripts/test checks 2>&1)
  rc=$?
  set -e
}
expect() { grep -qF -- "$1" <<<"$out" || { echo "$out"; fail "expected \"$1\" in the output"; }; }
refuse() { if grep -qF -- "$1" <<<"$out"; then echo "$out"; fail "did not expect \"$1\" in the output"; fi; }

# 1. The mirror half-synced: update fails, the first install cannot resolve.
run recovers 0
[ "$rc" = 0 ] || { echo "$out"; fail "scripts/test checks exited $rc"; }
expect "apt-get update failed in part after 2 attempts (E: Some index files failed to download."
expect "trying again with the $codename suite as the target"
expect "== checks: passed"
expect "all stages passed: checks"
[ "$(grep -c '^update' "$work/state/calls")" = 2 ] || fail "update was not retried: $(cat "$work/state/calls")"
grep -q -- "install .*-t $codename git grep findutils" "$work/state/calls" ||
  fail "the second install did not target the $codename suite: $(cat "$work/state/calls")"

# 2. No install ever works: the stage fails with the reason, nothing passes.
run broken 0
[ "$rc" != 0 ] || { echo "$out"; fail "scripts/test checks exited 0 although nothing could be installed"; }
expect "error: could not install these Debian packages: git grep findutils"
expect "apt-get said: E: Unable to correct problems, you have held broken packages."
expect "== checks: FAILED"
refuse "checks: passed"
refuse "all stages passed"
[ "$(grep -c 'install' "$work/state/calls")" = 4 ] || fail "expected four install attempts: $(cat "$work/state/calls")"

# 3. Not root: the missing packages are named and the stage fails, untouched.
run recovers 1000
[ "$rc" != 0 ] || fail "a run without the packages and without root exited 0"
expect "error: missing Debian packages: git grep findutils"
expect "== checks: FAILED"
[ ! -e "$work/state/calls" ] || fail "apt-get was called without root: $(cat "$work/state/calls")"

echo "set-up survives a half-synced mirror: passed"
